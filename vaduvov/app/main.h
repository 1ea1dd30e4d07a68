// The controller's main window: the drill program's settings and the
// controller's own choices, the folder and problem pickers, and the doors
// to the roster editor, the client list and the score table.
#pragma once

#include "IniFile.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <string>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QToolButton;
class QPushButton;
class QGroupBox;
class QAction;
class TfList;
class TfScore;

class TfMain : public QMainWindow {
    Q_OBJECT
public:
    // exeFolder: the controller's folder, ending in "/".
    explicit TfMain(const std::string& exeFolder);
    ~TfMain() override;

    // Reads the settings (with the messages of a bad drill folder) and
    // fills the controls; run once, after construction.
    void FormCreate();

    TControllerSettings Settings;
    std::string OwnIniPath() const { return ExeFolder + "vaduvov.ini"; }

    // The controls and the settings.
    void ShowSettings();
    void GetSettings();
    void ModeClick(int tag, bool checked);
    void CompulsionCheckClick();

    // Commands.
    void BitBtn1Click();
    void Exit1Click();
    void ToolButton3Click();  // roster editor
    void ToolButton2Click();  // client list
    void ToolButton1Click();  // score table
    void About1Click();
    void Contents1Click();
    void FolderBtnClick(int tag);
    void EditKeyPress(int tag);
    void AutoRunBtnClick();
    void AutoRunEditKeyPress();

    // The folder dialog, replaceable by tests: shows the dialog for a tag
    // starting at a folder; false on Cancel.
    std::function<bool(int tag, const std::string& start, std::string& chosen)> ChooseFolder;
    // The problem file picker; false on Cancel.
    std::function<bool(const std::string& startFolder, std::string& chosen)> ChooseProblem;
    // Opens the roster editor (modal).
    std::function<void()> OpenRoster;

    // Messages, replaceable by tests.
    virtual void ShowMessage(const std::string& text);
    virtual void Beep();

    // Controls, for tests.
    QLineEdit* ExeDirEdit = nullptr;
    QLineEdit* QuestionEdit = nullptr;
    QLineEdit* ScoreEdit = nullptr;
    QLineEdit* AutoRunEdit = nullptr;
    QCheckBox* FullCheck = nullptr;
    QCheckBox* ModeCheck = nullptr;
    QCheckBox* CompulsionCheck = nullptr;
    QCheckBox* NormalCheck = nullptr;
    QCheckBox* TestCheck = nullptr;
    QCheckBox* RandomCheck = nullptr;
    QRadioButton* MeiboDirItems[2] = {nullptr, nullptr};
    QToolButton* ToolButton1 = nullptr;
    QToolButton* ToolButton2 = nullptr;
    QToolButton* ToolButton3 = nullptr;
    QPushButton* AutoRunBtn = nullptr;
    QPushButton* ExeDirBtn = nullptr;
    QPushButton* QestionBtn = nullptr;
    QPushButton* ScoreBtn = nullptr;
    QAction* MeiboItem = nullptr;

    // The modeless windows, while open.
    QPointer<TfList> fList;
    QPointer<TfScore> fScore;

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenu();
    void BuildControls(QWidget* client);
    void BuildToolButtons(QWidget* client);
    void BuildFormButtons(QWidget* client);
    void ReportDrillFolder(TDrillFolder state, bool writing);
    // Writes every settings file; a file that could not be written is reported.
    void SaveSettings();
    TSettingsControls Controls() const;
    void SetControls(const TSettingsControls& c);
    std::string& FolderOfTag(int tag);
    QLineEdit* EditOfTag(int tag) const;

    std::string ExeFolder;
    bool Closed = false;
};
