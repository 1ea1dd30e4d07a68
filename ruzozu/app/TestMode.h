// The question-mode dialog, shown while a problem is opened.
#pragma once

#include "options.h"

#include <QDialog>

class QCheckBox;
class QPushButton;

class TfTestMode : public QDialog {
    Q_OBJECT
public:
    // chosenMode is read to set the boxes and written by OK.
    TfTestMode(QWidget* owner, int& chosenMode);

    QCheckBox* NormalMode = nullptr;
    QCheckBox* TestMode = nullptr;
    QCheckBox* RandomMode = nullptr;
    QPushButton* BitBtn1 = nullptr;

private:
    void Show(const TModeBoxes& b);
    TModeBoxes Boxes;
    int& ChosenMode;
};
