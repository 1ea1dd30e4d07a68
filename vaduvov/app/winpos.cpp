#include "winpos.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

// Watches a window for a moment after it is shown.  A window manager
// reports the frame only after the window is shown, and some place the
// client area where the frame was asked for: the frame then stands above
// and left of its place, further on every start.  Seen so (the client area
// at the place, the frame elsewhere), the window is moved again, now that
// the frame is known.  The watch ends five seconds after the window is
// shown (a slow machine frames late); a window the person moved meanwhile
// is left where it is.
class TFramePlacer : public QObject {
public:
    TFramePlacer(QWidget* window, const QPoint& target) : QObject(window), Window(window), Target(target) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched != Window) return false;
        switch (e->type()) {
        case QEvent::Show:
            if (!Timed) {
                Timed = true;
                // Some managers frame the window without telling it by an
                // event the window sees: looked at a few times as well.
                for (int ms : {50, 150, 300, 600, 1000, 1500, 2500, 4000}) QTimer::singleShot(ms, this, [this] { Check(); });
                QTimer::singleShot(5000, this, [this] {
                    Window->removeEventFilter(this);
                    deleteLater();
                });
            }
            Check();
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Expose:
        case QEvent::WindowActivate:
            Check();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void Check() {
        if (!Window->isVisible() || Moves >= 3) return;
        const bool framed = Window->frameGeometry() != Window->geometry();
        if (framed && Window->geometry().topLeft() == Target && FramePosition(Window) != Target) {
            ++Moves;
            Window->move(Target);  // the frame is known now: this places the frame
        }
    }

    QWidget* Window;
    QPoint Target;
    bool Timed = false;
    int Moves = 0;
};

}  // namespace

QPoint FramePosition(const QWidget* window) { return window->frameGeometry().topLeft(); }

void PlaceFrame(QWidget* window, const QPoint& framePos) {
    window->move(framePos);
    new TFramePlacer(window, framePos);
}
