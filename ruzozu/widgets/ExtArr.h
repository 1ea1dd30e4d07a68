// Arrays of bitmap buttons and of pictures.
#pragma once

#include "ArrCtrl.h"

#include <QLabel>
#include <QPushButton>

// A picture control.
class TImage : public QLabel {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);
    bool AutoSize = true;
    bool Stretch = false;
};

class TArBitBtn : public TArCntrl {
    Q_OBJECT
public:
    TArBitBtn(QWidget* owner, const QString& name, QPoint designPos = {});
    QPushButton* Cntrls(int index) const { return qobject_cast<QPushButton*>(TArCntrl::Cntrls(index)); }

protected:
    QWidget* CreateCntrl(int number, QWidget* owner) override;
};

class TArImage : public TArCntrl {
    Q_OBJECT
public:
    TArImage(QWidget* owner, const QString& name, QPoint designPos = {});
    TImage* Cntrls(int index) const { return qobject_cast<TImage*>(TArCntrl::Cntrls(index)); }

protected:
    QWidget* CreateCntrl(int number, QWidget* owner) override;
};
