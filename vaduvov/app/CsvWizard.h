// The CSV import wizard: a preview of the chosen file, three target
// buttons that map its columns to user ID, user name and password, and the
// import into the roster editor's rows.
#pragma once

#include "csv_model.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QFrame;
class QLabel;
class QPainter;
class QPushButton;
class QToolButton;
class TComboGrid;

class TfCsvWizard : public QDialog {
    Q_OBJECT
public:
    // roster is the roster editor's model; "読込開始" replaces its records.
    TfCsvWizard(QWidget* parent, TMeiboGrid& roster);
    ~TfCsvWizard() override;

    QLabel* Label1 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Label2 = nullptr;  // the file name, set by the caller
    QCheckBox* CheckBox1 = nullptr;
    TComboGrid* CsvGrid = nullptr;
    QToolButton* SpeedButton1 = nullptr;  // User ID
    QToolButton* SpeedButton2 = nullptr;  // User Name
    QToolButton* SpeedButton3 = nullptr;  // PassWord
    QWidget* Panel1 = nullptr;
    QPushButton* BitBtn1 = nullptr;  // 読込開始
    QPushButton* BitBtn2 = nullptr;  // キャンセル

    // The file to read (Shift-JIS path), set before the wizard is shown.
    std::string CsvFileName;
    bool FirstShow = true;
    TCsvWizardModel Model;

    void LoadCsvFile();
    // A target button was pressed (tag 1, 2 or 3); it is down or up now.
    void SpeedButtonClick(int tag);
    // A press on the preview at viewport point (x, y).
    void CsvGridMouseDown(int x, int y);
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent* e) override;

private:
    TMeiboGrid& Roster;
    QToolButton* Buttons[4] = {};

    void ShowMapping();
    void CsvGridDrawCell(int col, int row, QPainter& p, const QRect& rect);
};
