// Icons and shown texts of shell items for the Qt trees.
#pragma once

#include "pidl.h"

#include <QIcon>
#include <QString>
#include <string>

namespace shell {

// The desktop theme's icon for an absolute list, with one of the style's
// own icons where the theme has none.
QIcon ShellIcon(LPCITEMIDLIST abs, bool open);

// The icon of an icon-theme name (as the namespace gives them), made once
// per name and kept.
QIcon ShellIconNamed(const std::string& name);

// A tree node's icon: the closed icon, and the open one when selected if
// openWhenSelected; made once per pair of names and kept.
QIcon ShellNodeIcon(const std::string& closedName, const std::string& openName, bool openWhenSelected);

// A Shift-JIS text as shown.
QString ShellText(const std::string& sjisText);

// A shown text back to Shift-JIS; false when it has no Shift-JIS form.
bool ShellTextToSjis(const QString& text, std::string& sjisText);

}  // namespace shell
