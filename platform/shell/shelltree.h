// What both folder trees (the drill program's and the controller's) read of
// a folder when a node opens: its items with their names, attributes and
// icon names, each read once, in the folder's own order.  No Qt here.
#pragma once

#include "pidl.h"
#include "shellns.h"

#include <functional>
#include <string>
#include <vector>

namespace shell {

// One item of an opened folder.
struct TTreeChild {
    TPidl Relative;          // the one-item list within the folder
    TPidl Absolute;          // from the desktop; see TTreeListing::Parse
    bool Parsable = false;   // Absolute is the parse of the item's parsing name
    bool HasText = false;    // the folder gave a name
    std::string Text;        // Shift-JIS, as shown in the folder
    std::string Utf8Text;    // the same as UTF-8
    uint32_t Attributes = 0; // the answer to TTreeListing::AttributeMask
    std::string IconName, OpenIconName;
    // Whether the node shows a plus sign (it may have children).
    bool HasChildren() const { return (Attributes & SFGAO_HASSUBFOLDER) != 0; }
    bool IsFolder() const { return (Attributes & SFGAO_FOLDER) != 0; }
};

struct TTreeListing {
    unsigned EnumFlags = SHCONTF_FOLDERS;
    uint32_t AttributeMask = SFGAO_HASSUBFOLDER | SFGAO_FOLDER;
    // Parse each item's parsing name into Absolute (the canonical list);
    // when off, or when the parse fails, Absolute is the folder's list with
    // the item added.
    bool Parse = false;
    // Whether Absolute is wanted at all.
    bool WantAbsolute = true;
    // Files before folders (the drill tree's explorer order).
    bool FilesFirst = false;
    // Which items become nodes; empty keeps all.
    std::function<bool(const TTreeChild&)> Keep;
};

// Lists the items of folder (whose list from the desktop is folderAbs, may
// be nil) as options ask, sorted by the folder's comparison.  Every parse
// of the listing reads the mount table once.  *listed (when given) tells
// whether the folder could be listed at all.
std::vector<TTreeChild> ListTreeChildren(const ShellFolderPtr& folder, LPCITEMIDLIST folderAbs,
                                         const TTreeListing& options, bool* listed = nullptr);

// The index among count nodes (itemOf(i) gives the one-item list of node
// i) of the node that stands for item, -1 when none does: first by the same
// bytes (the namespace makes both the same way), then by the folder's
// comparison, so that a folder of thousands is searched without thousands
// of comparisons.
int FindTreeChild(const ShellFolderPtr& folder, int count, const std::function<LPCITEMIDLIST(int)>& itemOf,
                  LPCITEMIDLIST item);

// Why a rename to typed (UTF-8, as the user typed it) was refused, for the
// user (UTF-8 Japanese); hr is what the rename answered.
const char* RenameRefusalText(const std::string& typed, HRESULT hr);

// Whether two lists hold the same bytes.
bool SamePidlBytes(LPCITEMIDLIST a, LPCITEMIDLIST b);

}  // namespace shell
