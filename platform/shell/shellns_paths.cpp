// Item IDs, names, paths and subfolder probes of the shell namespace.
#include "shellns.h"
#include "shellns_internal.h"

#include "sjis.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string_view>

namespace shell {
namespace internal {

bool ValidFileName(const std::string& n) {
    return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos &&
           n.find('\0') == std::string::npos;
}

bool ReadItem(LPCITEMIDLIST list, TItem& out) {
    if (!list || PidlItemCount(list) == 0) return false;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(list);
    uint16_t cb = ItemCount(list);
    if (cb < ItemHeader + 1 || p[cb - 1] != 0) return false;
    out.kind = p[2];
    out.flags = p[3];
    out.name.assign(reinterpret_cast<const char*>(p + ItemHeader), cb - ItemHeader - 1);
    if (out.name.find('\0') != std::string::npos) return false;
    switch (out.kind) {
        case KindComputer:
        case KindHome: return out.name.empty();
        case KindVolume: return !out.name.empty() && out.name[0] == '/';
        case KindFile: return ValidFileName(out.name);
        default: return false;
    }
}

LPITEMIDLIST MakeItem(uint8_t kind, uint8_t flags, const std::string& name) {
    size_t cb = ItemHeader + name.size() + 1;
    if (cb > 0xFFFF) return nullptr;
    LPITEMIDLIST r = AllocPidl(cb + 2);
    if (!r) return nullptr;
    uint8_t* p = reinterpret_cast<uint8_t*>(r);
    SetItemCount(r, static_cast<uint16_t>(cb));
    p[2] = kind;
    p[3] = flags;
    std::memcpy(p + ItemHeader, name.data(), name.size());
    return r;
}

// ---------------------------------------------------------------------------
// Names and paths.

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

bool ToSjisName(const std::string& utf8, std::string& out) {
    if (IsAscii(utf8)) {
        out = utf8;
        return true;
    }
    std::string s;
    if (!sjis::FromUtf8(utf8, s)) return false;
    if (sjis::ToUtf8(s) != utf8) return false;
    out = s;
    return true;
}

bool FromSjisName(const std::string& s, std::string& utf8) {
    if (IsAscii(s)) {
        utf8 = s;
        return true;
    }
    std::string u = sjis::ToUtf8(s);
    std::string back;
    if (!sjis::FromUtf8(u, back) || back != s) return false;
    utf8 = u;
    return true;
}

std::string Join(const std::string& dir, const std::string& name) {
    return dir == "/" ? "/" + name : dir + "/" + name;
}

std::string NormalizePath(const std::string& p) {
    if (p.empty() || p[0] != '/') return std::string();
    std::vector<std::string> parts;
    std::stringstream ss(p);
    std::string part;
    while (std::getline(ss, part, '/')) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (const auto& s : parts) out += "/" + s;
    return out.empty() ? "/" : out;
}

bool IsDir(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool Under(const std::string& path, const std::string& dir) {
    return path == dir || path.compare(0, dir.size() + 1, dir + "/") == 0;
}

bool MaySubfolders(nlink_t links, bool countsSubfolders) {
    if (links > 2) return true;
    return !(links == 2 && countsSubfolders);
}

bool CountingFileSystem(const struct statfs& fs) {
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0xEF53:       // ext2, ext3, ext4
        case 0x58465342:   // xfs
        case 0x01021994:   // tmpfs
        case 0xF2F52010:   // f2fs
        case 0x52654973:   // reiserfs
        case 0x3153464A:   // jfs
        case 0x3434:       // nilfs
            return true;
        default: return false;
    }
}

// How many entries of a folder are looked at for a link to a folder.
constexpr int LinkPeekEntries = 256;

bool LinkedSubfolderIn(int at, const char* path) {
    const int fd = ::openat(at, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    alignas(8) char buf[8192];
    bool found = false;
    int seen = 0;
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buf, sizeof buf);
        if (n <= 0) break;  // the end, or unreadable: nothing shown through a link
        for (long off = 0; off < n && !found;) {
            struct TEntry {
                uint64_t ino;
                int64_t next;
                unsigned short reclen;
                unsigned char type;
                char name[1];
            };
            const TEntry* e = reinterpret_cast<const TEntry*>(buf + off);
            if (e->reclen == 0) break;
            off += e->reclen;
            if (std::strcmp(e->name, ".") == 0 || std::strcmp(e->name, "..") == 0) continue;
            if (++seen > LinkPeekEntries) {
                found = true;  // not looked at to the end: it may
                break;
            }
            if (e->type != DT_LNK && e->type != DT_UNKNOWN && e->type != DT_DIR) continue;
            struct stat st;
            if (::fstatat(fd, e->name, &st, 0) == 0 && S_ISDIR(st.st_mode)) found = true;
        }
        if (found) break;
    }
    ::close(fd);
    return found;
}

bool MaySubfoldersAt(nlink_t links, bool counts, int at, const char* path) {
    if (MaySubfolders(links, counts)) return true;
    return LinkedSubfolderIn(at, path);
}

bool EmptyBySize(long fsType, off_t size) {
    switch (static_cast<unsigned long>(fsType)) {
        case 0x01021994: return size <= 40;  // tmpfs
        case 0x58465342: return size <= 6;   // xfs
        default: return false;
    }
}

bool HasSubfolder(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return MaySubfoldersAt(st.st_nlink, LinkCountTellsSubfolders(path), AT_FDCWD, path.c_str());
}

bool LinkLoopsBack(const std::string& link) {
    char target[PATH_MAX];
    if (!::realpath(link.c_str(), target)) return false;
    std::string t = target;
    if (t == "/") return true;
    std::string holder = link;
    for (;;) {
        size_t slash = holder.rfind('/');
        if (slash == std::string::npos) return false;
        holder = slash == 0 ? std::string("/") : holder.substr(0, slash);
        char here[PATH_MAX];
        if (::realpath(holder.c_str(), here) && Under(here, t)) return true;
        if (holder == "/") return false;
    }
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Configuration.

std::mutex& ConfigMutex() {
    static std::mutex m;
    return m;
}

TNamespaceConfig& Config() {
    static TNamespaceConfig config = DefaultNamespaceConfig();
    return config;
}

std::string DesktopItemsDir(const TNamespaceConfig& c) {
    if (c.desktop.empty() || c.desktop == c.home || !IsDir(c.desktop)) return std::string();
    return c.desktop;
}

std::string DesktopPath(const TNamespaceConfig& c) {
    return DesktopItemsDir(c).empty() ? c.home : c.desktop;
}

std::string VolumeOf(const std::string& path, const std::vector<std::string>& volumes) {
    std::string best;
    for (const auto& v : volumes) {
        if ((v == "/" || Under(path, v)) && v.size() > best.size()) best = v;
    }
    return best;
}

// ---------------------------------------------------------------------------
// Paths as the menu commands see them.

bool IsProgram(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
}

std::string StripSlash(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string BaseName(const std::string& p) {
    std::string s = StripSlash(p);
    size_t i = s.rfind('/');
    return i == std::string::npos ? s : s.substr(i + 1);
}

std::string DirName(const std::string& p) {
    std::string s = StripSlash(p);
    size_t i = s.rfind('/');
    if (i == std::string::npos) return ".";
    return i == 0 ? "/" : s.substr(0, i);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool IsMountPoint(const std::string& path) {
    std::string p = StripSlash(path);
    if (p == "/") return true;
    struct stat a, b;
    if (::lstat(p.c_str(), &a) != 0 || ::stat(DirName(p).c_str(), &b) != 0) return false;
    if (!S_ISDIR(a.st_mode)) return false;
    if (a.st_dev != b.st_dev) return true;
    // A bind mount of the same file system: a mount of its own all the same.
    struct statx x {}, y {};
    if (::statx(AT_FDCWD, p.c_str(), AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &x) != 0 ||
        ::statx(AT_FDCWD, DirName(p).c_str(), 0, STATX_MNT_ID, &y) != 0)
        return false;
    return (x.stx_mask & STATX_MNT_ID) && (y.stx_mask & STATX_MNT_ID) && x.stx_mnt_id != y.stx_mnt_id;
}

bool CanLeave(const std::string& path) {
    return Exists(path) && !IsMountPoint(path) && ::access(DirName(path).c_str(), W_OK) == 0;
}

}  // namespace internal
}  // namespace shell
