// The drill program's folder tree: a part of the shell namespace, read
// lazily as nodes are opened, that reports the chosen folder's path.
#pragma once

#include "component.h"
#include "shellmenu.h"
#include "shellns.h"
#include "shelltree.h"

#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QDrag;

// What each node knows of its item.
struct TFolderNodeData {
    shell::ShellFolderPtr ParentFolder;  // the folder that holds the item
    shell::TPidl RelativeIDList;         // the item within ParentFolder
    shell::TPidl AbsoluteIDList;         // the item from the desktop
    uint32_t Attributes = 0;             // answer to NodeAttributeMask
};

// The attributes every node is asked for.
constexpr uint32_t NodeAttributeMask = 0xF20B0000u;

class TFolderTreeViewEx : public QTreeWidget {
    Q_OBJECT
public:
    enum TRootFolder {
        rfManual, rfDrives, rfDesktop, rfFavorites, rfPrograms, rfRecent, rfSendTo,
        rfStartMenu, rfStartup, rfAppdata, rfTemplates, rf_Controls, rf_Bitbucket, rf_Printers
    };
    enum TSelectedDir { sdNone, sdSystem, sdCurrent };

    explicit TFolderTreeViewEx(QWidget* owner = nullptr);
    ~TFolderTreeViewEx() override;

    // Properties.  Setters that receive the value held already do nothing.
    bool AutoUpDate() const { return FAutoUpDate; }
    void SetAutoUpDate(bool v) { FAutoUpDate = v; }
    bool ContextMenu() const { return FContextMenu; }
    void SetContextMenu(bool v) { FContextMenu = v; }
    bool DragAndDrop() const { return FDragAndDrop; }
    void SetDragAndDrop(bool v) { FDragAndDrop = v; }
    bool ShellRun() const { return FShellRun; }
    void SetShellRun(bool v) { FShellRun = v; }
    // Extensions with their dot (".txt"); letter case does not matter.
    const std::vector<std::string>& FileMask() const { return FFileMask; }
    void SetFileMask(const std::vector<std::string>& v);
    bool InfoViewSort() const { return FInfoViewSort; }
    void SetInfoViewSort(bool v);
    TSelectedDir SelectedDir() const { return FSelectedDir; }
    void SetSelectedDir(TSelectedDir v);
    bool ShowFile() const { return FShowFile; }
    void SetShowFile(bool v);
    bool ShowRootFolder() const { return FShowRootFolder; }
    void SetShowRootFolder(bool v);
    bool ShowIncludeHidden() const { return FShowIncludeHidden; }
    void SetShowIncludeHidden(bool v);
    TRootFolder RootFolder() const { return FRootFolder; }
    virtual void SetRootFolder(TRootFolder v);
    const std::string& RootFolderName() const { return FRootFolderName; }
    void SetRootFolderName(const std::string& v);

    // Events: Sender and the folder's path (Shift-JIS).
    TEvent<QObject*, const std::string&> OnChange, OnClick, OnDblClick;

    // Finds the node of a path, opening the nodes on the way; makes it the
    // top item and selects it on request.  *Node receives it when Node is
    // given.  Always false with a virtual root.
    virtual bool OpenFolder(const std::string& Path, bool MakeTop, bool Select, QTreeWidgetItem** Node = nullptr);
    bool SelectFolder(const std::string& Path);
    // The selected folder's path; the last one again when nothing is
    // selected; "" when the selected folder is gone from the disk.
    virtual std::string GetFolderName();
    // Builds the tree anew.
    void Rebuild();
    // Reads the tree again after changes on disk, keeping the open folders,
    // the selection and the top item.  The re-reading waits RefreshDelay
    // milliseconds on a timer, so that the disk settles; the window stays
    // responsive meanwhile.
    void Refresh();
    int RefreshDelay() const { return FRefreshDelay; }
    void SetRefreshDelay(int ms) { FRefreshDelay = ms; }
    bool RefreshPending() const { return FRefreshTimer.isActive(); }
    // Runs a pending refresh now.  While a command holds nodes (a menu, a
    // drag, a drop, a message or a label edit is open) the refresh waits
    // until it has ended.
    void FinishRefresh();
    // The node whose list from the desktop is absolute (nil for none):
    // how a node is found again after an event loop of its own.
    QTreeWidgetItem* FindNode(shell::LPCITEMIDLIST absolute) const;

    // The shell's context menu of one item of folder at the screen point,
    // owned by window.  command receives the chosen id (0: none).  True
    // when the command was carried out, or when it was the rename, which
    // the caller then does by editing the label.
    bool ShowContextMenu(QWidget* window, const shell::ShellFolderPtr& folder, unsigned& command,
                         const QPoint& screenPoint, shell::LPCITEMIDLIST relativeIDList);
    // Drags one item of folder to other programs as a file URL.
    void StartDrag(const shell::ShellFolderPtr& folder, shell::LPCITEMIDLIST relativeIDList);
    // The node that shows the drop highlight (nil when none).
    QTreeWidgetItem* DropTargetNode() const { return FDropTargetNode; }
    // Milliseconds the pointer rests over a closed folder during a drag
    // before the folder opens.
    int HoverExpandDelay() const { return FHoverTimer.interval(); }
    void SetHoverExpandDelay(int ms) { FHoverTimer.setInterval(ms); }
    // Whether the pointer rests over a node whose wait has not run out yet.
    bool HoverPending() const { return FHoverTimer.isActive(); }

    // Test and desktop hooks.  TrackMenu chooses from a built menu (empty:
    // a QMenu at the point); ExecDrag runs a drag (empty: QDrag::exec);
    // ShowMessage shows a message (empty: an information box).
    std::function<unsigned(QWidget* window, const shell::TMenu& menu, const QPoint& screenPoint)> TrackMenu;
    std::function<Qt::DropAction(QDrag& drag, Qt::DropActions allowed)> ExecDrag;
    std::function<void(QWidget* window, const QString& text, const QString& caption)> ShowMessage;

    // The record of a node (nil for none).
    static TFolderNodeData* NodeData(QTreeWidgetItem* node);
    // Whether a node has been read.
    static bool NodeFilled(QTreeWidgetItem* node);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // Ending a label edit renames the item.
    void commitData(QWidget* editor) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BeginWait();
    void EndWait();
    shell::LPITEMIDLIST GetRootPidl();
    bool IsUsableRoot(shell::LPCITEMIDLIST list);
    bool RootItemQualifies(const shell::ShellFolderPtr& folder, shell::LPCITEMIDLIST item);
    void BuildFolderTree();
    void BuildVirtualTree();
    void AddChildren(const shell::ShellFolderPtr& owner, shell::LPCITEMIDLIST folderID, QTreeWidgetItem* parent);
    std::vector<shell::TTreeChild> ListChildren(const shell::ShellFolderPtr& owner, shell::LPCITEMIDLIST folderID,
                                                QTreeWidgetItem* parent, shell::ShellFolderPtr& folder);
    void MergeChildren(QTreeWidgetItem* parent);
    void ShowFolderContent(const std::string& utf8Path);
    void DropGoneNode(const std::string& utf8Path);
    QTreeWidgetItem* MakeChildNode(const shell::ShellFolderPtr& folder, shell::TTreeChild& child);
    bool MatchesFileMask(const shell::ShellFolderPtr& folder, shell::LPCITEMIDLIST item);
    bool HasMatchingFile(const shell::ShellFolderPtr& folder, shell::LPCITEMIDLIST item);
    void FillNode(QTreeWidgetItem* node);
    void ExpandNode(QTreeWidgetItem* node);
    void ClearNodes();
    void Change();
    void RunRefresh();
    int CountNodes() const;
    void KeepView();
    void ShowNewFolder(const std::string& utf8Path);
    void BeginCommand();
    void EndCommand();
    void StartDeferredRefresh();
    // Holds the nodes for a command that runs an event loop of its own.
    class TCommand {
    public:
        explicit TCommand(TFolderTreeViewEx* tree) : FTree(tree) { tree->BeginCommand(); }
        ~TCommand() {
            if (FTree) FTree->EndCommand();
        }
        TCommand(const TCommand&) = delete;
        TCommand& operator=(const TCommand&) = delete;

    private:
        QPointer<TFolderTreeViewEx> FTree;
    };
    void RefuseRename(QTreeWidgetItem* node, const QString& why);
    void TellUser(const QString& text);
    std::string SelectedDirPath() const;
    void RightClick(const QPoint& pos);
    void Edit(QTreeWidgetItem* node, const QString& typed);
    void Message(const char* text);
    void SetDropTargetNode(QTreeWidgetItem* node);
    void HoverExpand();

    bool FAutoUpDate = true;
    bool FContextMenu = true;
    bool FDragAndDrop = true;
    bool FShellRun = false;
    std::vector<std::string> FFileMask;
    bool FInfoViewSort = false;
    TSelectedDir FSelectedDir = sdNone;
    bool FShowFile = false;
    bool FShowRootFolder = true;
    bool FShowIncludeHidden = true;
    TRootFolder FRootFolder = rfDrives;
    std::string FRootFolderName;

    bool FVirtualRoot = false;
    int FBusy = 0;
    bool FClearing = false;
    std::string FLastFolderName;
    // The root's record; it stays here when the root has no node of its own.
    TFolderNodeData FRoot;

    int FRefreshDelay = 1000;
    QTimer FRefreshTimer;
    std::vector<std::string> FKeptPaths;
    std::string FKeptSelection, FKeptTop;
    int FCommands = 0;
    bool FRefreshDeferred = false;
    // The list of the node whose label is being edited.
    shell::TPidl FEditedNode;
    // The folder the last menu command made (UTF-8 path).
    std::string FLastMadeFolder;
    std::vector<std::string> FLastMoved;  // the items a cut and paste moved (UTF-8)

    // The menu's commands, kept from one right-click menu to the next.
    std::unique_ptr<shell::IContextMenu> ContextMenuHandler;
    // Drops: one file whose path the namespace parses was dragged in.
    bool FAccepted = false;
    bool FPressing = false;
    QTreeWidgetItem* FDropTargetNode = nullptr;
    QTreeWidgetItem* FHoverNode = nullptr;
    QTimer FHoverTimer;
};
