// The drill's real main window for window tests: its message boxes are the
// real ones, answered by keys as a person answers them, and their texts are
// recorded; problem files are written as the authoring tool writes them.
#pragma once

#include "main.h"
#include "qtext.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QtTest>

#include <string>

// Answers the message boxes of one window by keys: once a box over it has
// the keyboard, Tab moves to the button that gives the answer (OK or Yes,
// else Abort or No) and Enter presses it, one key a look.
class TBoxAnswerer : public QObject {
public:
    TBoxAnswerer(QWidget* window, const bool* answer) : Window(window), Answer(answer) {
        connect(&Look, &QTimer::timeout, this, [this] { Step(); });
        Look.start(10);
    }
    bool Enabled = true;

private:
    void Step() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QWidget* focus = QApplication::focusWidget();
        if (!Enabled || !box || !box->isVisible() || box->parentWidget() != Window || !focus || !box->isAncestorOf(focus))
            return;
        QAbstractButton* wanted = nullptr;
        for (QAbstractButton* b : box->buttons()) {
            const QMessageBox::ButtonRole role = box->buttonRole(b);
            const bool yes = role == QMessageBox::AcceptRole || role == QMessageBox::YesRole;
            if (yes == *Answer && !wanted) wanted = b;
        }
        if (!wanted) wanted = box->buttons().value(0);
        QTest::keyClick(focus, focus == wanted ? Qt::Key_Return : Qt::Key_Tab);
    }
    QWidget* Window;
    const bool* Answer;
    QTimer Look;
};

class TestForm : public TForm1 {
public:
    using TForm1::TForm1;
    QStringList Messages;
    bool Answer = true;  // what a yes/no or OK/abort question is answered
    TBoxAnswerer Boxes{this, &Answer};
    void ShowMessage(const std::string& t) override {
        Messages << Q(t);
        TForm1::ShowMessage(t);
    }
    void ShowInformation(const std::string& t) override {
        Messages << Q(t);
        TForm1::ShowInformation(t);
    }
    bool AskYesNo(const std::string& t) override {
        Messages << Q(t);
        return TForm1::AskYesNo(t);
    }
    bool WarnOkAbort(const std::string& t) override {
        Messages << Q(t);
        return TForm1::WarnOkAbort(t);
    }
};

// "p.qzb" in dir from UTF-8 lines: Shift-JIS, each line ended by CR LF.
inline std::string WriteProblem(const TempDir& dir, const char* utf8Lines) {
    std::string out;
    for (char c : sjis::L(utf8Lines)) {
        if (c == '\n') out += "\r\n";
        else out += c;
    }
    textfile::WriteFileAtomic(dir / "p.qzb", out);
    return dir / "p.qzb";
}
