#include "shellicons.h"

#include "shellns.h"
#include "sjis.h"

#include <QApplication>
#include <QStyle>

namespace shell {

QIcon ShellIcon(LPCITEMIDLIST abs, bool open) {
    std::string name = PidlIconName(abs, open);
    QStyle::StandardPixmap fallback = QStyle::SP_DirIcon;
    if (name == "computer") fallback = QStyle::SP_ComputerIcon;
    else if (name == "user-home") fallback = QStyle::SP_DirHomeIcon;
    else if (name == "user-desktop") fallback = QStyle::SP_DesktopIcon;
    else if (name == "drive-harddisk") fallback = QStyle::SP_DriveHDIcon;
    else if (name == "drive-removable-media") fallback = QStyle::SP_DriveFDIcon;
    else if (name == "folder-open") fallback = QStyle::SP_DirOpenIcon;
    else if (name == "text-x-generic") fallback = QStyle::SP_FileIcon;
    QIcon own = QApplication::style() ? QApplication::style()->standardIcon(fallback) : QIcon();
    if (name.empty()) return own;
    return QIcon::fromTheme(QString::fromStdString(name), own);
}

QString ShellText(const std::string& sjisText) {
    return QString::fromStdString(sjis::ToUtf8(sjisText));
}

bool ShellTextToSjis(const QString& text, std::string& sjisText) {
    return sjis::FromUtf8(text.toStdString(), sjisText);
}

}  // namespace shell
