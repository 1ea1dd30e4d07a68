#include "keyboard_return.h"

#include <QApplication>
#include <QEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QPointer>
#include <QTimer>

namespace keyboard_return {
namespace {

// The window on the screen that w belongs to: a widget embedded in a
// graphics view belongs to the view's window.
QWidget* ScreenWindow(QWidget* w) {
    for (int depth = 0; w && depth < 8; ++depth) {
        w = w->window();
        QGraphicsProxyWidget* proxy = w->graphicsProxyWidget();
        if (!proxy || !proxy->scene() || proxy->scene()->views().isEmpty()) return w;
        w = proxy->scene()->views().first();
    }
    return w;
}

// A window that takes the keyboard when it shows (no splash, tip or menu,
// nothing drawn inside another window).
bool TakesKeys(const QWidget* w) {
    const Qt::WindowType type = w->windowType();
    return (type == Qt::Window || type == Qt::Dialog) && !w->testAttribute(Qt::WA_ShowWithoutActivating) &&
           !w->testAttribute(Qt::WA_DontShowOnScreen) && !(w->windowFlags() & Qt::WindowDoesNotAcceptFocus);
}

// The application's one filter: notes windows that go and the main
// window's showing, and applies the rule once the event loop has settled
// (a window that goes hands nothing on before its own event loop ends).
class TRule : public QObject {
public:
    TRule() : QObject(qApp) { qApp->installEventFilter(this); }

    QPointer<QWidget> Main;
    std::function<void()> Take;

    void Queue(QWidget* over) {
        Over = over;
        if (Pending) return;
        Pending = true;
        ShownSince = false;
        QTimer::singleShot(0, this, [this] {
            Pending = false;
            Settle();
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        const QEvent::Type type = e->type();
        if ((type != QEvent::Hide && type != QEvent::Show) || !watched->isWidgetType()) return false;
        auto* w = static_cast<QWidget*>(watched);
        if (type == QEvent::Hide && w->isWindow() && w != Main)
            Queue(w->parentWidget() ? ScreenWindow(w->parentWidget()) : nullptr);
        else if (type == QEvent::Show && w == Main)
            Queue(w);
        else if (type == QEvent::Show && Pending && w->isWindow() && TakesKeys(w))
            ShownSince = true;  // the new window has the keyboard coming
        return false;
    }

private:
    void Settle() {
        QPointer<QWidget> over = Over;
        Over = nullptr;
        if (QApplication::activePopupWidget()) return;  // an open menu keeps it
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (modal != Main && modal->isVisible() && QApplication::activeWindow() != modal) modal->activateWindow();
            return;
        }
        if (ShownSince) return;
        QWidget* target = over && over->isVisible() ? over.data() : Main.data();
        if (!target || !target->isVisible()) return;
        if (target == Main && Take) {
            Take();
            return;
        }
        QWidget* active = QApplication::activeWindow();
        if (!active || !active->isVisible()) target->activateWindow();
    }

    QPointer<QWidget> Over;  // the window the last gone one stood over
    bool Pending = false;
    bool ShownSince = false;  // a window that takes the keyboard showed since
};

QPointer<TRule>& Rule() {
    static QPointer<TRule> rule;
    return rule;
}

}  // namespace

void Install(QWidget* main, std::function<void()> take) {
    if (!Rule()) Rule() = new TRule;
    Rule()->Main = main;
    Rule()->Take = std::move(take);
}

void Queue() {
    if (Rule()) Rule()->Queue(nullptr);
}

}  // namespace keyboard_return
