// The settings dialog: full screen, the mode-change permission and the
// problem folder with its history.
#pragma once

#include "IniFile.h"
#include "options.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QPushButton;
class QToolButton;

class TfKankyo : public QDialog {
    Q_OBJECT
public:
    // settings are changed in memory by OK; applyScreenMode is called when
    // full screen changes; chooseFolder runs the folder chooser with the
    // folder box's text and returns the chosen folder, or false on Cancel.
    TfKankyo(QWidget* owner, TDrillSettings& settings, std::function<void()> applyScreenMode,
             std::function<bool(const std::string& start, std::string& chosen)> chooseFolder);

    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    bool Refused() const { return Refusal; }

    void BitBtn1Click();
    void SpeedButton1Click();

protected:
    void closeEvent(QCloseEvent* e) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TDrillSettings& Settings;
    TKankyoModel Model;
    bool Refusal = false;
    std::function<void()> ApplyScreenMode;
    std::function<bool(const std::string&, std::string&)> ChooseFolder;
};
