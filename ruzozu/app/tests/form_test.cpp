// The main window under Qt's offscreen platform.
#include "hostile_pictures.h"
#include "metafile_writer.h"
#include "hint_form.h"
#include "ExtArr.h"
#include "StdArr.h"
#include "FolderTree.h"
#include "choice.h"
#include "inifile.h"
#include "kankyo.h"
#include "main.h"
#include "TestMode.h"
#include "about.h"
#include "qtext.h"
#include "tempdir.h"
#include "textfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QToolButton>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <QDesktopServices>
#include <QElapsedTimer>

#include <algorithm>

namespace {

// True when the journal holds these lines in this order (others may come
// between them).
bool InOrder(const std::vector<std::string>& journal, const std::vector<std::string>& lines) {
    auto at = journal.begin();
    for (const std::string& l : lines) {
        at = std::find(at, journal.end(), l);
        if (at == journal.end()) return false;
        ++at;
    }
    return true;
}

// The real window, with its message boxes recorded instead of shown.
class TestForm : public TForm1 {
public:
    using TForm1::TForm1;
    QStringList Messages;
    bool Answer = true;
    void ShowMessage(const std::string& t) override { Messages << Q(t); }
    void ShowInformation(const std::string& t) override { Messages << Q(t); }
    bool AskYesNo(const std::string& t) override {
        Messages << Q(t);
        return Answer;
    }
    bool WarnOkAbort(const std::string& t) override {
        Messages << Q(t);
        return Answer;
    }
};

std::string WriteProblem(const TempDir& dir, const char* utf8Lines) {
    std::string text = sjis::L(utf8Lines);
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\r\n";
        else out += c;
    }
    textfile::WriteFileAtomic(dir / "p.qzb", out);
    return dir / "p.qzb";
}

// Presses Enter in whatever modal dialog opens next.
void EnterInNextDialog() {
    QTimer::singleShot(50, [] {
        if (QWidget* w = QApplication::activeModalWidget()) QTest::keyClick(w, Qt::Key_Return);
    });
}

}  // namespace

class FormTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("RUZOZU_QUIET_MEDIA", "1");
        TForm1::ShowSplash = false;
    }
    void layoutOfTheWindow();
    void fullScreenAndBack();
    void mediaButtonsStopAndClose();
    void captionCycleDrivenByKeys();
    void answerButtonsAndEnter();
    void hintDialogClosedByEnter();
    void closingQuestionsAndResultsFile();
    void droppedFileOpens();
    void missingScoreFolderIsReplacedForThisRunOnly();
    void programLinesRunProgramsAndOpenDocuments();
    void settingsDialogFolders();
    void builtInSoundsAndProblemFolderSounds();
    void mediaLinesButtonsAndVideoPanel();
    void folderChooserReportsTheSelectedFolder();
    void modeDialogSetsChosenMode();
    void splashStandsInTheMiddleOfTheScreen();
    void picturesFoundLikeMediaFiles();
    void hostilePicturesReportedAndTheStepGoesOn();
    void splashStandsAloneBeforeTheLogin();

public slots:
    // Stands in for the desktop's opener of files.
    void openFile(const QUrl& url) { Opened << url; }

public:
    QList<QUrl> Opened;
};

void FormTest::settingsDialogFolders() {
    TempDir dir;
    textfile::CreateDir(dir / "Problems");
    TDrillSettings s;
    s.FolderHistory = {"/a/", "/b/", "", "/c/", "/d/"};
    s.FullScreen = false;
    int applied = 0;
    TfKankyo dlg(nullptr, s, [&] { ++applied; }, nullptr);
    QCOMPARE(dlg.ComboBox1->count(), 4);
    dlg.ComboBox1->setFocus();
    dlg.ComboBox1->lineEdit()->clear();
    QTest::keyClicks(dlg.ComboBox1->lineEdit(), QString::fromStdString(dir / "Missing/"));
    dlg.CheckBox1->setChecked(true);
    EnterInNextDialog();
    dlg.BitBtn1Click();
    QVERIFY(dlg.Refused());
    QCOMPARE(applied, 1);  // full screen takes effect even on a refused OK
    dlg.ComboBox1->lineEdit()->clear();
    QTest::keyClicks(dlg.ComboBox1->lineEdit(), QString::fromStdString(dir / "Problems/"));
    dlg.BitBtn1Click();
    QVERIFY(!dlg.Refused());
    QCOMPARE(s.ProblemFolder, dir / "Problems/");  // the case is kept
    QCOMPARE(s.FolderHistory[4], dir / "Problems/");
    QCOMPARE(s.FolderHistory[0], std::string("/a/"));

    // Enter in the folder box presses OK and adds nothing to the list by itself.
    TfKankyo again(nullptr, s, nullptr, nullptr);
    again.show();
    QVERIFY(QTest::qWaitForWindowActive(&again));
    const int before = again.ComboBox1->count();
    again.ComboBox1->lineEdit()->clear();
    QTest::keyClicks(again.ComboBox1->lineEdit(), QString::fromStdString(dir / "Missing/"));
    EnterInNextDialog();
    QTest::keyClick(again.ComboBox1->lineEdit(), Qt::Key_Return);
    QVERIFY(again.Refused());
    QCOMPARE(again.ComboBox1->count(), before);

    // A folder name composed with an input method counts as typed.
    TfKankyo composed(nullptr, s, nullptr, nullptr);
    composed.ComboBox1->lineEdit()->clear();
    QInputMethodEvent ime;
    ime.setCommitString(QString::fromStdString(dir / "") + QL("無い"));
    QCoreApplication::sendEvent(composed.ComboBox1->lineEdit(), &ime);
    EnterInNextDialog();
    composed.BitBtn1Click();
    QVERIFY(composed.Refused());
}

void FormTest::builtInSoundsAndProblemFolderSounds() {
    for (const char* name : {"DAME", "OUT", "SUGOI", "FUTU", "MARU", "BATU"})
        QVERIFY(QFile::exists(QStringLiteral(":/sounds/") + name));
    TempDir dir;
    std::string p = WriteProblem(dir, "a\n/\nb\n/\n");
    textfile::WriteFileAtomic(dir / "batu.wav", "RIFF");  // the problem's own sound
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    f.Edit1->setText("a");
    f.Button1->click();
    QCOMPARE(f.Media->Journal.back(), std::string("sound memory MARU"));
    f.Button1->click();
    f.Edit1->setText("x");
    f.Button1->click();
    QCOMPARE(f.Media->Journal.back(), "sound " + dir / "batu.wav");
    f.close();
}

void FormTest::mediaLinesButtonsAndVideoPanel() {
    TempDir dir;
    textfile::CreateDir(dir / "object");
    textfile::WriteFileAtomic(dir / "object/clip.avi", "x");  // found in the "object" folder
    textfile::WriteFileAtomic(dir / "Song.MID", "x");         // found without regard to case
    std::string p = WriteProblem(dir, "a\navi clip\nmid song\navi clip 100 50\nwav missing\n/\nb\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    QVERIFY(f.AviPrn);
    QCOMPARE(f.AviPrn->geometry(), QRect(100, 50, 530, 397));  // the second video replaced the first
    QCOMPARE(f.findChildren<QWidget*>("AviPrn").size(), 1);
    QVERIFY(!f.SpeedButton8->isHidden());
    QVERIFY(!f.SpeedButton9->isHidden());
    QVERIFY(!f.SpeedButton6->isHidden());
    QVERIFY(f.SpeedButton7->isHidden());  // the missing sound showed no button
    QCOMPARE(f.Messages.last(), QL("指定された missing.wavは、\r\r存在しません。"));
    // Each video opens in its panel, fills it and plays.
    QVERIFY(InOrder(f.Media->Journal, {"MediaPlayer4 Open " + dir / "object/clip.avi", "MediaPlayer4 DisplayRect 0 0 310 232",
                                       "MediaPlayer4 Play", "MediaPlayer3 Open " + dir / "Song.MID", "MediaPlayer3 Play",
                                       "MediaPlayer4 Close", "MediaPlayer4 Open " + dir / "object/clip.avi",
                                       "MediaPlayer4 DisplayRect 0 0 530 397", "MediaPlayer4 Play"}));
    f.Edit1->setText("a");
    f.Button1->click();
    f.Button1->click();  // the next step frees the video panel and hides its buttons
    QVERIFY(!f.AviPrn);
    QVERIFY(f.SpeedButton8->isHidden());
    QVERIFY(!f.SpeedButton6->isHidden());  // MIDI plays on across questions
    f.close();
}

void FormTest::folderChooserReportsTheSelectedFolder() {
    TempDir dir;
    textfile::CreateDir(dir / "Problems");
    TfChoice::ChosenFolder.clear();
    TfChoice dlg(nullptr, dir / "Problems");
    QCOMPARE(TfChoice::ChosenFolder, dir / "Problems/");  // the case is kept
    dlg.show();
    dlg.resize(400, 500);
    QTRY_COMPARE(dlg.FolderTreeViewEx1->width(), 400);
    QCOMPARE(dlg.BitBtn2->x() - (dlg.BitBtn1->x() + dlg.BitBtn1->width()), 20);
    QVERIFY(dlg.minimumSize() == QSize(250, 340));
}

void FormTest::modeDialogSetsChosenMode() {
    int mode = 2;
    TfTestMode dlg(nullptr, mode);
    QVERIFY(dlg.RandomMode->isChecked());
    QVERIFY(!dlg.NormalMode->isChecked());
    dlg.TestMode->click();
    QVERIFY(dlg.TestMode->isChecked());
    dlg.BitBtn1->click();
    QCOMPARE(mode, 3);
}

void FormTest::splashStandsInTheMiddleOfTheScreen() {
    QPointer<Tstart> splash = new Tstart;
    splash->show();
    QVERIFY(QTest::qWaitForWindowExposed(splash));
    const QPoint off = splash->frameGeometry().center() - QGuiApplication::primaryScreen()->geometry().center();
    QVERIFY2(off.manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
    delete splash;
}

void FormTest::layoutOfTheWindow() {
    TempDir dir;
    TestForm f(dir.path(), {});
    QCOMPARE(f.TextLine->Cntrls(0)->geometry(), QRect(5, 38, 625, 17));
    QCOMPARE(f.TextLine->Cntrls(21)->geometry(), QRect(5, 38 + 17 * 21, 625, 17));
    QCOMPARE(f.TextLine->Cntrls(0)->parentWidget()->size(), QSize(631, 429));
    QVERIFY(f.isFullScreen() || f.windowState() & Qt::WindowFullScreen);  // the default
    f.Engine().Settings.FullScreen = false;
    f.ApplyScreenMode();
    QVERIFY(!(f.windowState() & Qt::WindowFullScreen));
    QCOMPARE(f.AnsBtn->NumOfArry(), 10);
    for (int i = 0; i < 10; ++i) QVERIFY(f.AnsBtn->Cntrls(i)->isHidden());
    QCOMPARE(f.AnsBtn->Cntrls(0)->objectName(), QStringLiteral("AnsBtn_1"));
    QCOMPARE(f.Button1->text(), QL("解答"));
    QCOMPARE(f.StatusPanels[0]->text(), QL("【問題ファイル】"));
    // The media buttons: the audio and video ones share one narrower place.
    QCOMPARE(f.SpeedButton6->geometry(), QRect(118, 4, 25, 25));
    QCOMPARE(f.SpeedButton7->geometry(), QRect(143, 4, 24, 25));
    QCOMPARE(f.SpeedButton8->geometry(), QRect(143, 4, 24, 25));
    QCOMPARE(f.SpeedButton9->geometry(), QRect(167, 4, 25, 25));
    QCOMPARE(f.windowTitle(), QStringLiteral("Ruzozu Ver 4.4"));
    QVERIFY(!f.logoff->isEnabled());  // stand-alone: no log-off
}

void FormTest::fullScreenAndBack() {
    TempDir dir;
    TestForm f(dir.path(), {});
    f.show();
    const QRect screen = f.screen()->geometry();
    QCOMPARE(f.Display->Current().Width, 640);  // full screen by default
    QCOMPARE(f.geometry(), screen);
    QVERIFY(f.windowFlags() & Qt::FramelessWindowHint);
    // Menu and client are laid out as on a 640 x 480 display, in the
    // middle of the screen.
    QWidget* client = f.TextLine->Cntrls(0)->parentWidget();
    QTRY_COMPARE(client->mapTo(&f, QPoint(0, 0)).x(), (screen.width() - 640) / 2);
    QCOMPARE(client->parentWidget()->geometry(),
             QRect((screen.width() - 640) / 2, (screen.height() - 480) / 2, 640, 480));

    f.Engine().Settings.FullScreen = false;
    f.ApplyScreenMode();
    QCOMPARE(f.Display->Current().Width, screen.width());  // the remembered mode, at once
    QVERIFY(!(f.windowFlags() & Qt::FramelessWindowHint));
    // Placed a little below the centre (give or take the platform's frame).
    const QPoint expected(screen.x() + (screen.width() - 638) / 2, screen.y() + (screen.height() - 427) / 2);
    QVERIFY2((f.pos() - expected).manhattanLength() <= 4, qPrintable(QString("%1,%2").arg(f.x()).arg(f.y())));
    QVERIFY(f.Messages.isEmpty());
    f.ConfirmClose = false;
    f.close();
}

void FormTest::mediaButtonsStopAndClose() {
    TempDir dir;
    textfile::WriteFileAtomic(dir / "tone.wav", "x");
    textfile::WriteFileAtomic(dir / "clip.avi", "x");
    textfile::WriteFileAtomic(dir / "maru.wav", "x");
    std::string p = WriteProblem(dir, "&説明\nwav tone\navi clip 10 x\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_VERIFY(f.AviPrn);
    // A top that is no number puts the video at its usual place.
    QCOMPARE(f.AviPrn->geometry(), QRect(320, 120, 310, 232));
    std::vector<std::string>& j = f.Media->Journal;

    j.clear();
    f.SpeedButton9Click();
    QCOMPARE(j, (std::vector<std::string>{"MediaPlayer2 Stop", "MediaPlayer4 Stop"}));
    j.clear();
    f.SpeedButton7Click();
    f.SpeedButton8Click();
    QCOMPARE(j, (std::vector<std::string>{"MediaPlayer2 Rewind", "MediaPlayer2 Play", "MediaPlayer4 Rewind",
                                          "MediaPlayer4 Play"}));
    // A mark's sound stops the audio and the video first.
    j.clear();
    f.PlaySoundFile("maru.wav");
    QCOMPARE(j, (std::vector<std::string>{"MediaPlayer2 Stop", "MediaPlayer4 Stop", "sound " + dir / "maru.wav"}));

    // "mute" with no MIDI playing closes nothing open and hides the button.
    f.StopMidi();
    QVERIFY(f.SpeedButton6->isHidden());
    QCOMPARE(j.back(), std::string("MediaPlayer3 Close"));

    // With the hint dialog being filled, a sound plays but shows no button.
    f.CloseMediaPlayers(true);
    f.Engine().DialogOpen = true;
    f.PlayAudio(sjis::L("wav tone"));
    f.Engine().DialogOpen = false;
    QCOMPARE(j.back(), std::string("MediaPlayer2 Play"));
    QVERIFY(f.SpeedButton7->isHidden());
    QVERIFY(f.SpeedButton9->isHidden());

    // A MIDI pause is the learner's click only.
    textfile::WriteFileAtomic(dir / "song.mid", "x");
    f.PlayMidi("mid song");
    j.clear();
    f.SpeedButton6->click();
    f.SpeedButton6->click();
    QCOMPARE(j, (std::vector<std::string>{"MediaPlayer3 Stop", "MediaPlayer3 Play"}));

    // Closing the window closes the three players in order.
    j.clear();
    f.close();
    QCOMPARE(j, (std::vector<std::string>{"MediaPlayer2 Close", "MediaPlayer3 Close", "MediaPlayer4 Close"}));
}

void FormTest::captionCycleDrivenByKeys() {
    TempDir dir;
    std::string p = WriteProblem(dir, "~題\n見出し\n/\nねこ;cat\n質問です\n/\nいぬ\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("見出し"));
    QCOMPARE(f.TextLine->Cntrls(1)->text(), QL("【1】"));
    QCOMPARE(f.TextLine->Cntrls(3)->text(), QL("質問です"));
    QCOMPARE(f.StatusPanels[0]->text(), QL("【問題ファイル】 p"));
    QCOMPARE(f.StatusPanels[3]->text(), QStringLiteral("0/2"));
    f.Edit1->setFocus();
    QTest::keyClicks(f.Edit1, "dog");
    QTest::keyClick(f.Edit1, Qt::Key_Return);
    QCOMPARE(f.Button1->text(), QL("もう一回"));
    QVERIFY(f.ImageBatu->isVisible());
    QVERIFY(!f.Edit1->isEnabled());
    QTest::keyClick(&f, Qt::Key_Return);  // a new try
    QCOMPARE(f.Button1->text(), QL("解答"));
    QVERIFY(f.Edit1->isEnabled());
    QTest::keyClicks(f.Edit1, "cat");
    QTest::keyClick(f.Edit1, Qt::Key_Return);
    QCOMPARE(f.Button1->text(), QL("次に進む"));
    QVERIFY(f.ImageMaru->isVisible());
    QTest::keyClick(&f, Qt::Key_Return);
    QCOMPARE(f.TextLine->Cntrls(1)->text(), QL("【2】"));
    QVERIFY(!f.ImageMaru->isVisible());
    f.close();
}

void FormTest::answerButtonsAndEnter() {
    TempDir dir;
    std::string p = WriteProblem(dir, "btns 2 a;b;c\nどれ？\n/\nz\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_VERIFY(f.AnsBtn->Cntrls(2)->isVisible());
    QVERIFY(f.AnsBtn->Cntrls(3)->isHidden());
    QCOMPARE(f.AnsBtn->Cntrls(1)->geometry(), QRect(20, 265, 294, 30));
    QCOMPARE(f.AnsBtn->Cntrls(1)->text(), QStringLiteral("b"));
    f.AnsBtn->Cntrls(1)->setFocus();
    QTest::keyClick(&f, Qt::Key_Return);  // the focused answer button is pressed
    QCOMPARE(f.Button1->text(), QL("次に進む"));
    QVERIFY(!f.AnsBtn->Cntrls(0)->isEnabled());
    QCOMPARE(f.Engine().CorrectCount, 1);
    f.close();
}

void FormTest::hintDialogClosedByEnter() {
    TempDir dir;
    std::string p = WriteProblem(dir, "a\n@hint\nヒントです\n@/\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    EnterInNextDialog();
    f.Engine().SpeedButton3Click();  // returns once Enter closed the dialog
    QCOMPARE(f.OKBottomDlg()->windowTitle(), QL("ヒント"));
    QCOMPARE(f.OKBottomDlg()->ArLabel1->Cntrls(0)->text(), QL("ヒントです"));
    QVERIFY(f.Engine().HintSeen);
    QVERIFY(!f.OKBottomDlg()->isVisible());
    // A picture lies over the text lines where they meet.
    QCOMPARE(f.OKBottomDlg()->childAt(200, 10), f.OKBottomDlg()->Image1());
    f.close();
}

void FormTest::closingQuestionsAndResultsFile() {
    TempDir dir;
    {
        TestForm f(dir.path(), {});
        f.Answer = false;
        f.close();  // nothing opened yet
        QCOMPARE(f.Messages.last(), QL("【 Ruzozu 】 を終了します。"));
    }
    std::string p = WriteProblem(dir, "a\n/\nb\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    const std::string dat = dir / ("Your Score/" + f.Engine().ComputerName + ".dat");
    QVERIFY(textfile::FileExists(dat));
    f.Answer = false;
    QVERIFY(!f.close());  // No keeps the window
    QCOMPARE(f.Messages.last(), QL("【 Ruzozu 】 を終了します。 (次はこの続きから学習できます)"));
    QVERIFY(textfile::FileExists(dat));
    f.Answer = true;
    QVERIFY(f.close());
    QVERIFY(!textfile::FileExists(dat));  // this computer's results are gone
    QVERIFY(textfile::FileExists(dir / "ruzozu.ini"));
}

void FormTest::droppedFileOpens() {
    TempDir dir;
    std::string p = WriteProblem(dir, "&説明文\n説明\n/\n");
    TestForm f(dir.path(), {});
    f.ConfirmClose = false;
    f.OpenDroppedFile(Q(p));
    QCOMPARE(f.TextLine->Cntrls(0)->text(), QL("説明"));
    QCOMPARE(f.Button1->text(), QL("次に進む"));
}

void FormTest::missingScoreFolderIsReplacedForThisRunOnly() {
    TempDir dir;
    std::string p = WriteProblem(dir, "a\n/\nb\n/\n");
    const std::string dvk = sjis::L("[Data]\r\nFolder=/no/such/scores/\r\n");
    textfile::WriteFileAtomic(dir / "ruzozu.dvk", dvk);
    // The login closes by its close box: no learner, the run goes on.
    QTimer::singleShot(100, [] {
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    QCOMPARE(f.Messages.value(0), QL("成績保存用フォルダがありません。\r\r作成は、Ruzozu Controllerを使用してください。\r\r"
                                     "このままでは、Ruzozu実行ファイルフォルダの下に作成します。"));
    QCOMPARE(f.Engine().Settings.ScoreFolder, dir.path());
    QVERIFY(textfile::FileExists(dir / (f.Engine().ComputerName + ".dat")));  // results land beside the program
    f.close();
    // The instructor's score folder stays in the shared settings.
    TIniFile shared(dir / "ruzozu.dvk");
    QCOMPARE(shared.ReadString("Data", "Folder", ""), std::string("/no/such/scores/"));
}

void FormTest::programLinesRunProgramsAndOpenDocuments() {
    TempDir dir;
    textfile::WriteFileAtomic(dir / "Run.sh", "#!/bin/sh\ntouch \"ran-local-$1\"\n");
    std::filesystem::permissions(dir / "Run.sh", std::filesystem::perms::owner_all);
    textfile::WriteFileAtomic(dir / "notes.txt", "x");
    std::string p = WriteProblem(dir, "a\nexe run.sh one\nexe NOTES.txt\nexe touch ran-path\n/\nb\n/\n");
    QDesktopServices::setUrlHandler("file", this, "openFile");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    // A program of the problem folder, found without regard to case, runs
    // there with its parameters; so does one from the search path.
    QTRY_VERIFY(textfile::FileExists(dir / "ran-local-one"));
    QTRY_VERIFY(textfile::FileExists(dir / "ran-path"));
    // A document opens through the desktop.
    QCOMPARE(Opened.size(), 1);
    QCOMPARE(Opened[0], QUrl::fromLocalFile(QString::fromStdString(dir / "notes.txt")));
    QDesktopServices::unsetUrlHandler("file");
    f.close();
}

void FormTest::picturesFoundLikeMediaFiles() {
    TempDir dir;
    textfile::CreateDir(dir / "object");
    QImage img(8, 6, QImage::Format_RGB32);
    img.fill(Qt::red);
    QVERIFY(img.save(QString::fromStdString(dir / "object/Pic.bmp"), "BMP"));
    std::string p = WriteProblem(dir, "a\nbmp pic 1 2\nbmp nopic 3 4\n/\nb\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    // The picture of the "object" folder shows in the first slot.
    QVERIFY(!f.Image->Cntrls(4)->isHidden());
    QCOMPARE(f.Image->Cntrls(4)->geometry(), QRect(1, 34, 8, 6));
    // A missing one is named, then reported as a picture that cannot show.
    QCOMPARE(f.Messages, QStringList({QL("指定された nopic.bmpは、\r\r存在しません。"), QL("この画像は、表示できません。")}));
    QVERIFY(f.Image->Cntrls(3)->isHidden());
    f.close();
}

void FormTest::hostilePicturesReportedAndTheStepGoesOn() {
    TempDir dir;
    textfile::WriteFileAtomic(dir / "huge.bmp", hostile::BmpClaiming(5000, 5000));
    textfile::WriteFileAtomic(dir / "huge.jpg", hostile::ProgressiveJpegClaiming(20000, 20000));
    metafile_writer::Wmf wmf(240, 120);
    wmf.Shapes = metafile_writer::SampleShapes();
    textfile::WriteFileAtomic(dir / "shapes.wmf", wmf.Bytes());
    std::string p = WriteProblem(dir, "a\nbmp huge 1 2\njpg huge 3 4\nwmf shapes 5 6\n/\nb\n/\n");
    QElapsedTimer clock;
    clock.start();
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    // Each hostile picture is reported, and the step goes on to the metafile.
    QCOMPARE(f.Messages, QStringList({QL("この画像は、表示できません。"), QL("この画像は、表示できません。")}));
    QVERIFY(f.Image->Cntrls(4)->isHidden());
    QVERIFY(f.Image->Cntrls(3)->isHidden());
    QVERIFY(!f.Image->Cntrls(2)->isHidden());
    QCOMPARE(f.Image->Cntrls(2)->geometry(), QRect(5, 38, 240, 120));
    f.close();
}

void FormTest::splashStandsAloneBeforeTheLogin() {
    TempDir dir;
    TForm1::ShowSplash = true;
    QElapsedTimer clock;
    clock.start();
    {
        TestForm f(dir.path(), {});
        TForm1::ShowSplash = false;
        // The window (and a login) comes after a pause, the splash still up.
        QVERIFY(clock.elapsed() >= 1450);
        QPointer<QWidget> splash;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "start") splash = w;
        QVERIFY(splash && splash->isVisible());
        delete splash;
        f.ConfirmClose = false;
    }
}

QTEST_MAIN(FormTest)
#include "form_test.moc"
