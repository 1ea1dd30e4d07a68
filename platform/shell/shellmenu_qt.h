// The shell menu layer on the desktop: menus shown with QMenu, items as
// file URLs for drags and the clipboard, and the desktop hooks.
#pragma once

#include "shellmenu.h"

#include <QPoint>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QMimeData;
class QWidget;

namespace shell {

// Installs the desktop hooks once per process: documents open through
// QDesktopServices, programs start with QProcess::startDetached (separate
// arguments, no shell), the clipboard is the system's (file URLs plus the
// desktop's copied-files mark), a delete that cannot go to the trash is
// confirmed with a message box, and a long copy shows its progress
// (NewCopyProgress).  Hooks set later replace them.
void InstallDesktopShellHooks();

// The progress of a copy in a dialog, "コピー", with a cancel button, shown
// once the copy has taken showAfterMs; the application's events are handled
// between the blocks.  Cancelling, or closing the dialog, stops the copy.
std::unique_ptr<ICopyProgress> NewCopyProgress(int showAfterMs = 500);

// A QMenu with the entries of menu; each action carries its id as data.
QMenu* BuildQMenu(const TMenu& menu, QWidget* parent);
// Shows menu at the screen point; the chosen id, 0 for none.
unsigned ExecShellMenu(const TMenu& menu, QWidget* owner, const QPoint& screenPoint);

// Mime data of file paths (UTF-8): a URL list, the copied-files mark and
// the paths as text.
QMimeData* PathsMimeData(const std::vector<std::string>& paths, bool cut = false);
// The local file paths a mime data holds; cut tells a cut on the clipboard.
std::vector<std::string> MimeDataPaths(const QMimeData* data, bool* cut = nullptr);

}  // namespace shell
