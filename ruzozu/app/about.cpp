#include "about.h"

#include "qtext.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTimer>

QPixmap RuzozuArtwork() {
    QPixmap pm(300, 100);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 300, 100);
    g.setColorAt(0, QColor(0, 0, 128));
    g.setColorAt(1, QColor(0, 160, 200));
    p.fillRect(pm.rect(), g);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::white);
    QFont f(QStringLiteral("IPAPGothic"));
    f.setPixelSize(34);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(14, 8, 200, 50), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Ruzozu"));
    f.setPixelSize(14);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(16, 58, 200, 30), Qt::AlignLeft | Qt::AlignVCenter, QL("ドリル学習システム"));
    p.setPen(QPen(QColor(255, 80, 80), 4));
    p.drawEllipse(QRect(230, 14, 40, 40));
    return pm;
}

namespace {

QLabel* VersionLabel(QWidget* parent) {
    auto* l = new QLabel(parent);
    QFont f(QStringLiteral("IPAPGothic"));
    f.setPixelSize(24);
    f.setItalic(true);
    l->setFont(f);
    l->setStyleSheet("color: #800000;");
    l->setAlignment(Qt::AlignCenter);
    l->setGeometry(190, 60, 105, 32);
    l->setText(QStringLiteral("Ver 4.00"));
    return l;
}

}  // namespace

Tstart::Tstart()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus) {
    setObjectName("start");
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(300, 97);
    auto* image = new QLabel(this);
    image->setPixmap(RuzozuArtwork());
    image->setGeometry(0, 0, 300, 97);
    Label1 = VersionLabel(this);
    // In the middle of the screen: nothing else places a window that has no owner.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(), size());
        r.moveCenter(screen->geometry().center());
        move(r.topLeft());
    }
    // The splash closes and frees itself.
    QTimer::singleShot(2000, this, &QWidget::close);
}

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("AboutBox");
    setWindowTitle(QL("ﾊﾞｰｼﾞｮﾝ情報"));
    setFixedSize(299, 100);
    auto* image = new QLabel(this);
    image->setPixmap(RuzozuArtwork());
    image->setGeometry(0, 0, 299, 100);
    Label1 = VersionLabel(this);
}

// The splash takes no input, but stays enabled: a disabled form would be
// drawn greyed out.
bool Tstart::event(QEvent* e) {
    switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
            e->accept();
            return true;
        case QEvent::Close:
            // Only its own timer closes it; a close asked for by the window
            // system (Alt+F4, the task bar) is input too.
            if (e->spontaneous()) {
                e->ignore();
                return true;
            }
            break;
        default: break;
    }
    return QWidget::event(e);
}

void TAboutBox::mousePressEvent(QMouseEvent*) { accept(); }
