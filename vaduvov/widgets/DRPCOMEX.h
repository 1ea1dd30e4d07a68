// The shell's context menu and drag source for the controller's views.
//
// TContextMenuEx shows the context menu of a set of items of one shell
// folder (open, cut, copy, paste, delete, rename, new folder and the Send
// To submenu) and carries out the chosen command through our shell menu
// layer.  TDropSourceEx drags such items to other programs as a list of
// file URLs.  Neither is placed on a form of the controller; the views
// call them from their mouse handlers when one is linked.
#pragma once

#include "pidl.h"
#include "shellns.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <Qt>
#include <functional>
#include <string>
#include <vector>

class QDrag;
class QMenu;
class QWidget;

namespace shell {
class TMenu;
}

class TContextMenuEx : public QObject {
    Q_OBJECT
public:
    // Most items one menu or drag takes.
    static constexpr int MaxItems = 1024;
    // Most Send To entries the submenu shows, and the id of the first one.
    static constexpr int MaxSendTo = 100;
    static constexpr unsigned SendToFirstId = 1525;

    explicit TContextMenuEx(QObject* owner = nullptr);
    ~TContextMenuEx() override;

    // A list of file names kept with the component (not used by it).
    const std::vector<std::string>& CMFileName() const { return FCMFileName; }
    // Copies the list; a nil list is ignored.
    void SetCMFileName(const std::vector<std::string>* list);

    // Shows the menu of the first count items of items (successive
    // one-item lists of children of folder) at the screen point, owned by
    // window, and carries out the choice.  Does nothing without a window, a
    // folder or items, or unless 1 <= count <= MaxItems, or when the list
    // holds fewer than count items.
    void ShowMenu(QWidget* window, const shell::ShellFolderPtr& folder, const QPoint& screenPoint,
                  int count, shell::LPCITEMIDLIST items);

    // The 1-based position of the first enabled, non-separator entry of the
    // menu's top level whose text holds caption first at the 1-based byte
    // position; -1 when there is none.
    static int FindMenuItem(const shell::TMenu& menu, const std::string& caption, int position);

    // Fills the Send To submenu of menu; true when the submenu was found.
    bool AddSendToItems(shell::TMenu& menu);
    // Pastes the clipboard onto Send To entry number index (from 0).
    void InvokeSendTo(QWidget* window, int index);
    // Runs verb index 0..4 (create link, delete, properties, copy, paste)
    // on one item of folder; true when the command was carried out.
    bool InvokeItemCommand(QWidget* window, const shell::ShellFolderPtr& folder, int index,
                           shell::LPCITEMIDLIST item);

    // Tracks the built menu and returns the chosen command id (0: none).
    // Empty: a QMenu at the point.  Tests set their own.
    std::function<unsigned(QWidget* window, const shell::TMenu& menu, const QPoint& screenPoint)>
        TrackMenu;
    // Shows a message (text, caption).  Empty: an information box.
    std::function<void(QWidget* window, const QString& text, const QString& caption)> ShowMessage;
    // Asks the new name for a rename (Shift-JIS); false: cancelled.
    // Empty: an input dialog.
    std::function<bool(QWidget* window, const std::string& oldName, std::string& newName)> AskNewName;

private:
    std::vector<std::string> FCMFileName;
};

// The drag source's answers while a drag runs.
class TDropSourceObject {
public:
    // Results of QueryContinueDrag and GiveFeedback.
    enum TDragAnswer { dsContinue, dsDrop, dsCancel, dsDefaultCursors };
    // Key and button state bits.
    static constexpr unsigned MK_LBUTTON = 0x0001;
    static constexpr unsigned MK_RBUTTON = 0x0002;

    // Escape cancels; a held left or right button goes on; otherwise drop.
    TDragAnswer QueryContinueDrag(bool escapePressed, unsigned keyState) const;
    // Always the default cursors.
    TDragAnswer GiveFeedback(unsigned effect) const;
    // Key state bits of Qt's buttons.
    static unsigned KeyState(Qt::MouseButtons buttons);
};

class TDropSourceEx : public QObject {
    Q_OBJECT
public:
    explicit TDropSourceEx(QObject* owner = nullptr);
    ~TDropSourceEx() override;

    // A list of file names kept with the component (not used by it).
    const std::vector<std::string>& DSFileName() const { return FDSFileName; }
    void SetDSFileName(const std::vector<std::string>* list);

    // Drags the first count items of items (successive one-item lists of
    // children of folder) as file URLs, allowing copy, move and link.  Same
    // preconditions as TContextMenuEx::ShowMenu.
    void DragItems(QWidget* window, const shell::ShellFolderPtr& folder, int count,
                   shell::LPCITEMIDLIST items);

    // Runs the drag with the allowed actions and returns its result.
    // Empty: QDrag::exec.  Tests set their own.
    std::function<Qt::DropAction(QDrag& drag, Qt::DropActions allowed)> ExecDrag;

private:
    std::vector<std::string> FDSFileName;
};
