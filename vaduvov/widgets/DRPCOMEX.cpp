#include "DRPCOMEX.h"

#include "shellicons.h"
#include "shellmenu.h"
#include "shellmenu_qt.h"
#include "sjis.h"

#include <QDrag>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QWidget>

using namespace shell;

namespace {

// Command ids of the menus: the first id is 1, so an id is its verb + 1.
constexpr unsigned FirstId = 1;
constexpr unsigned LastId = 0x7FFF;
constexpr unsigned CopyId = FirstId + verbCopy;

// Verb numbers and the attribute each needs, by command index.
struct TItemCommand {
    unsigned verb;
    uint32_t attribute;  // 0: the paste rule instead
};
constexpr TItemCommand ItemCommands[] = {
    {verbCreateLink, SFGAO_CANLINK}, {verbDelete, SFGAO_CANDELETE}, {verbProperties, SFGAO_HASPROPSHEET},
    {verbCopy, SFGAO_CANCOPY},       {verbPaste, 0},
};

const char* const FailedText = " InvokeCommand failed! ";
const char* const FailedCaption = " TContextMenuEx component version 2.04";

// The menu's entries from the given list and the component's preconditions.
bool TakeItems(QWidget* window, const ShellFolderPtr& folder, int count, LPCITEMIDLIST items,
               std::vector<TPidl>& copies, std::vector<LPCITEMIDLIST>& raw) {
    if (!window || !folder || !items || count < 1 || count > TContextMenuEx::MaxItems) return false;
    if (!SHGetMalloc() || !SHGetDesktopFolder()) return false;
    if (!SplitItems(items, static_cast<unsigned>(count), copies)) return false;
    raw.clear();
    for (const TPidl& p : copies) raw.push_back(p.get());
    return true;
}

// The Send To folder of our namespace; nil when it cannot be had.
ShellFolderPtr SendToFolder() {
    std::string sj;
    if (!sjis::FromUtf8(GetShellMenuConfig().sendTo, sj)) return nullptr;
    TPidl abs(PathToPidl(sj));
    if (!abs) return nullptr;
    return BindAbsolute(abs.get());
}

}  // namespace

// ---------------------------------------------------------------------------

TContextMenuEx::TContextMenuEx(QObject* owner) : QObject(owner) { InstallDesktopShellHooks(); }

TContextMenuEx::~TContextMenuEx() = default;

void TContextMenuEx::SetCMFileName(const std::vector<std::string>* list) {
    if (list) FCMFileName = *list;
}

int TContextMenuEx::FindMenuItem(const TMenu& menu, const std::string& caption, int position) {
    for (size_t i = 0; i < menu.Entries.size(); ++i) {
        const TMenu::TEntry& e = menu.Entries[i];
        if (e.separator || !e.enabled) continue;
        // The text as a 255-byte buffer holds it, terminator included.
        std::string text = e.text.substr(0, 254);
        size_t at = text.find(caption);
        if (at != std::string::npos && static_cast<int>(at) + 1 == position) return static_cast<int>(i) + 1;
    }
    return -1;
}

bool TContextMenuEx::AddSendToItems(TMenu& menu) {
    int pos = FindMenuItem(menu, "(&N)", 5);
    if (pos < 0) return false;
    TMenu::TEntry& entry = menu.Entries[static_cast<size_t>(pos - 1)];
    if (!entry.sub) return false;
    std::vector<TSendToEntry> entries = SendToEntries();
    for (size_t i = 0; i < entries.size() && i < static_cast<size_t>(MaxSendTo); ++i)
        entry.sub->AppendString(SendToFirstId + static_cast<unsigned>(i), MenuEntryText(entries[i].name));
    // The first entry is the menu's own placeholder.
    entry.sub->Delete(0);
    return true;
}

void TContextMenuEx::InvokeSendTo(QWidget* window, int index) {
    if (index < 0 || index >= MaxSendTo) return;
    std::vector<TSendToEntry> entries = SendToEntries();
    if (static_cast<size_t>(index) >= entries.size()) return;
    ShellFolderPtr folder = SendToFolder();
    if (!folder) return;
    LPITEMIDLIST item = nullptr;
    if (FAILED(folder->ParseDisplayName(entries[static_cast<size_t>(index)].name, item))) return;
    TPidl keep(item);
    InvokeItemCommand(window, folder, 4, item);
}

bool TContextMenuEx::InvokeItemCommand(QWidget* window, const ShellFolderPtr& folder, int index,
                                       LPCITEMIDLIST item) {
    if (index < 0 || index > 4 || !folder || !item) return false;
    const TItemCommand& cmd = ItemCommands[index];
    uint32_t attrs = 0;
    if (FAILED(GetItemAttributes(folder, item, 0xFFFFFFFFu, attrs))) return false;
    if (cmd.attribute && !(attrs & cmd.attribute)) return false;
    std::unique_ptr<IContextMenu> cm;
    if (FAILED(GetContextMenuOf(folder, 1, &item, cm))) return false;
    TMenu menu;
    if (FAILED(cm->QueryContextMenu(menu, 0, FirstId, LastId, CMF_EXPLORE))) return false;
    if (index == 4 && FindMenuItem(menu, "(&P)", 9) == -1) return false;
    TInvokeInfo info;
    info.verb = cmd.verb;
    // The command's questions and a copy's progress run events of their
    // own, in which the window (or the menu's owner) may go.
    QPointer<TContextMenuEx> self(this);
    QPointer<QWidget> owner(window);
    HRESULT hr = cm->InvokeCommand(info);
    if (!self) return false;
    if (FAILED(hr)) {
        if (ShowMessage) ShowMessage(owner, QString::fromLatin1(FailedText), QString::fromLatin1(FailedCaption));
        else QMessageBox::information(owner, QString::fromLatin1(FailedCaption), QString::fromLatin1(FailedText));
        return false;
    }
    return true;
}

void TContextMenuEx::ShowMenu(QWidget* window, const ShellFolderPtr& folder, const QPoint& screenPoint, int count,
                              LPCITEMIDLIST items) {
    std::vector<TPidl> copies;
    std::vector<LPCITEMIDLIST> raw;
    if (!TakeItems(window, folder, count, items, copies, raw)) return;
    std::unique_ptr<IContextMenu> cm;
    if (FAILED(GetContextMenuOf(folder, static_cast<unsigned>(count), raw.data(), cm))) return;
    TMenu menu;
    if (FAILED(cm->QueryContextMenu(menu, 0, FirstId, LastId, CMF_EXPLORE))) return;
    bool sendToReady = AddSendToItems(menu);
    // The menu, the command's questions and a copy's progress run events of
    // their own, in which the window (or the menu's owner) may go.
    QPointer<TContextMenuEx> self(this);
    QPointer<QWidget> owner(window);
    unsigned id = TrackMenu ? TrackMenu(window, menu, screenPoint) : ExecShellMenu(menu, window, screenPoint);
    if (!self) return;
    int sendTo = -1;
    if (sendToReady && id >= SendToFirstId && id < SendToFirstId + MaxSendTo) {
        // Sending is a copy of the items followed by a paste onto the entry.
        sendTo = static_cast<int>(id - SendToFirstId);
        id = CopyId;
    }
    if (id != 0) {
        TInvokeInfo info;
        info.verb = id - FirstId;
        info.AskNewName = [self, owner](const std::string& oldName, std::string& newName) {
            if (!self) return false;
            if (self->AskNewName) return self->AskNewName(owner, oldName, newName);
            QInputDialog dlg(owner);
            dlg.setWindowTitle(QString::fromUtf8("名前の変更"));
            dlg.setLabelText(QString());
            dlg.setTextValue(ShellText(oldName));
            dlg.setOkButtonText(QStringLiteral("OK"));
            dlg.setCancelButtonText(QString::fromUtf8("キャンセル"));
            const bool ok = dlg.exec() == QDialog::Accepted;
            return ok && ShellTextToSjis(dlg.textValue(), newName) && !newName.empty();
        };
        const HRESULT hr = cm->InvokeCommand(info);
        if (!self) return;
        if (FAILED(hr)) {
            if (ShowMessage) ShowMessage(owner, QString::fromLatin1(FailedText), QString::fromLatin1(FailedCaption));
            else QMessageBox::information(owner, QString::fromLatin1(FailedCaption), QString::fromLatin1(FailedText));
        }
    }
    if (sendToReady && self) InvokeSendTo(owner, sendTo);
}

// ---------------------------------------------------------------------------

TDropSourceObject::TDragAnswer TDropSourceObject::QueryContinueDrag(bool escapePressed, unsigned keyState) const {
    if (escapePressed) return dsCancel;
    if (keyState & (MK_LBUTTON | MK_RBUTTON)) return dsContinue;
    return dsDrop;
}

TDropSourceObject::TDragAnswer TDropSourceObject::GiveFeedback(unsigned effect) const {
    (void)effect;
    return dsDefaultCursors;
}

unsigned TDropSourceObject::KeyState(Qt::MouseButtons buttons) {
    unsigned s = 0;
    if (buttons & Qt::LeftButton) s |= MK_LBUTTON;
    if (buttons & Qt::RightButton) s |= MK_RBUTTON;
    return s;
}

// ---------------------------------------------------------------------------

TDropSourceEx::TDropSourceEx(QObject* owner) : QObject(owner) {}

TDropSourceEx::~TDropSourceEx() = default;

void TDropSourceEx::SetDSFileName(const std::vector<std::string>* list) {
    if (list) FDSFileName = *list;
}

void TDropSourceEx::DragItems(QWidget* window, const ShellFolderPtr& folder, int count, LPCITEMIDLIST items) {
    std::vector<TPidl> copies;
    std::vector<LPCITEMIDLIST> raw;
    if (!TakeItems(window, folder, count, items, copies, raw)) return;
    std::vector<std::string> paths;
    if (FAILED(GetItemPaths(folder, static_cast<unsigned>(count), raw.data(), paths))) return;
    // Qt's drag loop answers as TDropSourceObject does: Escape cancels, a
    // held button goes on, releasing drops; the cursors are the default.
    QDrag drag(window);
    drag.setMimeData(PathsMimeData(paths));
    const Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    if (ExecDrag) ExecDrag(drag, allowed);
    else drag.exec(allowed, Qt::CopyAction);
}
