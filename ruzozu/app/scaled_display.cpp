#include "scaled_display.h"

#include "func.h"
#include "picture_budget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QToolTip>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QProxyStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <vector>

// ---------------------------------------------------------------- view

TScaledView::TScaledView(QWidget* parent) : QGraphicsView(parent), Scene(new QGraphicsScene(this)) {
    setObjectName("ScaledView");
    setScene(Scene);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setBackgroundBrush(Qt::black);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setTransformationAnchor(QGraphicsView::NoAnchor);
    setResizeAnchor(QGraphicsView::NoAnchor);
}

TScaledView::~TScaledView() {
    // The embedded widget belongs to whoever embedded it, not to the scene.
    Release();
}

void TScaledView::Embed(QWidget* widget) {
    Release();
    Proxy = Scene->addWidget(widget);
    Proxy->setPos(0, 0);
    // A widget that changes its size is fitted anew.
    connect(Proxy, &QGraphicsWidget::geometryChanged, this, [this] { Fit(); });
    widget->show();
    Scene->setActivePanel(Proxy);
    qApp->installEventFilter(this);
    Fit();
}

// The input method asks the view, the focus object, where the cursor is,
// and the view answers through the scale.  A widget inside that takes the
// focus tells the input method its own unscaled place instead: the view's
// is put back.
bool TScaledView::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::FocusIn && Proxy && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == Proxy->widget())
        QMetaObject::invokeMethod(this, [this] { RestoreInputItem(); }, Qt::QueuedConnection);
    return QGraphicsView::eventFilter(watched, e);
}

void TScaledView::RestoreInputItem() {
    if (QGuiApplication::focusObject() != this) return;
    // The input method learns whether a window's focus takes composition
    // when the window's focus object changes; inside the view it stays the
    // view.  A box inside that takes composition is announced as such a
    // change (else fcitx5, which asked while the view held no box, leaves
    // the window without an input method).
    QWidget* inside = Proxy && Proxy->widget() ? Proxy->widget()->focusWidget() : nullptr;
    if (inside && inside->testAttribute(Qt::WA_InputMethodEnabled))
        if (QWindow* handle = window()->windowHandle()) emit handle->focusObjectChanged(this);
    QInputMethod* im = QGuiApplication::inputMethod();
    im->setInputItemTransform(QTransform::fromTranslate(mapTo(window(), QPoint(0, 0)).x(), mapTo(window(), QPoint(0, 0)).y()));
    im->setInputItemRectangle(rect());
    im->update(Qt::ImQueryAll);
}

QWidget* TScaledView::Release() {
    if (!Proxy) return nullptr;
    qApp->removeEventFilter(this);
    QWidget* w = Proxy->widget();
    Proxy->setWidget(nullptr);
    Scene->removeItem(Proxy);
    delete Proxy;
    Proxy = nullptr;
    if (w) w->hide();
    return w;
}

QRect TScaledView::Area() const {
    if (!Proxy) return QRect();
    return viewportTransform().mapRect(Proxy->sceneBoundingRect()).toRect();
}

// The view's focus is the embedded widget's: its own focus widget, or the
// first in its tab order, has it.
void TScaledView::focusInEvent(QFocusEvent* e) {
    QGraphicsView::focusInEvent(e);
    // The embedded widget is a window, a panel of the scene: the active one
    // unless one of its popups is up.
    if (Proxy && !Scene->activePanel()) Scene->setActivePanel(Proxy);
    if (Proxy && !Scene->focusItem()) Proxy->setFocus(e->reason());
    if (Proxy && Proxy->widget() && !Proxy->widget()->focusWidget() && FocusFallback) FocusFallback();
    // The box inside keeps its focus while the window's goes and comes.
    QMetaObject::invokeMethod(this, [this] { RestoreInputItem(); }, Qt::QueuedConnection);
}

void TScaledView::resizeEvent(QResizeEvent* e) {
    QGraphicsView::resizeEvent(e);
    Fit();
}

// Keys the drill leaves alone must not scroll the view: they go to the
// window around it.
void TScaledView::keyPressEvent(QKeyEvent* e) {
    if (scene()) QCoreApplication::sendEvent(scene(), e);
    if (!e->isAccepted()) e->ignore();
}

void TScaledView::Fit() {
    if (!Proxy || !Proxy->widget()) return;
    const QSize logical = Proxy->widget()->size();
    const TFittedArea a = FitDisplayArea(viewport()->width(), viewport()->height(), logical.width(), logical.height());
    Scale_ = a.Scale;
    // The scene rectangle is the viewport, shifted so that the widget's
    // top-left corner lands on the fitted place.
    setTransform(QTransform::fromScale(a.Scale, a.Scale));
    setSceneRect(QRectF(-a.Left / a.Scale, -a.Top / a.Scale, viewport()->width() / a.Scale,
                        viewport()->height() / a.Scale));
}

// ---------------------------------------------------------------- dialogs

namespace {

int Times(int v, double s) { return static_cast<int>(std::lround(v * s)); }

QSize ScaledSize(const QSize& z, double s) {
    auto one = [s](int v) { return v <= 0 ? v : v >= QWIDGETSIZE_MAX ? QWIDGETSIZE_MAX : std::max(1, Times(v, s)); };
    return QSize(one(z.width()), one(z.height()));
}

// A picture's size scaled by s, though never beyond what the picture
// budget lets any picture be (the aspect kept): a big picture in a scaled
// dialog grows less, or not at all, instead of taking hundreds of
// megabytes.  The size as it is when it may not grow.
QSize ScaledPictureSize(const QSize& z, double s) {
    if (z.width() <= 0 || z.height() <= 0) return z;
    const QSize asked = ScaledSize(z, s);
    if (picture_budget::Fits(asked.width(), asked.height())) return asked;
    double f = std::min({std::sqrt(double(picture_budget::kMaxPixels) / (double(z.width()) * z.height())),
                         double(picture_budget::kMaxSide) / z.width(), double(picture_budget::kMaxSide) / z.height()});
    for (int tries = 0; tries < 64 && f > 1.0; ++tries, f *= 0.999) {
        const QSize scaled = ScaledSize(z, f);
        if (picture_budget::Fits(scaled.width(), scaled.height())) return scaled;
    }
    return z;
}

// Edges scaled one by one: neighbours that touch keep touching.
QRect ScaledRect(const QRect& r, double s) {
    const int l = Times(r.left(), s), t = Times(r.top(), s);
    return QRect(l, t, std::max(1, Times(r.left() + r.width(), s) - l), std::max(1, Times(r.top() + r.height(), s) - t));
}

QFont ScaledFont(QFont f, double s) {
    if (f.pixelSize() > 0)
        f.setPixelSize(std::max(1, Times(f.pixelSize(), s)));
    else if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * s);
    return f;
}

// The application's style with every size it gives scaled: check boxes,
// frames, margins and icons grow with the text.
class TScaledStyle : public QProxyStyle {
public:
    TScaledStyle(double scale) : QProxyStyle(QApplication::style()->name()), S(scale) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        const int v = QProxyStyle::pixelMetric(metric, option, widget);
        return v > 0 ? std::max(1, static_cast<int>(std::lround(v * S))) : v;
    }

private:
    double S;
};

bool LaidOut(const QWidget* w) {
    const QWidget* parent = w->parentWidget();
    return parent && parent->layout() && parent->layout()->indexOf(const_cast<QWidget*>(w)) >= 0;
}

}  // namespace

struct TDialogScaler::TSaved {
    struct Widget {
        QPointer<QWidget> W;
        bool OwnFont = false;
        QFont Font;
        bool Placed = false;  // placed by hand, not by a layout
        QRect Geometry;
        QSize Min, Max;
        QPixmap Pixmap;        // a label's picture
        qint64 ShownPixmap = 0;  // the scaled one, while the label still shows it
        QSize IconSize;        // a button's icon
        bool Styled = false;   // given the scaled style
    };
    struct Layout {
        QPointer<QLayout> L;
        QMargins Margins;
        int Spacing = -1;
    };
    // Column widths of a list's title row, and the panes of a splitter:
    // neither follows the font.
    struct Header {
        QPointer<QHeaderView> H;
        std::vector<int> Sections;
        int Default = 0, Minimum = 0;
    };
    struct Splitter {
        QPointer<QSplitter> S;
        QList<int> Sizes;
    };
    std::vector<Widget> Widgets;
    std::vector<Layout> Layouts;
    std::vector<Header> Headers;
    std::vector<Splitter> Splitters;
    QSize TopSize;
};

TDialogScaler::TDialogScaler(QWidget* owner) : QObject(owner), Owner(owner) {}

TDialogScaler::~TDialogScaler() {
    if (qApp) qApp->removeEventFilter(this);
}

void TDialogScaler::SetScale(double scale, std::function<QRect()> centreOn) {
    const bool on = std::abs(scale - 1.0) > 1e-9;
    const bool wasOn = std::abs(Scale - 1.0) > 1e-9;
    // Dialogs open now keep what they have until they close.
    Scale = on ? scale : 1.0;
    // Tooltips are scaled alike (the drill's buttons show theirs).
    if (!wasOn) ToolTipFont = QToolTip::font();
    QToolTip::setFont(on ? ScaledFont(ToolTipFont, scale) : ToolTipFont);
    CentreOn = std::move(centreOn);
    if (on && !wasOn) qApp->installEventFilter(this);
    if (!on && wasOn && Scaled.isEmpty()) qApp->removeEventFilter(this);
}

bool TDialogScaler::eventFilter(QObject* watched, QEvent* e) {
    if (!watched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(watched);
    switch (e->type()) {
    case QEvent::Resize:
        // A dialog closed right after it showed can be told its scaled size
        // by the window system once it is hidden and has its own back: it
        // keeps its own (or the next time it shows it would grow again).
        if (e->spontaneous() && !w->isVisible()) {
            const auto it = Restored.constFind(w);
            if (it != Restored.constEnd() && it->first == w && w->size() != it->second) w->resize(it->second);
        }
        break;
    case QEvent::Show:
        Restored.remove(w);
        if (w != Owner && w->isWindow() && qobject_cast<QDialog*>(w) && std::abs(Scale - 1.0) > 1e-9) {
            ScaleDialog(w);
            QPointer<QWidget> guard(w);
            // Centred once the dialog has taken its size.
            QTimer::singleShot(0, this, [this, guard] {
                if (guard && Scaled.contains(guard) && CentreOn) {
                    const QRect frame = guard->frameGeometry();
                    // A dialog that opens beside another goes right of it
                    // as it shows now, kept on the screen.
                    auto* beside = qobject_cast<QWidget*>(guard->property(kPlacedBeside).value<QObject*>());
                    if (beside && beside->isVisible()) {
                        const QRect b = beside->frameGeometry();
                        QPoint at(b.right() + 1, b.top());
                        if (const QScreen* screen = beside->screen()) {
                            const QRect area = screen->geometry();
                            at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - frame.width())));
                            at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - frame.height())));
                        }
                        guard->move(guard->pos() + at - frame.topLeft());
                    } else {
                        guard->move(guard->pos() + CentreOn().center() - frame.center());
                    }
                }
            });
        }
        break;
    case QEvent::Hide:
        if (Scaled.contains(w)) {
            RestoreDialog(w);
            if (std::abs(Scale - 1.0) <= 1e-9 && Scaled.isEmpty()) qApp->removeEventFilter(this);
        }
        break;
    default:
        break;
    }
    return false;
}

void TDialogScaler::ScaleDialog(QWidget* dialog) {
    if (Scaled.contains(dialog)) return;
    const double s = Scale;
    auto saved = std::make_shared<TSaved>();
    QList<QWidget*> all = dialog->findChildren<QWidget*>();
    all.prepend(dialog);
    // Everything is read before anything changes: a child's font must not
    // be taken after its parent's has grown.
    for (QWidget* w : all) {
        TSaved::Widget r;
        r.W = w;
        r.OwnFont = w->testAttribute(Qt::WA_SetFont);
        r.Font = w->font();
        r.Placed = w != dialog && !w->isWindow() && !LaidOut(w);
        r.Geometry = w->geometry();
        r.Min = w->minimumSize();
        r.Max = w->maximumSize();
        if (auto* l = qobject_cast<QLabel*>(w)) r.Pixmap = l->pixmap();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) r.IconSize = b->iconSize();
        saved->Widgets.push_back(r);
    }
    for (QLayout* l : dialog->findChildren<QLayout*>()) saved->Layouts.push_back({l, l->contentsMargins(), l->spacing()});
    for (QHeaderView* h : dialog->findChildren<QHeaderView*>()) {
        TSaved::Header r{h, {}, h->defaultSectionSize(), h->minimumSectionSize()};
        for (int i = 0; i < h->count(); ++i) r.Sections.push_back(h->sectionSize(i));
        saved->Headers.push_back(r);
    }
    for (QSplitter* sp : dialog->findChildren<QSplitter*>()) saved->Splitters.push_back({sp, sp->sizes()});
    saved->TopSize = dialog->size();
    Scaled.insert(dialog, saved);
    QStyle*& style = Styles[s];
    if (!style) {
        style = new TScaledStyle(s);
        style->setParent(this);
    }

    for (const TSaved::Layout& l : saved->Layouts) {
        const QMargins m = l.Margins;
        l.L->setContentsMargins(Times(m.left(), s), Times(m.top(), s), Times(m.right(), s), Times(m.bottom(), s));
        if (l.Spacing >= 0) l.L->setSpacing(Times(l.Spacing, s));
    }
    for (TSaved::Widget& r : saved->Widgets) {
        QWidget* w = r.W;
        // Only widgets drawn by the application's own style (none with a
        // style sheet or a style of its own).
        r.Styled = w->style() == QApplication::style();
        if (r.Styled) w->setStyle(style);
        w->setFont(ScaledFont(r.Font, s));
        w->setMinimumSize(ScaledSize(r.Min, s));
        w->setMaximumSize(ScaledSize(r.Max, s));
        if (r.Placed) w->setGeometry(ScaledRect(r.Geometry, s));
        const QSize pictureSize = r.Pixmap.isNull() ? QSize() : ScaledPictureSize(r.Pixmap.size(), s);
        if (!r.Pixmap.isNull() && pictureSize != r.Pixmap.size()) {
            auto* l = static_cast<QLabel*>(w);
            l->setPixmap(r.Pixmap.scaled(pictureSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
            r.ShownPixmap = l->pixmap().cacheKey();
        }
        if (r.IconSize.isValid()) static_cast<QAbstractButton*>(w)->setIconSize(ScaledSize(r.IconSize, s));
    }
    for (const TSaved::Header& h : saved->Headers) {
        h.H->setMinimumSectionSize(Times(h.Minimum, s));
        h.H->setDefaultSectionSize(Times(h.Default, s));
        for (size_t i = 0; i < h.Sections.size(); ++i)
            if (!h.H->isSectionHidden(int(i))) h.H->resizeSection(int(i), Times(h.Sections[i], s));
    }
    for (const TSaved::Splitter& sp : saved->Splitters) {
        QList<int> grown;
        for (int v : sp.Sizes) grown << Times(v, s);
        sp.S->setSizes(grown);
    }
    // A dialog that lays itself out grows to at least its scaled size too
    // (a fixed one already has it).
    // On the scaled display it is no bigger than the display.
    if (dialog->minimumSize() != dialog->maximumSize()) {
        QSize grown = ScaledSize(saved->TopSize, s);
        if (CentreOn) grown = grown.boundedTo(CentreOn().size());
        dialog->resize(grown);
    }
}

void TDialogScaler::RestoreDialog(QWidget* dialog) {
    const auto it = Scaled.find(dialog);
    if (it == Scaled.end()) return;
    const std::shared_ptr<TSaved> saved = it.value();
    Scaled.erase(it);
    for (auto r = saved->Widgets.rbegin(); r != saved->Widgets.rend(); ++r) {
        QWidget* w = r->W;
        if (!w) continue;
        if (r->Styled) w->setStyle(nullptr);
        w->setFont(r->OwnFont ? r->Font : QFont());
        w->setMinimumSize(r->Min);
        w->setMaximumSize(r->Max);
        if (r->Placed) w->setGeometry(r->Geometry);
        // A picture cleared or replaced meanwhile stays as it is now.
        if (r->ShownPixmap) {
            auto* label = static_cast<QLabel*>(w);
            if (label->pixmap().cacheKey() == r->ShownPixmap) label->setPixmap(r->Pixmap);
        }
        if (r->IconSize.isValid()) static_cast<QAbstractButton*>(w)->setIconSize(r->IconSize);
    }
    for (const TSaved::Layout& l : saved->Layouts) {
        if (!l.L) continue;
        l.L->setContentsMargins(l.Margins);
        if (l.Spacing >= 0) l.L->setSpacing(l.Spacing);
    }
    for (const TSaved::Header& h : saved->Headers) {
        if (!h.H) continue;
        h.H->setMinimumSectionSize(h.Minimum);
        h.H->setDefaultSectionSize(h.Default);
        for (size_t i = 0; i < h.Sections.size() && int(i) < h.H->count(); ++i) h.H->resizeSection(int(i), h.Sections[i]);
    }
    for (const TSaved::Splitter& sp : saved->Splitters)
        if (sp.S) sp.S->setSizes(sp.Sizes);
    if (dialog->minimumSize() != dialog->maximumSize()) dialog->resize(saved->TopSize);
    for (auto r = Restored.begin(); r != Restored.end();) r = r->first ? std::next(r) : Restored.erase(r);
    Restored.insert(dialog, {QPointer<QWidget>(dialog), saved->TopSize});
}
