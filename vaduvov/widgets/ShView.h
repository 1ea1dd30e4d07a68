// The controller's shell views.
//
// TFolderView: the folder tree, every folder of the namespace from the
// desktop down, hidden ones included, read as folders are opened, renamed
// in place, and the selected folder reported as a path.
//
// TFileView: the items of one folder with name, size, type and date
// columns.  TComboView: a drop-down location box of the desktop, its
// folders, the computer's volumes and the levels of the current path.
// Both follow a linked folder tree, and move it: a double click on a folder
// in the list, a rename in the list or a choice in the box.
//
// The item-ID list routines it uses (NextItem, PidlSize, CopyFirstItem,
// ConcatPidls, ParentPidl, LastItemCopy, ComparePidls, FreePidl ...) come
// with the shell layer.
#pragma once

#include "DRPCOMEX.h"
#include "component.h"
#include "pidl.h"
#include "shellns.h"

#include <QComboBox>
#include <QPointer>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TFileView;
class TComboView;
class TKindCache;

class TFolderView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TFolderView(QWidget* owner = nullptr);
    ~TFolderView() override;

    // Selects the node of a folder path, opening the folders on the way;
    // clears the selection when the path parses but has no node; changes
    // nothing when it does not parse.
    void SetSelectedPath(const std::string& Path);
    // The selected folder's parsing name (a path for file-system folders);
    // "" when nothing is selected.
    std::string GetSelectedPath();
    // Selects the child of the selected node that is the given item.
    void SelectChild(shell::LPCITEMIDLIST item);
    // Selects the node of a full list.
    void SelectPidl(shell::LPCITEMIDLIST list);
    // Gives the child of the selected node that was oldItem its new item.
    void RenameChild(shell::LPCITEMIDLIST oldItem, shell::LPCITEMIDLIST newItem);
    // A new full list of a node; the caller frees it with FreePidl.
    shell::LPITEMIDLIST NodePidl(QTreeWidgetItem* node) const;
    // A node's own item (the desktop's empty list for the root).
    static shell::LPCITEMIDLIST NodeItem(QTreeWidgetItem* node);

    // Shows a message (Window, Text, Caption); empty: an information box.
    std::function<void(QWidget*, const QString&, const QString&)> ShowMessage;

    // The selected node changed (Sender, Node).
    TEvent<QObject*, QTreeWidgetItem*> OnChange;
    // A node is about to be freed (Sender, Node).
    TEvent<QObject*, QTreeWidgetItem*> OnDeleting;

    QTreeWidgetItem* CurrentNode() const { return FCurrentNode; }
    QTreeWidgetItem* PreviousNode() const { return FPreviousNode; }

    // The file list that follows the selection; setting one sets its link
    // back to this tree and lists the selected folder in it at once.
    TFileView* FileView() const { return FFileView; }
    void SetFileView(TFileView* view);
    // The location box that follows the selection (linked from its side).
    TComboView* ComboView() const { return FComboView; }
    // Selects again the node selected before the current one (the file
    // list's way back from a folder it cannot list).
    void SelectPreviousNode();

    // Shown on a right-button release for the selected folder (not the
    // desktop).
    TContextMenuEx* ContextMenu() const { return FContextMenu; }
    void SetContextMenu(TContextMenuEx* menu);
    // Drags the selected folder (not the desktop) when the pressed mouse
    // moves; turns Qt's own dragging off.
    TDropSourceEx* DropSource() const { return FDropSource; }
    void SetDropSource(TDropSourceEx* source);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void BuildTree();
    void FillNode(QTreeWidgetItem* node);
    shell::ShellFolderPtr NodeFolder(QTreeWidgetItem* node) const;
    shell::ShellFolderPtr ParentFolderOf(QTreeWidgetItem* node) const;
    void SetNodeIcons(QTreeWidgetItem* node);
    QTreeWidgetItem* FindChild(QTreeWidgetItem* node, shell::LPCITEMIDLIST item);
    QTreeWidgetItem* FindNode(shell::LPCITEMIDLIST list);
    void SelectNode(QTreeWidgetItem* node);
    void Change(QTreeWidgetItem* node);
    void Edit(QTreeWidgetItem* node);
    void DeleteTree();
    void SetText(QTreeWidgetItem* node, const std::string& sjisText);
    void TellUser(const QString& text);
    void NotifyViews(QTreeWidgetItem* node);
    void SyncCombo();

    friend class TComboView;
    QPointer<TComboView> FComboView;
    QPointer<TFileView> FFileView;
    QPointer<TContextMenuEx> FContextMenu;
    QPointer<TDropSourceEx> FDropSource;
    std::optional<QPoint> FDragFrom;
    bool FUpdating = false;
    bool FSettingText = false;
    QTreeWidgetItem* FCurrentNode = nullptr;
    QTreeWidgetItem* FPreviousNode = nullptr;
};

// The list of one folder's items: folders, files and hidden items, each
// carrying its one-item list relative to the folder.
class TFileView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TFileView(QWidget* owner = nullptr);
    ~TFileView() override;
    // How many kinds of item (by extension) the view has met.
    size_t KindCount() const;

    // Lists the folder of a full list (a copy is kept); nil is ignored.
    void SetFolder(shell::LPCITEMIDLIST list);
    // Lists the folder again: rows of items that did not change stay, with
    // their selection; the order is by name again.
    void FillList();
    // What a double click does with the selected item: a folder moves the
    // linked tree there; a document is opened when FileExecute is set.
    void DblClick();
    // Sorts by a column, the other way round than the last time.
    void ColClick(int column);

    // Whether a double click opens a non-folder item (default true).
    bool FileExecute() const { return FFileExecute; }
    void SetFileExecute(bool on) { FFileExecute = on; }
    // Extensions with their dot (Shift-JIS), matched without regard to
    // ASCII case; empty lists everything.  Folders are always listed.
    const std::vector<std::string>& Mask() const { return FMask; }
    void SetMask(const std::vector<std::string>& mask) { FMask = mask; }

    TFolderView* FolderView() const { return FFolderView; }
    // Shown on a right-button release over the list, for the selected items.
    TContextMenuEx* ContextMenu() const { return FContextMenu; }
    void SetContextMenu(TContextMenuEx* menu) { FContextMenu = menu; }
    // Drags the selected items when the pressed mouse moves; turns Qt's
    // own dragging off.
    TDropSourceEx* DropSource() const { return FDropSource; }
    void SetDropSource(TDropSourceEx* source);

    // The folder listed (nil before the first SetFolder) and its full list.
    const shell::ShellFolderPtr& Folder() const { return FFolder; }
    shell::LPCITEMIDLIST FolderPidl() const { return FFolderPidl.get(); }
    // A row's item relative to Folder().
    static shell::LPCITEMIDLIST ItemID(QTreeWidgetItem* item);
    // The sort direction of a column (+1 ascending, -1 descending), shared
    // by all file lists; 0 outside the four columns.
    static int SortDirection(int column);
    // The first selected row in list order; nil when none is.
    QTreeWidgetItem* SelectedItem() const;

    // The item list's overlay index of a row (1: a link), in this role.
    static constexpr int OverlayRole = Qt::UserRole + 1;

    TEvent<QObject*> OnDblClick;
    // A row is about to be freed (Sender, Item).
    TEvent<QObject*, QTreeWidgetItem*> OnDeletion;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    void BeginFill();
    void EndFill();
    void ClearItems();
    void PlaceRows(std::vector<shell::TListedItem>& items);
    bool Listed(const shell::TListedItem& item) const;
    QTreeWidgetItem* MakeRow(shell::TListedItem& item);
    void SetDetails(QTreeWidgetItem* row);
    void SortBy(int column);
    int CompareByName(QTreeWidgetItem* a, QTreeWidgetItem* b) const;
    static int CompareBySubItem(QTreeWidgetItem* a, QTreeWidgetItem* b, int column);
    static int CompareSubTexts(const QString& a, const QString& b, int column);
    void Edit(QTreeWidgetItem* row);
    void CannotList();
    shell::LPITEMIDLIST PackSelected(int& count) const;
    void SetCaption(QTreeWidgetItem* row, const std::string& sjisText);

    friend class TFolderView;
    shell::ShellFolderPtr FFolder;
    shell::TPidl FFolderPidl;
    bool FFileExecute = true;
    QPointer<TFolderView> FFolderView;
    std::vector<std::string> FMask;
    QPointer<TContextMenuEx> FContextMenu;
    QPointer<TDropSourceEx> FDropSource;
    bool FFilling = false;
    bool FGoingBack = false;
    std::optional<QPoint> FDragFrom;
    unsigned FGeneration = 0;
    // The kinds of file met, for the icon and type columns; the rows point
    // into it, so it goes only with the view.
    std::unique_ptr<TKindCache> FKinds;
};

// One entry of the location box.
class TComboData {
public:
    shell::TPidl Pidl;  // full list from the desktop
    int Level = 0;      // 0 the desktop, 1 its children, and so on
    int Position = 0;   // the index it was inserted at
};

// The location box: the desktop, its folders and the computer's volumes
// always, and the levels of the linked tree's selected folder, each entry
// after its parent, indented 10 pixels a level in the list.
class TComboView : public QComboBox {
    Q_OBJECT
public:
    explicit TComboView(QWidget* owner = nullptr);
    ~TComboView() override;

    TFolderView* FolderView() const { return FFolderView; }
    // Links the tree both ways and shows its selected folder.
    void SetFolderView(TFolderView* view);
    // Shows a full list's folder, with the levels of its path; nil ignored.
    void SyncToPidl(shell::LPCITEMIDLIST list);
    // Makes the fixed entries again.
    void BuildList();
    // The user's choice of an entry: moves the linked tree there.
    void Change(int index);

    const TComboData* Entry(int index) const;
    int FixedCount() const { return static_cast<int>(FFixedEntries.size()); }
    int PathCount() const { return static_cast<int>(FPathEntries.size()); }
    // The name an entry shows (Shift-JIS), and its indent in the list.
    std::string EntryName(int index) const;
    int EntryIndent(int index) const;

    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int height);

    TEvent<QObject*> OnChange;

    // Draws an entry: in the list indented by its level, in the box's own
    // field without indent.
    void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected, bool inList) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int InsertPath(shell::LPCITEMIDLIST list);
    void AddEntry(int position, int level, shell::LPCITEMIDLIST list);
    void ClearEntries();
    int IndexOf(const TComboData* entry) const;

    bool FBuilt = false;
    std::vector<std::unique_ptr<TComboData>> FFixedEntries;
    std::vector<std::unique_ptr<TComboData>> FPathEntries;
    QPointer<TFolderView> FFolderView;
    int FItemHeight = 18;
};
