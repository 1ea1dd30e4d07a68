// A one-line edit in which Enter moves the focus on, as Tab does.
#pragma once

#include "component.h"

#include <QLineEdit>

class TRetEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TRetEdit(QWidget* parent = nullptr);
    bool ReturnNext = true;
    // Every key press that is not swallowed (Sender, key text).
    TEvent<QObject*, QString> OnKeyPress;

protected:
    void keyPressEvent(QKeyEvent* e) override;
};
