// The folder tree's shell commands: its context menu, label rename and drag and drop.
#include "FolderTree.h"
#include "japanese.h"

#include "shellicons.h"
#include "shellmenu_qt.h"
#include "sjis.h"
#include "textfile.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>

#include <algorithm>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace shell;

// ---------------------------------------------------------------------------
// Context menu and rename.

namespace {

const char* const TreeCaption = " FolderTreeViewEx component version 2.11";
constexpr unsigned CommandCreateLink = 1 + verbCreateLink;  // 17
constexpr unsigned CommandDelete = 1 + verbDelete;          // 18
constexpr unsigned CommandRename = 1 + verbRename;          // 19
constexpr unsigned CommandPaste = 1 + verbPaste;            // 27
constexpr unsigned CommandNewFolder = 1 + verbNewFolder;
constexpr unsigned CommandSendTo = 1 + verbSendTo;
constexpr unsigned CommandSendToLast = 1 + verbSendToLast;

}  // namespace

void TFolderTreeViewEx::Message(const char* text) {
    QString t = QString::fromLatin1(text), caption = QString::fromLatin1(TreeCaption);
    TCommand running(this);
    if (ShowMessage) ShowMessage(window(), t, caption);
    else QMessageBox::information(window(), caption, t);
}

void TFolderTreeViewEx::mousePressEvent(QMouseEvent* event) {
    // A press makes a node current before it selects it: the change is
    // reported once the node is selected, with its own name.
    QTreeWidgetItem* before = currentItem();
    FPressing = true;
    QTreeWidget::mousePressEvent(event);
    FPressing = false;
    if (currentItem() != before) Change();
    if (event->button() == Qt::RightButton) RightClick(event->position().toPoint());
}

void TFolderTreeViewEx::RightClick(const QPoint& pos) {
    if (!FContextMenu) return;
    QTreeWidgetItem* node = itemAt(pos);
    TFolderNodeData* d = NodeData(node);
    if (!d) return;
    setCurrentItem(node);
    // The menu runs an event loop of its own: what it needs is copied, and
    // the node is found again by its list afterwards.
    ShellFolderPtr folder = d->ParentFolder;
    TPidl relative(CopyPidl(d->RelativeIDList.get()));
    TPidl absolute(CopyPidl(d->AbsoluteIDList.get()));
    QPointer<TFolderTreeViewEx> self(this);
    unsigned command = 0;
    bool done = false;
    {
        TCommand running(this);
        done = ShowContextMenu(window(), folder, command, viewport()->mapToGlobal(pos), relative.get());
    }
    if (!self) return;
    std::string made;
    std::swap(made, FLastMadeFolder);
    std::vector<std::string> moved;
    std::swap(moved, FLastMoved);
    if (!done || !FAutoUpDate) return;
    node = FindNode(absolute.get());
    if (command == CommandDelete) {
        // Only what is gone from the disk leaves the tree (a "No" to
        // deleting for good keeps the folder).
        std::string path = sjis::ToUtf8(PidlToPath(absolute.get()));
        struct stat st;
        if (node && !path.empty() && ::lstat(path.c_str(), &st) != 0) delete node;
    } else if (command == CommandPaste) {
        // Shown at once, also where the tree is too large to be re-read.
        ShowFolderContent(sjis::ToUtf8(PidlToPath(absolute.get())));
        for (const std::string& p : moved) DropGoneNode(p);
        Refresh();
    } else if (command == CommandCreateLink || (command >= CommandSendTo && command <= CommandSendToLast)) {
        Refresh();
    } else if (command == CommandNewFolder) {
        ShowNewFolder(made);
    } else if (command == CommandRename && node) {
        setCurrentItem(node);
        node->setFlags(node->flags() | Qt::ItemIsEditable);
        editItem(node, 0);
    }
}

// A folder just made by the menu is shown at once, selected, and its name
// edited (a new folder is named by its maker).
void TFolderTreeViewEx::ShowNewFolder(const std::string& utf8Path) {
    // Its folder's node takes it at once, in a tree of any size.
    const size_t slash = utf8Path.rfind('/');
    if (slash != std::string::npos) ShowFolderContent(slash == 0 ? std::string("/") : utf8Path.substr(0, slash));
    Refresh();
    FinishRefresh();
    std::string sj;
    QTreeWidgetItem* made = nullptr;
    if (utf8Path.empty() || !sjis::FromUtf8(utf8Path, sj) || !OpenFolder(sj, false, true, &made) || !made) return;
    scrollToItem(made);
    made->setFlags(made->flags() | Qt::ItemIsEditable);
    editItem(made, 0);
}

bool TFolderTreeViewEx::ShowContextMenu(QWidget* window, const ShellFolderPtr& folder, unsigned& command,
                                        const QPoint& screenPoint, LPCITEMIDLIST relativeIDList) {
    command = 0;
    if (!window || !folder || !relativeIDList || !SHGetMalloc()) return false;
    std::unique_ptr<IContextMenu> cm;
    if (FAILED(GetContextMenuOf(folder, 1, &relativeIDList, cm))) return false;
    TMenu menu;
    ContextMenuHandler = std::move(cm);
    if (FAILED(ContextMenuHandler->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_EXPLORE))) return false;
    // The submenus the commands fill late (Send To) are filled before the
    // menu opens.
    for (TMenu::TEntry& e : menu.Entries)
        if (e.sub) ContextMenuHandler->InitMenuPopup(*e.sub);
    QPointer<TFolderTreeViewEx> self(this);
    command = TrackMenu ? TrackMenu(window, menu, screenPoint) : ExecShellMenu(menu, window, screenPoint);
    if (!self || command == 0) return false;  // the menu's own event loop may have closed the tree
    FLastMadeFolder.clear();
    FLastMoved.clear();
    // A cut and paste moves the clipboard's items: their nodes go with them.
    if (command == CommandPaste) {
        TClipItems clip = GetClipItems();
        if (clip.cut) FLastMoved = std::move(clip.paths);
    }
    // The command's questions and its copy's progress run events of their
    // own, in which the tree may go: the handler and the name of a folder
    // it makes are held here until it returns.
    std::unique_ptr<IContextMenu> handler = std::move(ContextMenuHandler);
    std::string made;
    TInvokeInfo info;
    info.verb = command - 1;
    info.Made = &made;
    HRESULT hr = handler->InvokeCommand(info);
    if (!self) return false;
    ContextMenuHandler = std::move(handler);
    FLastMadeFolder = std::move(made);
    if (hr == S_FALSE) return false;  // the user said no: nothing was done
    if (SUCCEEDED(hr)) return true;
    // The rename needs a name: the tree asks for it by editing the label.
    if (command == CommandRename) return true;
    Message("InvokeCommand failed!");
    return false;
}

bool TFolderTreeViewEx::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    bool editing = state() == EditingState;
    bool started = QTreeWidget::edit(index, trigger, event);
    if (started && !editing) {
        // The editor stays open while events run: the node is found again
        // by its list when the edit ends.
        TFolderNodeData* d = NodeData(itemFromIndex(index));
        FEditedNode.reset(d ? CopyPidl(d->AbsoluteIDList.get()) : nullptr);
    }
    return started;
}

void TFolderTreeViewEx::commitData(QWidget* editor) {
    // Without AutoUpDate an ended edit changes nothing, not even the label.
    if (!FAutoUpDate) return;
    QTreeWidgetItem* node = FEditedNode ? FindNode(FEditedNode.get()) : nullptr;
    if (!node) return;  // the node went while the label was edited
    auto* line = qobject_cast<QLineEdit*>(editor);
    QString typed = line ? line->text() : QString();
    QTreeWidget::commitData(editor);
    node->setFlags(node->flags() & ~Qt::ItemIsEditable);
    TCommand running(this);
    Edit(node, typed);
}

void TFolderTreeViewEx::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTreeWidget::closeEditor(editor, hint);
    if (state() == EditingState) return;
    FEditedNode.reset();
    StartDeferredRefresh();
}

// Shown once what is running now (a label edit's commit, above all) has
// ended: the box runs an event loop of its own, in which Qt closes and
// frees the editor that the commit still works with.
void TFolderTreeViewEx::TellUser(const QString& text) {
    QPointer<TFolderTreeViewEx> self(this);
    QTimer::singleShot(0, this, [self, text] {
        if (!self) return;
        QWidget* owner = self->window();
        QString caption = owner ? owner->windowTitle() : QString();
        TCommand running(self.data());
        if (self->ShowMessage) {
            self->ShowMessage(owner, text, caption);
            return;
        }
        InformationBox(owner, caption, text);
    });
}

// A refused name: the node shows the item's own name again, and the user
// learns why once the edit has ended.
void TFolderTreeViewEx::RefuseRename(QTreeWidgetItem* node, const QString& why) {
    TFolderNodeData* d = NodeData(node);
    std::string name;
    if (d && GetDisplayName(d->ParentFolder, d->RelativeIDList.get(), SHGDN_INFOLDER, name))
        node->setText(0, ShellText(name));
    TellUser(why);
}

void TFolderTreeViewEx::Edit(QTreeWidgetItem* node, const QString& typed) {
    if (FVirtualRoot || !node) return;
    if (!node->parent() && FRootFolder == rfDrives) return;
    TFolderNodeData* d = NodeData(node);
    if (!d || !SHGetMalloc()) return;
    if (!HasParsingName(d->ParentFolder, d->RelativeIDList.get())) {
        Refresh();
        return;
    }
    std::string name;
    bool sjisForm = ShellTextToSjis(typed, name);
    std::string oldName;
    GetDisplayName(d->ParentFolder, d->RelativeIDList.get(), SHGDN_INFOLDER, oldName);
    if (sjisForm && name == oldName) return;  // nothing new was typed
    if (!CanRenameItem(d->ParentFolder, d->RelativeIDList.get())) {
        RefuseRename(node, QString::fromUtf8(RenameRefusalText(typed.toStdString(), E_ACCESSDENIED)));
        return;
    }
    LPITEMIDLIST renamed = nullptr;
    HRESULT hr = sjisForm ? d->ParentFolder->SetNameOf(d->RelativeIDList.get(), name, 0x60, &renamed)
                          : E_INVALIDARG;
    if (FAILED(hr)) {
        RefuseRename(node, QString::fromUtf8(RenameRefusalText(typed.toStdString(), hr)));
        return;
    }
    if (renamed) {
        // The node follows its item, so that the refresh finds it again.
        d->RelativeIDList.reset(renamed);
        if (LPITEMIDLIST abs = AbsolutePidlOf(d->ParentFolder, renamed)) d->AbsoluteIDList.reset(abs);
    }
    Refresh();
}

// ---------------------------------------------------------------------------
// Drag and drop.

void TFolderTreeViewEx::startDrag(Qt::DropActions supportedActions) {
    (void)supportedActions;
    if (!FDragAndDrop) return;
    QTreeWidgetItem* node = currentItem();
    TFolderNodeData* d = NodeData(node);
    if (!d) return;
    setFocus();
    // The drag runs an event loop of its own: it gets copies.
    ShellFolderPtr folder = d->ParentFolder;
    TPidl relative(CopyPidl(d->RelativeIDList.get()));
    StartDrag(folder, relative.get());
}

void TFolderTreeViewEx::StartDrag(const ShellFolderPtr& folder, LPCITEMIDLIST relativeIDList) {
    std::vector<std::string> paths;
    if (!folder || !relativeIDList || FAILED(GetItemPaths(folder, 1, &relativeIDList, paths))) return;
    QDrag drag(this);
    drag.setMimeData(PathsMimeData(paths));
    const Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    TCommand running(this);
    Qt::DropAction done = ExecDrag ? ExecDrag(drag, allowed) : drag.exec(allowed, Qt::CopyAction);
    // Another program may have moved or copied things: read the tree again
    // once the disk has settled.
    if (done != Qt::IgnoreAction && !drag.target() && FAutoUpDate) Refresh();
    // Moved elsewhere: the node goes, also in a tree too large to re-read.
    if (done == Qt::MoveAction && FAutoUpDate)
        for (const std::string& p : paths) DropGoneNode(p);
}

void TFolderTreeViewEx::SetDropTargetNode(QTreeWidgetItem* node) {
    if (node == FDropTargetNode) return;
    if (FDropTargetNode) FDropTargetNode->setData(0, Qt::BackgroundRole, QVariant());
    FDropTargetNode = node;
    if (node) node->setBackground(0, palette().brush(QPalette::Highlight).color().lighter(160));
}

void TFolderTreeViewEx::HoverExpand() {
    QTreeWidgetItem* node = FHoverNode;
    if (!node || node->isExpanded()) return;
    // A removable drive is not opened on its own: it may have no medium.
    TFolderNodeData* d = NodeData(node);
    if (d && PidlItemCount(d->AbsoluteIDList.get()) == 2 && (d->Attributes & SFGAO_REMOVABLE)) return;
    if (node->childCount() > 0 || node->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator)
        node->setExpanded(true);
}

void TFolderTreeViewEx::dragEnterEvent(QDragEnterEvent* event) {
    FAccepted = false;
    FHoverNode = nullptr;
    FHoverTimer.stop();
    SetDropTargetNode(nullptr);
    if (!FDragAndDrop) {
        event->ignore();
        return;
    }
    std::vector<std::string> paths = MimeDataPaths(event->mimeData());
    std::string sj;
    FAccepted = paths.size() == 1 && sjis::FromUtf8(paths[0], sj) && IsParsablePath(sj);
    // Followed on so that the pointer can open folders and scroll; only an
    // accepted file gets an effect.
    setState(QAbstractItemView::DraggingState);
    event->accept();
}

void TFolderTreeViewEx::dragMoveEvent(QDragMoveEvent* event) {
    if (!FDragAndDrop) {
        event->ignore();
        return;
    }
    QPoint pos = event->position().toPoint();
    QTreeWidgetItem* node = itemAt(pos);
    // Scrolling near the edges is the view's own.
    QTreeWidget::dragMoveEvent(event);
    if (node != FHoverNode) {
        FHoverNode = node;
        if (node) FHoverTimer.start();
        else FHoverTimer.stop();
    }
    SetDropTargetNode(node);
    if (!node || !FAccepted) {
        event->ignore();
        return;
    }
    event->setDropAction(event->modifiers() & Qt::ControlModifier ? Qt::CopyAction : Qt::MoveAction);
    event->accept(visualItemRect(node));
}

void TFolderTreeViewEx::dragLeaveEvent(QDragLeaveEvent* event) {
    FHoverTimer.stop();
    FHoverNode = nullptr;
    SetDropTargetNode(nullptr);
    setState(QAbstractItemView::NoState);
    event->accept();
}

void TFolderTreeViewEx::dropEvent(QDropEvent* event) {
    FHoverTimer.stop();
    FHoverNode = nullptr;
    SetDropTargetNode(nullptr);
    setState(QAbstractItemView::NoState);
    event->ignore();
    if (!FDragAndDrop) return;
    QTreeWidgetItem* node = itemAt(event->position().toPoint());
    TFolderNodeData* d = NodeData(node);
    std::vector<std::string> paths = MimeDataPaths(event->mimeData());
    if (!d || paths.size() != 1 || !SHGetMalloc()) return;
    if (!HasParsingName(d->ParentFolder, d->RelativeIDList.get())) {
        Message("This Folder is SpecialFolder \r   Can not Copy or Paste!");
        return;
    }
    bool folder = d->Attributes & SFGAO_FOLDER;
    bool move = folder && !(event->modifiers() & Qt::ControlModifier);
    std::string target = textfile::OsPath(PidlToPath(d->AbsoluteIDList.get()));
    d = nullptr;  // copying may ask questions: the node is not used again
    HRESULT hr = E_FAIL;
    if (!target.empty()) {
        TCommand running(this);
        hr = DropPathsOn(target, paths, move);
    }
    if (FAutoUpDate && folder) {
        ShowFolderContent(target);
        if (move) DropGoneNode(paths[0]);
        Refresh();
    }
    if (FAILED(hr)) return;
    // The file was copied or moved here; the source has nothing left to do.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
