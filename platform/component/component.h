// A small component base for our widgets: unique names within an owner,
// events with Sender first that a later assignment replaces, and focus
// enter and exit delivered once each, exit before enter.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <stdexcept>

// An event slot: at most one handler; assigning replaces it; calling an
// empty slot does nothing.
template <typename... Args>
class TEvent {
public:
    using Handler = std::function<void(Args...)>;
    TEvent& operator=(Handler h) {
        handler_ = std::move(h);
        return *this;
    }
    TEvent& operator=(std::nullptr_t) {
        handler_ = nullptr;
        return *this;
    }
    explicit operator bool() const { return static_cast<bool>(handler_); }
    void operator()(Args... args) const {
        if (handler_) handler_(args...);
    }

private:
    Handler handler_;
};

// The error our components raise for an operation they refuse.
class EInvalidOperation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True when owner already holds a component of that name.
bool NameTaken(const QObject* owner, const QString& name);

// Delivers a widget's focus enter and exit to handlers, once each and in
// order.  Focus that leaves only because another window (a message box)
// became active is no exit: the control still holds the focus of its window.
// A mouse press that takes the focus elsewhere moves the focus, and so
// delivers the exit, before the press reaches its target; when the exit
// handler opened a modal window (a message the person has to answer first),
// the press itself is dropped.
class TFocusEvents : public QObject {
    Q_OBJECT
public:
    explicit TFocusEvents(QWidget* watched);
    TEvent<QWidget*> OnEnter;
    TEvent<QWidget*> OnExit;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* PressFocus(const QPoint& windowPos) const;
    QWidget* watched_;
    QPointer<QObject> window_;  // the watched widget's window, for its presses
    bool inside_ = false;
    bool blocked_ = false;  // a modal window opened during an early exit
};
