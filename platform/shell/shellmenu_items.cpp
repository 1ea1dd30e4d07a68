// The attributes of items and the context menu over them.
#include "shellmenu.h"
#include "shellns_internal.h"

#include "sjis.h"
#include "textfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace shell {

using internal::CanLeave;
using internal::Exists;
using internal::IsDir;
using internal::IsProgram;

// ---------------------------------------------------------------------------
// Items.

namespace {

// The file-system path (UTF-8) of an item; "" when it has none.
std::string ItemPath(const ShellFolderPtr& folder, LPCITEMIDLIST item) {
    std::string s = ParsingNameOf(folder, item);
    if (s.empty() || s[0] != '/') return std::string();
    return textfile::OsPath(s);
}

uint32_t PathAttributes(const std::string& p) {
    uint32_t a = 0;
    if (!Exists(p)) return 0;
    a |= SFGAO_CANCOPY;
    if (CanLeave(p)) a |= SFGAO_CANMOVE | SFGAO_CANDELETE;
    if (IsDir(p) && ::access(p.c_str(), W_OK) == 0) a |= SFGAO_DROPTARGET;
    return a;
}

}  // namespace

HRESULT GetItemAttributes(const ShellFolderPtr& folder, LPCITEMIDLIST item, uint32_t mask, uint32_t& attrs) {
    attrs = 0;
    if (!folder || !item) return E_INVALIDARG;
    uint32_t ns = mask;
    if (FAILED(folder->GetAttributesOf(1, &item, ns))) return E_FAIL;
    std::string p = ItemPath(folder, item);
    attrs = (ns | (p.empty() ? 0 : PathAttributes(p))) & mask;
    return S_OK;
}

HRESULT GetItemPaths(const ShellFolderPtr& folder, unsigned count, const LPCITEMIDLIST* items,
                     std::vector<std::string>& paths) {
    paths.clear();
    if (!folder || !items || count == 0) return E_INVALIDARG;
    for (unsigned i = 0; i < count; ++i) {
        std::string p = ItemPath(folder, items[i]);
        if (p.empty() || !Exists(p)) {
            paths.clear();
            return E_FAIL;
        }
        paths.push_back(p);
    }
    return S_OK;
}

bool SplitItems(LPCITEMIDLIST items, unsigned count, std::vector<TPidl>& out) {
    out.clear();
    LPCITEMIDLIST p = items;
    for (unsigned i = 0; i < count; ++i) {
        if (!p || ItemCount(p) < 2) {
            out.clear();
            return false;
        }
        out.emplace_back(CopyFirstItem(p));
        if (!out.back()) {
            out.clear();
            return false;
        }
        p = NextItem(p);
    }
    return true;
}

std::vector<TSendToEntry> SendToEntries() {
    std::vector<TSendToEntry> out;
    std::string dir = GetShellMenuConfig().sendTo;
    std::error_code ec;
    if (dir.empty() || !IsDir(dir)) return out;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string n = it->path().filename().string();
        if (n.empty() || n[0] == '.') continue;
        TSendToEntry e;
        if (!sjis::FromUtf8(n, e.name)) continue;  // no Shift-JIS name: left out
        e.path = it->path().string();
        e.folder = IsDir(e.path);
        if (!e.folder && !IsProgram(e.path)) continue;  // neither a place nor a program
        out.push_back(e);
    }
    std::sort(out.begin(), out.end(),
              [](const TSendToEntry& a, const TSendToEntry& b) { return a.path < b.path; });
    if (out.size() > 100) out.resize(100);
    return out;
}

std::string MenuEntryText(const std::string& sjisName) {
    // "&" is a single byte that is never the trail byte of a double-byte
    // character in Shift-JIS.
    std::string out;
    for (char c : sjisName) {
        out += c;
        if (c == '&') out += '&';
    }
    return out;
}

// ---------------------------------------------------------------------------
// The context menu of items.

namespace {

class TItemsMenu : public IContextMenu {
public:
    TItemsMenu(ShellFolderPtr folder, std::vector<TPidl> items, std::vector<std::string> paths)
        : folder_(std::move(folder)), items_(std::move(items)), paths_(std::move(paths)) {}

    HRESULT QueryContextMenu(TMenu& menu, unsigned index, unsigned idFirst, unsigned idLast,
                             unsigned flags) override {
        (void)flags;
        if (idFirst == 0 || idLast < idFirst) return E_INVALIDARG;
        idFirst_ = idFirst;
        unsigned top = 0;
        TMenu m;
        auto add = [&](unsigned verb, const char* utf8, bool enabled) {
            if (verb > idLast - idFirst) return;
            m.AppendString(idFirst + verb, sjis::L(utf8), enabled);
            top = std::max(top, verb + 1);
        };
        bool allMove = true, allDelete = true;
        for (const std::string& p : paths_) {
            uint32_t a = PathAttributes(p);
            allMove = allMove && (a & SFGAO_CANMOVE);
            allDelete = allDelete && (a & SFGAO_CANDELETE);
        }
        bool one = paths_.size() == 1;
        bool target = one && (PathAttributes(paths_[0]) & SFGAO_DROPTARGET);
        bool folder = one && IsDir(paths_[0]);

        add(verbOpen, "開く(&O)", true);
        m.AppendSeparator();
        TMenu& sendTo = m.AppendSubMenu(sjis::L("送る(&N)"));
        // The placeholder that InitMenuPopup replaces when the submenu opens.
        sendTo.AppendString(0, sjis::L("(なし)"), false);
        m.AppendSeparator();
        add(verbCut, "切り取り(&T)", allMove);
        add(verbCopy, "コピー(&C)", true);
        if (target) add(verbPaste, "貼り付け(&P)", !GetClipItems().paths.empty());
        m.AppendSeparator();
        add(verbDelete, "削除(&D)", allDelete);
        if (one) add(verbRename, "名前の変更(&M)", CanRenameItem(folder_, items_[0].get()));
        if (folder) {
            m.AppendSeparator();
            add(verbNewFolder, "新しいフォルダー(&W)", ::access(paths_[0].c_str(), W_OK) == 0);
        }
        size_t at = std::min<size_t>(index, menu.Entries.size());
        menu.Entries.insert(menu.Entries.begin() + static_cast<std::ptrdiff_t>(at), m.Entries.begin(),
                            m.Entries.end());
        return static_cast<HRESULT>(top);
    }

    HRESULT InitMenuPopup(TMenu& submenu) override {
        if (idFirst_ == 0) return E_FAIL;
        sendTo_ = SendToEntries();
        submenu.Entries.clear();
        for (size_t i = 0; i < sendTo_.size(); ++i)
            submenu.AppendString(idFirst_ + verbSendTo + static_cast<unsigned>(i), MenuEntryText(sendTo_[i].name));
        if (sendTo_.empty()) submenu.AppendString(0, sjis::L("(なし)"), false);
        filled_ = true;
        return S_OK;
    }

    HRESULT InvokeCommand(const TInvokeInfo& info) override {
        unsigned verb = info.verb;
        if (verb >= verbSendTo && verb <= verbSendToLast) {
            if (!filled_) sendTo_ = SendToEntries();
            size_t i = verb - verbSendTo;
            if (i >= sendTo_.size()) return E_INVALIDARG;
            const std::string& to = sendTo_[i].path;
            if (IsDir(to)) return DropPathsOn(to, paths_, false);
            if (IsProgram(to)) return StartProgram(to, paths_) ? S_OK : E_FAIL;
            return E_INVALIDARG;
        }
        switch (verb) {
            case verbOpen: {
                TShellMenuHooks h = GetShellMenuHooks();
                if (!h.OpenDocument) return E_NOTIMPL;
                HRESULT r = S_OK;
                for (const std::string& p : paths_)
                    if (!h.OpenDocument(p)) r = E_FAIL;
                return r;
            }
            case verbCut:
            case verbCopy: {
                if (verb == verbCut)
                    for (const std::string& p : paths_)
                        if (!(PathAttributes(p) & SFGAO_CANMOVE)) return E_ACCESSDENIED;
                TClipItems c;
                c.paths = paths_;
                c.cut = verb == verbCut;
                SetClipItems(c);
                return S_OK;
            }
            case verbPaste: {
                if (paths_.size() != 1) return E_INVALIDARG;
                TClipItems c = GetClipItems();
                if (c.paths.empty()) return E_FAIL;
                HRESULT r = DropPathsOn(paths_[0], c.paths, c.cut && IsDir(paths_[0]));
                // What was cut is gone from where it was: the clipboard
                // forgets it.
                if (SUCCEEDED(r) && c.cut && IsDir(paths_[0])) ClearClipItems();
                return r;
            }
            case verbDelete: return DeleteItems();
            case verbRename: {
                if (items_.size() != 1 || !info.AskNewName) return E_NOTIMPL;
                std::string old;
                GetDisplayName(folder_, items_[0].get(), SHGDN_INFOLDER, old);
                std::string name;
                if (!info.AskNewName(old, name)) return S_FALSE;
                if (name == old) return S_FALSE;
                return folder_->SetNameOf(items_[0].get(), name, 0, nullptr);
            }
            case verbNewFolder:
                if (paths_.size() != 1) return E_INVALIDARG;
                return NewFolderIn(paths_[0], info.Made);
            default: return E_INVALIDARG;
        }
    }

private:
    HRESULT DeleteItems() {
        std::vector<std::string> rest;
        HRESULT r = S_OK;
        for (const std::string& p : paths_) {
            HRESULT t = MoveToTrash(p);
            if (t == E_NOTIMPL) rest.push_back(p);
            else if (FAILED(t)) r = t;
        }
        if (rest.empty()) return r;
        // What the trash cannot take is deleted for good only when the
        // user agrees; a "No" is a cancel, not a failure.
        TShellMenuHooks h = GetShellMenuHooks();
        if (!h.ConfirmDelete) return E_ACCESSDENIED;
        if (!h.ConfirmDelete(rest)) return FAILED(r) ? r : S_FALSE;
        // Never into a volume mounted inside, never through a link: what
        // lies on another file system stays, and the user is told.
        std::vector<std::string> kept;
        for (const std::string& p : rest) {
            std::vector<std::string> left;
            HRESULT t = RemoveForGood(p, &left);
            kept.insert(kept.end(), left.begin(), left.end());
            if (FAILED(t)) r = t;
        }
        if (!kept.empty()) {
            if (h.ReportKept) h.ReportKept(kept);
            else if (SUCCEEDED(r)) r = E_FAIL;
        }
        return r;
    }

    ShellFolderPtr folder_;
    std::vector<TPidl> items_;
    std::vector<std::string> paths_;
    unsigned idFirst_ = 0;
    std::vector<TSendToEntry> sendTo_;
    bool filled_ = false;
};

}  // namespace

HRESULT GetContextMenuOf(const ShellFolderPtr& folder, unsigned count, const LPCITEMIDLIST* items,
                         std::unique_ptr<IContextMenu>& out) {
    out.reset();
    std::vector<std::string> paths;
    HRESULT hr = GetItemPaths(folder, count, items, paths);
    if (FAILED(hr)) return hr;
    std::vector<TPidl> copies;
    for (unsigned i = 0; i < count; ++i) {
        copies.emplace_back(CopyFirstItem(items[i]));
        if (!copies.back()) return E_OUTOFMEMORY;
    }
    out.reset(new TItemsMenu(folder, std::move(copies), std::move(paths)));
    return S_OK;
}

}  // namespace shell
