// The drill program: one copy per user and display.
#include "func.h"
#include "japanese.h"
#include "main.h"
#include "qtext.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// The running copy's socket: in this user's private runtime folder, named
// after the window title, the real user ID and the display.  Empty where
// no private folder can be had: then no copy is looked for.
QString InstanceName() {
    const std::string folder = PrivateRuntimeFolder(qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString(), ::getuid());
    if (folder.empty()) return QString();
    QString display = qEnvironmentVariable("DISPLAY", qEnvironmentVariable("WAYLAND_DISPLAY"));
    display.replace('/', '_');
    return QString::fromStdString(folder) + QStringLiteral("/Ruzozu 4.4-%1-%2").arg(::getuid()).arg(display);
}

// The other end of a connected socket runs as this user.
bool PeerIsThisUser(const QLocalSocket& s) {
    struct ucred cred {};
    socklen_t len = sizeof cred;
    return ::getsockopt(static_cast<int>(s.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 &&
           cred.uid == ::getuid();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString name = InstanceName();
    if (!name.isEmpty()) {
        // A running copy of this user is brought to the front; this one ends.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500) && PeerIsThisUser(probe)) {
            probe.write("raise");
            probe.waitForBytesWritten(500);
            return 0;
        }
    }
    QLocalServer server;
    if (!name.isEmpty()) {
        QLocalServer::removeServer(name);
        server.setSocketOptions(QLocalServer::UserAccessOption);
        server.listen(name);
    }
    app.setApplicationName(QStringLiteral("Ruzozu 4.4"));
    LoadQtJapanese();

    std::string exeFolder = S(QDir(QCoreApplication::applicationDirPath()).absolutePath()) + "/";
    QStringList args = app.arguments().mid(1);
    TForm1 form(exeFolder, args);
    QObject::connect(&server, &QLocalServer::newConnection, &form, [&] {
        while (QLocalSocket* s = server.nextPendingConnection()) {
            s->deleteLater();
            if (!PeerIsThisUser(*s)) continue;
            form.setWindowState(form.windowState() & ~Qt::WindowMinimized);
            form.show();
            form.raise();
            form.activateWindow();
        }
    });
    form.show();
    return app.exec();
}
