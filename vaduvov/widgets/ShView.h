// The controller's shell folder tree: every folder of the namespace from
// the desktop down, hidden ones included, read as folders are opened,
// renamed in place, and the selected folder reported as a path.
//
// The item-ID list routines it uses (NextItem, PidlSize, CopyFirstItem,
// ConcatPidls, ParentPidl, LastItemCopy, ComparePidls, FreePidl ...) come
// with the shell layer.
#pragma once

#include "component.h"
#include "pidl.h"
#include "shellns.h"

#include <QTreeWidget>
#include <string>

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

    // The selected node changed (Sender, Node).
    TEvent<QObject*, QTreeWidgetItem*> OnChange;
    // A node is about to be freed (Sender, Node).
    TEvent<QObject*, QTreeWidgetItem*> OnDeleting;

    QTreeWidgetItem* CurrentNode() const { return FCurrentNode; }
    QTreeWidgetItem* PreviousNode() const { return FPreviousNode; }

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

    bool FUpdating = false;
    bool FSettingText = false;
    QTreeWidgetItem* FCurrentNode = nullptr;
    QTreeWidgetItem* FPreviousNode = nullptr;
};
