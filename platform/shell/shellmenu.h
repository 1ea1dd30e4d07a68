// Context menus of shell items and the commands behind them.
//
// For items of one folder of our namespace a context menu offers what a
// Linux desktop offers for files: open, cut, copy, paste, delete (to the
// freedesktop trash), rename, new folder and a Send To submenu.  The menu
// is a plain model (TMenu) that the windows show with their own toolkit;
// the commands work on the real files and need no display.  What needs the
// desktop (opening a document, starting a program, the system clipboard,
// asking the user) goes through hooks that the windows install.
//
// Command ids: a menu is filled with ids from a first id on; a command's
// offset (id - first id) is its verb number below, as the shell's menus
// number them.
//
// Names never replace what exists: a copy, move, paste, drop or send onto
// a name that is taken gets the first free name "name (2).ext",
// "name (3).ext" ...; a cut pasted back into its own folder stays where it
// is; a folder is never copied or moved into itself.
#pragma once

#include "pidl.h"
#include "shellns.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace shell {

// Attributes of items as the commands see them.
constexpr uint32_t SFGAO_CANCOPY = 0x00000001;
constexpr uint32_t SFGAO_CANMOVE = 0x00000002;
constexpr uint32_t SFGAO_CANLINK = 0x00000004;
constexpr uint32_t SFGAO_CANDELETE = 0x00000020;
constexpr uint32_t SFGAO_HASPROPSHEET = 0x00000040;
constexpr uint32_t SFGAO_DROPTARGET = 0x00000100;

// Verb numbers (command offsets).
enum TShellVerb : unsigned {
    verbOpen = 0,
    verbCreateLink = 16,
    verbDelete = 17,
    verbRename = 18,
    verbProperties = 19,
    verbCut = 24,
    verbCopy = 25,
    verbPaste = 26,
    verbNewFolder = 27,
    // Send To entry i is verbSendTo + i.
    verbSendTo = 0x200,
    verbSendToLast = 0x200 + 99,
};

// The explore flag of QueryContextMenu.
constexpr unsigned CMF_EXPLORE = 4;

// A popup menu: entries with an id, a Shift-JIS text with its "(&X)"
// accelerator, an enabled state, separators and submenus.
class TMenu {
public:
    struct TEntry {
        unsigned id = 0;
        std::string text;
        bool enabled = true;
        bool separator = false;
        std::shared_ptr<TMenu> sub;
    };

    void AppendString(unsigned id, const std::string& text, bool enabled = true);
    void AppendSeparator();
    // A new submenu entry; the submenu is returned.
    TMenu& AppendSubMenu(const std::string& text);
    // Removes the entry at position (from 0); false when there is none.
    bool Delete(size_t position);
    size_t Count() const { return Entries.size(); }
    // The entry with the id, searched through the submenus; nil when none.
    const TEntry* FindId(unsigned id) const;

    std::vector<TEntry> Entries;
};

// Where the commands find the Send To folder and the trash.  Tests set
// their own.  Paths are UTF-8, without a trailing "/".
struct TShellMenuConfig {
    std::string sendTo;  // default: $XDG_DATA_HOME/ruzozu/SendTo
    std::string trash;   // default: $XDG_DATA_HOME/Trash
};
TShellMenuConfig DefaultShellMenuConfig();
void SetShellMenuConfig(const TShellMenuConfig& config);
TShellMenuConfig GetShellMenuConfig();

// Items on the clipboard: file-system paths (UTF-8) and whether they were
// cut.
struct TClipItems {
    std::vector<std::string> paths;
    bool cut = false;
};

// The progress of a long copy (a paste, a drop or a send to a folder).
// Step is called after each block with the bytes done and the bytes in
// all (the holes of a sparse file count as done); Item after each file,
// folder or link with the items done and in all, and while the items are
// first counted with the items counted so far and a total of 0.  Either
// returning false stops the copy, and the item being copied is removed
// again.  A copy of many small or empty files thus reports as often as one
// of large ones.
class ICopyProgress {
public:
    virtual ~ICopyProgress() = default;
    virtual bool Step(uint64_t done, uint64_t total) = 0;
    virtual bool Item(uint64_t done, uint64_t total) {
        (void)done;
        (void)total;
        return true;
    }
    // Called for each item of a phase that cannot be stopped and has no
    // measure (a moved original removed, a stopped copy's part removed,
    // the parts of killed copies swept): the window shows busy and keeps
    // being drawn, also after a cancel.
    virtual void Busy() {}
};

// What the commands ask of the desktop.  Empty hooks: documents cannot be
// opened, programs are started directly (fork and exec, no shell), the
// clipboard lives in this process only, and a delete that cannot go to the
// trash is refused.
struct TShellMenuHooks {
    std::function<bool(const std::string& path)> OpenDocument;
    std::function<bool(const std::string& program, const std::vector<std::string>& args)> StartProgram;
    std::function<void(const TClipItems& items)> SetClipboard;
    std::function<bool(TClipItems& items)> GetClipboard;
    // Asked before deleting for good what cannot go to the trash.
    std::function<bool(const std::vector<std::string>& paths)> ConfirmDelete;
    // Told what a delete for good left because it lies on another file
    // system (mount points inside the deleted folders).
    std::function<void(const std::vector<std::string>& kept)> ReportKept;
    // Starts showing the progress of a copy; nil: the copy runs unseen.
    std::function<std::unique_ptr<ICopyProgress>()> BeginCopy;
};
void SetShellMenuHooks(const TShellMenuHooks& hooks);
TShellMenuHooks GetShellMenuHooks();

// The clipboard of items (through the hooks when they are set).
void SetClipItems(const TClipItems& items);
TClipItems GetClipItems();
void ClearClipItems();

// One invocation of a command.
struct TInvokeInfo {
    unsigned verb = 0;  // the command offset
    // Asks the new name for a rename (Shift-JIS, old name given); false:
    // cancelled.  Without it a rename fails, and the caller edits the name
    // itself.
    std::function<bool(const std::string& oldName, std::string& newName)> AskNewName;
    // Receives the path (UTF-8) of the folder a new-folder command made.
    std::string* Made = nullptr;
};

class IContextMenu {
public:
    virtual ~IContextMenu() = default;
    // Inserts the commands at position index of menu with ids from idFirst
    // to idLast.  Success carries the largest offset used plus one.
    virtual HRESULT QueryContextMenu(TMenu& menu, unsigned index, unsigned idFirst, unsigned idLast,
                                     unsigned flags) = 0;
    // Fills a submenu that is about to open (the Send To submenu).
    virtual HRESULT InitMenuPopup(TMenu& submenu) = 0;
    virtual HRESULT InvokeCommand(const TInvokeInfo& info) = 0;
};

// The context menu of count items of folder (one-item lists each).  Fails
// for items that are not in the file system.
HRESULT GetContextMenuOf(const ShellFolderPtr& folder, unsigned count, const LPCITEMIDLIST* items,
                         std::unique_ptr<IContextMenu>& out);

// The command attributes (SFGAO_CAN... and SFGAO_DROPTARGET) of one item,
// with the namespace's own attributes, all masked by mask.
HRESULT GetItemAttributes(const ShellFolderPtr& folder, LPCITEMIDLIST item, uint32_t mask, uint32_t& attrs);

// The file-system paths (UTF-8) of count items of folder: the data a drag
// offers.  Fails when one of them has none.
HRESULT GetItemPaths(const ShellFolderPtr& folder, unsigned count, const LPCITEMIDLIST* items,
                     std::vector<std::string>& paths);

// Splits a list of count successive one-item lists into copies of each;
// false (and nothing kept) when the list ends before count items.
bool SplitItems(LPCITEMIDLIST items, unsigned count, std::vector<TPidl>& out);

// The entries of the Send To folder in name order, at most 100: their
// paths (UTF-8) and shown names (Shift-JIS).
struct TSendToEntry {
    std::string path;
    std::string name;
    bool folder = false;
};
std::vector<TSendToEntry> SendToEntries();

// A name as a menu entry's text: "&" doubled, so that it shows as itself
// and marks no accelerator.
std::string MenuEntryText(const std::string& sjisName);

// Hands paths to a folder: copied into it, or moved when move.  Any other
// target, a program included, is refused (E_INVALIDARG): a paste or a drop
// never starts a program.  osTarget is UTF-8.  S_OK when everything went
// through; S_FALSE when the user stopped the copy (the items done stay,
// nothing of the one under way does).
//
// Copies are made under a hidden temporary name in the target folder and
// get their name only once complete, so a copy that fails or is stopped
// leaves no part of a file; holes of sparse files stay holes where the
// file systems allow.  Copying reports its progress through BeginCopy.
HRESULT DropPathsOn(const std::string& osTarget, const std::vector<std::string>& paths, bool move);

// Lower-level file commands, UTF-8 paths.
// The first free name for name in dir ("name", "name (2)", ...).
std::string FreeName(const std::string& dir, const std::string& name);
// Copies or moves path into dir under a free name; the new path in made.
// S_FALSE when the progress stopped it (nothing made).
HRESULT CopyInto(const std::string& path, const std::string& dir, bool move, std::string* made = nullptr,
                 ICopyProgress* progress = nullptr);
// Moves path into the freedesktop trash (files/ and info/ with a
// .trashinfo record); E_NOTIMPL when the trash cannot take it because it
// lies on another file system.
HRESULT MoveToTrash(const std::string& path);
// Removes from dir the hidden parts of copies that were killed: those
// made on this computer by a process that is gone, and those made
// elsewhere in which nothing changed for textfile::StaleTempSeconds.  Only
// names of this program's making (".ruzozu-copy-" host "-" pid "-" n
// ".part") are touched, never through a link or into a mount.  Returns how
// many went.
int SweepStaleParts(const std::string& dir, ICopyProgress* progress = nullptr);
// The tag a part name carries for the computer named hostName: letters,
// digits and "_" (never "-" or "."), no two names sharing one.
std::string PartHostTag(const std::string& hostName);
// The same, done at most once per textfile::StaleTempSeconds for one
// folder in this process; a copy into dir calls it.
int SweepStalePartsIfDue(const std::string& dir, ICopyProgress* progress = nullptr);
// Deletes path for good, a folder with everything in it, as far as it
// lies on the file system (and mount) of the folder holding path: nothing
// behind a link is touched, and a volume mounted inside (a bind mount
// included) is neither entered nor removed.  S_OK when path is gone;
// S_FALSE when mount points stayed (their paths in kept; the folders that
// hold them stay too); a failure code when something else could not go.
HRESULT RemoveForGood(const std::string& path, std::vector<std::string>* kept = nullptr,
                      ICopyProgress* progress = nullptr);
// Creates "新しいフォルダー" (or a free variant) in dir.
HRESULT NewFolderIn(const std::string& dir, std::string* made = nullptr);
// Starts a program with separate arguments, through the hook when set.
bool StartProgram(const std::string& program, const std::vector<std::string>& args);

}  // namespace shell
