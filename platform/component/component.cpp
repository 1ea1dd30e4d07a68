#include "component.h"

#include <QFocusEvent>

bool NameTaken(const QObject* owner, const QString& name) {
    return owner && owner->findChild<QObject*>(name, Qt::FindChildrenRecursively) != nullptr;
}

bool SetComponentName(QObject* c, const QObject* owner, const QString& name) {
    if (name.isEmpty() || NameTaken(owner, name)) return false;
    c->setObjectName(name);
    return true;
}

TFocusEvents::TFocusEvents(QWidget* watched) : QObject(watched) { watched->installEventFilter(this); }

bool TFocusEvents::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        auto* fe = static_cast<QFocusEvent*>(event);
        const bool windowChange = fe->reason() == Qt::ActiveWindowFocusReason || fe->reason() == Qt::PopupFocusReason;
        auto* w = static_cast<QWidget*>(watched);
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
