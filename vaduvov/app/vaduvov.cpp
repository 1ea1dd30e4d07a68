// The controller program: one main window for the run.
#include "japanese.h"
#include "main.h"
#include "qtext.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ruzozu Controller for Network"));
    LoadQtJapanese();
    bool ok;
    std::string folder = S(QCoreApplication::applicationDirPath(), &ok);
    if (!ok) folder.clear();  // a folder without a Shift-JIS name: the current one
    if (!folder.empty() && folder.back() != '/') folder += '/';
    TfMain w(folder);
    w.show();  // takes the keyboard by the program's rule
    w.FormCreate();
    return app.exec();
}
