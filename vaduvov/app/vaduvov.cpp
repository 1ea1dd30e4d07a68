// The controller program: one main window for the run.
#include "japanese.h"
#include "main.h"
#include "qtext.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ruzozu Controller for Network"));
    LoadQtJapanese();
    bool ok;
    std::string folder = S(QCoreApplication::applicationDirPath(), &ok);
    if (!ok) folder.clear();  // a folder without a Shift-JIS name: the current one
    if (!folder.empty() && folder.back() != '/') folder += '/';
    TfMain w(folder);
    w.show();
    // Shown, the window takes the keyboard: a kiosk without a window
    // manager activates no window by itself.
    QTimer::singleShot(0, &w, [&w] {
        if (!QApplication::activeModalWidget() && !QApplication::activeWindow()) w.activateWindow();
    });
    w.FormCreate();
    return app.exec();
}
