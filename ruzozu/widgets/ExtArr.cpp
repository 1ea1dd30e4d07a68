#include "ExtArr.h"

TImage::TImage(QWidget* parent) : QLabel(parent) {}

TArBitBtn::TArBitBtn(QWidget* owner, const QString& name, QPoint designPos)
    : TArCntrl(owner, name, &QPushButton::staticMetaObject, designPos) {}

QWidget* TArBitBtn::CreateCntrl(int, QWidget* owner) {
    auto* b = new QPushButton(owner);
    b->resize(75, 25);
    return b;
}

TArImage::TArImage(QWidget* owner, const QString& name, QPoint designPos)
    : TArCntrl(owner, name, &TImage::staticMetaObject, designPos) {}

QWidget* TArImage::CreateCntrl(int, QWidget* owner) {
    auto* i = new TImage(owner);
    i->resize(105, 105);
    return i;
}
