// The real message boxes of a window under test, answered by keys as a
// person answers them.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

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
