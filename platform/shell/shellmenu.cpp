#include "shellmenu.h"
#include "input_limits.h"
#include "shellns_internal.h"

#include "sjis.h"
#include "spawn.h"
#include "textfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <climits>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

namespace fs = std::filesystem;

namespace shell {

using internal::BaseName;
using internal::CanLeave;
using internal::DirName;
using internal::Exists;
using internal::IsDir;
using internal::IsMountPoint;
using internal::IsProgram;
using internal::JoinPath;
using internal::StripSlash;
using internal::Unescape;

// ---------------------------------------------------------------------------
// The menu model.

void TMenu::AppendString(unsigned id, const std::string& text, bool enabled) {
    TEntry e;
    e.id = id;
    e.text = text;
    e.enabled = enabled;
    Entries.push_back(std::move(e));
}

void TMenu::AppendSeparator() {
    TEntry e;
    e.separator = true;
    Entries.push_back(std::move(e));
}

TMenu& TMenu::AppendSubMenu(const std::string& text) {
    TEntry e;
    e.text = text;
    e.sub = std::make_shared<TMenu>();
    Entries.push_back(e);
    return *e.sub;
}

bool TMenu::Delete(size_t position) {
    if (position >= Entries.size()) return false;
    Entries.erase(Entries.begin() + static_cast<std::ptrdiff_t>(position));
    return true;
}

const TMenu::TEntry* TMenu::FindId(unsigned id) const {
    for (const TEntry& e : Entries) {
        if (e.sub) {
            if (const TEntry* f = e.sub->FindId(id)) return f;
        } else if (!e.separator && e.id == id) {
            return &e;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Configuration, hooks and the clipboard.

namespace {

std::mutex& StateMutex() {
    static std::mutex m;
    return m;
}

std::string DataHome() {
    const char* d = std::getenv("XDG_DATA_HOME");
    if (d && *d == '/') return d;
    const char* h = std::getenv("HOME");
    return std::string(h && *h ? h : "") + "/.local/share";
}

TShellMenuConfig& Config() {
    static TShellMenuConfig c = DefaultShellMenuConfig();
    return c;
}

TShellMenuHooks& Hooks() {
    static TShellMenuHooks h;
    return h;
}

TClipItems& LocalClip() {
    static TClipItems c;
    return c;
}

// rename that never replaces; errno set on failure.
int RenameNoReplace(const std::string& from, const std::string& to) {
    long r = ::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1 /* RENAME_NOREPLACE */);
    if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
        if (Exists(to)) {
            errno = EEXIST;
            return -1;
        }
        r = ::rename(from.c_str(), to.c_str());
    }
    return static_cast<int>(r);
}

// "name (n).ext", with the extension kept for files.
std::string NumberedName(const std::string& name, int n, bool keepExtension) {
    if (n <= 1) return name;
    std::string stem = name, ext;
    size_t dot = name.rfind('.');
    if (keepExtension && dot != std::string::npos && dot > 0) {
        stem = name.substr(0, dot);
        ext = name.substr(dot);
    }
    return stem + " (" + std::to_string(n) + ")" + ext;
}

constexpr int MaxNumbered = 10000;

// ---------------------------------------------------------------------------
// Removal for good, on one file system.

// Where a folder lies: its device and its mount (a bind mount of the same
// device is a mount of its own).
struct TMountKey {
    dev_t dev = 0;
    uint64_t mount = 0;  // 0 when the kernel cannot tell
    bool operator==(const TMountKey& o) const {
        return dev == o.dev && (mount == 0 || o.mount == 0 || mount == o.mount);
    }
};

bool MountKeyOf(int fd, TMountKey& key) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_MNT_ID, &sx) == 0) {
        key.dev = ::makedev(sx.stx_dev_major, sx.stx_dev_minor);
        key.mount = (sx.stx_mask & STATX_MNT_ID) ? sx.stx_mnt_id : 0;
        return true;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    key.dev = st.st_dev;
    key.mount = 0;
    return true;
}

// The mount points at or below dir, from the mount table: the folders a
// removal must not enter even where the kernel does not tell the mount.
std::set<std::string> MountPointsUnder(const std::string& dir) {
    std::set<std::string> out;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    const std::string prefix = dir == "/" ? dir : dir + "/";
    while (std::getline(in, line)) {
        // id parent major:minor root mount-point ...
        size_t at = 0;
        for (int field = 0; field < 4 && at != std::string::npos; ++field) {
            at = line.find(' ', at);
            if (at != std::string::npos) ++at;
        }
        if (at == std::string::npos) continue;
        const size_t end = line.find(' ', at);
        const std::string mp = Unescape(line.substr(at, end == std::string::npos ? end : end - at));
        if (mp == dir || mp.compare(0, prefix.size(), prefix) == 0) out.insert(mp);
    }
    return out;
}

struct TRemoval {
    TMountKey top;
    std::set<std::string> mounts;
    std::vector<std::string>* kept = nullptr;
    ICopyProgress* progress = nullptr;  // told of each item removed
    bool failed = false;
    int depth = 0;
};

// Removes the entry name of the folder open as at (path is its whole
// path): a folder with what it holds, on the first folder's mount only,
// never through a link.  False when something of it stays.
bool RemoveEntry(int at, const std::string& name, const std::string& path, TRemoval& r) {
    struct stat st;
    if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) {
        if (r.progress) r.progress->Busy();
        if (::unlinkat(at, name.c_str(), 0) == 0 || errno == ENOENT) return true;
        // A file mounted on this one (a bind mount) stays, as a mounted
        // folder does, and the user hears of it.
        if (errno != EBUSY && !r.mounts.count(path)) r.failed = true;
        else if (r.kept) r.kept->push_back(path);
        return false;
    }
    // A mount point, or a folder swapped for a link meanwhile: left as it is.
    const int fd = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    TMountKey key;
    if (fd < 0 || !MountKeyOf(fd, key) || !(key == r.top) || key.dev != st.st_dev || r.mounts.count(path) ||
        r.depth > 4096) {
        if (fd >= 0) ::close(fd);
        if (fd < 0 && errno == ENOENT) return true;
        if (fd < 0 || r.depth > 4096) r.failed = true;
        else if (r.kept) r.kept->push_back(path);
        return false;
    }
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        r.failed = true;
        return false;
    }
    bool all = true;
    ++r.depth;
    for (;;) {
        errno = 0;
        dirent* e = ::readdir(d);
        if (!e) {
            if (errno != 0) {
                r.failed = true;
                all = false;
            }
            break;
        }
        const std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        if (!RemoveEntry(::dirfd(d), n, JoinPath(path, n), r)) all = false;
    }
    --r.depth;
    ::closedir(d);
    if (!all) return false;
    if (r.progress) r.progress->Busy();
    if (::unlinkat(at, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) return true;
    r.failed = true;
    return false;
}

std::string PercentEncode(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool MakeDirs(const std::string& p) {
    std::error_code ec;
    fs::create_directories(p, ec);
    if (!IsDir(p)) return false;
    ::chmod(p.c_str(), 0700);
    return true;
}

// Is inner the folder outer or below it?
bool InsideOf(const std::string& inner, const std::string& outer) {
    std::error_code ec;
    fs::path a = fs::weakly_canonical(inner, ec);
    if (ec) return false;
    fs::path b = fs::weakly_canonical(outer, ec);
    if (ec) return false;
    std::string as = a.string(), bs = b.string();
    if (as == bs) return true;
    if (bs.empty() || bs.back() != '/') bs += '/';
    return as.compare(0, bs.size(), bs) == 0;
}

}  // namespace

TShellMenuConfig DefaultShellMenuConfig() {
    TShellMenuConfig c;
    std::string data = DataHome();
    c.sendTo = data + "/ruzozu/SendTo";
    c.trash = data + "/Trash";
    return c;
}

void SetShellMenuConfig(const TShellMenuConfig& config) { internal::LockedSet(StateMutex(), Config(), config); }

TShellMenuConfig GetShellMenuConfig() { return internal::LockedGet(StateMutex(), Config()); }

void SetShellMenuHooks(const TShellMenuHooks& hooks) { internal::LockedSet(StateMutex(), Hooks(), hooks); }

TShellMenuHooks GetShellMenuHooks() { return internal::LockedGet(StateMutex(), Hooks()); }

void SetClipItems(const TClipItems& items) {
    TShellMenuHooks h = GetShellMenuHooks();
    {
        std::lock_guard<std::mutex> lock(StateMutex());
        LocalClip() = items;
    }
    if (h.SetClipboard) h.SetClipboard(items);
}

TClipItems GetClipItems() {
    TShellMenuHooks h = GetShellMenuHooks();
    if (h.GetClipboard) {
        TClipItems items;
        if (h.GetClipboard(items)) return items;
        return TClipItems();
    }
    std::lock_guard<std::mutex> lock(StateMutex());
    return LocalClip();
}

void ClearClipItems() { SetClipItems(TClipItems()); }

// ---------------------------------------------------------------------------
// File commands.

std::string PartHostTag(const std::string& hostName) {
    // Letters and digits of a name made of nothing else are the tag as they
    // are; any other name (a "-", a domain, a long one) adds a hash of the
    // whole name after "_", which no plain name holds, so that "v-m" and
    // "vm" never share a tag.
    std::string tag;
    bool plain = !hostName.empty() && hostName.size() <= 32;
    for (unsigned char c : hostName) {
        if (std::isalnum(c) && tag.size() < 32) tag += static_cast<char>(c);
        else plain = false;
    }
    if (plain) return tag;
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : hostName) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return tag + "_" + hex;
}

std::string FreeName(const std::string& dir, const std::string& name) {
    bool keepExt = !IsDir(JoinPath(dir, name));
    for (int n = 1; n <= MaxNumbered; ++n) {
        std::string cand = NumberedName(name, n, keepExt);
        if (!Exists(JoinPath(dir, cand))) return cand;
    }
    return std::string();
}

namespace {

// One paste, drop or send: the bytes done of all it copies, and whether
// the user stopped it.
struct TCopyRun {
    ICopyProgress* progress = nullptr;
    uint64_t done = 0;
    uint64_t total = 0;
    uint64_t items = 0;
    uint64_t itemsTotal = 0;
    bool stopped = false;

    bool Step(uint64_t bytes) {
        done += bytes;
        if (progress && !stopped && !progress->Step(done, std::max(total, done))) stopped = true;
        return !stopped;
    }
    // One more file, folder or link is done (counted, while counting).
    bool ItemDone() {
        ++items;
        if (progress && !stopped && !progress->Item(items, counting ? 0 : std::max(itemsTotal, items)))
            stopped = true;
        return !stopped;
    }
    bool counting = false;
};

// Adds what a copy of path moves to run's totals: the sizes of its files
// (holes included) and its items.  Each item counted is reported, so that
// a stop is heard while a large tree is still being counted.
void CountCopy(const std::string& path, TCopyRun& run) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return;
    run.ItemDone();
    if (S_ISREG(st.st_mode)) run.total += static_cast<uint64_t>(st.st_size);
    if (!S_ISDIR(st.st_mode)) return;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end && !run.stopped; it.increment(ec)) {
        struct stat e;
        if (::lstat(it->path().c_str(), &e) != 0) continue;
        if (S_ISREG(e.st_mode)) run.total += static_cast<uint64_t>(e.st_size);
        run.ItemDone();
    }
}

// Copies n bytes at offset at from in to out at the same offset: in the
// kernel where it can (a clone on file systems that share blocks), else
// through a buffer.  The bytes copied; 0 at the source's end, -1 on error.
ssize_t CopyRange(int in, int out, off_t at, size_t n, bool& kernel) {
    if (kernel) {
        off64_t from = at, to = at;
        ssize_t r = ::copy_file_range(in, &from, out, &to, n, 0);
        if (r >= 0) return r;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EBADF)
            return -1;
        kernel = false;
    }
    static thread_local std::vector<char> buffer(1 << 20);
    const size_t want = std::min(n, buffer.size());
    ssize_t got;
    do got = ::pread(in, buffer.data(), want, at);
    while (got < 0 && errno == EINTR);
    if (got <= 0) return got;
    for (ssize_t put = 0; put < got;) {
        ssize_t w = ::pwrite(out, buffer.data() + put, static_cast<size_t>(got - put), at + put);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return -1;
        put += w;
    }
    return got;
}

// Copies the file open as in (size bytes) into out, block by block: only
// its data, so that its holes stay holes.
bool CopyFileData(int in, int out, off_t size, TCopyRun& run) {
    constexpr off_t block = 1 << 20;  // a slow share still answers every second or so
    bool kernel = true, seekable = true;
    off_t pos = 0;
    while (pos < size) {
        off_t data = pos, hole = size;
        if (seekable) {
            const off_t d = ::lseek(in, pos, SEEK_DATA);
            if (d >= 0) {
                data = std::min(d, size);
                const off_t h = ::lseek(in, data, SEEK_HOLE);
                hole = h < 0 ? size : std::min(std::max(h, data), size);
            } else if (errno == ENXIO) {
                data = hole = size;  // a hole up to the end
            } else {
                seekable = false;  // the file system cannot tell: all data
            }
        }
        if (data > pos && !run.Step(static_cast<uint64_t>(data - pos))) return false;
        for (off_t at = data; at < hole;) {
            const ssize_t n = CopyRange(in, out, at, static_cast<size_t>(std::min(block, hole - at)), kernel);
            if (n < 0) return false;
            if (n == 0) {
                // The source got shorter meanwhile: the copy ends where it does.
                size = at;
                break;
            }
            at += n;
            if (!run.Step(static_cast<uint64_t>(n))) return false;
        }
        pos = std::max(pos, std::min(hole, size));
    }
    return ::ftruncate(out, size) == 0;
}

// Copies the regular file src to the new file dest (which must not
// exist), with src's mode as the umask lets it.  The open never waits:
// a FIFO put in the file's place meanwhile is refused, not waited on.
bool CopyRegularFile(const std::string& src, const std::string& dest, TCopyRun& run) {
    const int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (in < 0) return false;
    struct stat st;
    bool ok = ::fstat(in, &st) == 0 && S_ISREG(st.st_mode);
    const int out = ok ? ::open(dest.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777) : -1;
    ok = out >= 0 && CopyFileData(in, out, st.st_size, run);
    if (out >= 0) ok = ::close(out) == 0 && ok;
    ::close(in);
    return ok;
}

// Copies the tree under the folder src into the new folder dest; each
// folder gets src's mode once its contents are in.
bool CopyTree(const std::string& src, const std::string& dest, TCopyRun& run) {
    std::error_code ec;
    for (fs::directory_iterator it(src, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string from = it->path().string();
        const std::string to = JoinPath(dest, it->path().filename().string());
        struct stat st;
        if (::lstat(from.c_str(), &st) != 0) return false;
        if (S_ISDIR(st.st_mode)) {
            if (::mkdir(to.c_str(), 0700) != 0 || !CopyTree(from, to, run)) return false;
        } else if (S_ISLNK(st.st_mode)) {
            fs::copy_symlink(from, to, ec);
            if (ec) return false;
        } else if (S_ISREG(st.st_mode)) {
            if (!CopyRegularFile(from, to, run)) return false;
        } else {
            return false;  // a device or a pipe is no file to copy
        }
        if (!run.ItemDone()) return false;
    }
    if (ec) return false;
    struct stat st;
    return ::stat(src.c_str(), &st) == 0 && ::chmod(dest.c_str(), st.st_mode & 07777) == 0;
}

const char* const PartPrefix = ".ruzozu-copy-";
const char* const PartSuffix = ".part";

const std::string& PartHost() {
    static const std::string host = [] {
        char buf[256] = {};
        if (::gethostname(buf, sizeof buf - 1) != 0) return std::string("host");
        return PartHostTag(buf);
    }();
    return host;
}

// A hidden name in dir that nothing holds, for a copy under way: it names
// the computer and the process that copies, so that a later copy can tell
// a part whose maker is gone.
std::string PartName(const std::string& dir) {
    static std::atomic<unsigned> counter{0};
    for (;;) {
        std::string p = JoinPath(dir, PartPrefix + PartHost() + "-" + std::to_string(::getpid()) + "-" +
                                          std::to_string(++counter) + PartSuffix);
        if (!Exists(p)) return p;
    }
}

// Reads a part name: ".ruzozu-copy-" [host "-"] pid "-" n ".part"; host
// is empty for the names of earlier versions, which carried none.
bool ReadPartName(const std::string& name, std::string& host, long& pid) {
    const size_t pre = std::strlen(PartPrefix), suf = std::strlen(PartSuffix);
    if (name.size() <= pre + suf || name.compare(0, pre, PartPrefix) != 0 ||
        name.compare(name.size() - suf, suf, PartSuffix) != 0)
        return false;
    std::string mid = name.substr(pre, name.size() - pre - suf);
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
        const size_t dash = mid.find('-', at);
        fields.push_back(mid.substr(at, dash == std::string::npos ? dash : dash - at));
        if (dash == std::string::npos) break;
        at = dash + 1;
    }
    auto number = [](const std::string& f) {
        return !f.empty() && f.size() <= 9 && std::all_of(f.begin(), f.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (fields.size() == 2 && number(fields[0]) && number(fields[1])) {
        host.clear();
    } else if (fields.size() == 3 && !fields[0].empty() && number(fields[1]) && number(fields[2])) {
        host = fields[0];
    } else {
        return false;
    }
    pid = std::stol(fields[fields.size() - 2]);
    return true;
}

// The newest time of writing of path and, for a folder, of what it holds
// (at most a bounded number of entries).
bool NewestChange(const std::string& path, time_t& newest, ICopyProgress* progress) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return false;
    newest = st.st_mtime;
    if (!S_ISDIR(st.st_mode)) return true;
    std::error_code ec;
    size_t seen = 0;
    for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        // Past the bound the part is judged by what was seen: only names of
        // our own making are swept, and one left this large would else stay
        // for good.
        if (++seen > input_limits::kMaxPartWalkEntries) return true;
        if (progress) progress->Busy();
        struct stat e;
        if (::lstat(it->path().c_str(), &e) == 0) newest = std::max(newest, e.st_mtime);
    }
    return !ec;
}

HRESULT CopyIntoRun(const std::string& path, const std::string& dir, bool move, std::string* made,
                    TCopyRun& run) {
    if (made) made->clear();
    std::string src = StripSlash(path);
    struct stat st;
    if (::lstat(src.c_str(), &st) != 0) return E_NOTFOUND;
    if (!IsDir(dir)) return E_INVALIDARG;
    bool srcIsDir = S_ISDIR(st.st_mode);
    if (move) {
        if (!CanLeave(src)) return E_ACCESSDENIED;
        std::error_code ec;
        if (fs::equivalent(DirName(src), dir, ec)) {
            // A cut pasted back where it came from stays as it is.
            if (made) *made = src;
            return S_OK;
        }
    }
    if (srcIsDir && InsideOf(dir, src)) return E_INVALIDARG;
    std::string name = BaseName(src);
    std::string part;  // the copy under its temporary name
    auto dropPart = [&part, &run] {
        if (!part.empty()) RemoveForGood(part, nullptr, run.progress);
        part.clear();
    };
    for (int n = 1; n <= MaxNumbered; ++n) {
        std::string dest = JoinPath(dir, NumberedName(name, n, !srcIsDir));
        if (Exists(dest)) continue;
        if (move && part.empty()) {
            if (RenameNoReplace(src, dest) == 0) {
                if (made) *made = dest;
                return S_OK;
            }
            if (errno == EEXIST) continue;
            if (errno != EXDEV) return E_ACCESSDENIED;
            // Another file system: copy, then remove the original.
        }
        if (S_ISLNK(st.st_mode)) {
            std::error_code ec;
            fs::copy_symlink(src, dest, ec);
            if (ec == std::errc::file_exists) continue;  // taken meanwhile
            if (ec) return E_ACCESSDENIED;
        } else {
            if (part.empty()) {
                // The whole copy is made under a hidden name first; the
                // parts of killed copies go as a new one comes.
                SweepStalePartsIfDue(dir, run.progress);
                part = PartName(dir);
                const bool ok = srcIsDir ? ::mkdir(part.c_str(), 0700) == 0 && CopyTree(src, part, run)
                                         : S_ISREG(st.st_mode) && CopyRegularFile(src, part, run);
                if (!ok) {
                    dropPart();
                    return run.stopped ? S_FALSE : E_ACCESSDENIED;
                }
            }
            if (RenameNoReplace(part, dest) != 0) {
                if (errno == EEXIST) continue;  // taken meanwhile
                dropPart();
                return E_ACCESSDENIED;
            }
            part.clear();
        }
        run.ItemDone();  // the item itself; a stop now spares the next one
        if (move) {
            // The original goes as a delete for good would: a volume
            // mounted inside it stays, and the user is told.
            std::vector<std::string> kept;
            const HRESULT removed = RemoveForGood(src, &kept, run.progress);
            if (!kept.empty()) {
                TShellMenuHooks h = GetShellMenuHooks();
                if (h.ReportKept) h.ReportKept(kept);
            }
            if (FAILED(removed)) return E_ACCESSDENIED;
        }
        if (made) *made = dest;
        return S_OK;
    }
    dropPart();
    return E_FILEEXISTS;
}

// Counts into run what handing paths to dir copies (a move within one
// file system copies nothing, and is one item each); false when the
// progress stopped the run meanwhile.
bool CountRun(const std::vector<std::string>& paths, const std::string& dir, bool move, TCopyRun& run) {
    struct stat target;
    const bool known = ::stat(dir.c_str(), &target) == 0;
    run.counting = true;
    for (const std::string& p : paths) {
        if (run.stopped) break;
        struct stat st;
        if (move && known && ::lstat(StripSlash(p).c_str(), &st) == 0 && st.st_dev == target.st_dev) {
            run.ItemDone();
            continue;
        }
        CountCopy(StripSlash(p), run);
    }
    run.counting = false;
    run.itemsTotal = run.items;
    run.items = 0;
    return !run.stopped;
}

}  // namespace

HRESULT CopyInto(const std::string& path, const std::string& dir, bool move, std::string* made,
                 ICopyProgress* progress) {
    TCopyRun run;
    run.progress = progress;
    if (progress && !CountRun({path}, dir, move, run)) return S_FALSE;
    return CopyIntoRun(path, dir, move, made, run);
}

HRESULT MoveToTrash(const std::string& path) {
    std::string src = StripSlash(path);
    if (!Exists(src)) return E_NOTFOUND;
    if (!CanLeave(src)) return E_ACCESSDENIED;
    std::string trash = GetShellMenuConfig().trash;
    if (trash.empty()) return E_NOTIMPL;
    std::string files = trash + "/files", info = trash + "/info";
    if (!MakeDirs(files) || !MakeDirs(info)) return E_ACCESSDENIED;
    std::error_code ec;
    fs::path abs = fs::absolute(src, ec);
    if (ec) return E_FAIL;
    std::string name = BaseName(src);
    for (int n = 1; n <= MaxNumbered; ++n) {
        std::string cand = NumberedName(name, n, !IsDir(src));
        std::string infoPath = info + "/" + cand + ".trashinfo";
        std::string target = files + "/" + cand;
        if (Exists(target)) continue;
        // The info file claims the name first, as the trash's rules ask.
        int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return E_ACCESSDENIED;
        }
        char when[32];
        std::time_t now = std::time(nullptr);
        std::tm tmv;
        ::localtime_r(&now, &tmv);
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &tmv);
        std::string text = "[Trash Info]\nPath=" + PercentEncode(abs.lexically_normal().string()) +
                           "\nDeletionDate=" + when + "\n";
        bool ok = textfile::WriteAll(fd, text);
        ok = ::close(fd) == 0 && ok;
        if (!ok) {
            ::unlink(infoPath.c_str());
            return E_ACCESSDENIED;
        }
        if (RenameNoReplace(src, target) == 0) return S_OK;
        int err = errno;
        ::unlink(infoPath.c_str());
        if (err == EEXIST) continue;
        // Another file system: this trash cannot take it.
        return err == EXDEV ? E_NOTIMPL : E_ACCESSDENIED;
    }
    return E_FILEEXISTS;
}

int SweepStaleParts(const std::string& dir, ICopyProgress* progress) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return 0;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        std::string host;
        long pid = 0;
        if (ReadPartName(e->d_name, host, pid)) names.push_back(e->d_name);
    }
    ::closedir(d);
    const time_t now = ::time(nullptr);
    int removed = 0;
    for (const std::string& n : names) {
        std::string host;
        long pid = 0;
        ReadPartName(n, host, pid);
        const std::string p = JoinPath(dir, n);
        bool stale;
        if (host == PartHost()) {
            // Made here: stale as soon as its process is gone.
            stale = pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
        } else {
            // Made elsewhere: stale once nothing in it changed for a while.
            time_t newest = 0;
            stale = NewestChange(p, newest, progress) && now - newest > textfile::StaleTempSeconds;
        }
        if (stale && RemoveForGood(p, nullptr, progress) == S_OK) ++removed;
    }
    return removed;
}

int SweepStalePartsIfDue(const std::string& dir, ICopyProgress* progress) {
    // A folder is looked through once in the time a part takes to become
    // stale, as the temporaries of replaced files are.
    static std::mutex lock;
    static std::map<std::string, time_t> lastSweep;
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    {
        std::lock_guard<std::mutex> guard(lock);
        const auto it = lastSweep.find(dir);
        if (it != lastSweep.end() && now.tv_sec - it->second < textfile::StaleTempSeconds) return 0;
        if (lastSweep.size() >= 4096) lastSweep.clear();
        lastSweep[dir] = now.tv_sec;
    }
    return SweepStaleParts(dir, progress);
}

HRESULT RemoveForGood(const std::string& path, std::vector<std::string>* kept, ICopyProgress* progress) {
    if (kept) kept->clear();
    const std::string src = StripSlash(path);
    if (src.empty() || !Exists(src)) return E_NOTFOUND;
    char real[PATH_MAX];
    if (!::realpath(DirName(src).c_str(), real)) return E_ACCESSDENIED;
    const std::string holder = real;
    const std::string name = BaseName(src);
    if (name.empty() || name == "." || name == "..") return E_INVALIDARG;
    const int at = ::open(holder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (at < 0) return E_ACCESSDENIED;
    TRemoval r;
    r.kept = kept;
    r.progress = progress;
    const std::string whole = JoinPath(holder, name);
    r.mounts = MountPointsUnder(whole);
    // The item's own mount is its folder's: a mount point itself stays.
    bool ok = MountKeyOf(at, r.top);
    if (ok) ok = RemoveEntry(at, name, whole, r);
    else r.failed = true;
    ::close(at);
    if (ok) return S_OK;
    return r.failed ? E_ACCESSDENIED : S_FALSE;
}

HRESULT NewFolderIn(const std::string& dir, std::string* made) {
    if (made) made->clear();
    if (!IsDir(dir)) return E_INVALIDARG;
    const std::string name = "新しいフォルダー";
    for (int n = 1; n <= MaxNumbered; ++n) {
        std::string p = JoinPath(dir, NumberedName(name, n, false));
        if (::mkdir(p.c_str(), 0777) == 0) {
            if (made) *made = p;
            return S_OK;
        }
        if (errno != EEXIST) return E_ACCESSDENIED;
    }
    return E_FILEEXISTS;
}

bool StartProgram(const std::string& program, const std::vector<std::string>& args) {
    TShellMenuHooks h = GetShellMenuHooks();
    if (h.StartProgram) return h.StartProgram(program, args);
    if (!IsProgram(program)) return false;
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    return proc::SpawnDetached(argv);
}

HRESULT DropPathsOn(const std::string& osTarget, const std::vector<std::string>& paths, bool move) {
    if (paths.empty()) return E_INVALIDARG;
    if (IsDir(osTarget)) {
        TShellMenuHooks h = GetShellMenuHooks();
        std::unique_ptr<ICopyProgress> progress = h.BeginCopy ? h.BeginCopy() : nullptr;
        TCopyRun run;
        run.progress = progress.get();
        if (progress && !CountRun(paths, osTarget, move, run)) return S_FALSE;
        HRESULT result = S_OK;
        for (const std::string& p : paths) {
            if (FAILED(CopyIntoRun(p, osTarget, move, nullptr, run))) result = E_FAIL;
            if (run.stopped) return FAILED(result) ? result : S_FALSE;
        }
        return result;
    }
    // A program is never started by a paste or a drop: only a Send To
    // entry, which the user placed there to be run, starts one.
    return E_INVALIDARG;
}

}  // namespace shell
