// The drill program: one copy per user and display.
#include "japanese.h"
#include "main.h"
#include "qtext.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

QString InstanceName() {
    QString display = qEnvironmentVariable("DISPLAY", qEnvironmentVariable("WAYLAND_DISPLAY"));
    return QStringLiteral("Ruzozu 4.4-%1-%2").arg(qEnvironmentVariable("USER"), display).replace('/', '_');
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString name = InstanceName();
    {
        // A running copy is brought to the front; this one ends.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) {
            probe.write("raise");
            probe.waitForBytesWritten(500);
            return 0;
        }
    }
    QLocalServer::removeServer(name);
    QLocalServer server;
    server.listen(name);
    app.setApplicationName(QStringLiteral("Ruzozu 4.4"));
    LoadQtJapanese();

    std::string exeFolder = S(QDir(QCoreApplication::applicationDirPath()).absolutePath()) + "/";
    QStringList args = app.arguments().mid(1);
    TForm1 form(exeFolder, args);
    QObject::connect(&server, &QLocalServer::newConnection, &form, [&] {
        while (QLocalSocket* s = server.nextPendingConnection()) {
            s->deleteLater();
            form.setWindowState(form.windowState() & ~Qt::WindowMinimized);
            form.show();
            form.raise();
            form.activateWindow();
        }
    });
    form.show();
    return app.exec();
}
