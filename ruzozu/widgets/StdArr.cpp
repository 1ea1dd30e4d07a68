#include "StdArr.h"

TArLabel::TArLabel(QWidget* owner, const QString& name, QPoint designPos)
    : TArCntrl(owner, name, &QLabel::staticMetaObject, designPos) {}

QWidget* TArLabel::CreateCntrl(int, QWidget* owner) { return new QLabel(owner); }

TArEdit::TArEdit(QWidget* owner, const QString& name, QPoint designPos)
    : TArCntrl(owner, name, &TRetEdit::staticMetaObject, designPos) {}

QWidget* TArEdit::CreateCntrl(int, QWidget* owner) { return new TRetEdit(owner); }
