// The helpers of the shell namespace: its own item IDs, names and paths,
// the probes for subfolders and the namespace's configuration.
#pragma once

#include "shellns.h"

#include <sys/statfs.h>
#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace shell {
namespace internal {

// Our items: count (2 bytes), kind, flags, the UTF-8 name and a zero byte.

inline constexpr uint8_t KindComputer = 'C';
inline constexpr uint8_t KindHome = 'H';
inline constexpr uint8_t KindVolume = 'V';
inline constexpr uint8_t KindFile = 'F';
inline constexpr uint8_t FlagFolder = 0x01;
inline constexpr size_t ItemHeader = 4;

inline constexpr const char* ComputerParsingName = "computer:///";

struct TItem {
    uint8_t kind = 0;
    uint8_t flags = 0;
    std::string name;  // UTF-8; a mount point for volumes
    bool folder() const { return (flags & FlagFolder) != 0; }
};

bool ValidFileName(const std::string& n);

// Reads the first item of a list; false for the empty list and for an item
// that is not one of ours.
bool ReadItem(LPCITEMIDLIST list, TItem& out);

LPITEMIDLIST MakeItem(uint8_t kind, uint8_t flags, const std::string& name);

// Plain ASCII is the same bytes in both codes.
bool IsAscii(std::string_view s);

// UTF-8 name to Shift-JIS, only when the way back gives the same bytes.
bool ToSjisName(const std::string& utf8, std::string& out);

// Shift-JIS to UTF-8, only for text that is whole Shift-JIS.
bool FromSjisName(const std::string& s, std::string& utf8);

std::string Join(const std::string& dir, const std::string& name);

// "/a//b/./c/../d/" -> "/a/b/d"; empty for a relative path.
std::string NormalizePath(const std::string& p);

bool IsDir(const std::string& path);

bool Exists(const std::string& path);

bool Under(const std::string& path, const std::string& dir);

// Whether a folder may hold subfolders, from its link count alone: above
// 2 it holds some; exactly 2 means none where the file system counts
// subfolders in the link count; otherwise it may, until it is opened.
bool MaySubfolders(nlink_t links, bool countsSubfolders);

bool CountingFileSystem(const struct statfs& fs);

// Whether the folder path (relative to the folder at, or absolute) shows a
// subfolder through a link.  The link count leaves links out, so a folder
// of links only ("classes/" holding links to each class) counts as one
// without subfolders.  Only the first entries are looked at: a folder with
// more of them may have one until it is opened.  This runs for every leaf
// folder of a listing, so the entries are read straight into a buffer on
// the stack.
bool LinkedSubfolderIn(int at, const char* path);

// Whether a folder may have subfolders, real or linked, where counts
// tells that its file system counts real subfolders in the link count.
bool MaySubfoldersAt(nlink_t links, bool counts, int at, const char* path);

// Whether a folder's size alone tells that it is empty, on the file
// systems whose folder size grows with every entry (tmpfs counts 20 bytes
// an entry, "." and ".." included; an empty xfs folder holds 6 bytes).
bool EmptyBySize(long fsType, off_t size);

bool HasSubfolder(const std::string& path);

// Whether a link leads back to a folder on its own way from "/" (the
// folder that holds it, one above that, or one that such a folder's real
// place lies in): opening it would show the same folders again and again,
// also through two links that lead to each other's folders, so such a link
// is shown without subfolders.
bool LinkLoopsBack(const std::string& link);

// "\040" and the like (in the mount table) back to their bytes.
std::string Unescape(const std::string& s);

// A setting kept behind a mutex, read and written whole.
template <class T>
T LockedGet(std::mutex& m, const T& value) {
    std::lock_guard<std::mutex> lock(m);
    return value;
}
template <class T>
void LockedSet(std::mutex& m, T& value, const T& to) {
    std::lock_guard<std::mutex> lock(m);
    value = to;
}

std::mutex& ConfigMutex();

TNamespaceConfig& Config();

// The folder whose entries the desktop shows ("" for none).
std::string DesktopItemsDir(const TNamespaceConfig& c);

// The desktop's own path: the desktop folder, or the home folder without one.
std::string DesktopPath(const TNamespaceConfig& c);

std::string VolumeOf(const std::string& path, const std::vector<std::string>& volumes);

bool IsProgram(const std::string& p);

std::string StripSlash(std::string p);

std::string BaseName(const std::string& p);

std::string DirName(const std::string& p);

std::string JoinPath(const std::string& dir, const std::string& name);

// True when path is the mount point of a volume (or "/"): never moved,
// renamed or deleted by a menu command.
bool IsMountPoint(const std::string& path);

// May the item leave its folder (cut, delete)?
bool CanLeave(const std::string& path);

}  // namespace internal
}  // namespace shell
