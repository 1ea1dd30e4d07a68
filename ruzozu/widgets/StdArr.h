// Arrays of labels and of return-key edits.
#pragma once

#include "ArrCtrl.h"
#include "RetEdit.h"

#include <QLabel>

class TArLabel : public TArCntrl {
    Q_OBJECT
public:
    TArLabel(QWidget* owner, const QString& name, QPoint designPos = {});
    QLabel* Cntrls(int index) const { return qobject_cast<QLabel*>(TArCntrl::Cntrls(index)); }

protected:
    QWidget* CreateCntrl(int number, QWidget* owner) override;
};

class TArEdit : public TArCntrl {
    Q_OBJECT
public:
    TArEdit(QWidget* owner, const QString& name, QPoint designPos = {});
    // Plain line edits are accepted as well (their class is a base of ours).
    QLineEdit* Cntrls(int index) const { return qobject_cast<QLineEdit*>(TArCntrl::Cntrls(index)); }

protected:
    QWidget* CreateCntrl(int number, QWidget* owner) override;
};
