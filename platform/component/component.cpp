#include "component.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QWindow>

bool NameTaken(const QObject* owner, const QString& name) {
    return owner && owner->findChild<QObject*>(name, Qt::FindChildrenRecursively) != nullptr;
}

TFocusEvents::TFocusEvents(QWidget* watched) : QObject(watched), watched_(watched) {
    watched->installEventFilter(this);
}

// The widget that a press at this place of the window gives the focus to,
// by the application's click-to-focus rule; null when it stays.
QWidget* TFocusEvents::PressFocus(const QPoint& windowPos) const {
    QWidget* top = watched_->window();
    QWidget* w = top->childAt(windowPos);
    if (!w) w = top;
    for (; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        QWidget* f = w;
        while (f->focusProxy()) f = f->focusProxy();
        const bool clickable = (w->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus &&
                               (f == w || (f->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus);
        if (w->isEnabled() && clickable) return f != watched_ && !watched_->isAncestorOf(f) ? w : nullptr;
    }
    return nullptr;
}

bool TFocusEvents::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        if (event->type() == QEvent::WindowBlocked) blocked_ = true;
        if (event->type() == QEvent::MouseButtonPress && inside_ && watched_->hasFocus()) {
            auto* me = static_cast<QMouseEvent*>(event);
            if (QWidget* next = PressFocus(me->position().toPoint())) {
                blocked_ = false;
                QPointer<QObject> guard(this);
                next->setFocus(Qt::MouseFocusReason);  // the exit runs here
                if (!guard) return true;
                const bool drop = blocked_;
                blocked_ = false;
                return drop;
            }
        }
        return QObject::eventFilter(watched, event);
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        auto* fe = static_cast<QFocusEvent*>(event);
        const bool windowChange = fe->reason() == Qt::ActiveWindowFocusReason || fe->reason() == Qt::PopupFocusReason;
        auto* w = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::FocusIn) {
            // The window carries the presses that move the focus away.
            QWindow* handle = w->window()->windowHandle();
            if (handle && handle != window_) {
                if (window_) window_->removeEventFilter(this);
                window_ = handle;
                handle->installEventFilter(this);
            }
        }
        if (event->type() == QEvent::FocusIn && !inside_) {
            inside_ = true;
            OnEnter(w);
        } else if (event->type() == QEvent::FocusOut && inside_ && !windowChange) {
            inside_ = false;
            OnExit(w);
        }
    }
    return QObject::eventFilter(watched, event);
}
