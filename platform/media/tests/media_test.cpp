// The media players on real files of each kind, made here with sox and
// ffmpeg, through the real backend (which plays in real time even without
// a sound device) and through the quiet one.
#include "media.h"

#include <QElapsedTimer>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <QWidget>
#include <QtTest>

class MediaTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void quietBackendRecordsAndKeepsState();
    void realBackendPlaysEachKindToItsEnd_data();
    void realBackendPlaysEachKindToItsEnd();
    void midiStopsWhereItIsAndGoesOn();
    void videoIsShownInItsDisplay();
    void unplayableFilesFailWithoutHarm();
    void synchronousSoundsWaitForTheEnd();
    void withoutAnAudioDeviceOnlySoundsGoQuiet();
    void onlyPlainFilesOfBoundedSizeAreOpened();

private:
    std::string Path(const char* name) const { return (Dir.path() + "/" + name).toStdString(); }
    // The test video opened in a player of media shown in panel (310 x 232).
    std::unique_ptr<TMediaPlayer> OpenClip(TMediaSystem& media, QWidget& panel) const;
    bool Make(const QString& program, const QStringList& args);
    QTemporaryDir Dir;
    bool Tools = false;
};

bool MediaTest::Make(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void MediaTest::initTestCase() {
    QVERIFY(Dir.isValid());
    const QString d = Dir.path() + "/";
    // Half a second of MIDI: one note of 96 ticks at 120 beats a minute.
    const char midi[] = "MThd\0\0\0\x06\0\0\0\x01\0\x60"
                        "MTrk\0\0\0\x0c\0\x90\x3c\x40\x60\x80\x3c\x40\0\xff\x2f\0";
    QFile mid(d + "tune.mid");
    QVERIFY(mid.open(QIODevice::WriteOnly));
    mid.write(midi, sizeof midi - 1);
    mid.close();
    QFile junk(d + "junk.wav");
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("this is no sound at all\n");
    junk.close();

    Tools = !QStandardPaths::findExecutable("sox").isEmpty() && !QStandardPaths::findExecutable("ffmpeg").isEmpty();
    if (!Tools) return;
    const QStringList quiet{"-hide_banner", "-loglevel", "error", "-y"};
    QVERIFY(Make("sox", {"-n", "-r", "22050", "-c", "1", d + "tone.wav", "synth", "0.4", "sine", "440"}));
    // Far longer than any bound on a hang below, so that a sound played to
    // its end, or to a time limit, cannot pass for one that was cut or
    // not played.
    QVERIFY(Make("sox", {"-n", "-r", "22050", "-c", "1", d + "long.wav", "synth", "40", "sine", "440"}));
    QVERIFY(Make("ffmpeg", quiet + QStringList{"-f", "lavfi", "-i", "sine=d=0.5", d + "tone.mp3"}));
    QVERIFY(Make("ffmpeg", quiet + QStringList{"-f", "lavfi", "-i", "testsrc=d=0.6:s=160x120:r=10", "-c:v",
                                               "msvideo1", d + "clip.avi"}));
    QVERIFY(Make("ffmpeg", quiet + QStringList{"-f", "lavfi", "-i", "testsrc=d=0.6:s=160x120:r=25", "-c:v",
                                               "mpeg1video", "-f", "mpeg", d + "clip.mpg"}));
}

void MediaTest::quietBackendRecordsAndKeepsState() {
    auto media = TMediaSystem::CreateQuiet();
    QVERIFY(media->Quiet());
    auto p = media->NewPlayer("MediaPlayer3");
    p->FileName = Path("tune.mid");
    p->Open();
    QCOMPARE(p->State(), TMediaState::Stopped);
    p->Play();
    QCOMPARE(p->State(), TMediaState::Playing);
    p->Stop();
    p->Close();
    QCOMPARE(p->State(), TMediaState::Closed);
    p->FileName = Path("missing.mid");
    QVERIFY_THROWS_EXCEPTION(EMediaError, p->Open());
    QCOMPARE(p->State(), TMediaState::Closed);  // the open file was closed first
    p->FileName = Dir.path().toStdString();       // a folder is no file
    QVERIFY_THROWS_EXCEPTION(EMediaError, p->Open());

    media->PlaySync(Path("tone.wav"), 15000);
    const std::vector<std::string> expected{"MediaPlayer3 Open " + Path("tune.mid"), "MediaPlayer3 Play",
                                            "MediaPlayer3 Stop", "MediaPlayer3 Close",
                                            "MediaPlayer3 Open " + Path("missing.mid"),
                                            "MediaPlayer3 Open " + Dir.path().toStdString(),
                                            "sound " + Path("tone.wav")};
    QCOMPARE(media->Journal, expected);
}

void MediaTest::realBackendPlaysEachKindToItsEnd_data() {
    QTest::addColumn<QString>("file");
    for (const char* f : {"tone.wav", "tone.mp3", "tune.mid", "clip.avi", "clip.mpg"}) QTest::newRow(f) << f;
}

void MediaTest::realBackendPlaysEachKindToItsEnd() {
    QFETCH(QString, file);
    if (!Tools && file != "tune.mid") QSKIP("sox and ffmpeg are needed to make this file");
    auto media = TMediaSystem::CreateReal();
    auto p = media->NewPlayer("MediaPlayer2");
    p->FileName = Path(file.toUtf8().constData());
    p->Open();
    p->Play();
    QTRY_COMPARE_WITH_TIMEOUT(p->State(), TMediaState::Ended, 10000);
    // Played again from the start, it ends again.
    p->Rewind();
    p->Play();
    QTRY_COMPARE_WITH_TIMEOUT(p->State(), TMediaState::Playing, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(p->State(), TMediaState::Ended, 10000);
    p->Close();
    QCOMPARE(p->State(), TMediaState::Closed);
}

void MediaTest::midiStopsWhereItIsAndGoesOn() {
    auto media = TMediaSystem::CreateReal();
    auto p = media->NewPlayer("MediaPlayer3");
    p->FileName = Path("tune.mid");
    p->Open();
    // A second player of the same tune, left to play: once it has ended,
    // the stopped one has had every chance to end as well.
    auto witness = media->NewPlayer("MediaPlayer4");
    witness->FileName = Path("tune.mid");
    witness->Open();
    p->Play();
    witness->Play();
    QTRY_COMPARE_WITH_TIMEOUT(p->State(), TMediaState::Playing, 10000);
    p->Stop();
    QCOMPARE(p->State(), TMediaState::Stopped);
    QTRY_COMPARE_WITH_TIMEOUT(witness->State(), TMediaState::Ended, 10000);
    QCoreApplication::processEvents();
    QCOMPARE(p->State(), TMediaState::Stopped);  // stopped, it does not end
    witness->Close();
    p->Play();
    QTRY_COMPARE_WITH_TIMEOUT(p->State(), TMediaState::Ended, 10000);
    // A second file in the same player replaces the first.
    p->Open();
    QCOMPARE(p->State(), TMediaState::Stopped);
}

// How many columns of the panel, rendered, show a strongly coloured pixel a
// third of the way down (the test clip's colour bars; black before a frame).
int ColouredColumns(QWidget& panel) {
    QImage shown(panel.size(), QImage::Format_RGB32);
    shown.fill(Qt::black);
    panel.render(&shown);
    int coloured = 0;
    for (int x = 0; x < shown.width(); ++x) coloured += shown.pixelColor(x, shown.height() / 3).hsvSaturation() > 128;
    return coloured;
}

std::unique_ptr<TMediaPlayer> MediaTest::OpenClip(TMediaSystem& media, QWidget& panel) const {
    auto p = media.NewPlayer("MediaPlayer4");
    panel.resize(310, 232);
    panel.show();
    p->FileName = Path("clip.avi");
    p->SetDisplay(&panel);
    p->Open();
    return p;
}

void MediaTest::videoIsShownInItsDisplay() {
    if (!Tools) QSKIP("ffmpeg is needed to make the video");
    auto media = TMediaSystem::CreateReal();
    QWidget panel;
    auto p = OpenClip(*media, panel);
    p->SetDisplayRect(QRect(0, 0, 310, 232));
    QWidget* view = panel.findChild<QWidget*>();
    QVERIFY(view);
    QCOMPARE(view->geometry(), QRect(0, 0, 310, 232));
    p->Play();
    QTRY_COMPARE_WITH_TIMEOUT(p->State(), TMediaState::Ended, 10000);
    // The frames are painted by the view itself, so that rendering the
    // panel (as a scaled window does) shows them: the test picture's
    // coloured bars are there.
    const int coloured = ColouredColumns(panel);
    QVERIFY2(coloured > panel.width() / 4, qPrintable(QString::number(coloured)));
    p->Close();
    QVERIFY(!panel.findChild<QWidget*>());  // the view goes with the file
}

void MediaTest::unplayableFilesFailWithoutHarm() {
    // Only a plain file is taken for MIDI: a FIFO does not hold the open.
    QVERIFY(IsMidiFile(Path("tune.mid")));
    QCOMPARE(::mkfifo(Path("pipe.mid").c_str(), 0600), 0);
    QVERIFY(!IsMidiFile(Path("pipe.mid")));
    auto media = TMediaSystem::CreateReal();
    auto p = media->NewPlayer("MediaPlayer2");
    p->FileName = Path("junk.wav");
    p->Open();
    p->Play();
    QTRY_COMPARE_WITH_TIMEOUT(p->State(), TMediaState::Failed, 10000);
    p->Stop();
    p->Rewind();
    p->Close();
    p->FileName = Path("nothing.wav");
    QVERIFY_THROWS_EXCEPTION(EMediaError, p->Open());

    // An unplayable sound must not hold the window until its time limit:
    // each fails at once (well under a second), bounded here at 20 s
    // against a limit of 60 s each.
    QElapsedTimer t;
    t.start();
    media->PlaySync(Path("junk.wav"), 60000);
    media->PlaySync(Path("nothing.wav"), 60000);
    media->PlaySyncMemory(QByteArray("RIFF garbage"), "JUNK", 60000);
    QVERIFY2(t.elapsed() < 20000, "an unplayable sound held the window");
}

void MediaTest::synchronousSoundsWaitForTheEnd() {
    if (!Tools) QSKIP("sox is needed to make the sounds");
    auto media = TMediaSystem::CreateReal();
    // A sound that cannot play leaves the next one unharmed.
    media->PlaySyncMemory(QByteArray("RIFF garbage"), "JUNK", 15000);
    // Each waits for at least the sound (0.4 s); the upper bounds only
    // tell the end of the sound (or the cut) from a hang to the time limit
    // of 60 s: 20 s is far beyond either even on a loaded machine.
    QElapsedTimer t;
    t.start();
    media->PlaySync(Path("tone.wav"), 60000);
    const qint64 file = t.elapsed();
    QVERIFY2(file >= 300 && file < 20000, qPrintable(QString::number(file)));

    QFile wav(Dir.path() + "/tone.wav");
    QVERIFY(wav.open(QIODevice::ReadOnly));
    t.restart();
    media->PlaySyncMemory(wav.readAll(), "TONE", 60000);
    const qint64 memory = t.elapsed();
    QVERIFY2(memory >= 300 && memory < 20000, qPrintable(QString::number(memory)));

    // The time limit ends a sound that goes on too long (40 s).
    t.restart();
    media->PlaySync(Path("long.wav"), 500);
    const qint64 cut = t.elapsed();
    QVERIFY2(cut >= 450 && cut < 20000, qPrintable(QString::number(cut)));
}

void MediaTest::withoutAnAudioDeviceOnlySoundsGoQuiet() {
    // The backend the program takes: the real one also without a device.
    if (QMediaDevices::audioOutputs().isEmpty()) {
        auto chosen = TMediaSystem::CreateDefault();
        QVERIFY(!chosen->Quiet());
        QVERIFY(chosen->Silent());
    }
    qputenv("RUZOZU_QUIET_MEDIA", "1");
    QVERIFY(TMediaSystem::CreateDefault()->Quiet());  // still all quiet for the tests that ask
    qunsetenv("RUZOZU_QUIET_MEDIA");

    auto media = TMediaSystem::CreateReal(false);
    QVERIFY(!media->Quiet());
    QVERIFY(media->Silent());
    // A video plays, without sound, and its frames reach the display.
    if (Tools) {
        QWidget panel;
        auto video = OpenClip(*media, panel);
        QVERIFY(panel.findChild<QWidget*>());
        QCOMPARE(ColouredColumns(panel), 0);
        video->Play();
        QTRY_COMPARE_WITH_TIMEOUT(video->State(), TMediaState::Ended, 10000);
        const int coloured = ColouredColumns(panel);
        QVERIFY2(coloured > panel.width() / 4, qPrintable(QString::number(coloured)));
        video->Close();
    }
    // MIDI plays in its silent mode, with its own timing.
    auto midi = media->NewPlayer("MediaPlayer3");
    midi->FileName = Path("tune.mid");
    midi->Open();
    QElapsedTimer t;
    t.start();
    midi->Play();
    QCOMPARE(midi->State(), TMediaState::Playing);
    QTRY_COMPARE_WITH_TIMEOUT(midi->State(), TMediaState::Ended, 10000);
    QVERIFY(t.elapsed() >= 300);
    // Sounds go quiet: a sound line keeps its state, a fixed sound returns at once.
    auto audio = media->NewPlayer("MediaPlayer2");
    audio->FileName = Path("junk.wav");
    audio->Open();
    audio->Play();
    QCOMPARE(audio->State(), TMediaState::Playing);
    audio->Stop();
    QCOMPARE(audio->State(), TMediaState::Stopped);
    audio->Close();
    QCOMPARE(audio->State(), TMediaState::Closed);
    audio->FileName = Path("missing.wav");
    QVERIFY_THROWS_EXCEPTION(EMediaError, audio->Open());
    // Played, the long sound would take 40 s (its limit is 60 s); silent,
    // it returns at once: 20 s bounds a hang only.
    t.restart();
    if (Tools) media->PlaySync(Path("long.wav"), 60000);
    media->PlaySyncMemory(QByteArray("RIFF garbage"), "JUNK", 60000);
    QVERIFY2(t.elapsed() < 20000, qPrintable(QString::number(t.elapsed())));
}

// A FIFO is never opened (its open or read waits for a writer for ever); a
// MIDI over the limit is refused; one under it with all its notes on one
// tick plays and closes without holding the caller (the synthesiser works
// on a thread of its own).  Each wait bounds a hang only.
void MediaTest::onlyPlainFilesOfBoundedSizeAreOpened() {
    for (const char* fifo : {"fifo.avi", "fifo.wav"}) QCOMPARE(::mkfifo(Path(fifo).c_str(), 0600), 0);
    QVERIFY(!IsPlainMediaFile(Path("fifo.avi")));
    QVERIFY(IsPlainMediaFile(Path("tune.mid")));
    QVERIFY(!IsPlainMediaFile(Dir.path().toStdString()));
    auto media = TMediaSystem::CreateReal(true);
    auto video = media->NewPlayer("MediaPlayer4");
    QWidget panel;
    video->SetDisplay(&panel);
    video->FileName = Path("fifo.avi");
    QVERIFY_THROWS_EXCEPTION(EMediaError, video->Open());
    auto audio = media->NewPlayer("MediaPlayer2");
    audio->FileName = Path("fifo.wav");
    QVERIFY_THROWS_EXCEPTION(EMediaError, audio->Open());
    media->PlaySync(Path("fifo.wav"), 15000);  // returns: nothing to play

    // Note-ons on tick 0, running status: n notes make 3 n bytes.
    auto chord = [](size_t notes) {
        std::string m("MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk", 18);
        const uint32_t length = static_cast<uint32_t>(notes * 3 + 5);
        for (int shift : {24, 16, 8, 0}) m += static_cast<char>((length >> shift) & 0xFF);
        m += std::string("\0\x90\x3c\x40", 4);
        for (size_t i = 1; i < notes; ++i) m += std::string("\0\x3c\x40", 3);
        return m + std::string("\0\xff\x2f\0", 4);
    };
    auto write = [&](const char* name, const std::string& bytes) {
        QFile f(Dir.path() + "/" + name);
        return f.open(QIODevice::WriteOnly) && f.write(bytes.data(), bytes.size()) == qint64(bytes.size());
    };
    QVERIFY(write("over.mid", chord(kMaxMidiBytes / 3 + 1)));
    QVERIFY(write("chord.mid", chord(kMaxMidiBytes / 3 - 16)));
    auto silent = TMediaSystem::CreateReal(false);
    auto midi = silent->NewPlayer("MediaPlayer3");
    midi->FileName = Path("over.mid");
    QVERIFY_THROWS_EXCEPTION(EMediaError, midi->Open());
    midi->FileName = Path("chord.mid");
    midi->Open();
    midi->Play();
    QCOMPARE(midi->State(), TMediaState::Playing);
    // The window's events go on while the synthesiser works the chord.
    bool ticked = false;
    QTimer::singleShot(50, [&] { ticked = true; });
    QTRY_VERIFY_WITH_TIMEOUT(ticked, 10000);
    midi->Stop();
    QCOMPARE(midi->State(), TMediaState::Stopped);
    midi->Close();
    QCOMPARE(midi->State(), TMediaState::Closed);
}

QTEST_MAIN(MediaTest)
#include "media_test.moc"
