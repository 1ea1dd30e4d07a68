// Media named by a problem that could hold the drill: a FIFO named as a
// video, a sound and a MIDI, and a MIDI far over the size limit.  The drill
// runs on the real media backend (without sound, as on the test machines)
// and must go on taking answers.  Hangs are bounded generously: each wait
// is for a state that takes well under a second.
#include "main.h"
#include "test_form.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

class MediaLinesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TForm1::ShowSplash = false; }
    void fifosAndOversizedMidiLeaveTheDrillResponsive();
};

void MediaLinesTest::fifosAndOversizedMidiLeaveTheDrillResponsive() {
    TempDir dir;
    for (const char* fifo : {"clip.avi", "snd.wav", "pipe.mid", "maru.wav"})
        QCOMPARE(::mkfifo((dir / fifo).c_str(), 0600), 0);
    // A MIDI header and one track over the limit: note-ons, all on tick 0.
    std::string big("MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk", 18);
    const size_t notes = (kMaxMidiBytes + (1 << 20)) / 3;
    const uint32_t length = static_cast<uint32_t>(notes * 3 + 1 + 4);
    for (int shift : {24, 16, 8, 0}) big += static_cast<char>((length >> shift) & 0xFF);
    big += std::string("\0\x90\x3c\x40", 4);
    for (size_t i = 1; i < notes; ++i) big += std::string("\0\x3c\x40", 3);
    big += std::string("\0\xff\x2f\0", 4);
    QVERIFY(textfile::WriteFileAtomic(dir / "big.mid", big));
    QVERIFY(!IsPlainMediaFile(dir / "clip.avi"));

    const std::string p = WriteProblem(dir, "a\navi clip\nwav snd\nmid pipe\nmid big\n/\nb\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.Media = TMediaSystem::CreateReal(false);
    f.MediaPlayer2 = f.Media->NewPlayer("MediaPlayer2");
    f.MediaPlayer3 = f.Media->NewPlayer("MediaPlayer3");
    f.MediaPlayer4 = f.Media->NewPlayer("MediaPlayer4");
    f.show();
    // The question is up (its media lines passed over) and takes answers;
    // the FIFO named by the right-answer sound is not waited on either.
    QTRY_VERIFY_WITH_TIMEOUT(f.Edit1->isEnabled() && f.Edit1->hasFocus(), 20000);
    QVERIFY(!f.SpeedButton6->isVisible());  // no MIDI was opened
    QVERIFY(!f.SpeedButton8->isVisible());  // nor a video
    QTest::keyClicks(QApplication::focusWidget(), "a");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(f.Engine().CorrectCount, 1, 20000);
    f.close();
}

QTEST_MAIN(MediaLinesTest)
#include "media_lines_test.moc"
