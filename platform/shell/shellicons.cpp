#include "shellicons.h"

#include "shellns.h"
#include "sjis.h"

#include <QApplication>
#include <QHash>
#include <QStyle>

namespace shell {

namespace {

QIcon MakeIcon(const std::string& name) {
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

}  // namespace

QIcon ShellIconNamed(const std::string& name) {
    // The icons are used from the window thread only.
    static QHash<QString, QIcon> cache;
    QString key = QString::fromStdString(name);
    auto it = cache.constFind(key);
    if (it != cache.constEnd()) return *it;
    QIcon icon = MakeIcon(name);
    cache.insert(key, icon);
    return icon;
}

QIcon ShellNodeIcon(const std::string& closedName, const std::string& openName, bool openWhenSelected) {
    // A folder's nodes mostly ask for the icon asked last.
    struct TLast {
        std::string closed, open;
        bool openWhenSelected = false;
        QIcon icon;
    };
    static TLast last;
    if (!last.icon.isNull() && last.openWhenSelected == openWhenSelected && last.closed == closedName &&
        last.open == openName)
        return last.icon;
    static QHash<QString, QIcon> cache;
    QString key = QString::fromStdString(closedName) + QLatin1Char('|') +
                  (openWhenSelected ? QString::fromStdString(openName) : QString());
    auto it = cache.constFind(key);
    if (it != cache.constEnd()) {
        last = TLast{closedName, openName, openWhenSelected, *it};
        return *it;
    }
    QIcon icon = ShellIconNamed(closedName);
    if (openWhenSelected) {
        QIcon open = ShellIconNamed(openName);
        for (const QSize& s : open.availableSizes()) icon.addPixmap(open.pixmap(s), QIcon::Selected);
    }
    cache.insert(key, icon);
    last = TLast{closedName, openName, openWhenSelected, icon};
    return icon;
}

QIcon ShellIcon(LPCITEMIDLIST abs, bool open) { return ShellIconNamed(PidlIconName(abs, open)); }

QString ShellText(const std::string& sjisText) {
    return QString::fromStdString(sjis::ToUtf8(sjisText));
}

bool ShellTextToSjis(const QString& text, std::string& sjisText) {
    return sjis::FromUtf8(text.toStdString(), sjisText);
}

}  // namespace shell
