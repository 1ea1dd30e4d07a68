#include "RetEdit.h"

#include <QKeyEvent>

TRetEdit::TRetEdit(QWidget* parent) : QLineEdit(parent) {}

void TRetEdit::keyPressEvent(QKeyEvent* e) {
    if (ReturnNext && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        // On to the next tab stop of the window; the Enter itself is dropped.
        if (QWidget* w = window()) {
            QWidget* next = nextInFocusChain();
            while (next && next != this && (!(next->focusPolicy() & Qt::TabFocus) || !next->isEnabled() ||
                                            !next->isVisible() || next->window() != w))
                next = next->nextInFocusChain();
            if (next && next != this) next->setFocus(Qt::TabFocusReason);
        }
        e->accept();
        return;
    }
    if (!e->text().isEmpty()) OnKeyPress(this, e->text());
    QLineEdit::keyPressEvent(e);
}
