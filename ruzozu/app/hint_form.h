// The small modal dialog of hints, answers, correct-answer messages and
// section feedback.
#pragma once

#include "main_engine.h"

#include <QDialog>

class QLabel;
class QPushButton;
class TArLabel;

class TOKBottomDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOKBottomDlg(QWidget* mainWindow);

    // Fills the dialog and shows it modally, centred over the main window.
    void ShowContent(const TOKBottomContent& content);

    QLabel* Image1() const { return Image1_; }
    TArLabel* ArLabel1 = nullptr;  // the five text lines
    QLabel* Label1 = nullptr;
    QPushButton* BitBtn1 = nullptr;

private:
    void FormShow();
    void BitBtn1Click();

    QWidget* MainWindow;
    QLabel* Image1_ = nullptr;
};
