// The drill program's main window: it holds the widgets, shows what the
// engine asks for and forwards the learner's commands to the engine.
#pragma once

#include "func.h"
#include "main_engine.h"
#include "media.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QProgressBar;
class QAction;
class QMenuBar;
class QWidget;
class TOKBottomDlg;
class TScaledView;
class TComposition;
class TDialogScaler;
class TArLabel;
class TArImage;
class TArBitBtn;
class TSPIs;

extern const char* const VersionText;  // "Ver 4.4"

class TForm1 : public QMainWindow, public IDrillView {
    Q_OBJECT
public:
    // exeFolder: the program's folder with its trailing "/"; args: the
    // command-line arguments after the program name.
    TForm1(const std::string& exeFolder, const QStringList& args);
    ~TForm1() override;

    TDrillEngine& Engine() { return *Engine_; }
    TOKBottomDlg* OKBottomDlg() const { return OKBottomDlg_; }
    // The menu and the client: what a 640 x 480 display shows.  In full
    // screen it is shown scaled by the view.
    QWidget* DrillScreen() const { return Screen; }
    TScaledView* ScaledView() const { return View; }
    TDialogScaler* DialogScaler() const { return DialogScaler_; }
    // Where the drill shows, in global coordinates.
    QRect DrillRect() const;

    // ---- menu and tool-bar commands
    void Open1Click();
    void Exit1Click();
    void K3Click();
    void RUZOZU1Click();
    void QZBMaker1Click();
    void logoffClick();
    void About1Click();
    void OptionBoxClick();
    void ApplyScreenMode();
    void SpeedButton6Click();
    void SpeedButton7Click();
    void SpeedButton8Click();
    void SpeedButton9Click();
    // Runs the folder chooser from a starting folder; false on Cancel.
    std::function<bool(const std::string& start, std::string& chosen)> ChooseFolder;
    void OpenDroppedFile(const QString& path);

    // ---- IDrillView
    void SetTextLine(int index, const std::string& text) override;
    void SetTextLineColor(int index, uint32_t rgb) override;
    void HideImages() override;
    void ShowPicture(int slot, const std::string& fileName, int left, int top, int width) override;
    std::vector<std::string> PictureExtensions() override;
    void SetMarkVisible(TMark mark, bool visible) override;
    void PlaySoundFile(const std::string& name) override;
    void PlayMessageSound(const std::string& line) override;
    void PlayAudio(const std::string& line) override;
    void PlayMidi(const std::string& line) override;
    void PlayVideo(const std::string& line) override;
    void StopMidi() override;
    void RunProgram(const std::string& program, const std::string& params) override;
    void CloseMediaPlayers(bool midiToo) override;
    void FreeVideoPanel() override;
    void Beep() override;
    void ShowMessage(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    // A warning with OK and Abort; false for Abort.
    virtual bool WarnOkAbort(const std::string& text);
    void ShowOKBottomDlg(const TOKBottomContent& content) override;
    void ShowModeDialog() override;
    void SetStatusText(int panel, const std::string& text) override;
    void SetGauge(int percent) override;
    void PlaceProgressBar() override;
    std::string AnswerText() override;
    bool AnswerHasForeignChar() override;
    void SetAnswerText(const std::string& text) override;
    void SetAnswerEnabled(bool enabled) override;
    void FocusAnswerBox() override;
    void SetButtonCaption(const std::string& caption) override;
    void FocusAnswerButton() override;
    void PlaceAnswerButton(int index, int left, int top, int width, int height,
                           const std::string& caption) override;
    void SetAnswerButtonVisible(int index, bool visible) override;
    void SetAnswerButtonEnabled(int index, bool enabled) override;
    void CloseWindow() override;

    // Widgets, for tests.
    TArLabel* TextLine = nullptr;   // the 22 text lines
    TArImage* Image = nullptr;      // the 5 pictures
    TArBitBtn* AnsBtn = nullptr;    // the 10 answer buttons
    QLabel* ImageMaru = nullptr;
    QLabel* ImageBatu = nullptr;
    QPushButton* Button1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    std::array<QLabel*, 4> StatusPanels{};
    QProgressBar* Bar = nullptr;
    QAction* logoff = nullptr;
    QToolButton* SpeedButton6 = nullptr;  // MIDI pause
    QToolButton* SpeedButton7 = nullptr;  // audio again
    QToolButton* SpeedButton8 = nullptr;  // video again
    QToolButton* SpeedButton9 = nullptr;  // stop
    QWidget* AviPrn = nullptr;            // the video panel
    std::unique_ptr<TMediaSystem> Media;
    std::unique_ptr<TMediaPlayer> MediaPlayer2;  // "wav" and "mp3" lines
    std::unique_ptr<TMediaPlayer> MediaPlayer3;  // "mid" lines
    std::unique_ptr<TMediaPlayer> MediaPlayer4;  // "avi" and "mpg" lines
    // The display as the drill program sees it, and its mode at creation.
    std::unique_ptr<TDisplay> Display;
    TSavedScreen SavedScreen;
    bool ConfirmClose = true;  // tests switch the closing question off
    static inline bool ShowSplash = true;
    // The drill's client area: what a 640 x 480 display shows below the menu.
    static constexpr int kClientWidth = 631, kClientHeight = 429;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FormCreate();
    void ShowSplashScreen();
    void BuildScreen();
    void InstallInputRules();
    void BuildPictures();
    void BuildTextLines();
    void BuildAnswerButtons();
    void BuildMedia();
    void StartSession();
    void FormShow();
    void Login();
    void RereadSettings();
    bool FormCloseQuery();
    void FormClose();
    void BuildMenu();
    void CreatePluginHost();
    void BuildToolBar();
    void BuildStatusBar();
    std::string FindFile(const std::string& name) const;
    // A named media file in the problem folder or its "object" folder;
    // false, after telling the learner, when there is none.
    bool ResolveMediaFile(const std::string& name, std::string& path);
    bool OpenMedia(TMediaPlayer& player, const std::string& file);
    // Opens the file of a sound line (its extension, then its name) in the
    // player; false when the line names no file that opens.
    bool OpenMediaLine(TMediaPlayer& player, const std::string& line);
    bool LoadPictureFile(const std::string& path, QLabel* target, int width);
    void QueueTakeKeyboard();
    void TakeKeyboard();
    void AnsBtnEnter(int index);
    void AnsBtnExit(int index);
    void SyncAnsBtnLook();

    QMetaObject::Connection LookConnection_;
    std::unique_ptr<TDrillEngine> Engine_;
    std::unique_ptr<TSPIs> SPIs1;
    TOKBottomDlg* OKBottomDlg_ = nullptr;
    QWidget* Client = nullptr;
    QWidget* Screen = nullptr;  // the menu and the client
    TScaledView* View = nullptr;
    TComposition* Composition_ = nullptr;
    TDialogScaler* DialogScaler_ = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QWidget* Panel2 = nullptr;
    QWidget* StatusBar1 = nullptr;
    std::string ExeFolder;
    QStringList Args;
    std::string TitleText;
    bool FirstShow = true;
    bool Closing = false;
    int LoginResult = 0;
    bool ScoreFallback = false;
    std::string OriginalScoreFolder;
    QPointer<QWidget> DrillFocus;  // the last widget of the drill with the focus
};
