// The folder tree of the shell views.
#include "ShView.h"
#include "japanese.h"

#include "shellicons.h"
#include "shelltree.h"

#include "sjis.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>

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
    QIcon icon = ShellNodeIcon(PidlIconName(full.get(), false), PidlIconName(full.get(), true), true);
    bool was = FSettingText;
    FSettingText = true;
    node->setIcon(0, icon);
    FSettingText = was;
}

void TFolderView::FillNode(QTreeWidgetItem* node) {
    TViewNode* n = AsNode(node);
    if (FUpdating || !n || n->Filled) return;
    ShellFolderPtr folder = NodeFolder(node);
    TTreeListing listing;
    listing.EnumFlags = SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN;
    listing.AttributeMask = SFGAO_HASSUBFOLDER | SFGAO_LINK;
    listing.WantAbsolute = false;  // a node keeps its own item only
    TPidl full(NodePidl(node));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool listed = false;
    std::vector<TTreeChild> items = ListTreeChildren(folder, full.get(), listing, &listed);
    if (!listed) {
        QApplication::restoreOverrideCursor();
        n->Filled = true;
        n->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
        if (FCurrentNode) setCurrentItem(FCurrentNode);
        return;
    }
    bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    FUpdating = true;
    n->Filled = true;
    QList<QTreeWidgetItem*> children;
    children.reserve(static_cast<int>(items.size()));
    for (TTreeChild& c : items) {
        auto* child = new TViewNode(c.Relative.release());
        child->setText(0, QString::fromStdString(c.Utf8Text));  // not in the tree yet: no edit to report
        child->setFlags(child->flags() | Qt::ItemIsEditable);
        child->setChildIndicatorPolicy(c.HasChildren() ? QTreeWidgetItem::ShowIndicator
                                                       : QTreeWidgetItem::DontShowIndicatorWhenChildless);
        // Without a plus sign a folder is still read when a path leads
        // through it; a link without one leads no deeper.
        if (!c.HasChildren() && (c.Attributes & SFGAO_LINK)) child->Filled = true;
        child->setIcon(0, ShellNodeIcon(c.IconName, c.OpenIconName, true));
        children.append(child);
    }
    if (!children.isEmpty()) node->addChildren(children);
    else node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    FUpdating = false;
    setUpdatesEnabled(updates);
    QApplication::restoreOverrideCursor();
}

void TFolderView::Change(QTreeWidgetItem* node) {
    if (FUpdating) return;
    if (OnChange) OnChange(this, node);
    FPreviousNode = FCurrentNode;
    FCurrentNode = node;
    NotifyViews(node);
}

// The linked views follow the selected folder: the list first, then the
// box (unless the list sent the selection elsewhere meanwhile).
void TFolderView::NotifyViews(QTreeWidgetItem* node) {
    if (!node || FUpdating) return;
    TPidl full(NodePidl(node));
    if (!full) return;
    if (FFileView) FFileView->SetFolder(full.get());
    if (FComboView && FCurrentNode == node) FComboView->SyncToPidl(full.get());
}

void TFolderView::SyncCombo() {
    QTreeWidgetItem* sel = currentItem();
    if (!FComboView || !sel || !sel->isSelected()) return;
    TPidl full(NodePidl(sel));
    FComboView->SyncToPidl(full.get());
}

void TFolderView::SetFileView(TFileView* view) {
    if (view == FFileView) return;
    if (FFileView) FFileView->FFolderView = nullptr;
    FFileView = view;
    if (!view) return;
    if (view->FFolderView && view->FFolderView != this) view->FFolderView->FFileView = nullptr;
    view->FFolderView = this;
    QTreeWidgetItem* sel = currentItem();
    if (sel && sel->isSelected()) {
        TPidl full(NodePidl(sel));
        view->SetFolder(full.get());
    }
}

void TFolderView::SetContextMenu(TContextMenuEx* menu) { FContextMenu = menu; }

void TFolderView::SetDropSource(TDropSourceEx* source) {
    FDropSource = source;
    if (source) setDragEnabled(false);  // the drag source starts drags itself
}

// The menu of the selected folder (not the desktop) on a right-button
// release; a right press has selected the node under the pointer already.
void TFolderView::mouseReleaseEvent(QMouseEvent* event) {
    FDragFrom.reset();
    QTreeWidget::mouseReleaseEvent(event);
    QTreeWidgetItem* sel = currentItem();
    if (event->button() != Qt::RightButton || !FContextMenu || !sel || !sel->isSelected() || Level(sel) == 0)
        return;
    ShellFolderPtr folder = ParentFolderOf(sel);
    if (!folder) return;
    TPidl item(CopyPidl(NodeItem(sel)));
    QPoint at = viewport()->mapToGlobal(event->position().toPoint());
    FContextMenu->ShowMenu(this, folder, at, 1, item.get());
}

void TFolderView::mousePressEvent(QMouseEvent* event) {
    QTreeWidget::mousePressEvent(event);
    FDragFrom.reset();
    if (event->button() == Qt::LeftButton && FDropSource) FDragFrom = event->position().toPoint();
}

// The selected folder is dragged once the pressed mouse has moved a little.
void TFolderView::mouseMoveEvent(QMouseEvent* event) {
    QTreeWidgetItem* sel = currentItem();
    if (FDragFrom && (event->buttons() & Qt::LeftButton) && FDropSource && sel && sel->isSelected() &&
        Level(sel) > 0 &&
        (event->position().toPoint() - *FDragFrom).manhattanLength() >= QApplication::startDragDistance()) {
        FDragFrom.reset();
        ShellFolderPtr folder = ParentFolderOf(sel);
        if (!folder) return;
        TPidl item(CopyPidl(NodeItem(sel)));
        FDropSource->DragItems(this, folder, 1, item.get());
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}

void TFolderView::SelectPreviousNode() {
    if (FPreviousNode) setCurrentItem(FPreviousNode);
}

QTreeWidgetItem* TFolderView::FindChild(QTreeWidgetItem* node, LPCITEMIDLIST item) {
    if (!AsNode(node) || !item) return nullptr;
    ShellFolderPtr folder = NodeFolder(node);
    if (!folder) return nullptr;
    FillNode(node);
    node->setExpanded(true);
    int i = FindTreeChild(folder, node->childCount(), [node](int k) { return NodeItem(node->child(k)); }, item);
    return i < 0 ? nullptr : node->child(i);
}

QTreeWidgetItem* TFolderView::FindNode(LPCITEMIDLIST list) {
    TVolumeSnapshot volumes;
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
    SyncCombo();
}

// The end of a label edit: the shell renames the folder, never over an
// existing one; a refused name shows the old one again, and the user is
// told why.
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
    std::string typed = node->text(0).toStdString();
    HRESULT hr = ShellTextToSjis(node->text(0), newName) ? folder->SetNameOf(n->Item.get(), newName, 0x60, &renamed)
                                                         : E_INVALIDARG;
    if (SUCCEEDED(hr) && renamed) {
        n->Item.reset(renamed);
        std::string text;
        GetDisplayName(folder, renamed, SHGDN_NORMAL, text);
        SetText(node, text);
        SetNodeIcons(node);
        SyncCombo();
        // A list showing this folder or one below it follows the new name.
        QTreeWidgetItem* sel = currentItem();
        bool below = false;
        for (QTreeWidgetItem* p = sel; p && !below; p = p->parent()) below = p == node;
        if (FFileView && sel && sel->isSelected() && below) {
            TPidl full(NodePidl(sel));
            FFileView->SetFolder(full.get());
        }
        return;
    }
    std::string text;
    GetDisplayName(folder, n->Item.get(), SHGDN_NORMAL, text);
    SetText(node, text);
    // Why, once the edit is over (the message runs an event loop of its own).
    QString why = QString::fromUtf8(RenameRefusalText(typed, hr));
    QPointer<TFolderView> self(this);
    QTimer::singleShot(0, this, [self, why] {
        if (self) self->TellUser(why);
    });
}

void TFolderView::TellUser(const QString& text) {
    QString caption = window() ? window()->windowTitle() : QString();
    if (ShowMessage) {
        ShowMessage(window(), text, caption);
        return;
    }
    InformationBox(window(), caption, text);
}
