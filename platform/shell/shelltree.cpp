#include "shelltree.h"

#include "sjis.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace shell {

std::vector<TTreeChild> ListTreeChildren(const ShellFolderPtr& folder, LPCITEMIDLIST folderAbs,
                                         const TTreeListing& options, bool* listed) {
    std::vector<TTreeChild> out;
    std::vector<TListedItem> items;
    // One listing gives every child's names, attributes, icon and list.
    bool ok = folder && SUCCEEDED(folder->ListItems(options.EnumFlags, options.AttributeMask,
                                                    options.Parse && options.WantAbsolute, items));
    if (listed) *listed = ok;
    if (!ok) return out;
    out.reserve(items.size());
    for (TListedItem& li : items) {
        TTreeChild c;
        c.Relative = std::move(li.Item);
        c.Attributes = li.Attributes;
        c.HasText = true;
        c.Text = std::move(li.Name);
        c.Utf8Text = std::move(li.Utf8Name);
        c.Absolute = std::move(li.Absolute);
        c.Parsable = static_cast<bool>(c.Absolute);
        if (!c.Absolute && options.WantAbsolute) c.Absolute.reset(ConcatPidls(folderAbs, c.Relative.get()));
        c.IconName = std::move(li.IconName);
        // Only a closed folder has an open icon of its own.
        c.OpenIconName = c.IconName == "folder" ? "folder-open" : c.IconName;
        if (options.Keep && !options.Keep(c)) continue;
        out.push_back(std::move(c));
    }
    // The listing comes in the folder's order; files first on request.
    if (options.FilesFirst)
        std::stable_partition(out.begin(), out.end(), [](const TTreeChild& c) { return !c.IsFolder(); });
    return out;
}

bool SamePidlBytes(LPCITEMIDLIST a, LPCITEMIDLIST b) {
    if (!a || !b) return false;
    size_t na = PidlSize(a);
    return na == PidlSize(b) && std::memcmp(a, b, na) == 0;
}

int FindTreeChild(const ShellFolderPtr& folder, int count, const std::function<LPCITEMIDLIST(int)>& itemOf,
                  LPCITEMIDLIST item) {
    if (!item) return -1;
    for (int i = 0; i < count; ++i)
        if (SamePidlBytes(itemOf(i), item)) return i;
    for (int i = 0; i < count; ++i) {
        LPCITEMIDLIST n = itemOf(i);
        if (n && SameItemID(folder, n, item)) return i;
    }
    return -1;
}

const char* RenameRefusalText(const std::string& typed, HRESULT hr) {
    if (typed.empty()) return "名前が入力されていません。";
    if (IsBlankName(typed)) return "空白だけの名前は付けられません。";
    if (typed == "." || typed == ".." || typed.find('/') != std::string::npos)
        return "「.」「..」や「/」を含む名前は付けられません。";
    if (HasControlCharacter(typed)) return "改行やタブなどの制御文字を含む名前は付けられません。";
    std::string sj;
    if (!sjis::FromUtf8(typed, sj) || sjis::ToUtf8(sj) != typed)
        return "この名前には使えない文字が含まれています。";
    if (hr == E_FILEEXISTS) return "同じ名前のフォルダーかファイルがすでにあります。";
    if (hr == E_NOTFOUND) return "このフォルダーはもうありません。";
    return "名前を変更できませんでした。";
}

}  // namespace shell
