// The main window under Qt's offscreen platform.
#include "focus_keys.h"
#include "when_modal.h"
#include "hostile_pictures.h"
#include "metafile_writer.h"
#include "hint_form.h"
#include "ExtArr.h"
#include "StdArr.h"
#include "FolderTree.h"
#include "choice.h"
#include "sjis.h"
#include "ini_text.h"
#include "kankyo.h"
#include "main.h"
#include "composition.h"
#include "scaled_display.h"
#include "test_form.h"
#include "TestMode.h"
#include "about.h"
#include "InputID.h"
#include "japanese.h"
#include "qtext.h"
#include "shown_texts.h"
#include "tempdir.h"
#include "textfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QComboBox>
#include <QToolButton>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QMessageBox>
#include <QtTest>
#include <filesystem>
#include <QElapsedTimer>
#include <QFileIconProvider>

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


// Gives text to the focused widget as an input method commits it.
void Compose(const QString& text) {
    QInputMethodEvent ime;
    ime.setCommitString(text);
    QCoreApplication::sendEvent(QApplication::focusWidget(), &ime);
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
    void enteredLookFollowsTheFocus();
    void everyOpeningLeavesTheBoxOpen();
    void twiceHeldCodesAndForeignCharacters();
    void hintDialogClosedByEnter();
    void closingQuestionsAndResultsFile();
    void refusedFileLeavesNothingOfTheOneBefore();
    void droppedFileOpens();
    void missingScoreFolderIsReplacedForThisRunOnly();
    void programLinesRunProgramsAndOpenDocuments();
    void settingsDialogFolders();
    void builtInSoundsAndProblemFolderSounds();
    void mediaLinesButtonsAndVideoPanel();
    void folderChooserReportsTheSelectedFolder();
    void folderChooserRefusesAFolderThatIsGone();
    void folderChooserRefusesANameTheSettingsCannotHold();
    void modeDialogSetsChosenMode();
    void splashStandsInTheMiddleOfTheScreen();
    void picturesFoundLikeMediaFiles();
    void hostilePicturesReportedAndTheStepGoesOn();
    void scaledPicturesStayWithinTheBudget();
    void splashStandsAloneBeforeTheLogin();
    void everyBoxAndDialogReadsJapanese();
    void splashLooksLikeTheVersionBoxAndTakesNoInput();
    void typedMissingFolderIsRefused();
    void compositionIsJudgedWhole();

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
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg, 20000));
    QVERIFY(TabTo(dlg.ComboBox1));
    dlg.ComboBox1->clearEditText();
    QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(dir / "Missing/"));
    dlg.CheckBox1->setChecked(true);
    EnterInNextModal();
    dlg.BitBtn1Click();
    QVERIFY(dlg.Refused());
    QCOMPARE(applied, 1);  // full screen takes effect even on a refused OK
    QTRY_COMPARE(QApplication::focusWidget(), dlg.ComboBox1);
    dlg.ComboBox1->clearEditText();
    QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(dir / "Problems/"));
    dlg.BitBtn1Click();
    QVERIFY(!dlg.Refused());
    QCOMPARE(s.ProblemFolder, dir / "Problems/");  // the case is kept
    QCOMPARE(s.FolderHistory[4], dir / "Problems/");
    QCOMPARE(s.FolderHistory[0], std::string("/a/"));

    // Enter in the folder box presses OK and adds nothing to the list by itself.
    TfKankyo again(nullptr, s, nullptr, nullptr);
    again.show();
    QVERIFY(QTest::qWaitForWindowActive(&again, 20000));
    const int before = again.ComboBox1->count();
    QVERIFY(TabTo(again.ComboBox1));
    again.ComboBox1->clearEditText();
    QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(dir / "Missing/"));
    EnterInNextModal();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(again.Refused());
    QCOMPARE(again.ComboBox1->count(), before);
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
    QCOMPARE(f.DrillScreen()->findChildren<QWidget*>("AviPrn").size(), 1);
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
    QCOMPARE(dlg.FolderTreeViewEx1->indentation(), 19);
}

void FormTest::folderChooserRefusesAFolderThatIsGone() {
    TempDir dir;
    textfile::CreateDir(dir / "Problems");
    textfile::CreateDir(dir / "Problems/victim");
    TfChoice dlg(nullptr, dir / "Problems/victim");
    QCOMPARE(TfChoice::ChosenFolder, dir / "Problems/victim/");
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg, 20000));
    std::filesystem::remove(sjis::ToUtf8(dir / "Problems/victim"));
    // The node still shows the folder, but it has no path any more.
    QCOMPARE(dlg.FolderTreeViewEx1->GetFolderName(), std::string());
    QStringList seen;
    auto answerBox = [&seen] {
        QTimer::singleShot(0, [&seen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            seen << box->windowTitle() + "|" + box->text() + "|" + box->buttons().value(0)->text();
            box->buttons().value(0)->click();
        });
    };
    answerBox();
    dlg.BitBtn1->click();
    QCOMPARE(seen, QStringList{QString::fromUtf8("フォルダー選択|選択されたフォルダーは\n\n存在しません|OK")});
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    // A folder chosen while it was there and gone since is refused too.
    TfChoice::ChosenFolder = dir / "Problems/victim/";
    dlg.FolderTreeViewEx1->clearSelection();
    seen.clear();
    answerBox();
    dlg.BitBtn1->click();
    QCOMPARE(seen, QStringList{QString::fromUtf8("フォルダー選択|選択されたフォルダーは\n\n存在しません|OK")});
    QVERIFY(dlg.isVisible());
    // Nothing chosen at all.
    TfChoice::ChosenFolder.clear();
    seen.clear();
    answerBox();
    dlg.BitBtn1->click();
    QCOMPARE(seen, QStringList{QString::fromUtf8("フォルダー選択|フォルダーを選択してください。|OK")});
    // A folder that is there closes the dialog.
    QVERIFY(dlg.FolderTreeViewEx1->SelectFolder(dir / "Problems"));
    dlg.BitBtn1->click();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(TfChoice::ChosenFolder, dir / "Problems/");
}

// A folder whose name holds CR LF is there and may be chosen in the tree,
// but the settings files cannot hold it: refused, the dialog stays open.
void FormTest::folderChooserRefusesANameTheSettingsCannotHold() {
    TempDir dir;
    const std::string bad = dir / "Scores\r\n[Auto]\r\nx";
    textfile::CreateDir(bad);
    TfChoice dlg(nullptr, bad);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg, 20000));
    QStringList seen;
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen << box->text();
        box->buttons().value(0)->click();
    });
    TfChoice::ChosenFolder = bad + "/";
    dlg.BitBtn1->click();
    QTRY_COMPARE(seen.size(), 1);
    QCOMPARE(seen[0], Q(UnstorableFolderMessage()).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
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
    QVERIFY(QTest::qWaitForWindowExposed(splash, 20000));
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
    const QString cut = StatusTextCut(f);
    QVERIFY2(cut.isEmpty(), qPrintable(cut));
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
    TestForm f(dir.path(), {Q(WriteProblem(dir, "a\n/\n"))});
    f.show();
    const QRect screen = f.screen()->geometry();
    QCOMPARE(f.Display->Current().Width, 640);  // full screen by default
    QCOMPARE(f.geometry(), screen);
    // Full screen by the window's state, not by a frameless window.
    QVERIFY(f.windowState() & Qt::WindowFullScreen);
    QVERIFY(!(f.windowFlags() & Qt::FramelessWindowHint));
    // Menu and client are laid out as on a 640 x 480 display and scaled to
    // fill the screen (fullscreen_tests check each screen size).
    QCOMPARE(f.DrillScreen()->size(), QSize(640, 480));
    QTRY_COMPARE(f.DrillRect().size(), QSize(640, 480) * std::min(screen.width() / 640.0, screen.height() / 480.0));

    f.Engine().Settings.FullScreen = false;
    f.ApplyScreenMode();
    QCOMPARE(f.Display->Current().Width, screen.width());  // the remembered mode, at once
    QVERIFY(!(f.windowState() & Qt::WindowFullScreen));
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
    QTRY_VERIFY(f.Edit1->hasFocus());  // the question gives the answer box the keys
    QTest::keyClicks(QApplication::focusWidget(), "dog");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.Button1->text(), QL("もう一回"));
    QVERIFY(f.ImageBatu->isVisible());
    QVERIFY(!f.Edit1->isEnabled());
    QTest::keyClick(&f, Qt::Key_Return);  // a new try
    QCOMPARE(f.Button1->text(), QL("解答"));
    QVERIFY(f.Edit1->isEnabled());
    QTRY_VERIFY(f.Edit1->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), "cat");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
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
    QVERIFY(TabTo(f.AnsBtn->Cntrls(1)));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // the focused answer button is pressed
    QCOMPARE(f.Button1->text(), QL("次に進む"));
    QVERIFY(!f.AnsBtn->Cntrls(0)->isEnabled());
    QCOMPARE(f.Engine().CorrectCount, 1);
    f.close();
}

namespace {

// The entered look of an answer button: bold yellow.
bool LooksEntered(const QPushButton* b) {
    return b->font().bold() || b->styleSheet().contains(QStringLiteral("FFFF00"), Qt::CaseInsensitive);
}

// The answer buttons whose look does not match the focus: entered without
// the focus, or focused without the entered look.
QString StaleLooks(TForm1& f) {
    QString out;
    for (int i = 0; i < f.AnsBtn->NumOfArry(); ++i) {
        QPushButton* b = f.AnsBtn->Cntrls(i);
        const bool focused = b->isVisible() && b->hasFocus();
        if (LooksEntered(b) != focused) out += QStringLiteral("%1(%2) ").arg(i).arg(b->text());
    }
    return out;
}

QToolButton* ToolButton(TForm1& f, const char* hint) {
    for (QToolButton* b : f.DrillScreen()->findChildren<QToolButton*>())
        if (b->toolTip() == QL(hint)) return b;
    return nullptr;
}

}  // namespace

// The entered look (bold yellow) of an answer button goes with the focus:
// by mouse and keys, through a message sub-block's dialog and into the next
// question and a review, no button keeps it once the focus has left.
void FormTest::enteredLookFollowsTheFocus() {
    TempDir dir;
    std::string p = WriteProblem(dir,
                                 "btns 2 a;b;c\nどれ？\n/\n"
                                 "btns 3 x;y;z\n@mess\nよくできました\n@/\n次\n/fb\n"
                                 "btns 1 p;q\n最後\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f, 20000));
    QTRY_VERIFY_WITH_TIMEOUT(f.AnsBtn->Cntrls(2)->isVisible(), 20000);
    QCOMPARE(StaleLooks(f), QString());
    // A wrong button by mouse, Enter for a new try, then the right one.
    QTest::mouseClick(f.AnsBtn->Cntrls(0), Qt::LeftButton);
    QCOMPARE(f.Button1->text(), QL("もう一回"));
    QCOMPARE(StaleLooks(f), QString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.Button1->text(), QL("解答"));
    QCOMPARE(StaleLooks(f), QString());
    QTest::mouseClick(f.AnsBtn->Cntrls(1), Qt::LeftButton);
    QCOMPARE(f.Button1->text(), QL("次に進む"));
    QCOMPARE(StaleLooks(f), QString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(f.TextLine->Cntrls(0)->text(), QL("【2】"), 20000);
    QCOMPARE(StaleLooks(f), QString());
    for (int i = 0; i < 3; ++i) QVERIFY(!LooksEntered(f.AnsBtn->Cntrls(i)));

    // Keys: Tab walks the buttons, the look walks with it.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_VERIFY_WITH_TIMEOUT(f.AnsBtn->Cntrls(0)->hasFocus() || f.AnsBtn->Cntrls(1)->hasFocus() || f.AnsBtn->Cntrls(2)->hasFocus(), 20000);
    QCOMPARE(StaleLooks(f), QString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(StaleLooks(f), QString());
    // A wrong button, a new try, then the right button: its message
    // sub-block's dialog opens over the window.
    QPushButton* wrong = nullptr;
    QPushButton* right = nullptr;
    for (int i = 0; i < 3; ++i) {
        QPushButton* b = f.AnsBtn->Cntrls(i);
        if (b->text() == QStringLiteral("z")) right = b;
        else if (!wrong) wrong = b;
    }
    QVERIFY(right && wrong);
    QTest::mouseClick(wrong, Qt::LeftButton);
    QCOMPARE(f.Button1->text(), QL("もう一回"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    // Enter closes each dialog that opens: the message, then the feedback
    // point's, which sends the learner back over the wrong first try.
    QTimer closer;
    int closed = 0;
    connect(&closer, &QTimer::timeout, [&closed] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            QTest::keyClick(w, Qt::Key_Return);
            ++closed;
        }
    });
    closer.start(50);
    QTest::mouseClick(right, Qt::LeftButton);  // returns once both dialogs closed
    closer.stop();
    QVERIFY(closed >= 2);
    QCOMPARE(f.Engine().CorrectCount, 0);
    QCOMPARE(f.Engine().Reviewing, 1);
    QCOMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));  // the review
    QTRY_COMPARE_WITH_TIMEOUT(StaleLooks(f), QString(), 20000);
    // Keys only: Tab to the right button, Enter presses it, Enter moves on.
    QVERIFY(QTest::qWaitForWindowActive(&f, 20000));
    QVERIFY(TabTo(f.AnsBtn->Cntrls(1), 6));
    QVERIFY(LooksEntered(f.AnsBtn->Cntrls(1)));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.Button1->text(), QL("次に進む"));
    QCOMPARE(StaleLooks(f), QString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(f.TextLine->Cntrls(0)->text(), QL("【2】"), 20000);
    QCOMPARE(StaleLooks(f), QString());
    for (int i = 0; i < 3; ++i) QVERIFY(!LooksEntered(f.AnsBtn->Cntrls(i)));
    f.close();
}

// Opening a problem after an answer was judged, and restart then start,
// leave the answer box open for the keys as a refused opening does.
void FormTest::everyOpeningLeavesTheBoxOpen() {
    TempDir dir;
    std::string p = WriteProblem(dir, "ねこ\n質問\n/\nいぬ\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f, 20000));
    QTRY_COMPARE_WITH_TIMEOUT(f.TextLine->Cntrls(0)->text(), QL("【1】"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(f.Edit1->hasFocus(), 20000);
    QTest::keyClicks(QApplication::focusWidget(), "x");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.Button1->text(), QL("もう一回"));
    QVERIFY(!f.Edit1->isEnabled());
    f.OpenDroppedFile(Q(p));  // opened again while the box is closed
    QCOMPARE(f.Button1->text(), QL("解答"));
    QVERIFY(f.Edit1->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(f.Edit1->hasFocus(), 20000);
    Compose(QL("ねこ"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // judged at once
    QCOMPARE(f.Button1->text(), QL("次に進む"));
    QCOMPARE(f.Engine().CorrectCount, 1);
    QVERIFY(!f.Edit1->isEnabled());
    // Restart, then start, from the tool bar.
    f.Answer = true;
    ToolButton(f, "最初から")->click();
    ToolButton(f, "問題 開始　& 次へ")->click();
    QCOMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    QCOMPARE(f.Button1->text(), QL("解答"));
    QVERIFY(f.Edit1->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(f.Edit1->hasFocus(), 20000);
    Compose(QL("ねこ"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.Engine().CorrectCount, 1);
    QCOMPARE(f.Button1->text(), QL("次に進む"));
    f.close();
}

// Answers whose characters code page 932 holds under two codes, and an
// answer with a character that has no Shift-JIS form, as a learner gives them.
void FormTest::twiceHeldCodesAndForeignCharacters() {
    TempDir dir;
    // 87 90 is the NEC row 13 "≒" (row 2 has it as 81 E0); EE E0 is the
    // NEC-selected "髙" (the IBM extension has it as FB FC).
    textfile::WriteFileAtomic(dir / "p.qzb", "btns 1 \x87\x90;x\r\n/\r\n\xEE\xE0\r\n/\r\ncat\r\n/\r\n");
    TestForm f(dir.path(), {Q(dir / "p.qzb")});
    f.ConfirmClose = false;
    f.show();
    QTRY_VERIFY(f.AnsBtn->Cntrls(1)->isVisible());
    QCOMPARE(f.AnsBtn->Cntrls(0)->text(), QL("≒"));
    QTest::mouseClick(f.AnsBtn->Cntrls(0), Qt::LeftButton);
    QCOMPARE(f.Button1->text(), QL("次に進む"));
    QVERIFY(f.ImageMaru->isVisible());
    QCOMPARE(f.Engine().CorrectCount, 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【2】"));
    QVERIFY(f.Edit1->hasFocus());  // the keys sent to the focus reach it
    Compose(QL("髙"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.Engine().CorrectCount, 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【3】"));
    QTest::keyClicks(QApplication::focusWidget(), "cat");
    Compose(QL("ö"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.Messages.last(), QL("解答に使えない文字が入っています。\n\nその文字を直してから、もう一度「解答」を押してください。"));
    QCOMPARE(f.Edit1->text(), QL("catö"));
    QVERIFY(f.Edit1->isEnabled());
    QTRY_VERIFY(f.Edit1->hasFocus());  // back from the message box, the keys sent to the focus reach it
    QVERIFY(!f.ImageBatu->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.Engine().CorrectCount, 3);
    QCOMPARE(f.Engine().MistakeCount, 0);
    f.close();
}

void FormTest::hintDialogClosedByEnter() {
    TempDir dir;
    std::string p = WriteProblem(dir, "a\n@hint\nヒントです\n@/\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    EnterInNextModal();
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

void FormTest::refusedFileLeavesNothingOfTheOneBefore() {
    TempDir dir;
    std::string p = WriteProblem(dir, "mode test\na\n/\nb\n/\n");
    textfile::WriteFileAtomic(dir / "bad.qzb", sjis::L("a\r\n@hint\r\nh\r\n/\r\n"));
    TestForm f(dir.path(), {Q(p)});
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    QCOMPARE(f.StatusPanels[1]->text(), QL("テスト"));
    const std::string dat = dir / ("Your Score/" + f.Engine().ComputerName + ".dat");
    QVERIFY(textfile::FileExists(dat));
    f.OpenDroppedFile(Q(dir / "bad.qzb"));
    QVERIFY(f.Messages.contains(QL("サブブロック終了の[@/]が見つかりません ！")));
    QCOMPARE(f.StatusPanels[0]->text().trimmed(), QL("【問題ファイル】"));
    QCOMPARE(f.StatusPanels[1]->text(), QString());
    QCOMPARE(f.StatusPanels[3]->text(), QString());
    QCOMPARE(f.TextLine->Cntrls(0)->text(), QString());
    QVERIFY(!textfile::FileExists(dat));
    f.Answer = true;
    QVERIFY(f.close());
    QCOMPARE(f.Messages.last(), QL("【 Ruzozu 】 を終了します。"));
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
    WhenModal<QWidget>([](QWidget* w) { w->close(); });
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
    // A document with the execute bit (as on a share or a vfat stick).
    textfile::WriteFileAtomic(dir / "notes.txt", "touch ran-notes\n");
    std::filesystem::permissions(dir / "notes.txt", std::filesystem::perms::owner_all);
    textfile::WriteFileAtomic(dir / "broken.doc", "x");
    // The desktop's opener, as the program calls it: this one notes what
    // it opens and fails on the ".doc" file, as xdg-open does for a
    // document no program takes.
    textfile::CreateDir(dir / "bin");
    textfile::WriteFileAtomic(dir / "bin/xdg-open", "#!/bin/sh\ncase \"$1\" in *.doc) exit 3;; esac\n"
                                                   "printf '%s\\n' \"$1\" >> \"" + dir / "opened.txt" + "\"\n");
    std::filesystem::permissions(dir / "bin/xdg-open", std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(dir / "bin") + ":" + path);
    std::string p = WriteProblem(
        dir, "a\nexe run.sh one\nexe NOTES.txt\nexe broken.doc\nexe touch ran-path\nexe no-such-program-here\n/\nb\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    // A program of the problem folder, found without regard to case, runs
    // there with its parameters; so does one from the search path.
    QTRY_VERIFY(textfile::FileExists(dir / "ran-local-one"));
    QTRY_VERIFY(textfile::FileExists(dir / "ran-path"));
    // A document opens through the desktop, whatever its mode bits.
    QTRY_COMPARE(QString::fromStdString(Slurp(dir / "opened.txt")), QString::fromStdString(dir / "notes.txt\n"));
    QVERIFY(!textfile::FileExists(dir / "ran-notes"));
    // A document the opener could not open, and a program that cannot be
    // started, are named.
    QTRY_VERIFY(f.Messages.contains(QL("「broken.doc」を起動できませんでした。")));
    QTRY_VERIFY(f.Messages.contains(QL("「no-such-program-here」を起動できませんでした。")));
    QVERIFY(!f.Messages.contains(QL("「NOTES.txt」を起動できませんでした。")));
    qputenv("PATH", path);
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
    // Refused from their headers, they do not hold the step up (what that
    // costs is measured in bench/picture_bench).
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    // Each hostile picture is reported, and the step goes on to the metafile.
    QCOMPARE(f.Messages, QStringList({QL("この画像は、表示できません。"), QL("この画像は、表示できません。")}));
    QVERIFY(f.Image->Cntrls(4)->isHidden());
    QVERIFY(f.Image->Cntrls(3)->isHidden());
    QVERIFY(!f.Image->Cntrls(2)->isHidden());
    QCOMPARE(f.Image->Cntrls(2)->geometry(), QRect(5, 38, 240, 120));
    f.close();
}

void FormTest::scaledPicturesStayWithinTheBudget() {
    // A width that would make the 8 x 6 picture 12000 x 9000 pixels is
    // refused with the picture message; one within the budget is shown at
    // that width, the height in proportion.
    TempDir dir;
    QImage img(8, 6, QImage::Format_RGB32);
    img.fill(Qt::red);
    QVERIFY(img.save(QString::fromStdString(dir / "pic.bmp"), "BMP"));
    std::string p = WriteProblem(dir, "a\nbmp pic 1 2 12000\nbmp pic 3 4 16\n/\nb\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QTRY_COMPARE(f.TextLine->Cntrls(0)->text(), QL("【1】"));
    QCOMPARE(f.Messages, QStringList({QL("この画像は、表示できません。")}));
    QVERIFY(f.Image->Cntrls(4)->isHidden());
    QVERIFY(f.Image->Cntrls(4)->pixmap().isNull());
    QVERIFY(!f.Image->Cntrls(3)->isHidden());
    QCOMPARE(f.Image->Cntrls(3)->geometry(), QRect(3, 36, 16, 12));
    QCOMPARE(f.Image->Cntrls(3)->pixmap().toImage().pixelColor(15, 11), QColor(Qt::red));
    f.close();

    // A dialog scaled for full screen: a small picture grows by the
    // factor, a big one only as far as the budget allows (its aspect
    // kept), and each gets its own size back.
    QWidget owner;
    TDialogScaler scaler(&owner);
    scaler.SetScale(2.25, {});
    QDialog dialog;
    auto* small = new QLabel(&dialog);
    auto* big = new QLabel(&dialog);
    QPixmap smallPicture(100, 40), bigPicture(3000, 2000);
    smallPicture.fill(Qt::blue);
    bigPicture.fill(Qt::green);
    small->setPixmap(smallPicture);
    big->setPixmap(bigPicture);
    scaler.ScaleDialog(&dialog);
    QCOMPARE(small->pixmap().size(), QSize(225, 90));
    const QSize grown = big->pixmap().size();
    QVERIFY2(grown.width() > 3000 && int64_t(grown.width()) * grown.height() <= int64_t(16) << 20,
             qPrintable(QStringLiteral("%1x%2").arg(grown.width()).arg(grown.height())));
    QVERIFY(std::abs(grown.width() * 2 - grown.height() * 3) <= 3);
    scaler.RestoreDialog(&dialog);
    QCOMPARE(small->pixmap().size(), QSize(100, 40));
    QCOMPARE(big->pixmap().size(), QSize(3000, 2000));
    scaler.SetScale(1.0, {});
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

void FormTest::everyBoxAndDialogReadsJapanese() {
    QVERIFY(LoadQtJapanese());  // as the program does at start
    TempDir dir;
    textfile::CreateDir(dir / "Problems");
    // The file dialog's list names a folder's type in Japanese too.
    QCOMPARE(QFileIconProvider().type(QFileInfo(QString::fromStdString(dir / "Problems"))), QL("フォルダ"));
    QStringList english, seen;
    auto read = [&](QWidget* w) {
        seen << w->metaObject()->className();
        for (const QString& e : EnglishWords(ShownTexts(w), {"Ver", "User", "ID", "PassWord", "HTML"}))
            english << QString(w->metaObject()->className()) + ": " + e;
    };
    ModalCatcher catcher(read);
    {
        TForm1 f(dir.path(), {});  // the real boxes, not recorded ones
        f.ConfirmClose = false;
        f.Engine().Settings.ProblemFolder = dir / "Problems/";
        f.WarnOkAbort(sjis::L("成績保存用フォルダがありません。"));
        f.AskYesNo(sjis::L("別の問題に変更しますか？"));
        f.ShowMessage(sjis::L("テスト中です！！"));
        f.ShowInformation(sjis::L("テスト中です！！"));
        f.Open1Click();
        f.K3Click();
        f.OptionBoxClick();
        f.About1Click();
        f.ShowModeDialog();
        TOKBottomContent hint;
        hint.Caption = sjis::L("ヒント");
        hint.Labels[0] = sjis::L("ヒントです");
        f.ShowOKBottomDlg(hint);
    }
    std::string id, name;
    TfInputID login(nullptr, dir.path(), id, name);
    login.exec();
    TfPassChange pass(nullptr, login.Login);
    pass.exec();
    TfChoice choice(nullptr, dir / "Problems");
    choice.exec();
    // The refusal of a typed folder that does not exist.
    TDrillSettings s;
    TfKankyo kankyo(nullptr, s, nullptr, nullptr);
    kankyo.show();
    QVERIFY(QTest::qWaitForWindowActive(&kankyo, 20000));
    QVERIFY(TabTo(kankyo.ComboBox1));
    QTest::keyClicks(QApplication::focusWidget(), "x");
    kankyo.BitBtn1Click();
    // The splash is no dialog: read as it stands.
    Tstart splash;
    read(&splash);
    QVERIFY2(english.isEmpty(), qPrintable(english.join("\n")));
    QCOMPARE(seen, QStringList({"QMessageBox", "QMessageBox", "QMessageBox", "QMessageBox", "QFileDialog",
                                "QColorDialog", "TfKankyo", "TAboutBox", "TfTestMode", "TOKBottomDlg", "TfInputID",
                                "TfPassChange", "TfChoice", "QMessageBox", "Tstart"}));
}

void FormTest::splashLooksLikeTheVersionBoxAndTakesNoInput() {
    QPointer<Tstart> splash = new Tstart;
    TAboutBox about(nullptr);
    splash->show();
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(splash, 20000));
    QVERIFY(QTest::qWaitForWindowExposed(&about, 20000));
    // The same artwork and label, drawn alike: in colour, not greyed out.
    const QImage a = splash->grab().toImage();
    const QImage b = about.grab().toImage();
    for (const QPoint p : {QPoint(8, 8), QPoint(60, 85), QPoint(280, 90)}) {
        const QColor ca = a.pixelColor(p), cb = b.pixelColor(p);
        QVERIFY2(ca.blue() > ca.red() + 60, qPrintable(ca.name()));  // the artwork's blue
        QVERIFY2(std::abs(ca.blue() - cb.blue()) < 12 && std::abs(ca.red() - cb.red()) < 12, qPrintable(ca.name() + cb.name()));
    }
    QCOMPARE(splash->Label1->grab().toImage(), about.Label1->grab().toImage());
    QVERIFY(splash->isEnabled());
    // Clicks, keys and a close from the window system do nothing.
    QTest::mouseClick(splash->windowHandle(), Qt::LeftButton, {}, QPoint(150, 50));
    QTest::keyClick(splash->windowHandle(), Qt::Key_Escape);
    QVERIFY(splash && splash->isVisible());
    QVERIFY(QApplication::focusWidget() == nullptr || QApplication::focusWidget()->window() != splash);
    // Its own timer closes and frees it (after two seconds; twenty bound a
    // hang on a loaded machine).
    QTRY_VERIFY_WITH_TIMEOUT(!splash, 20000);
}

void FormTest::typedMissingFolderIsRefused() {
    // Keys and input-method text go where a person's keyboard goes: to the
    // focused widget.
    TempDir dir;
    textfile::CreateDir(dir / "Problems");
    TDrillSettings s;
    s.ProblemFolder = dir / "Problems/";
    TfKankyo dlg(nullptr, s, nullptr, nullptr);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg, 20000));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), dlg.ComboBox1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QTest::keyClicks(QApplication::focusWidget(), "x/");
    QCOMPARE(dlg.ComboBox1->currentText(), QString::fromStdString(dir / "Problems/x/"));
    EnterInNextModal();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // OK is the default button
    QVERIFY(dlg.Refused());
    QVERIFY(dlg.isVisible());
    QCOMPARE(s.ProblemFolder, dir / "Problems/x/");  // stored in memory, as the rules say, but refused
    // An input method's text counts as typed too.
    TDrillSettings s2;
    s2.ProblemFolder = dir / "Problems/";
    TfKankyo composed(nullptr, s2, nullptr, nullptr);
    composed.show();
    QVERIFY(QTest::qWaitForWindowActive(&composed, 20000));
    QVERIFY(TabTo(composed.ComboBox1));
    QInputMethodEvent ime;
    ime.setCommitString(QL("無い/"));
    QCoreApplication::sendEvent(QApplication::focusWidget(), &ime);
    EnterInNextModal();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(composed.Refused());
    // Choosing from the list is no typing, nor is passing through the box
    // with Tab: accepted without a test.
    TDrillSettings s3;
    s3.FolderHistory = {"/no/such/", "", "", "", ""};
    TfKankyo chosen(nullptr, s3, nullptr, nullptr);
    chosen.show();
    QVERIFY(QTest::qWaitForWindowActive(&chosen, 20000));
    chosen.ComboBox1->setCurrentIndex(0);
    QVERIFY(TabTo(chosen.ComboBox1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), chosen.BitBtn1);
    EnterInNextModal(&chosen);  // closes a refusal, should one come
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!chosen.Refused());
    QCOMPARE(s3.ProblemFolder, std::string("/no/such/"));
}

#include "qtry_bounds.h"

namespace {

// What an input method shows while the learner composes, sent where the
// window system sends it: to the focus object.
void ShowComposition(const QString& preedit) {
    QInputMethodEvent ime(preedit, {});
    QCoreApplication::sendEvent(QGuiApplication::focusObject(), &ime);
}

// A click of the mouse on a control of the drill, where the view shows it.
void ClickInView(TForm1& f, QWidget* control) {
    TScaledView* view = f.ScaledView();
    const QPoint inDrill = control->mapTo(control->window(), control->rect().center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(QPointF(inDrill)));
}

bool TakesComposition() {
    QInputMethodQueryEvent q(Qt::ImEnabled);
    QCoreApplication::sendEvent(QGuiApplication::focusObject(), &q);
    return q.value(Qt::ImEnabled).toBool();
}

}  // namespace

// A composition not yet confirmed belongs to the answer: a click on 解答
// and Enter take it whole (here no input method answers the request to
// confirm it, so the text is taken as shown).  While a menu is open the
// window takes no composition.
void FormTest::compositionIsJudgedWhole() {
    TempDir dir;
    std::string p = WriteProblem(dir, "~題\n見出し\n/\nさくら\n一\n/\nねこ\n二\n/\nz\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QVERIFY(TComposition::Instance());
    TComposition::Instance()->AnswerWait = 100;
    QTRY_VERIFY(f.Edit1->hasFocus());
    QVERIFY(TakesComposition());
    Compose(QL("さく"));
    ShowComposition(QL("ら"));
    QCOMPARE(f.Edit1->text(), QL("さく"));
    QVERIFY(TComposition::Instance()->Composing());
    ClickInView(f, f.Button1);
    QCOMPARE(f.Button1->text(), QL("次に進む"));
    QCOMPARE(f.Engine().CorrectCount, 1);
    QVERIFY(!TComposition::Instance()->Composing());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(f.Edit1->hasFocus());
    ShowComposition(QL("ねこ"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.Button1->text(), QL("次に進む"));
    QCOMPARE(f.Engine().CorrectCount, 2);
    QCOMPARE(f.Engine().MistakeCount, 0);
    // A menu by its key: no composition while it is open, again after.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(f.Edit1->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::AltModifier);
    QTRY_VERIFY(TComposition::Instance()->PopupOpen());
    QVERIFY(!TakesComposition());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!TComposition::Instance()->PopupOpen());
    QTRY_VERIFY(f.Edit1->hasFocus());
    QVERIFY(TakesComposition());
    QCOMPARE(f.Edit1->text(), QString());
    f.close();
}

QTEST_MAIN(FormTest)
#include "form_test.moc"
