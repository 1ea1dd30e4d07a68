#include "about.h"

#include "qtext.h"

#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

TfAbout::TfAbout(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("fAbout");
    setWindowTitle(QL("ﾊﾞｰｼﾞｮﾝ情報"));
    setFixedSize(299, 100);
    Label1 = new QLabel(QStringLiteral("Ver 0.4"), this);
    Label1->setGeometry(200, 51, 89, 25);
    Label1->setAlignment(Qt::AlignCenter);
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setPixelSize(23);
    f.setBold(true);
    f.setItalic(true);
    Label1->setFont(f);
    Label1->setStyleSheet("color: #800080; background: transparent;");
    // A click on the version closes the box as well.
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (owner) move(owner->geometry().center() - QPoint(149, 50));
}

void TfAbout::mousePressEvent(QMouseEvent* e) {
    e->accept();
    accept();
}

// The artwork: a soft band with the program's name.
void TfAbout::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, width(), height());
    g.setColorAt(0, QColor(0xE8, 0xF4, 0xFF));
    g.setColorAt(1, QColor(0x9C, 0xC8, 0xF0));
    p.fillRect(rect(), g);
    p.setPen(QColor(0x20, 0x40, 0x80));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(22);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRect(12, 8, 280, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("RUZOZU"));
    QFont sub(QStringLiteral("IPAPGothic"));
    sub.setPixelSize(13);
    p.setFont(sub);
    p.drawText(QRect(12, 38, 280, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Controller for Network"));
}
