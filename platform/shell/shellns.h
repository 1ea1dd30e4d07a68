// The shell namespace over the Linux file system.
//
// The desktop is the root (the empty list).  It holds the computer, which
// holds "/" and the mounted volumes, the home folder, and the items of the
// desktop folder.  Every path parses into one canonical list: through the
// computer and the volume with the longest matching mount point.
//
// Names handed in and out are Shift-JIS bytes, as every text of the
// programs; on disk they are UTF-8.  A name on disk that has no exact
// Shift-JIS form is not listed, cannot be parsed and has no display name.
#pragma once

#include "pidl.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace shell {

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_FILEEXISTS = static_cast<HRESULT>(0x80070050u);
constexpr HRESULT E_NOTFOUND = static_cast<HRESULT>(0x80070002u);
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }
// A successful comparison result carrying n in its low 16 bits.
inline HRESULT CompareResult(int n) { return static_cast<HRESULT>(static_cast<uint16_t>(static_cast<int16_t>(n))); }
inline int16_t CompareCode(HRESULT hr) { return static_cast<int16_t>(static_cast<uint16_t>(hr & 0xFFFF)); }

// Attributes.
constexpr uint32_t SFGAO_CANRENAME = 0x00000010;
constexpr uint32_t SFGAO_GHOSTED = 0x00008000;
constexpr uint32_t SFGAO_LINK = 0x00010000;
constexpr uint32_t SFGAO_SHARE = 0x00020000;
constexpr uint32_t SFGAO_HIDDEN = 0x00080000;
constexpr uint32_t SFGAO_REMOVABLE = 0x02000000;
constexpr uint32_t SFGAO_FILESYSANCESTOR = 0x10000000;
constexpr uint32_t SFGAO_FOLDER = 0x20000000;
constexpr uint32_t SFGAO_FILESYSTEM = 0x40000000;
constexpr uint32_t SFGAO_HASSUBFOLDER = 0x80000000;

// Enumeration flags.
constexpr unsigned SHCONTF_FOLDERS = 0x20;
constexpr unsigned SHCONTF_NONFOLDERS = 0x40;
constexpr unsigned SHCONTF_INCLUDEHIDDEN = 0x80;

// Display-name flags.
constexpr unsigned SHGDN_NORMAL = 0x0000;
constexpr unsigned SHGDN_INFOLDER = 0x0001;
constexpr unsigned SHGDN_FORPARSING = 0x8000;

// Special folders.
constexpr int CSIDL_DESKTOP = 0;
constexpr int CSIDL_PROGRAMS = 2;
constexpr int CSIDL_CONTROLS = 3;
constexpr int CSIDL_PRINTERS = 4;
constexpr int CSIDL_PERSONAL = 5;
constexpr int CSIDL_FAVORITES = 6;
constexpr int CSIDL_STARTUP = 7;
constexpr int CSIDL_RECENT = 8;
constexpr int CSIDL_SENDTO = 9;
constexpr int CSIDL_BITBUCKET = 10;
constexpr int CSIDL_STARTMENU = 11;
constexpr int CSIDL_DESKTOPDIRECTORY = 16;
constexpr int CSIDL_DRIVES = 17;
constexpr int CSIDL_TEMPLATES = 21;
constexpr int CSIDL_APPDATA = 26;

// Where the namespace finds the user's folders and the volumes.  Tests set
// their own; the default is read from the environment.
struct TNamespaceConfig {
    std::string home;                  // UTF-8 path, no trailing "/"
    std::string desktop;               // UTF-8 path, no trailing "/"
    std::vector<std::string> volumes;  // mount points; empty: read the mount table
    std::string mountTable = "/proc/self/mounts";
};
TNamespaceConfig DefaultNamespaceConfig();
void SetNamespaceConfig(const TNamespaceConfig& config);
TNamespaceConfig GetNamespaceConfig();

// The volumes shown under the computer: "/" first, then the other mount
// points of real devices in name order.
std::vector<std::string> CurrentVolumes();
// While one of these lives on a thread, CurrentVolumes on that thread reads
// the mount table once and answers from that reading: a tree that lists and
// parses many items at once does not read the table for each of them.
class TVolumeSnapshot {
public:
    TVolumeSnapshot();
    ~TVolumeSnapshot();
    TVolumeSnapshot(const TVolumeSnapshot&) = delete;
    TVolumeSnapshot& operator=(const TVolumeSnapshot&) = delete;
};
// Reads mount points from a mount table in the /proc/mounts format.
std::vector<std::string> ReadMountTable(const std::string& path);

class IEnumIDList {
public:
    virtual ~IEnumIDList() = default;
    // S_OK with a new one-item list (the caller frees it), S_FALSE at the end.
    virtual HRESULT Next(LPITEMIDLIST& item) = 0;
};

class IShellFolder;
using ShellFolderPtr = std::shared_ptr<IShellFolder>;

// One item of a folder with what the views show of it, as one listing of
// the folder reads it (see IShellFolder::ListItems).
struct TListedItem {
    TPidl Item;               // the one-item list within the folder
    TPidl Absolute;           // from the desktop, the canonical list (when asked)
    std::string Name;         // Shift-JIS, as shown in the folder
    std::string Utf8Name;     // the same name as UTF-8
    std::string Path;         // UTF-8 file-system path; "" outside the file system
    uint32_t Attributes = 0;  // the asked attributes the item has
    std::string IconName;     // icon-theme name of the closed item
    bool HasFindData = false; // Size and Written were read
    int64_t Size = 0;         // bytes; 0 for a folder
    int64_t Written = 0;      // last write, seconds since the epoch
    bool MountPoint = false;  // a folder where another volume is mounted
};

class IShellFolder {
public:
    virtual ~IShellFolder() = default;
    // Parses a Shift-JIS path or parsing name into a new list relative to
    // this folder.
    virtual HRESULT ParseDisplayName(const std::string& name, LPITEMIDLIST& list) = 0;
    virtual HRESULT EnumObjects(unsigned flags, std::unique_ptr<IEnumIDList>& out) = 0;
    virtual HRESULT BindToObject(LPCITEMIDLIST list, ShellFolderPtr& out) = 0;
    // Success with the order in the low 16 bits (negative, 0, positive).
    virtual HRESULT CompareIDs(intptr_t column, LPCITEMIDLIST a, LPCITEMIDLIST b) = 0;
    // Keeps in attrs only those asked attributes that all items have.
    virtual HRESULT GetAttributesOf(unsigned count, const LPCITEMIDLIST* items, uint32_t& attrs) = 0;
    // A Shift-JIS name.
    virtual HRESULT GetDisplayNameOf(LPCITEMIDLIST item, unsigned flags, std::string& name) = 0;
    // Renames one item; never replaces an existing one.  newItem receives
    // the item's new one-item list when it is not nil.
    virtual HRESULT SetNameOf(LPCITEMIDLIST item, const std::string& name, unsigned flags,
                              LPITEMIDLIST* newItem) = 0;
    // A desktop icon-theme name for the item ("folder", "drive-harddisk" ...).
    virtual HRESULT GetIconNameOf(LPCITEMIDLIST item, bool open, std::string& icon) = 0;
    // Lists the items EnumObjects would give for flags, each with its
    // names, the asked attributes, its icon name and its size and time, in
    // the folder's order (CompareIDs).  A file-system entry costs one
    // stat (a link one more for its target); nothing is opened to tell
    // whether a folder has subfolders: a folder's link count says so where
    // the file system counts subfolders in it (more than 2: some; 2: none),
    // elsewhere a folder may have some until it is opened.  With absolute,
    // each item's canonical list from the desktop is made too, without
    // looking at the levels above it again.
    virtual HRESULT ListItems(unsigned flags, uint32_t mask, bool absolute, std::vector<TListedItem>& out) = 0;
};

ShellFolderPtr SHGetDesktopFolder();
HRESULT SHGetSpecialFolderLocation(int csidl, LPITEMIDLIST& list);

// Whether a UTF-8 name is blanks only (half- and full-width blanks, tabs;
// true for ""): no rename gives such a name.
bool IsBlankName(const std::string& utf8);
// Whether a UTF-8 name holds a control character (CR, LF, TAB, DEL, any
// byte below the blank, or a C1 control): no rename gives such a name.
bool HasControlCharacter(const std::string& utf8);

// Helpers over the namespace.
bool GetDisplayName(const ShellFolderPtr& folder, LPCITEMIDLIST item, unsigned flags, std::string& s);
bool SameItemID(const ShellFolderPtr& folder, LPCITEMIDLIST a, LPCITEMIDLIST b);
// The low 16 bits of CompareIDs as a signed number; -1 on failure.
int ComparePidls(const ShellFolderPtr& folder, LPCITEMIDLIST a, LPCITEMIDLIST b);
// The desktop's parse of a path: a new absolute list, nil on failure.
LPITEMIDLIST PathToPidl(const std::string& path);
bool IsParsablePath(const std::string& path);
LPITEMIDLIST AbsolutePidlOf(const ShellFolderPtr& folder, LPCITEMIDLIST item);
bool HasParsingName(const ShellFolderPtr& folder, LPCITEMIDLIST item);
std::string PidlDisplayName(LPCITEMIDLIST abs);
std::string ParsingNameOf(const ShellFolderPtr& folder, LPCITEMIDLIST item);
// The file-system path of an absolute list; "" outside the file system.
std::string PidlToPath(LPCITEMIDLIST abs);
bool CanRenameItem(const ShellFolderPtr& folder, LPCITEMIDLIST item);
// For lists of two items or more: the folder that holds the last item and
// a copy of that item.
bool SplitPidl(LPCITEMIDLIST abs, ShellFolderPtr& folder, LPITEMIDLIST& last);
// The folder of an absolute list (the desktop for the empty list).
ShellFolderPtr BindAbsolute(LPCITEMIDLIST abs);
// Attributes of an absolute list, asked of its parent folder.
uint32_t PidlAttributes(LPCITEMIDLIST abs, uint32_t mask);
// The icon-theme name of an absolute list.
std::string PidlIconName(LPCITEMIDLIST abs, bool open);
// What ListItems gives for one item of folder; false when the item is gone.
bool ReadListedItem(const ShellFolderPtr& folder, LPCITEMIDLIST item, uint32_t mask, TListedItem& out);
// Whether the link count of a folder on the file system of utf8Dir tells
// its subfolders (ext4, xfs, tmpfs and the like count them; network and FAT
// file systems, btrfs and overlays do not).
bool LinkCountTellsSubfolders(const std::string& utf8Dir);

}  // namespace shell
