#include "ShView.h"

#include "shellicons.h"

#include <QApplication>

#include <algorithm>

using namespace shell;

namespace {

constexpr int FolderViewNodeType = QTreeWidgetItem::UserType + 304;

// A node owns its one-item list (the root: the desktop's empty list).
class TViewNode : public QTreeWidgetItem {
public:
    explicit TViewNode(LPITEMIDLIST item) : QTreeWidgetItem(FolderViewNodeType), Item(item) {}
    TPidl Item;
    bool Filled = false;
};

TViewNode* AsNode(QTreeWidgetItem* item) {
    return item && item->type() == FolderViewNodeType ? static_cast<TViewNode*>(item) : nullptr;
}

int Level(QTreeWidgetItem* node) {
    int level = 0;
    for (QTreeWidgetItem* p = node ? node->parent() : nullptr; p; p = p->parent()) ++level;
    return level;
}

}  // namespace

TFolderView::TFolderView(QWidget* owner) : QTreeWidget(owner) {
    resize(200, 200);
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        if (!FUpdating) FillNode(item);
    });
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { Change(current); });
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
        if (!FUpdating && !FSettingText) Edit(item);
    });
    BuildTree();
}

TFolderView::~TFolderView() {
    FUpdating = true;
    DeleteTree();
}

LPCITEMIDLIST TFolderView::NodeItem(QTreeWidgetItem* node) {
    TViewNode* n = AsNode(node);
    return n ? n->Item.get() : nullptr;
}

void TFolderView::SetText(QTreeWidgetItem* node, const std::string& sjisText) {
    bool was = FSettingText;
    FSettingText = true;
    node->setText(0, ShellText(sjisText));
    FSettingText = was;
}

// Frees every node, telling OnDeleting of each first.
void TFolderView::DeleteTree() {
    FCurrentNode = FPreviousNode = nullptr;
    if (OnDeleting) {
        for (QTreeWidgetItemIterator it(this); *it; ++it) OnDeleting(this, *it);
    }
    clear();
}

void TFolderView::BuildTree() {
    if (FUpdating) return;
    LPITEMIDLIST raw = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(CSIDL_DESKTOP, raw))) return;
    TPidl desktop(raw);
    std::string text;
    if (!GetDisplayName(SHGetDesktopFolder(), desktop.get(), SHGDN_INFOLDER, text)) return;
    setUpdatesEnabled(false);
    FUpdating = true;
    DeleteTree();
    FUpdating = false;
    auto* root = new TViewNode(desktop.release());
    SetText(root, text);
    QIcon icon = ShellIcon(root->Item.get(), false);
    root->setIcon(0, icon);
    root->setFlags(root->flags() & ~Qt::ItemIsEditable);  // the desktop keeps its name
    addTopLevelItem(root);
    setCurrentItem(root);
    FillNode(root);
    root->setExpanded(true);
    setUpdatesEnabled(true);
}

LPITEMIDLIST TFolderView::NodePidl(QTreeWidgetItem* node) const {
    TViewNode* n = AsNode(node);
    if (!n) return nullptr;
    LPITEMIDLIST list = CopyFirstItem(n->Item.get());
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent()) {
        LPITEMIDLIST longer = ConcatPidls(NodeItem(p), list);
        FreePidl(list);
        list = longer;
    }
    return list;
}

ShellFolderPtr TFolderView::NodeFolder(QTreeWidgetItem* node) const {
    if (!AsNode(node)) return nullptr;
    if (Level(node) == 0) return SHGetDesktopFolder();
    TPidl full(NodePidl(node));
    ShellFolderPtr f;
    if (!full || FAILED(SHGetDesktopFolder()->BindToObject(full.get(), f))) return nullptr;
    return f;
}

ShellFolderPtr TFolderView::ParentFolderOf(QTreeWidgetItem* node) const {
    if (!node) return nullptr;
    if (Level(node) <= 1) return SHGetDesktopFolder();
    return NodeFolder(node->parent());
}

void TFolderView::SetNodeIcons(QTreeWidgetItem* node) {
    TPidl full(NodePidl(node));
    QIcon icon = ShellIcon(full.get(), false);
    QIcon open = ShellIcon(full.get(), true);
    for (const QSize& s : open.availableSizes()) icon.addPixmap(open.pixmap(s), QIcon::Selected);
    bool was = FSettingText;
    FSettingText = true;
    node->setIcon(0, icon);
    FSettingText = was;
}

void TFolderView::FillNode(QTreeWidgetItem* node) {
    TViewNode* n = AsNode(node);
    if (FUpdating || !n || n->Filled) return;
    ShellFolderPtr folder = NodeFolder(node);
    std::unique_ptr<IEnumIDList> items;
    if (!folder || FAILED(folder->EnumObjects(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, items))) {
        n->Filled = true;
        n->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
        if (FCurrentNode) setCurrentItem(FCurrentNode);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    FUpdating = true;
    n->Filled = true;
    QList<QTreeWidgetItem*> children;
    LPITEMIDLIST raw = nullptr;
    while (items->Next(raw) == S_OK) {
        auto* child = new TViewNode(raw);
        std::string text;
        GetDisplayName(folder, raw, SHGDN_INFOLDER, text);
        SetText(child, text);
        child->setFlags(child->flags() | Qt::ItemIsEditable);
        LPCITEMIDLIST item = raw;
        uint32_t attrs = SFGAO_HASSUBFOLDER;
        if (FAILED(folder->GetAttributesOf(1, &item, attrs))) attrs = 0;
        child->setChildIndicatorPolicy((attrs & SFGAO_HASSUBFOLDER)
                                           ? QTreeWidgetItem::ShowIndicator
                                           : QTreeWidgetItem::DontShowIndicatorWhenChildless);
        if (!(attrs & SFGAO_HASSUBFOLDER)) child->Filled = true;
        node->addChild(child);
        SetNodeIcons(child);
        children.append(child);
    }
    if (!children.isEmpty()) {
        QList<QTreeWidgetItem*> sorted = node->takeChildren();
        std::stable_sort(sorted.begin(), sorted.end(), [&](QTreeWidgetItem* a, QTreeWidgetItem* b) {
            return ComparePidls(folder, NodeItem(a), NodeItem(b)) < 0;
        });
        node->addChildren(sorted);
    } else {
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
    FUpdating = false;
    setUpdatesEnabled(updates);
    QApplication::restoreOverrideCursor();
}

void TFolderView::Change(QTreeWidgetItem* node) {
    if (FUpdating) return;
    if (OnChange) OnChange(this, node);
    FPreviousNode = FCurrentNode;
    FCurrentNode = node;
}

QTreeWidgetItem* TFolderView::FindChild(QTreeWidgetItem* node, LPCITEMIDLIST item) {
    if (!AsNode(node) || !item) return nullptr;
    ShellFolderPtr folder = NodeFolder(node);
    if (!folder) return nullptr;
    FillNode(node);
    node->setExpanded(true);
    for (int i = 0; i < node->childCount(); ++i)
        if (ComparePidls(folder, NodeItem(node->child(i)), item) == 0) return node->child(i);
    return nullptr;
}

QTreeWidgetItem* TFolderView::FindNode(LPCITEMIDLIST list) {
    QTreeWidgetItem* node = topLevelItem(0);
    if (!node) return nullptr;
    FillNode(node);
    node->setExpanded(true);
    for (LPCITEMIDLIST p = list; p && PidlItemCount(p) > 0; p = NextItem(p)) {
        TPidl item(CopyFirstItem(p));
        node = FindChild(node, item.get());
    }
    return node;
}

void TFolderView::SelectNode(QTreeWidgetItem* node) {
    if (node) {
        setCurrentItem(node);
    } else {
        clearSelection();
        setCurrentItem(nullptr);
    }
}

void TFolderView::SetSelectedPath(const std::string& Path) {
    LPITEMIDLIST raw = nullptr;
    if (FAILED(SHGetDesktopFolder()->ParseDisplayName(Path, raw))) return;
    TPidl list(raw);
    SelectNode(FindNode(list.get()));
}

std::string TFolderView::GetSelectedPath() {
    QTreeWidgetItem* node = currentItem();
    if (!node || !node->isSelected()) return std::string();
    TPidl full(NodePidl(node));
    std::string s;
    if (!GetDisplayName(SHGetDesktopFolder(), full.get(), SHGDN_FORPARSING, s)) return std::string();
    return s;
}

void TFolderView::SelectChild(LPCITEMIDLIST item) {
    QTreeWidgetItem* sel = currentItem();
    SelectNode(sel && sel->isSelected() ? FindChild(sel, item) : nullptr);
}

void TFolderView::SelectPidl(LPCITEMIDLIST list) { SelectNode(FindNode(list)); }

void TFolderView::RenameChild(LPCITEMIDLIST oldItem, LPCITEMIDLIST newItem) {
    QTreeWidgetItem* sel = currentItem();
    if (!sel || !sel->isSelected()) return;
    TViewNode* child = AsNode(FindChild(sel, oldItem));
    if (!child) return;
    std::string text;
    GetDisplayName(NodeFolder(sel), newItem, SHGDN_NORMAL, text);
    SetText(child, text);
    child->Item.reset(CopyFirstItem(newItem));
}

// The end of a label edit: the shell renames the folder, never over an
// existing one; a refused name shows the old one again.
void TFolderView::Edit(QTreeWidgetItem* node) {
    TViewNode* n = AsNode(node);
    if (!n || Level(node) == 0) return;
    ShellFolderPtr folder = ParentFolderOf(node);
    if (!folder) return;
    std::string oldName;
    GetDisplayName(folder, n->Item.get(), SHGDN_NORMAL, oldName);
    if (node->text(0) == ShellText(oldName)) return;  // no new name was given
    std::string newName;
    LPITEMIDLIST renamed = nullptr;
    if (ShellTextToSjis(node->text(0), newName) &&
        SUCCEEDED(folder->SetNameOf(n->Item.get(), newName, 0x60, &renamed)) && renamed) {
        n->Item.reset(renamed);
        std::string text;
        GetDisplayName(folder, renamed, SHGDN_NORMAL, text);
        SetText(node, text);
        SetNodeIcons(node);
        return;
    }
    std::string text;
    GetDisplayName(folder, n->Item.get(), SHGDN_NORMAL, text);
    SetText(node, text);
}
