// Moving the keyboard focus in a window under test as a person does: by
// Tab from the focused widget, or by a click into a box.
#pragma once

#include <QApplication>
#include <QWidget>
#include <QWindow>
#include <QtTest>

// Presses Tab on the focused widget until target has the focus (also a
// widget shown in a graphics view, whose view keeps the application's
// focus); false when it never comes round (most presses) or no widget has
// the focus in 20 s.
inline bool TabTo(QWidget* target, int most = 40) {
    for (int i = 0; i <= most; ++i) {
        if (!QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }, 20000)) return false;
        if (target->hasFocus()) return true;
        if (i < most) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return false;
}

// Clicks into target through its window, as the window system delivers a
// press, and waits for the focus to arrive there.
inline bool ClickInto(QWidget* target, QPoint at = QPoint(-1, -1)) {
    QWidget* top = target->window();
    if (at == QPoint(-1, -1)) at = target->rect().center();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, target->mapTo(top, at));
    return QTest::qWaitFor([target] { return target->hasFocus(); }, 20000);
}
