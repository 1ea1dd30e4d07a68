// Acting in a modal window (a dialog, a message box) that a window under
// test opens in its own event loop: the window is waited for, not guessed
// at by a delay.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>

// Runs action once on the active modal window, when it is a W and is
// shown (and, with forKeys, holds the keyboard focus, so that keys typed to
// QApplication::focusWidget() reach it).  Looked for every 20 ms until
// then; with a scope given, the look ends when the scope goes (a window
// that may never open one).
template <typename W = QWidget>
void WhenModal(std::function<void(W*)> action, QObject* scope = nullptr, bool forKeys = false) {
    auto* look = new QTimer(scope);
    QObject::connect(look, &QTimer::timeout, look, [look, forKeys, action = std::move(action)] {
        auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
        if (!w || !w->isVisible()) return;
        QWidget* focus = QApplication::focusWidget();
        if (forKeys && (!focus || !w->isAncestorOf(focus))) return;
        look->stop();
        look->deleteLater();
        action(w);
    });
    look->start(20);
}

// Presses Enter in the next modal window, as a person does.
inline void EnterInNextModal(QObject* scope = nullptr) {
    WhenModal<QWidget>([](QWidget*) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }, scope, true);
}

// Records the text of the next message box, then closes it with Enter, as a
// person reads and answers it.
inline void ReadNextBoxThenEnter(QStringList& texts, QObject* scope = nullptr) {
    WhenModal<QMessageBox>(
        [&texts](QMessageBox* box) {
            texts << box->text();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        },
        scope, true);
}
