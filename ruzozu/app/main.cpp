#include "main.h"

#include "TestMode.h"
#include "about.h"
#include "ExtArr.h"
#include "InputID.h"
#include "ini_text.h"
#include "SPIBmp.h"
#include "StdArr.h"
#include "choice.h"
#include "hint_form.h"
#include "japanese.h"
#include "kankyo.h"
#include "keyboard_return.h"
#include "messages.h"
#include "picture_budget.h"
#include "qtext.h"
#include "composition.h"
#include "scaled_display.h"
#include "textfile.h"

#include <QApplication>
#include <QAction>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QToolButton>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QLayout>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <dirent.h>

const char* const VersionText = "Ver 4.4";

namespace {

// Texts of the window itself (the engine's are in messages.h).
const char* const kScoreFolderMissing =
    "成績保存用フォルダがありません。\r\r作成は、Ruzozu Controllerを使用してください。\r\r"
    "このままでは、Ruzozu実行ファイルフォルダの下に作成します。";
const char* const kUserFolderFailed = "成績保存用フォルダーが作成できません。\r\r確認してください。";
const char* const kAutoRunNotice = "自動実行モードが設定されているので、\r\r  自動実行ファイルを実行します。";
const char* const kCloseSimple = "【 Ruzozu 】 を終了します。";
const char* const kCloseFinished = "  【 Ruzozu 】 を終了します。\n\n次もがんばって学習してね。ヽ(^o^)丿";
const char* const kCloseTest = "【 Ruzozu 】 を終了します。\n\nテスト中ですが、かまいませんね。";
const char* const kCloseResume = "【 Ruzozu 】 を終了します。 (次はこの続きから学習できます)";
const char* const kTesting = "テスト中です！！";
const char* const kChangeProblem = "別の問題に変更しますか？";
const char* const kManualMissing = "マニュアルが見つかりませんでした";
const char* const kCannotStart = "」を起動できませんでした。";

// Message texts hold CR and LF as on Windows; a lone CR is a line break.
QString MessageText(const QString& s) {
    QString t = s;
    t.replace("\r\n", "\n");
    t.replace('\r', '\n');
    return t;
}

}  // namespace

TForm1::TForm1(const std::string& exeFolder, const QStringList& args)
    : Engine_(std::make_unique<TDrillEngine>(*this)), ExeFolder(exeFolder), Args(args) {
    FormCreate();
}

TForm1::~TForm1() {
    // The answer buttons' look is no concern while the window goes: their
    // focus moves as the widgets are deleted.
    disconnect(LookConnection_);
    AnsBtn->OnEnter = nullptr;
    AnsBtn->OnExit = nullptr;
    qApp->removeEventFilter(this);
    // The drill goes with the window, as its child.
    View->Release();
    Screen->setParent(centralWidget());
}

// ---------------------------------------------------------------- start

void TForm1::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // Shown, the window takes the keyboard: a kiosk without a window
    // manager activates no window by itself.
    QueueTakeKeyboard();
    if (FirstShow) {
        FirstShow = false;
        // The start-up work runs once the window is on the screen.
        QTimer::singleShot(0, this, [this] { FormShow(); });
    }
}

void TForm1::Login() {
    TDrillSettings& s = Engine_->Settings;
    std::string folder = s.RosterFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    // Before the window is up the login is a window of its own: a modal
    // dialog that belongs to no window on the screen makes a kiosk window
    // manager (matchbox) hand the focus to and fro between it and each
    // message box over it, and neither takes a key.
    TfInputID dlg(isVisible() ? this : nullptr, folder, Engine_->UserID, Engine_->UserName);
    if (!isVisible())
        dlg.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
    LoginResult = dlg.exec();
    if (LoginResult == TfInputID::ResultOk)
        setWindowTitle(Q(TitleText + sjis::L(" 　User Name【") + Engine_->UserName + sjis::L("】")));
}

void TForm1::RereadSettings() {
    TDrillSettings& s = Engine_->Settings;
    ReadSettings(s, ExeFolder);
    // A score folder that was missing stays replaced for this run.
    if (ScoreFallback && s.ScoreFolder == OriginalScoreFolder && !textfile::DirectoryExists(s.ScoreFolder))
        s.ScoreFolder = ExeFolder;
}

void TForm1::FormShow() {
    if (LoginResult == TfInputID::ResultAbort) {
        close();
        return;
    }
    TDrillSettings& s = Engine_->Settings;
    if (s.NetworkMode && !textfile::DirectoryExists(s.ScoreFolder)) {
        Beep();
        const bool goOn = WarnOkAbort(sjis::L(kScoreFolderMissing));
        // Only this run uses the program's folder: the shared settings keep
        // the score folder the instructor set.
        if (!ScoreFallback) OriginalScoreFolder = s.ScoreFolder;
        ScoreFallback = true;
        s.ScoreFolder = ExeFolder;
        if (!goOn) {
            close();
            return;
        }
    }
    if (!s.NetworkMode) textfile::CreateDir(s.ScoreFolder);
    Engine_->UserScoreFolder = s.ScoreFolder + (Engine_->UserID.empty() ? "" : Engine_->UserID + "/");
    if (!textfile::CreateDir(Engine_->UserScoreFolder)) {
        ShowMessage(sjis::L(kUserFolderFailed));
        ConfirmClose = false;
        close();
        return;
    }
    if (s.AutoMode != -1) {
        if (!Args.isEmpty()) ShowMessage(sjis::L(kAutoRunNotice));
        Engine_->LoadProblemFile(s.AutoProblem);
    } else if (!Args.isEmpty()) {
        bool ok;
        std::string arg = S(QFileInfo(Args.first()).absoluteFilePath(), &ok);
        if (ok) Engine_->LoadProblemFile(ExpandLongPath(arg));
    } else {
        Open1Click();
    }
    setAcceptDrops(true);
}

// ---------------------------------------------------------------- close

bool TForm1::FormCloseQuery() {
    if (LoginResult == TfInputID::ResultAbort) {
        ShowMessage(sjis::L(kCloseSimple));
        return true;
    }
    if (!ConfirmClose) return true;
    const TDrillEngine& e = *Engine_;
    const char* text = e.BaseName.empty() ? kCloseSimple
                       : e.CorrectCount == e.QuestionCount ? kCloseFinished
                       : e.IsTest ? kCloseTest
                                  : kCloseResume;
    return AskYesNo(sjis::L(text));
}

void TForm1::FormClose() {
    DeleteResultFiles(Engine_->Settings.ScoreFolder, Engine_->ComputerName);
    MediaPlayer2->Close();
    MediaPlayer3->Close();
    MediaPlayer4->Close();
    if (Engine_->Settings.FullScreen)
        SetDisplayMode(*Display, SavedScreen.Width, SavedScreen.Height, SavedScreen.BitsPerPixel,
                       [this](const std::string& t) { ShowMessage(t); });
    TDrillSettings s = Engine_->Settings;
    if (ScoreFallback) s.ScoreFolder = OriginalScoreFolder;
    const std::vector<std::string> failed = WriteSettings(s, ExeFolder);
    if (!failed.empty()) {
        Beep();
        ShowMessage(SettingsWriteFailedMessage(failed));
    }
}

void TForm1::closeEvent(QCloseEvent* e) {
    if (Closing || FormCloseQuery()) {
        if (!Closing) FormClose();
        Closing = true;
        e->accept();
    } else {
        e->ignore();
    }
}

void TForm1::CloseWindow() {
    ConfirmClose = false;
    QTimer::singleShot(0, this, [this] { close(); });
}

// ---------------------------------------------------------------- commands

void TForm1::Open1Click() {
    TDrillEngine& e = *Engine_;
    if (!e.BaseName.empty()) {
        if (e.IsTest && e.BlockPos > 0) {
            PlaySoundFile("out.wav");
            ShowMessage(sjis::L(kTesting));
            return;
        }
        if (!AskYesNo(sjis::L(kChangeProblem))) return;
    }
    QFileDialog dlg(this, QStringLiteral("Ruzozu Problem File"), Q(e.Settings.ProblemFolder),
                    QL("問題ファイル(*.qzb)"));
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setDefaultSuffix("qzb");
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    bool ok;
    std::string path = S(dlg.selectedFiles().first(), &ok);
    if (!ok) return;
    RereadSettings();
    e.LoadProblemFile(path);
}

void TForm1::Exit1Click() { close(); }

void TForm1::K3Click() {
    QColor c = QColorDialog::getColor(Client->palette().color(QPalette::Window), this);
    if (!c.isValid()) return;
    QPalette pal = Client->palette();
    pal.setColor(QPalette::Window, c);
    Client->setPalette(pal);
}

// The help file through the desktop, else (as the manual) the web browser
// the registry names.
void TForm1::RUZOZU1Click() { OpenDocument(ExeFolder + "ruzozu.html"); }

void TForm1::QZBMaker1Click() {
    for (const char* candidate : {"QZB Maker.html", "manual/QZB Maker.html"}) {
        std::string p = ExeFolder + candidate;
        if (textfile::FileExists(p)) {
            OpenDocument(p);
            return;
        }
    }
    ShowMessage(sjis::L(kManualMissing));
}

void TForm1::logoffClick() {
    TDrillEngine& e = *Engine_;
    if (e.IsTest && e.BlockPos > 0) {
        PlaySoundFile("out.wav");
        ShowMessage(sjis::L(kTesting));
        return;
    }
    RereadSettings();
    Login();
    FirstShow = true;
    FormShow();
    FirstShow = false;
}

void TForm1::OpenDroppedFile(const QString& path) {
    bool ok;
    std::string p = S(QFileInfo(path).absoluteFilePath(), &ok);
    if (ok) Engine_->LoadProblemFile(p);
}

void TForm1::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    e->acceptProposedAction();
    const QString path = urls.first().toLocalFile();
    QTimer::singleShot(0, this, [this, path] { OpenDroppedFile(path); });
}

// Enter anywhere presses the answer button; an answer button with the
// focus is pressed itself while it can still answer.  Once the answer is
// judged the focus may rest on an answer button, and Enter must then move
// on through the answer button.
void TForm1::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        for (int i = 0; i < AnsBtn->NumOfArry(); ++i)
            if (QPushButton* b = AnsBtn->Cntrls(i); b->hasFocus() && b->isVisible() && b->isEnabled() && Engine_->Edit1Enabled) {
                b->click();
                return;
            }
        Button1->click();
        return;
    }
    QMainWindow::keyPressEvent(e);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::FocusIn:
        // Where the learner was in the drill, to go back there.
        if (watched->isWidgetType() && Client->isAncestorOf(static_cast<QWidget*>(watched)))
            DrillFocus = static_cast<QWidget*>(watched);
        // Alt alone puts the menu bar in its key mode with the focus; what
        // is typed afterwards belongs in the answer box, so the focus goes
        // back there (Alt+F still opens its menu at once).
        if (watched == MainMenu1) QueueTakeKeyboard();
        break;
    default:
        break;
    }
    if (watched == Screen && e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            keyPressEvent(k);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void TForm1::AnsBtnEnter(int index) {
    QFont f = AnsBtn->Cntrls(index)->font();
    f.setBold(true);
    AnsBtn->Cntrls(index)->setFont(f);
    AnsBtn->Cntrls(index)->setStyleSheet("color: #FFFF00;");
}

void TForm1::AnsBtnExit(int index) {
    QFont f = AnsBtn->Cntrls(index)->font();
    f.setBold(false);
    AnsBtn->Cntrls(index)->setFont(f);
    AnsBtn->Cntrls(index)->setStyleSheet("");
}

// The entered look goes with the focus of the drill's window.  The focus
// events alone do not carry it: a button that is disabled or hidden while
// it holds the focus hands the focus on without an exit when the window is
// not active (a dialog over it), and a chain of disabled buttons hands it
// along faster than their events report it.  So every change of the focus
// or of the buttons settles the look of all ten.
void TForm1::SyncAnsBtnLook() {
    if (!AnsBtn) return;
    for (int i = 0; i < AnsBtn->NumOfArry(); ++i) {
        QPushButton* b = AnsBtn->Cntrls(i);
        if (!b) continue;
        const bool focused = b->isVisible() && b->isEnabled() && b->window()->focusWidget() == b;
        const bool entered = b->font().bold();
        if (focused && !entered) AnsBtnEnter(i);
        else if (!focused && entered) AnsBtnExit(i);
    }
}

// ---------------------------------------------------------------- view

void TForm1::SetTextLine(int index, const std::string& text) {
    if (QLabel* l = TextLine->Cntrls(index)) l->setText(Q(text));
}

void TForm1::SetTextLineColor(int index, uint32_t rgb) {
    if (QLabel* l = TextLine->Cntrls(index)) l->setStyleSheet(QStringLiteral("color: %1;").arg(RgbColor(rgb).name()));
}

void TForm1::HideImages() {
    for (int i = 0; i < Image->NumOfArry(); ++i) Image->Cntrls(i)->hide();
}

// A name from a problem file, found in the problem folder as spelt, else
// without regard to case.
std::string TForm1::FindFile(const std::string& name) const {
    return textfile::ResolveName(Engine_->ProblemPath, name);
}

bool TForm1::LoadPictureFile(const std::string& path, QLabel* target, int width) {
    QImage img;
    bool ok = TPictureRegistry::Instance().LoadPictureFile(path, img) && !img.isNull();
    QSize size = img.size();
    if (ok && width > 0) {
        // The asked width, the height in proportion; a size beyond the
        // picture budget is refused like a picture that claims it, before
        // any buffer of that size is made.
        const int64_t height = std::max<int64_t>(1, static_cast<int64_t>(img.height() * (double(width) / img.width()) + 0.5));
        ok = picture_budget::Fits(width, height);
        if (ok) size = QSize(width, static_cast<int>(height));
    }
    if (!ok) {
        img = QImage();
        target->clear();
        Beep();
        ShowMessage(msg::PictureCannotShow());
        return false;
    }
    // The decoded picture is shown as it is, or scaled once from it.
    QPixmap pm = QPixmap::fromImage(size == img.size() ? std::move(img)
                                                       : img.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    img = QImage();
    target->setPixmap(pm);
    target->resize(pm.size());
    return true;
}

void TForm1::ShowPicture(int slot, const std::string& fileName, int left, int top, int width) {
    QLabel* target = slot < 0 ? OKBottomDlg_->Image1() : Image->Cntrls(slot);
    if (!target) return;
    // Found like any media file (the "object" folder too); a missing one is
    // named first, then fails to load like a broken one.
    std::string file;
    ResolveMediaFile(fileName, file);
    if (!LoadPictureFile(file, target, width)) return;
    target->move(left, top);
    if (slot >= 0) target->show();
}

std::vector<std::string> TForm1::PictureExtensions() { return TPictureRegistry::Instance().Extensions(); }

void TForm1::SetMarkVisible(TMark mark, bool visible) {
    QLabel* l = mark == TMark::Maru ? ImageMaru : ImageBatu;
    l->setVisible(visible);
    if (visible) l->repaint();
}

namespace {
// Longest wait for a mark's or a score's sound.
const int kLongestSoundMs = 15000;
}  // namespace

// One of the fixed sounds: the problem folder's file of the name, else the
// built-in one.  Returns when it has ended.
void TForm1::PlaySoundFile(const std::string& name) {
    const std::string local = FindFile(name);
    const bool own = textfile::FileExists(local);
    if (!SpeedButton7->isHidden()) MediaPlayer2->Stop();
    if (!SpeedButton8->isHidden()) MediaPlayer4->Stop();
    if (own) {
        Media->PlaySync(local, kLongestSoundMs);
        return;
    }
    const QString resource = QFileInfo(Q(name)).completeBaseName().toUpper();
    QFile f(QStringLiteral(":/sounds/") + resource);
    if (!f.open(QIODevice::ReadOnly)) return;
    Media->PlaySyncMemory(f.readAll(), resource.toStdString(), kLongestSoundMs);
}

// A sound line inside a correct-answer message plays to its end before the
// message shows, without the media buttons.
void TForm1::PlayMessageSound(const std::string& line) {
    std::vector<std::string> tok = SplitTokens(line, 2, false);
    if (tok.size() < 2) return;
    std::string ext = sjis::LowerAscii(tok[0]);
    std::string file = FindFile(tok[1] + "." + ext);
    if (textfile::FileExists(file)) Media->PlaySync(file, kLongestSoundMs);
}

bool TForm1::ResolveMediaFile(const std::string& name, std::string& path) {
    path = FindFile(name);
    if (textfile::FileExists(path)) return true;
    std::string inObject = FindFile("object/" + name);
    if (textfile::FileExists(inObject)) {
        path = inObject;
        return true;
    }
    ShowMessage(msg::MediaMissing(name));
    return false;
}

// A file the player cannot open is passed over: the step goes on.
bool TForm1::OpenMedia(TMediaPlayer& player, const std::string& file) {
    player.FileName = file;
    try {
        player.Open();
        return true;
    } catch (const EMediaError&) {
        return false;
    }
}

bool TForm1::OpenMediaLine(TMediaPlayer& player, const std::string& line) {
    std::vector<std::string> tok = SplitTokens(line, 2, false);
    std::string file;
    return tok.size() >= 2 && ResolveMediaFile(tok[1] + "." + tok[0], file) && OpenMedia(player, file);
}

void TForm1::PlayAudio(const std::string& line) {
    if (!OpenMediaLine(*MediaPlayer2, line)) return;
    if (!Engine_->DialogOpen) {
        SpeedButton7->show();
        SpeedButton9->show();
    }
    MediaPlayer2->Play();  // goes on while the learner works
}

void TForm1::PlayMidi(const std::string& line) {
    if (!OpenMediaLine(*MediaPlayer3, line)) return;
    if (!Engine_->DialogOpen) {
        SpeedButton6->setChecked(false);
        SpeedButton6->show();
    }
    MediaPlayer3->Play();
}

void TForm1::PlayVideo(const std::string& line) {
    std::vector<std::string> tok = SplitTokens(line, 4, false);
    if (tok.size() < 2) return;
    int left = 320, top = 120;
    if (tok.size() < 4 || !TIniFile::ParseInteger(tok[2], left) || !TIniFile::ParseInteger(tok[3], top)) {
        left = 320;
        top = 120;
    }
    // A position that leaves no room for the panel skips the video.
    if (left < 0 || left >= 630 || top < 0 || top >= kClientHeight) return;
    std::string file;
    if (!ResolveMediaFile(tok[1] + "." + tok[0], file)) return;
    FreeVideoPanel();  // a second video replaces the first
    AviPrn = new QWidget(Client);
    AviPrn->hide();
    AviPrn->setObjectName("AviPrn");
    AviPrn->setGeometry(left, top, 630 - left, (630 - left) * 3 / 4);
    AviPrn->setAutoFillBackground(true);
    AviPrn->setPalette(Client->palette());
    AviPrn->show();
    MediaPlayer4->SetDisplay(AviPrn);
    if (!OpenMedia(*MediaPlayer4, file)) {
        FreeVideoPanel();
        return;
    }
    if (!Engine_->DialogOpen) {
        SpeedButton8->show();
        SpeedButton9->show();
    }
    MediaPlayer4->SetDisplayRect(QRect(0, 0, AviPrn->width(), AviPrn->height()));
    MediaPlayer4->Play();
}

void TForm1::StopMidi() {
    MediaPlayer3->Close();
    SpeedButton6->hide();
}

void TForm1::SpeedButton6Click() {
    if (SpeedButton6->isChecked())
        MediaPlayer3->Stop();
    else
        MediaPlayer3->Play();  // goes on from where it stopped
}

void TForm1::SpeedButton7Click() {
    MediaPlayer2->Rewind();
    MediaPlayer2->Play();
}

void TForm1::SpeedButton8Click() {
    MediaPlayer4->Rewind();
    MediaPlayer4->Play();
}

void TForm1::SpeedButton9Click() {
    if (!SpeedButton7->isHidden()) MediaPlayer2->Stop();
    if (!SpeedButton8->isHidden()) MediaPlayer4->Stop();
}

void TForm1::CloseMediaPlayers(bool midiToo) {
    SpeedButton7->hide();
    SpeedButton8->hide();
    SpeedButton9->hide();
    if (midiToo) SpeedButton6->hide();
    MediaPlayer2->Close();
    if (midiToo) MediaPlayer3->Close();
    MediaPlayer4->Close();
}

// The video goes with its panel: the player never paints into a panel
// that is gone.
void TForm1::FreeVideoPanel() {
    if (!AviPrn) return;
    if (MediaPlayer4->Display() == AviPrn) {
        MediaPlayer4->Close();
        MediaPlayer4->SetDisplay(nullptr);
        SpeedButton8->hide();
        if (SpeedButton7->isHidden()) SpeedButton9->hide();
    }
    delete AviPrn;
    AviPrn = nullptr;
}

// A program or document named by a problem: a file of the problem folder
// (found without regard to case) is run when it is a program and opened
// through the desktop when it is a document; any other name is a program
// looked up on the search path.  It runs in the problem folder, never
// through a shell.  A file is a program only when it is one (an ELF file
// or a "#!" script, executable): a document with the execute bit, as every
// file on a share or a vfat stick has, is opened, not run.  What could not
// be started is named to the learner.
void TForm1::RunProgram(const std::string& program, const std::string& params) {
    QStringList args = Q(params).split(' ', Qt::SkipEmptyParts);
    const std::string local = FindFile(program);
    const QFileInfo file(QPath(local));
    bool started;
    if (file.isFile() && !IsExecutableProgram(local))
        started = ShellOpenDocument && ShellOpenDocument(local);
    else
        started = QProcess::startDetached(file.isFile() ? file.absoluteFilePath() : Q(program), args,
                                          QPath(Engine_->ProblemPath));
    if (!started) {
        Beep();
        ShowMessage(sjis::L("「") + program + sjis::L(kCannotStart));
    }
}

void TForm1::Beep() { QApplication::beep(); }

void TForm1::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, windowTitle(), MessageText(Q(text)), QMessageBox::Ok, this);
    box.exec();
}

void TForm1::ShowInformation(const std::string& text) {
    QMessageBox box(QMessageBox::Information, windowTitle(), MessageText(Q(text)), QMessageBox::Ok, this);
    box.exec();
}

bool TForm1::WarnOkAbort(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), MessageText(Q(text)), QMessageBox::Ok | QMessageBox::Abort,
                    this);
    JapaneseButtons(box);
    return box.exec() != QMessageBox::Abort;
}

bool TForm1::AskYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), MessageText(Q(text)), QMessageBox::NoButton, this);
    QPushButton* yes = box.addButton(QL("はい(&Y)"), QMessageBox::YesRole);
    box.addButton(QL("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes;
}

void TForm1::ShowOKBottomDlg(const TOKBottomContent& content) { OKBottomDlg_->ShowContent(content); }

void TForm1::ShowModeDialog() {
    TfTestMode dlg(this, Engine_->ChosenMode);
    dlg.exec();
}

void TForm1::OptionBoxClick() {
    TfKankyo dlg(this, Engine_->Settings, [this] { ApplyScreenMode(); }, ChooseFolder);
    dlg.exec();
}

void TForm1::ApplyScreenMode() {
    const bool visible = isVisible();
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, SavedScreen.Width, SavedScreen.Height);
    const TWindowPlacement p = ::ApplyScreenMode(Engine_->Settings.FullScreen, *Display, SavedScreen,
                                                 [this](const std::string& t) { ShowMessage(t); });
    if (p.FullScreen) {
        // The window covers the screen without a frame; the drill keeps the
        // layout of a 640 x 480 display and the view scales it to fill the
        // screen.
        layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
        // Normal mode left the window fixed at its size.
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        Screen->setFixedSize(640, 480);
        View->setMinimumSize(0, 0);
        View->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        // Full screen by its state, not by a frameless window: a kiosk
        // window manager (matchbox) keeps handing the focus to and fro
        // between a frameless window and its dialogs, and they freeze.
        // The window manager takes the frame off a full-screen window.
        setWindowFlags(Qt::Window);
        setGeometry(area);  // also where no window manager takes the hint
        setWindowState(Qt::WindowFullScreen);
    } else {
        setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                       Qt::WindowCloseButtonHint);
        setWindowState(Qt::WindowNoState);
        // The drill at its own size, and the view at the drill's: scale 1.
        Screen->setMinimumSize(0, 0);
        Screen->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        Screen->setFixedSize(Screen->sizeHint());
        View->setFixedSize(Screen->size());
        layout()->setSizeConstraint(QLayout::SetFixedSize);
        move(area.x() + p.Left, area.y() + p.Top);
    }
    if (visible) show();
    // Shown, the window's frame is known: the frame goes where a start puts it.
    if (!p.FullScreen && visible) move(area.x() + p.Left, area.y() + p.Top);
    // Dialogs scale with the drill and stand over its middle.
    DialogScaler_->SetScale(p.FullScreen ? FitDisplayArea(area.width(), area.height()).Scale : 1.0,
                            [this] { return DrillRect(); });
    PlaceProgressBar();
    // A window shown anew (new flags) is not given the keyboard by every
    // desktop.
    if (visible) QueueTakeKeyboard();
}

// By the program's keyboard rule: a menu or a dialog over the drill keeps
// the keyboard, else the drill takes it (TakeKeyboard).
void TForm1::QueueTakeKeyboard() { keyboard_return::Queue(); }

// The drill takes the keyboard back whenever nothing stands over it: the
// window is made the active one (without a window manager nobody else does,
// and the drill's scene takes no keys while the window is inactive), and a
// focus that went to the menu bar or nowhere goes back where it was in the
// drill, else to the answer box.
void TForm1::TakeKeyboard() {
    if (!isVisible() || Closing) return;
    if (QApplication::activeWindow() != this) {
        raise();
        activateWindow();
    }
    QWidget* f = Screen->focusWidget();
    if (f && f != MainMenu1 && f->isVisible() && f->isEnabled()) return;
    if (DrillFocus && DrillFocus->isVisible() && DrillFocus->isEnabled() && Client->isAncestorOf(DrillFocus))
        DrillFocus->setFocus(Qt::OtherFocusReason);
    else
        FocusAnswerBox();
}

QRect TForm1::DrillRect() const {
    if (isVisible()) return QRect(View->mapToGlobal(View->Area().topLeft()), View->Area().size());
    // Not up yet (the login comes first): where full screen will show it.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 640, 480);
    const TFittedArea a = FitDisplayArea(area.width(), area.height());
    return QRect(area.x() + a.Left, area.y() + a.Top, a.Width, a.Height);
}

void TForm1::About1Click() {
    TAboutBox box(this);
    box.Label1->setText(QString::fromLatin1(VersionText));
    box.exec();
}

void TForm1::SetStatusText(int panel, const std::string& text) {
    if (panel >= 0 && panel < 4) StatusPanels[panel]->setText(Q(text));
}

void TForm1::SetGauge(int percent) { Bar->setValue(std::clamp(percent, 0, 100)); }

void TForm1::PlaceProgressBar() {
    const TPoint at = ProgressBarPlace(StatusBar1->y());
    Panel2->move(at.X, at.Y);
}

std::string TForm1::AnswerText() {
    bool ok;
    std::string s = S(Edit1->text(), &ok);
    return ok ? s : std::string();
}

bool TForm1::AnswerHasForeignChar() {
    bool ok;
    S(Edit1->text(), &ok);
    return !ok;
}

void TForm1::SetAnswerText(const std::string& text) { Edit1->setText(Q(text)); }
void TForm1::SetAnswerEnabled(bool enabled) { Edit1->setEnabled(enabled); }
void TForm1::FocusAnswerBox() {
    if (Edit1->isEnabled()) Edit1->setFocus();
    SyncAnsBtnLook();
}
void TForm1::SetButtonCaption(const std::string& caption) { Button1->setText(Q(caption)); }
void TForm1::FocusAnswerButton() {
    Button1->setFocus();
    SyncAnsBtnLook();
}

void TForm1::PlaceAnswerButton(int index, int left, int top, int width, int height, const std::string& caption) {
    QPushButton* b = AnsBtn->Cntrls(index);
    if (!b) return;
    b->setGeometry(left, top, width, height);
    QFont f = b->font();
    f.setPointSize(14);
    b->setFont(f);
    b->setText(Q(caption));
    SyncAnsBtnLook();
}

void TForm1::SetAnswerButtonVisible(int index, bool visible) {
    if (QPushButton* b = AnsBtn->Cntrls(index)) b->setVisible(visible);
    SyncAnsBtnLook();
}
void TForm1::SetAnswerButtonEnabled(int index, bool enabled) {
    if (QPushButton* b = AnsBtn->Cntrls(index)) b->setEnabled(enabled);
    SyncAnsBtnLook();
}
