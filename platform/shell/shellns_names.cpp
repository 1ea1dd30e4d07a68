// Names, paths and attributes of items, over any folder of the namespace.
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

using namespace internal;

// ---------------------------------------------------------------------------
// Helpers.

bool IsBlankName(const std::string& utf8) {
    for (size_t i = 0; i < utf8.size();) {
        if (utf8[i] == ' ' || utf8[i] == '\t') {
            ++i;
        } else if (utf8.compare(i, 3, "\xE3\x80\x80") == 0) {  // a full-width blank
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

bool HasControlCharacter(const std::string& utf8) {
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(utf8[i + 1]) <= 0x9F)
            return true;
    }
    return false;
}

bool SameItemID(const ShellFolderPtr& folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
    if (!folder) return false;
    HRESULT hr = folder->CompareIDs(0, a, b);
    return SUCCEEDED(hr) && CompareCode(hr) == 0;
}

int ComparePidls(const ShellFolderPtr& folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
    if (!folder) return -1;
    HRESULT hr = folder->CompareIDs(0, a, b);
    return SUCCEEDED(hr) ? CompareCode(hr) : -1;
}

LPITEMIDLIST PathToPidl(const std::string& path) {
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetDesktopFolder()->ParseDisplayName(path, list))) return nullptr;
    return list;
}

bool IsParsablePath(const std::string& path) {
    TPidl p(PathToPidl(path));
    return static_cast<bool>(p);
}

LPITEMIDLIST AbsolutePidlOf(const ShellFolderPtr& folder, LPCITEMIDLIST item) {
    std::string name;
    if (!GetDisplayName(folder, item, SHGDN_FORPARSING, name)) return nullptr;
    return PathToPidl(name);
}

bool HasParsingName(const ShellFolderPtr& folder, LPCITEMIDLIST item) {
    TPidl p(AbsolutePidlOf(folder, item));
    return static_cast<bool>(p);
}

std::string PidlDisplayName(LPCITEMIDLIST abs) {
    std::string s;
    GetDisplayName(SHGetDesktopFolder(), abs, SHGDN_NORMAL, s);
    return s;
}

std::string ParsingNameOf(const ShellFolderPtr& folder, LPCITEMIDLIST item) {
    std::string s;
    GetDisplayName(folder, item, SHGDN_FORPARSING, s);
    return s;
}

std::string PidlToPath(LPCITEMIDLIST abs) {
    std::string s;
    if (!GetDisplayName(SHGetDesktopFolder(), abs, SHGDN_FORPARSING, s)) return std::string();
    return !s.empty() && s[0] == '/' ? s : std::string();
}

bool CanRenameItem(const ShellFolderPtr& folder, LPCITEMIDLIST item) {
    if (!folder || !item) return false;
    uint32_t attrs = SFGAO_CANRENAME;
    return SUCCEEDED(folder->GetAttributesOf(1, &item, attrs)) && (attrs & SFGAO_CANRENAME);
}

bool SplitPidl(LPCITEMIDLIST abs, ShellFolderPtr& folder, LPITEMIDLIST& last) {
    if (PidlItemCount(abs) < 2) return false;
    TPidl head(ParentPidl(abs));
    ShellFolderPtr f;
    if (FAILED(SHGetDesktopFolder()->BindToObject(head.get(), f))) return false;
    LPITEMIDLIST l = LastItemCopy(abs);
    if (!l) return false;
    folder = f;
    last = l;
    return true;
}

ShellFolderPtr BindAbsolute(LPCITEMIDLIST abs) {
    ShellFolderPtr desktop = SHGetDesktopFolder();
    if (!abs) return nullptr;
    if (PidlItemCount(abs) == 0) return desktop;
    ShellFolderPtr f;
    if (FAILED(desktop->BindToObject(abs, f))) return nullptr;
    return f;
}

uint32_t PidlAttributes(LPCITEMIDLIST abs, uint32_t mask) {
    unsigned n = PidlItemCount(abs);
    if (n == 0) return 0;
    ShellFolderPtr parent = SHGetDesktopFolder();
    TPidl last(LastItemCopy(abs));
    if (n > 1) {
        TPidl head(ParentPidl(abs));
        parent = BindAbsolute(head.get());
        if (!parent) return 0;
    }
    LPCITEMIDLIST item = last.get();
    uint32_t attrs = mask;
    if (FAILED(parent->GetAttributesOf(1, &item, attrs))) return 0;
    return attrs;
}

bool LinkCountTellsSubfolders(const std::string& utf8Dir) {
    struct statfs fs;
    return ::statfs(utf8Dir.c_str(), &fs) == 0 && CountingFileSystem(fs);
}

std::string PidlIconName(LPCITEMIDLIST abs, bool open) {
    if (!abs) return std::string();
    if (PidlItemCount(abs) == 0) return "user-desktop";
    std::string icon;
    SHGetDesktopFolder()->GetIconNameOf(abs, open, icon);
    return icon;
}

}  // namespace shell
