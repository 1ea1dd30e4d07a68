// The roster editor: the learners of "ruzozu.mib" in a three-column grid
// (user ID, user name, password) with clipboard and row commands and the
// CSV import.  The grid shows what the roster model holds; every command
// goes to the model and the grid is brought up to it afterwards.
#pragma once

#include "IniFile.h"
#include "meibo_model.h"

#include <QDialog>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>

class QAction;
class QMenu;
class QPainter;
class QPushButton;
class QToolBar;
class TComboGrid;

class TfMeibo : public QDialog {
    Q_OBJECT
public:
    // Loads the roster from settings.MeiboDir and takes the window's place
    // from it; the place is written back whenever the window closes.
    TfMeibo(QWidget* parent, TControllerSettings& settings);
    ~TfMeibo() override;

    QToolBar* ToolBar1 = nullptr;
    TComboGrid* NameGrid = nullptr;
    QWidget* Panel1 = nullptr;
    QPushButton* BitBtn1 = nullptr;  // 保存終了
    QPushButton* BitBtn2 = nullptr;  // キャンセル
    QMenu* PopupMenu1 = nullptr;
    // Tool buttons, left to right.
    QAction* ToolButton3 = nullptr;  // CSV import
    QAction* CutBtn = nullptr;
    QAction* CopyBtn = nullptr;
    QAction* PasteBtn = nullptr;
    QAction* DelBtn = nullptr;
    QAction* ToolButton5 = nullptr;  // insert rows
    QAction* ToolButton6 = nullptr;  // delete rows
    QAction* ToolButton1 = nullptr;  // compact
    QAction* ToolButton4 = nullptr;  // sort as text
    QAction* ToolButton2 = nullptr;  // sort as number
    // The pop-up menu's items (its paste item is never disabled).
    QAction* InsertItem = nullptr;
    QAction* DeleteRowsItem = nullptr;
    QAction* ClearItem = nullptr;
    QAction* CutItem = nullptr;
    QAction* CopyItem = nullptr;
    QAction* PasteItem = nullptr;

    // The roster as edited.
    TMeiboGrid Meibo;
    // The window's width that fits the three columns.
    int FittedWidth = 0;
    // Chooses the CSV file to import; an empty name cancels.  The file
    // dialog by default.
    std::function<QString()> ChooseCsvFile;

    // The roster file: MeiboDir + "ruzozu.mib".
    std::string MeiboPath() const;

    void LoadMeibo();
    bool SaveMeibo();
    void CutBtnClick();
    void CopyBtnClick();
    void PasteBtnClick();
    void DelBtnClick();
    void ToolButton5Click();  // insert rows
    void ToolButton6Click();  // delete rows
    void ToolButton1Click();  // compact
    void ToolButton4Click();  // sort as text
    void ToolButton2Click();  // sort as number
    void ToolButton3Click();  // CSV import
    void BitBtn1Click();      // save and close

    // The window's maximum height shows every row and no more.
    void SetMaxHeight();
    // The width fits the columns, and the scroll bar while rows are hidden.
    void FormResize();
    // Runs the password restore and entry-row rules for the current cell.
    void SyncGrid();
    // Brings the grid's rows and cells up to the model.
    void ShowRows();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    TControllerSettings& Settings;
    QTimer SyncTimer;
    bool Sizing = false;
    // A double-click's edit is open; editing goes off when it closes.
    bool OneEdit = false;
    bool SelectAfterDblClick = false;

    void BuildGrid();
    void BuildToolBar();
    void BuildMenu();
    void SetEditing(bool on);
    void EditingOffAfterThisEdit();
    // Closes an open in-place editor before a command changes the rows.
    void EndEditing();
    void ApplyStep(TEditStep step);
    void NameGridDrawCell(int col, int row, QPainter& p, const QRect& rect);
    void NameGridKeyPress(char& key);
    void NameGridKeyDown(int key);
    void NameGridDblClick();
    void NameGridSetEditText(int col, int row, const std::string& value);
    void AfterRowCommand(bool resize);
};
