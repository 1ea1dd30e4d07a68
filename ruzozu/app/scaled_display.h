// Full screen without a display-mode switch: the drill's 640 x 480 layout
// shown scaled to the screen, and its dialogs scaled alike.
#pragma once

#include <QFont>
#include <QGraphicsView>
#include <QHash>
#include <QPointer>

#include <functional>
#include <memory>

class QGraphicsProxyWidget;
class QGraphicsScene;

// Shows one widget of fixed size scaled uniformly to the largest size that
// fits the view, centred on black.  The widget stays a real widget: it is
// painted through the scale (text drawn at the scaled size), takes the
// mouse and the keyboard at its scaled place, and its popups are scaled
// with it.
class TScaledView : public QGraphicsView {
    Q_OBJECT
public:
    explicit TScaledView(QWidget* parent = nullptr);
    ~TScaledView() override;

    // Takes a widget without a parent into the view.
    void Embed(QWidget* widget);
    // Gives the widget back, without a parent and hidden.
    QWidget* Release();
    double Scale() const { return Scale_; }
    // Where the embedded widget shows, in the view's coordinates.
    QRect Area() const;
    // Called when the view takes the focus while no widget inside has it
    // (the embedded widget loses its focus widget with the window's focus).
    std::function<void()> FocusFallback;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Fit();
    void RestoreInputItem();

    QGraphicsScene* Scene;
    QGraphicsProxyWidget* Proxy = nullptr;
    double Scale_ = 1;
};

// While on, every dialog and message box that opens is scaled by a factor
// (its fonts, its laid-out and its fixed sizes, its pictures) and centred
// on a rectangle of the screen, as it would be on the scaled display; it
// gets its own sizes back when it closes.
// The property that names the window a dialog opens beside (right of it),
// instead of centred: a QObject* of the window.
inline constexpr char kPlacedBeside[] = "placedBeside";

class TDialogScaler : public QObject {
    Q_OBJECT
public:
    // owner: the main window, never scaled itself.
    explicit TDialogScaler(QWidget* owner);
    ~TDialogScaler() override;

    // scale 1 switches the scaling off; centre: a global rectangle.
    void SetScale(double scale, std::function<QRect()> centreOn);
    double ScaleFactor() const { return Scale; }

    // Scales one dialog now, and gives its sizes back (for tests and for
    // dialogs that change while open).
    void ScaleDialog(QWidget* dialog);
    void RestoreDialog(QWidget* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct TSaved;
    QWidget* Owner;
    double Scale = 1;
    std::function<QRect()> CentreOn;
    QHash<QWidget*, std::shared_ptr<TSaved>> Scaled;
    QHash<double, QStyle*> Styles;  // kept while a dialog may still use one
    // Dialogs given their own size back as they closed, until they show
    // again: the window system may report the scaled size after the close.
    QHash<QWidget*, QPair<QPointer<QWidget>, QSize>> Restored;
    QFont ToolTipFont;              // the tooltips' own, while they are scaled
};
