#include "composition.h"

#include <QApplication>
#include <QEventLoop>
#include <QFocusEvent>
#include <QFile>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace {
TComposition* TheComposition = nullptr;

// Keys that the input method passes on while composing and that run a
// command: with Alt, Ctrl or Meta, and the function keys.
bool CommandKey(const QKeyEvent* k) {
    if (k->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier)) return true;
    return k->key() >= Qt::Key_F1 && k->key() <= Qt::Key_F35;
}
}  // namespace

TComposition::TComposition(QObject* parent)
    : QObject(parent), TracePath(qEnvironmentVariable("RUZOZU_IM_TRACE")) {
    TheComposition = this;
    qApp->installEventFilter(this);
}

TComposition::~TComposition() {
    if (qApp) qApp->removeEventFilter(this);
    if (TheComposition == this) TheComposition = nullptr;
}

TComposition* TComposition::Instance() { return TheComposition; }

bool TComposition::PopupOpen() const {
    return std::any_of(Popups.begin(), Popups.end(), [](const QPointer<QWidget>& p) { return p && p->isVisible(); });
}

void TComposition::Commit() {
    if (Preedit.isEmpty() || Committing) return;
    Committing = true;
    const QString shown = Preedit;
    const QPointer<QObject> holder = Holder;
    // Reset makes the input method confirm what it composes: at once
    // (fcitx5), or by a message that follows (ibus), waited for here with
    // the learner's input held back.  Qt's commit() is not used: fcitx5
    // ignores it and ibus then confirms the text twice.
    QGuiApplication::inputMethod()->reset();
    if (!Preedit.isEmpty()) {
        QEventLoop wait;
        QTimer bound;
        bound.setSingleShot(true);
        connect(&bound, &QTimer::timeout, &wait, &QEventLoop::quit);
        auto* poll = new QTimer(&wait);
        connect(poll, &QTimer::timeout, &wait, [this, &wait] {
            if (Preedit.isEmpty()) wait.quit();
        });
        poll->start(5);
        bound.start(AnswerWait);
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    }
    // No answer: the text stays as the learner saw it.
    if (!Preedit.isEmpty() && holder) {
        QInputMethodEvent confirm;
        confirm.setCommitString(shown);
        QCoreApplication::sendEvent(holder, &confirm);
    }
    Preedit.clear();
    Committing = false;
}

// The composition as it changes, one line each, in a file named by
// RUZOZU_IM_TRACE (tests wait for what the input method shows).
void TComposition::Trace(const QString& preedit) {
    if (TracePath.isEmpty()) return;
    QFile f(TracePath);
    if (f.open(QIODevice::Append)) f.write(QByteArray("preedit:") + preedit.toUtf8() + '\n');
}

// Confirms the composition before an event reaches its receiver; a
// receiver gone while the input method was waited for gets nothing.
bool TComposition::CommitBefore(QObject* receiver) {
    if (Preedit.isEmpty()) return false;
    const QPointer<QObject> guard(receiver);
    Commit();
    return !guard;
}

void TComposition::PopupsChanged() {
    Popups.removeAll(nullptr);
    QGuiApplication::inputMethod()->update(Qt::ImEnabled);
}

bool TComposition::eventFilter(QObject* watched, QEvent* e) {
    if (Guarded) return false;
    switch (e->type()) {
    case QEvent::InputMethod: {
        // Delivered to the focus object, and on to the box inside (a view
        // passes it to its scene): the last one that takes it shows it.
        const auto* im = static_cast<QInputMethodEvent*>(e);
        if (im->preeditString() != Preedit) Trace(im->preeditString());
        Preedit = im->preeditString();
        if (!Preedit.isEmpty()) Holder = watched;
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (e->spontaneous()) return CommitBefore(watched);
        break;
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
        if (CommandKey(static_cast<QKeyEvent*>(e))) return CommitBefore(watched);
        break;
    case QEvent::Show:
        if (watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (!w->isWindow() || w->windowType() == Qt::ToolTip) break;
            Commit();
            if (w->windowType() == Qt::Popup && !Popups.contains(w)) {
                Popups.append(w);
                PopupsChanged();
            }
        }
        break;
    case QEvent::Hide:
        if (watched->isWidgetType() && Popups.removeAll(static_cast<QWidget*>(watched))) PopupsChanged();
        break;
    case QEvent::FocusOut:
        // The focus can move inside a view without the window's focus
        // object changing: the box that shows the composition confirms it.
        // When the whole window loses the keyboard the input method sees
        // that itself and confirms (fcitx5 and ibus alike); asking it again
        // then would enter the text twice.
        if (watched == Holder && static_cast<QFocusEvent*>(e)->reason() != Qt::ActiveWindowFocusReason) Commit();
        break;
    case QEvent::InputMethodQuery:
        // The object answers, then the answer is corrected: no composition
        // while a menu is open.
        if (PopupOpen() && (static_cast<QInputMethodQueryEvent*>(e)->queries() & Qt::ImEnabled)) {
            Guarded = true;
            const bool handled = watched->event(e);
            Guarded = false;
            static_cast<QInputMethodQueryEvent*>(e)->setValue(Qt::ImEnabled, false);
            Q_UNUSED(handled);
            return true;
        }
        break;
    default:
        break;
    }
    return false;
}
