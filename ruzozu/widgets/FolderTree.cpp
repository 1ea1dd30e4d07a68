#include "FolderTree.h"
#include "japanese.h"

#include "shellicons.h"
#include "shellmenu_qt.h"
#include "sjis.h"
#include "textfile.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include <algorithm>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace shell;

namespace {

constexpr int FolderNodeType = QTreeWidgetItem::UserType + 105;
// Larger trees are not re-read by Refresh.
constexpr int MaxRefreshNodes = 10240;

class TFolderNode : public QTreeWidgetItem {
public:
    TFolderNode() : QTreeWidgetItem(FolderNodeType) {}
    TFolderNodeData Data;
    bool Filled = false;
};

TFolderNode* AsNode(QTreeWidgetItem* item) {
    return item && item->type() == FolderNodeType ? static_cast<TFolderNode*>(item) : nullptr;
}

// The folder of a relative list within owner; the owner itself for the
// empty list.
ShellFolderPtr BindItem(const ShellFolderPtr& owner, LPCITEMIDLIST rel) {
    if (!owner || !rel) return nullptr;
    if (PidlItemCount(rel) == 0) return owner;
    ShellFolderPtr f;
    if (FAILED(owner->BindToObject(rel, f))) return nullptr;
    return f;
}

uint32_t AttributesOf(const ShellFolderPtr& folder, LPCITEMIDLIST item, uint32_t mask) {
    if (!folder || !item || PidlItemCount(item) == 0) return 0;
    uint32_t attrs = mask;
    if (FAILED(folder->GetAttributesOf(1, &item, attrs))) return 0;
    return attrs;
}

QIcon NodeIcon(LPCITEMIDLIST abs, bool openWhenSelected) {
    return ShellNodeIcon(PidlIconName(abs, false), PidlIconName(abs, true), openWhenSelected);
}

int CsidlOf(TFolderTreeViewEx::TRootFolder r) {
    switch (r) {
        case TFolderTreeViewEx::rfManual: return CSIDL_DRIVES;
        case TFolderTreeViewEx::rfDrives: return CSIDL_DRIVES;
        case TFolderTreeViewEx::rfDesktop: return CSIDL_DESKTOPDIRECTORY;
        case TFolderTreeViewEx::rfFavorites: return CSIDL_FAVORITES;
        case TFolderTreeViewEx::rfPrograms: return CSIDL_PROGRAMS;
        case TFolderTreeViewEx::rfRecent: return CSIDL_RECENT;
        case TFolderTreeViewEx::rfSendTo: return CSIDL_SENDTO;
        case TFolderTreeViewEx::rfStartMenu: return CSIDL_STARTMENU;
        case TFolderTreeViewEx::rfStartup: return CSIDL_STARTUP;
        case TFolderTreeViewEx::rfAppdata: return CSIDL_APPDATA;
        case TFolderTreeViewEx::rfTemplates: return CSIDL_TEMPLATES;
        case TFolderTreeViewEx::rf_Controls: return CSIDL_CONTROLS;
        case TFolderTreeViewEx::rf_Bitbucket: return CSIDL_BITBUCKET;
        case TFolderTreeViewEx::rf_Printers: return CSIDL_PRINTERS;
    }
    return CSIDL_DRIVES;
}

// Extension of the last name of a path, dot included ("" for none).
std::string ExtensionOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

}  // namespace

TFolderTreeViewEx::TFolderTreeViewEx(QWidget* owner) : QTreeWidget(owner) {
    resize(153, 185);
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);  // read-only labels
    setFrameShape(QFrame::Box);
    FRefreshTimer.setSingleShot(true);
    connect(&FRefreshTimer, &QTimer::timeout, this, &TFolderTreeViewEx::RunRefresh);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { FillNode(item); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this] { Change(); });
    // Drags start here and single files may be dropped onto nodes; the
    // tree itself never moves its nodes.
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setAutoScroll(true);
    setAutoScrollMargin(12);
    FHoverTimer.setSingleShot(true);
    FHoverTimer.setInterval(1500);
    connect(&FHoverTimer, &QTimer::timeout, this, &TFolderTreeViewEx::HoverExpand);
    // Nodes that go away take the drag's pointers to them along.
    auto forget = [this] {
        FDropTargetNode = nullptr;
        FHoverNode = nullptr;
        FHoverTimer.stop();
    };
    connect(model(), &QAbstractItemModel::rowsAboutToBeRemoved, this, forget);
    connect(model(), &QAbstractItemModel::modelAboutToBeReset, this, forget);
    InstallDesktopShellHooks();
    Rebuild();
}

TFolderTreeViewEx::~TFolderTreeViewEx() {
    FRefreshTimer.stop();
    FClearing = true;
    clear();
    // The model outlives this class's members (the tree widget frees it
    // later): its signals must no longer reach them.
    disconnect(model(), nullptr, this, nullptr);
}

TFolderNodeData* TFolderTreeViewEx::NodeData(QTreeWidgetItem* node) {
    TFolderNode* n = AsNode(node);
    return n ? &n->Data : nullptr;
}

bool TFolderTreeViewEx::NodeFilled(QTreeWidgetItem* node) {
    TFolderNode* n = AsNode(node);
    return n && n->Filled;
}

// ---------------------------------------------------------------------------
// Properties.

void TFolderTreeViewEx::SetFileMask(const std::vector<std::string>& v) {
    FFileMask = v;
    Rebuild();
}

void TFolderTreeViewEx::SetInfoViewSort(bool v) {
    if (v == FInfoViewSort) return;
    FInfoViewSort = v;
    if (!FVirtualRoot) Rebuild();
}

void TFolderTreeViewEx::SetSelectedDir(TSelectedDir v) {
    if (v == FSelectedDir) return;
    FSelectedDir = v;
    if (FRootFolder == rfDrives) Rebuild();
}

void TFolderTreeViewEx::SetShowFile(bool v) {
    if (v == FShowFile) return;
    if (!v && FVirtualRoot) return;
    FShowFile = v;
    Rebuild();
}

void TFolderTreeViewEx::SetShowRootFolder(bool v) {
    if (v == FShowRootFolder) return;
    if (!v && (FVirtualRoot || (FRootFolder == rfManual && FShowFile))) return;
    FShowRootFolder = v;
    Rebuild();
}

void TFolderTreeViewEx::SetShowIncludeHidden(bool v) {
    if (v == FShowIncludeHidden) return;
    FShowIncludeHidden = v;
    Rebuild();
}

void TFolderTreeViewEx::SetRootFolder(TRootFolder v) {
    if (v == FRootFolder) return;
    FRootFolder = v;
    FVirtualRoot = v == rf_Controls || v == rf_Bitbucket || v == rf_Printers;
    if (FVirtualRoot) FShowRootFolder = true;
    Rebuild();
}

void TFolderTreeViewEx::SetRootFolderName(const std::string& v) {
    if (v == FRootFolderName) return;
    FRootFolderName = v;
    if (FRootFolder == rfManual) Rebuild();
}

// ---------------------------------------------------------------------------
// Building.

void TFolderTreeViewEx::BeginWait() {
    if (FBusy++ == 0) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        setUpdatesEnabled(false);
    }
}

void TFolderTreeViewEx::EndWait() {
    if (FBusy > 0 && --FBusy == 0) {
        setUpdatesEnabled(true);
        QApplication::restoreOverrideCursor();
    }
}

void TFolderTreeViewEx::Rebuild() {
    // A refresh still waiting belongs to the tree being replaced.
    FRefreshTimer.stop();
    FRefreshDeferred = false;
    BeginWait();
    if (FVirtualRoot) BuildVirtualTree();
    else BuildFolderTree();
    EndWait();
}

bool TFolderTreeViewEx::RootItemQualifies(const ShellFolderPtr& folder, LPCITEMIDLIST item) {
    uint32_t a = AttributesOf(folder, item, SFGAO_HASSUBFOLDER | SFGAO_FOLDER);
    return (a & SFGAO_HASSUBFOLDER) || ((a & SFGAO_FOLDER) && FShowRootFolder) ||
           (FShowFile && HasMatchingFile(folder, item));
}

bool TFolderTreeViewEx::IsUsableRoot(LPCITEMIDLIST list) {
    ShellFolderPtr folder = SHGetDesktopFolder();
    if (PidlItemCount(list) == 0) return true;  // the desktop itself
    for (LPCITEMIDLIST p = list; p && PidlItemCount(p) > 0; p = NextItem(p)) {
        TPidl item(CopyFirstItem(p));
        if (PidlItemCount(p) == 1) return RootItemQualifies(folder, item.get());
        ShellFolderPtr sub = BindItem(folder, item.get());
        if (!sub) return RootItemQualifies(folder, item.get());
        folder = sub;
    }
    return false;
}

LPITEMIDLIST TFolderTreeViewEx::GetRootPidl() {
    if (FRootFolder == rfManual && !FRootFolderName.empty()) {
        TPidl list(PathToPidl(FRootFolderName));
        if (list && IsUsableRoot(list.get())) return list.release();
    }
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(CsidlOf(FRootFolder), list))) return nullptr;
    return list;
}

void TFolderTreeViewEx::ClearNodes() {
    FClearing = true;
    clear();
    FClearing = false;
}

void TFolderTreeViewEx::BuildFolderTree() {
    ShellFolderPtr desktop = SHGetDesktopFolder();
    TPidl root(GetRootPidl());
    if (!root) return;
    std::string rootName;
    if (!GetDisplayName(desktop, root.get(), SHGDN_INFOLDER, rootName)) return;
    ClearNodes();

    // The folder that holds the root's last item.
    ShellFolderPtr folder = desktop;
    TPidl item(CopyFirstItem(root.get()));
    for (LPCITEMIDLIST p = root.get(); p && PidlItemCount(p) > 1; p = NextItem(p)) {
        ShellFolderPtr sub = BindItem(folder, item.get());
        if (!sub) break;
        folder = sub;
        item.reset(CopyFirstItem(NextItem(p)));
    }
    FRoot.ParentFolder = folder;
    FRoot.RelativeIDList.reset(CopyPidl(item.get()));
    FRoot.AbsoluteIDList.reset(CopyPidl(root.get()));
    FRoot.Attributes = AttributesOf(folder, item.get(), NodeAttributeMask);

    TFolderNode* rootNode = nullptr;
    if (FShowRootFolder) {
        rootNode = new TFolderNode;
        rootNode->Data.ParentFolder = FRoot.ParentFolder;
        rootNode->Data.RelativeIDList.reset(CopyPidl(FRoot.RelativeIDList.get()));
        rootNode->Data.AbsoluteIDList.reset(CopyPidl(root.get()));
        rootNode->Data.Attributes = FRoot.Attributes;
        rootNode->setText(0, ShellText(PidlDisplayName(root.get())));
        rootNode->setIcon(0, NodeIcon(root.get(), true));
        rootNode->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
        addTopLevelItem(rootNode);
        rootNode->Filled = true;
    }
    AddChildren(FRoot.ParentFolder, FRoot.RelativeIDList.get(), rootNode);
    collapseAll();
    if (rootNode) rootNode->setExpanded(true);

    if (FRootFolder == rfDrives && FSelectedDir != sdNone) {
        if (SelectFolder(SelectedDirPath())) ExpandNode(currentItem());
    }
}

std::string TFolderTreeViewEx::SelectedDirPath() const {
    std::string path = "/";
    if (FSelectedDir == sdCurrent) {
        char buf[4096];
        if (::getcwd(buf, sizeof buf)) {
            std::string cwd = buf;
            for (const auto& v : CurrentVolumes()) {
                bool under = v == "/" || cwd == v || cwd.compare(0, v.size() + 1, v + "/") == 0;
                if (under && v.size() > path.size()) path = v;
            }
        }
    }
    std::string s;
    return sjis::FromUtf8(path, s) ? s : std::string("/");
}

void TFolderTreeViewEx::BuildVirtualTree() {
    ShellFolderPtr desktop = SHGetDesktopFolder();
    TPidl root(GetRootPidl());
    if (!root) return;  // none of these folders exists on this system
    std::string rootName;
    if (!GetDisplayName(desktop, root.get(), SHGDN_INFOLDER, rootName)) return;
    ClearNodes();
    auto* rootNode = new TFolderNode;
    TPidl first(CopyFirstItem(root.get()));
    if (ShellFolderPtr f = BindItem(desktop, first.get())) {
        rootNode->Data.ParentFolder = f;
        rootNode->Data.RelativeIDList.reset(CopyFirstItem(NextItemID(root.get())));
        rootNode->Data.AbsoluteIDList.reset(CopyPidl(root.get()));
        rootNode->Data.Attributes = AttributesOf(f, rootNode->Data.RelativeIDList.get(), NodeAttributeMask);
    }
    rootNode->setText(0, ShellText(PidlDisplayName(root.get())));
    rootNode->setIcon(0, NodeIcon(root.get(), true));
    rootNode->Filled = true;
    addTopLevelItem(rootNode);
    AddChildren(desktop, root.get(), rootNode);
    collapseAll();
    rootNode->setExpanded(true);
}

void TFolderTreeViewEx::AddChildren(const ShellFolderPtr& owner, LPCITEMIDLIST folderID, QTreeWidgetItem* parent) {
    BeginWait();
    if (TFolderNode* n = AsNode(parent)) n->Filled = true;
    ShellFolderPtr folder;
    std::vector<TTreeChild> children = ListChildren(owner, folderID, parent, folder);
    if (!folder) {
        EndWait();
        return;
    }
    QList<QTreeWidgetItem*> nodes;
    nodes.reserve(static_cast<int>(children.size()));
    for (TTreeChild& c : children) nodes.append(MakeChildNode(folder, c));
    if (parent) parent->addChildren(nodes);
    else addTopLevelItems(nodes);
    // A folder that turned out empty shows no plus sign any more.
    if (parent && parent->childCount() == 0)
        parent->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    EndWait();
}

// The items of a folder that become nodes, in their order; folder is the
// bound folder (nil when it cannot be bound).
std::vector<TTreeChild> TFolderTreeViewEx::ListChildren(const ShellFolderPtr& owner, LPCITEMIDLIST folderID,
                                                        QTreeWidgetItem* parent, ShellFolderPtr& folder) {
    folder = BindItem(owner, folderID);
    if (!folder) return {};
    TTreeListing listing;
    listing.EnumFlags = SHCONTF_FOLDERS;
    if (FVirtualRoot || FShowIncludeHidden) listing.EnumFlags |= SHCONTF_INCLUDEHIDDEN;
    if (FShowFile) listing.EnumFlags |= SHCONTF_NONFOLDERS;
    listing.AttributeMask = NodeAttributeMask;
    listing.Parse = true;
    listing.FilesFirst = FInfoViewSort && FShowFile;
    listing.Keep = [&](const TTreeChild& c) {
        if (!c.HasText) return false;
        if (FVirtualRoot) return true;
        if (!c.Parsable) return false;  // only what a path or parsing name reaches
        bool folderLike = c.Attributes & (SFGAO_FOLDER | SFGAO_HASSUBFOLDER);
        if (!FShowFile) return folderLike;
        return folderLike || ((c.Attributes & SFGAO_FILESYSTEM) &&
                              (FFileMask.empty() || MatchesFileMask(folder, c.Relative.get())));
    };
    TFolderNodeData* above = parent ? NodeData(parent) : &FRoot;
    return ListTreeChildren(folder, above ? above->AbsoluteIDList.get() : nullptr, listing);
}

// Adds to a node that has been read the items its folder holds now and the
// node lacks, each at its place; the nodes there stay as they are, open or
// not.  A node not read yet only gets its plus sign: it is read in full
// when it opens.  This works in a tree of any size, where a refresh would
// re-read too much.
void TFolderTreeViewEx::MergeChildren(QTreeWidgetItem* parent) {
    TFolderNodeData* d = parent ? NodeData(parent) : &FRoot;
    if (!d) return;
    if (parent && !NodeFilled(parent) && parent->childCount() == 0) {
        parent->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        return;
    }
    BeginWait();
    ShellFolderPtr folder;
    std::vector<TTreeChild> children = ListChildren(d->ParentFolder, d->RelativeIDList.get(), parent, folder);
    auto count = [&] { return parent ? parent->childCount() : topLevelItemCount(); };
    auto child = [&](int i) { return parent ? parent->child(i) : topLevelItem(i); };
    auto indexOf = [&](QTreeWidgetItem* n) { return parent ? parent->indexOfChild(n) : indexOfTopLevelItem(n); };
    std::map<std::string, QTreeWidgetItem*> present;
    for (int i = 0; i < count(); ++i) {
        TFolderNodeData* cd = NodeData(child(i));
        if (cd && cd->RelativeIDList)
            present.emplace(std::string(reinterpret_cast<const char*>(cd->RelativeIDList.get()),
                                        PidlSize(cd->RelativeIDList.get())),
                            child(i));
    }
    int at = 0;
    for (TTreeChild& c : children) {
        const auto it = present.find(
            std::string(reinterpret_cast<const char*>(c.Relative.get()), PidlSize(c.Relative.get())));
        if (it != present.end()) {
            at = indexOf(it->second) + 1;
            continue;
        }
        QTreeWidgetItem* node = MakeChildNode(folder, c);
        if (parent) parent->insertChild(at, node);
        else insertTopLevelItem(at, node);
        ++at;
    }
    if (TFolderNode* n = AsNode(parent)) {
        n->Filled = true;
        if (n->childCount() > 0) n->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    EndWait();
}

// Shows what a command put into the folder at utf8Path, when the tree
// shows that folder.
void TFolderTreeViewEx::ShowFolderContent(const std::string& utf8Path) {
    std::string sj;
    if (FVirtualRoot || utf8Path.empty() || !sjis::FromUtf8(utf8Path, sj)) return;
    QTreeWidgetItem* node = nullptr;
    if (OpenFolder(sj, false, false, &node) && node) {
        MergeChildren(node);
        return;
    }
    // Without a root node the root's content is the top level.
    TPidl target(PathToPidl(sj));
    if (!FShowRootFolder && target && FRoot.AbsoluteIDList &&
        SameItemID(SHGetDesktopFolder(), target.get(), FRoot.AbsoluteIDList.get()))
        MergeChildren(nullptr);
}

// Drops the node of an item a command moved away from utf8Path, in a tree
// of any size (one too large to be re-read keeps it otherwise); an item
// still there keeps its node.
void TFolderTreeViewEx::DropGoneNode(const std::string& utf8Path) {
    struct stat st;
    std::string sj;
    if (FVirtualRoot || utf8Path.empty() || ::lstat(utf8Path.c_str(), &st) == 0 || !sjis::FromUtf8(utf8Path, sj))
        return;
    const size_t slash = sj.rfind('/');
    if (slash == std::string::npos || slash + 1 == sj.size()) return;
    TPidl folder(PathToPidl(slash == 0 ? std::string("/") : sj.substr(0, slash)));
    if (!folder) return;
    QTreeWidgetItem* parent = FindNode(folder.get());
    const bool top = !parent && !FShowRootFolder && FRoot.AbsoluteIDList &&
                     SamePidlBytes(FRoot.AbsoluteIDList.get(), folder.get());
    const int count = parent ? parent->childCount() : top ? topLevelItemCount() : 0;
    for (int i = count - 1; i >= 0; --i) {
        QTreeWidgetItem* n = parent ? parent->child(i) : topLevelItem(i);
        TFolderNodeData* d = NodeData(n);
        if (d && PidlToPath(d->AbsoluteIDList.get()) == sj) {
            delete n;
            return;
        }
    }
}

QTreeWidgetItem* TFolderTreeViewEx::MakeChildNode(const ShellFolderPtr& folder, TTreeChild& c) {
    auto* node = new TFolderNode;
    node->Data.ParentFolder = folder;
    node->Data.AbsoluteIDList = std::move(c.Absolute);
    node->Data.RelativeIDList = std::move(c.Relative);
    node->Data.Attributes = c.Attributes;
    node->setText(0, QString::fromStdString(c.Utf8Text));
    bool isFolder = c.IsFolder();
    node->setIcon(0, ShellNodeIcon(c.IconName, c.OpenIconName, !FShowFile || isFolder));
    bool children = c.HasChildren();
    if (FShowFile && !children && isFolder) children = HasMatchingFile(folder, node->Data.RelativeIDList.get());
    // Without a plus sign a folder is still read when a path leads through
    // it (one that got a subfolder after it was drawn); a link without one
    // leads no deeper (it may lead back up the tree).
    node->setChildIndicatorPolicy(children ? QTreeWidgetItem::ShowIndicator
                                           : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    if (!children && (!isFolder || (c.Attributes & SFGAO_LINK))) node->Filled = true;
    return node;
}

bool TFolderTreeViewEx::MatchesFileMask(const ShellFolderPtr& folder, LPCITEMIDLIST item) {
    std::string name = ParsingNameOf(folder, item);
    if (name.empty()) return false;
    std::string ext = ExtensionOf(name);
    if (ext.empty()) return false;
    for (const auto& m : FFileMask)
        if (sjis::EqualsIgnoreCase(ext, m)) return true;
    return false;
}

bool TFolderTreeViewEx::HasMatchingFile(const ShellFolderPtr& folder, LPCITEMIDLIST item) {
    ShellFolderPtr sub = BindItem(folder, item);
    if (!sub) return false;
    unsigned flags = SHCONTF_NONFOLDERS;
    if (FShowIncludeHidden) flags |= SHCONTF_INCLUDEHIDDEN;
    std::unique_ptr<IEnumIDList> items;
    if (FAILED(sub->EnumObjects(flags, items))) return false;
    LPITEMIDLIST raw = nullptr;
    while (items->Next(raw) == S_OK) {
        TPidl entry(raw);
        uint32_t a = AttributesOf(sub, entry.get(), SFGAO_FILESYSTEM | SFGAO_FOLDER);
        if ((a & SFGAO_FILESYSTEM) &&
            (FFileMask.empty() || MatchesFileMask(sub, entry.get()) || (a & SFGAO_FOLDER)) &&
            HasParsingName(sub, entry.get()))
            return true;
    }
    return false;
}

void TFolderTreeViewEx::FillNode(QTreeWidgetItem* node) {
    TFolderNode* n = AsNode(node);
    if (!n || n->Filled || n->childCount() > 0) return;
    AddChildren(n->Data.ParentFolder, n->Data.RelativeIDList.get(), n);
}

void TFolderTreeViewEx::ExpandNode(QTreeWidgetItem* node) {
    if (!node) return;
    FillNode(node);
    node->setExpanded(true);
}

// ---------------------------------------------------------------------------
// Finding and selecting.

bool TFolderTreeViewEx::OpenFolder(const std::string& Path, bool MakeTop, bool Select, QTreeWidgetItem** Node) {
    if (FVirtualRoot) return false;
    TVolumeSnapshot volumes;
    ShellFolderPtr folder = SHGetDesktopFolder();
    TPidl target(PathToPidl(Path));
    if (!target) return false;
    QTreeWidgetItem* node = topLevelItem(0);
    TPidl root;
    if (FShowRootFolder) {
        if (TFolderNodeData* d = NodeData(node)) root.reset(CopyPidl(d->AbsoluteIDList.get()));
    } else {
        root.reset(GetRootPidl());
    }
    if (!root || !node) return false;

    // Walk the root and the target together.
    LPCITEMIDLIST r = root.get();
    LPCITEMIDLIST t = target.get();
    for (;;) {
        bool rootEnded = PidlItemCount(r) == 0;
        bool targetEnded = PidlItemCount(t) == 0;
        if (rootEnded && targetEnded) {
            if (!FShowRootFolder) return false;
            break;  // the root itself
        }
        if (rootEnded) {
            if (FShowRootFolder) {
                FillNode(node);
                node = node->child(0);
                if (!node) return false;
            }
            // Descend through the rest of the target.
            while (PidlItemCount(t) > 0) {
                TPidl item(CopyFirstItem(t));
                QTreeWidgetItem* parent = node->parent();
                int first = parent ? parent->indexOfChild(node) : indexOfTopLevelItem(node);
                int count = (parent ? parent->childCount() : topLevelItemCount()) - first;
                auto sibling = [&](int i) { return parent ? parent->child(first + i) : topLevelItem(first + i); };
                TFolderNodeData* nd = NodeData(node);
                int i = FindTreeChild(nd ? nd->ParentFolder : nullptr, count, [&](int k) -> LPCITEMIDLIST {
                    TFolderNodeData* d = NodeData(sibling(k));
                    return d ? d->RelativeIDList.get() : nullptr;
                }, item.get());
                if (i < 0) return false;
                node = sibling(i);
                t = NextItem(t);
                if (PidlItemCount(t) > 0) {
                    ExpandNode(node);
                    node = node->child(0);
                    if (!node) return false;
                }
            }
            break;
        }
        if (targetEnded) return false;  // above the root
        TPidl ri(CopyFirstItem(r)), ti(CopyFirstItem(t));
        if (!SameItemID(folder, ri.get(), ti.get())) return false;
        ShellFolderPtr sub = BindItem(folder, ri.get());
        if (!sub) return false;
        folder = sub;
        r = NextItem(r);
        t = NextItem(t);
    }
    if (Node) *Node = node;
    if (MakeTop) scrollToItem(node, QAbstractItemView::PositionAtTop);
    if (Select) setCurrentItem(node);
    return true;
}

bool TFolderTreeViewEx::SelectFolder(const std::string& Path) {
    BeginWait();
    bool ok = OpenFolder(Path, false, true);
    EndWait();
    return ok;
}

std::string TFolderTreeViewEx::GetFolderName() {
    std::string result = FLastFolderName;
    QTreeWidgetItem* node = currentItem();
    if (node && node->isSelected()) {
        TFolderNodeData* d = NodeData(node);
        result.clear();
        if (d && HasParsingName(d->ParentFolder, d->RelativeIDList.get()))
            result = PidlToPath(d->AbsoluteIDList.get());
        else if (FVirtualRoot)
            ShellTextToSjis(node->text(0), result);
        // A folder that is gone has no path: its shown name is no path
        // either, so nothing is reported.
        FLastFolderName = result;
    }
    return result;
}

// ---------------------------------------------------------------------------
// Events.

void TFolderTreeViewEx::Change() {
    if (FClearing || FPressing) return;
    if (OnChange) OnChange(this, GetFolderName());
}

void TFolderTreeViewEx::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && OnClick) OnClick(this, GetFolderName());
}

void TFolderTreeViewEx::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    QTreeWidgetItem* node = currentItem();
    if (!node || !node->isSelected()) return;
    if (OnDblClick) OnDblClick(this, GetFolderName());
    TFolderNodeData* d = NodeData(node);
    if (FShellRun && FShowFile && d && !(d->Attributes & (SFGAO_FOLDER | SFGAO_HASSUBFOLDER))) {
        std::string path = PidlToPath(d->AbsoluteIDList.get());
        if (!path.empty()) QDesktopServices::openUrl(QUrl::fromLocalFile(ShellText(path)));
    }
}

// ---------------------------------------------------------------------------
// Refresh.

void TFolderTreeViewEx::Refresh() {
    if (topLevelItemCount() == 0) return;
    if (FVirtualRoot) {
        Rebuild();
        return;
    }
    if (CountNodes() > MaxRefreshNodes) return;
    // What the tree shows is taken when the refresh runs, after its wait:
    // a folder the user opened or chose meanwhile stays open and chosen.
    FRefreshTimer.start(std::max(0, FRefreshDelay));
}

int TFolderTreeViewEx::CountNodes() const {
    int count = 0;
    for (QTreeWidgetItemIterator it(const_cast<TFolderTreeViewEx*>(this)); *it; ++it) ++count;
    return count;
}

// Notes the paths of the top node, the selected node and the open folders
// that can be seen (parents before children; the root node is opened
// again anyway).
void TFolderTreeViewEx::KeepView() {
    auto pathOf = [](QTreeWidgetItem* n) {
        TFolderNodeData* d = NodeData(n);
        return d ? PidlToPath(d->AbsoluteIDList.get()) : std::string();
    };
    FKeptTop = pathOf(itemAt(0, 0));
    QTreeWidgetItem* kept = currentItem();
    FKeptSelection = kept && kept->isSelected() ? pathOf(kept) : std::string();
    FKeptPaths.clear();
    QTreeWidgetItem* rootNode = FShowRootFolder ? topLevelItem(0) : nullptr;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        QTreeWidgetItem* n = *it;
        if (n == rootNode || !n->isExpanded()) continue;
        bool visible = true;
        for (QTreeWidgetItem* p = n->parent(); p && visible; p = p->parent()) visible = p->isExpanded();
        if (visible) FKeptPaths.push_back(pathOf(n));
    }
}

void TFolderTreeViewEx::FinishRefresh() {
    if (!FRefreshTimer.isActive()) return;
    FRefreshTimer.stop();
    RunRefresh();
}

void TFolderTreeViewEx::BeginCommand() { ++FCommands; }

void TFolderTreeViewEx::EndCommand() {
    if (FCommands > 0) --FCommands;
    StartDeferredRefresh();
}

// A refresh that came due while nodes were held runs once the event loop
// is back, when nothing holds them any more.
void TFolderTreeViewEx::StartDeferredRefresh() {
    if (FCommands == 0 && FRefreshDeferred && state() != EditingState) {
        FRefreshDeferred = false;
        FRefreshTimer.start(0);
    }
}

void TFolderTreeViewEx::RunRefresh() {
    if (topLevelItemCount() == 0) return;
    // A command (menu, drag, drop, message, label edit) may still hold a
    // node: the nodes are replaced once it has ended.
    if (FCommands > 0 || state() == EditingState) {
        FRefreshDeferred = true;
        return;
    }
    FRefreshDeferred = false;
    if (CountNodes() > MaxRefreshNodes) return;
    BeginWait();
    TVolumeSnapshot volumes;
    KeepView();
    FClearing = true;
    if (FShowRootFolder) {
        auto* first = AsNode(topLevelItem(0));
        qDeleteAll(first->takeChildren());
        FClearing = false;
        AddChildren(first->Data.ParentFolder, first->Data.RelativeIDList.get(), first);
        first->setExpanded(true);
    } else {
        // Without a root node the whole top level is the root's content.
        clear();
        FClearing = false;
        AddChildren(FRoot.ParentFolder, FRoot.RelativeIDList.get(), nullptr);
    }
    for (const auto& p : FKeptPaths) {
        QTreeWidgetItem* node = nullptr;
        if (!p.empty() && OpenFolder(p, false, false, &node)) ExpandNode(node);
    }
    if (!FKeptSelection.empty()) OpenFolder(FKeptSelection, false, true);
    if (!FKeptTop.empty()) OpenFolder(FKeptTop, true, false);
    EndWait();
}

QTreeWidgetItem* TFolderTreeViewEx::FindNode(LPCITEMIDLIST absolute) const {
    if (!absolute) return nullptr;
    for (QTreeWidgetItemIterator it(const_cast<TFolderTreeViewEx*>(this)); *it; ++it) {
        TFolderNodeData* d = NodeData(*it);
        if (d && SamePidlBytes(d->AbsoluteIDList.get(), absolute)) return *it;
    }
    return nullptr;
}
