// The real backend: Qt Multimedia for sampled sound and video, FluidSynth
// for MIDI.
#include "media.h"

#include "textfile.h"

#include <QAudioOutput>
#include <QBuffer>
#include <QEventLoop>
#include <QMediaPlayer>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QPainter>
#include <QVideoFrame>
#include <QVideoSink>
#include <QWidget>

#include <fluidsynth.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

const char* const kSoundFonts[] = {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"};

QUrl FileUrl(const std::string& sjisPath) {
    return QUrl::fromLocalFile(QString::fromStdString(textfile::OsPath(sjisPath)));
}

// Runs a player to the end of its sound, an error, or the time limit.
void RunToEnd(QMediaPlayer& player, int timeoutMs) {
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&player, &QMediaPlayer::mediaStatusChanged, &loop, [&](QMediaPlayer::MediaStatus s) {
        if (s == QMediaPlayer::EndOfMedia || s == QMediaPlayer::InvalidMedia) loop.quit();
    });
    QObject::connect(&player, &QMediaPlayer::errorOccurred, &loop, &QEventLoop::quit);
    limit.start(timeoutMs);
    player.play();
    // The learner's input waits, as it did while the sound call blocked.
    if (player.mediaStatus() != QMediaPlayer::InvalidMedia)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    player.stop();
}

void QuietFluidLog() {
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
        fluid_set_log_function(level, nullptr, nullptr);
}

// The synthesiser of one MIDI file.  Shared by the player and, in silent
// mode, by the thread that renders it: whichever lets go last frees it, so
// that a player closed while the thread is busy never waits for it.
struct TSynth {
    fluid_settings_t* Settings = nullptr;
    fluid_synth_t* Synth = nullptr;
    fluid_player_t* Player = nullptr;
    fluid_audio_driver_t* Driver = nullptr;
    ~TSynth() {
        if (Player) {
            fluid_player_stop(Player);
            delete_fluid_player(Player);
        }
        if (Driver) delete_fluid_audio_driver(Driver);
        if (Synth) delete_fluid_synth(Synth);
        if (Settings) delete_fluid_settings(Settings);
    }
};

// What the player asks of the rendering thread.
struct TRenderControl {
    std::atomic<bool> Quit{false};
    std::atomic<bool> Playing{false};
    std::atomic<unsigned> Started{0};  // counts plays: each restarts the clock
    std::atomic<bool> NotesOff{false};
};

// Silent mode: the synthesiser run in real time into nothing, so that the
// file still plays with its own timing.  Off the window's thread: the
// synthesiser parses the file and plays a tick's notes inside a render
// call, which for a file with many notes on one tick takes seconds.
void RenderSilently(std::shared_ptr<TSynth> synth, std::shared_ptr<TRenderControl> control) {
    double rate = 44100;
    fluid_settings_getnum(synth->Settings, "synth.sample-rate", &rate);
    unsigned started = control->Started.load();
    auto clock = std::chrono::steady_clock::now();
    int64_t rendered = 0;
    std::vector<float> buf(2 * 1024);
    while (!control->Quit.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (control->NotesOff.exchange(false)) fluid_synth_all_notes_off(synth->Synth, -1);
        if (!control->Playing.load()) continue;
        if (control->Started.load() != started) {
            started = control->Started.load();
            clock = std::chrono::steady_clock::now();
            rendered = 0;
        }
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - clock).count();
        const int64_t due = static_cast<int64_t>(elapsed * rate);
        while (rendered < due && control->Playing.load() && !control->Quit.load()) {
            const int n = static_cast<int>(std::min<int64_t>(1024, due - rendered));
            fluid_synth_write_float(synth->Synth, n, buf.data(), 0, 2, buf.data(), 1, 2);
            rendered += n;
        }
        if (fluid_player_get_status(synth->Player) != FLUID_PLAYER_PLAYING) control->Playing.store(false);
    }
}

// One MIDI file on a synthesiser, with a sound driver where one can be
// had, else in silent mode.  The file is read here (a plain file of
// bounded size) and handed to the synthesiser from memory.
class TMidiFile {
public:
    TMidiFile(const std::string& path, bool sound) : S(std::make_shared<TSynth>()) {
        std::string data;
        if (!textfile::ReadFileBytes(path, data, kMaxMidiBytes)) throw EMediaError("cannot open " + path);
        QuietFluidLog();
        S->Settings = new_fluid_settings();
        S->Synth = new_fluid_synth(S->Settings);
        bool font = false;
        for (const char* f : kSoundFonts)
            if (!font && fluid_synth_sfload(S->Synth, f, 1) != FLUID_FAILED) font = true;
        if (!font) throw EMediaError("no General MIDI sound font");
        S->Player = new_fluid_player(S->Synth);
        if (!S->Player || fluid_player_add_mem(S->Player, data.data(), data.size()) != FLUID_OK)
            throw EMediaError("cannot open " + path);
        for (const char* driver : {"pulseaudio", "alsa"}) {
            if (!sound) break;
            fluid_settings_setstr(S->Settings, "audio.driver", driver);
            if ((S->Driver = new_fluid_audio_driver(S->Settings, S->Synth))) break;
        }
        if (!S->Driver) {
            Control = std::make_shared<TRenderControl>();
            std::thread(RenderSilently, S, Control).detach();
        }
    }
    ~TMidiFile() {
        if (Control) {
            Control->Playing.store(false);
            Control->Quit.store(true);
        }
        if (S->Player) fluid_player_stop(S->Player);
    }

    void Play() {
        // A stopped player goes on where it stopped; one that ended starts over.
        if (!Paused && fluid_player_get_status(S->Player) == FLUID_PLAYER_DONE) fluid_player_seek(S->Player, 0);
        Paused = false;
        fluid_player_play(S->Player);
        if (Control) {
            Control->Started.fetch_add(1);
            Control->Playing.store(true);
        }
    }
    void Stop() {
        if (fluid_player_get_status(S->Player) == FLUID_PLAYER_PLAYING) Paused = true;
        fluid_player_stop(S->Player);
        if (Control) {
            Control->Playing.store(false);
            Control->NotesOff.store(true);
        } else {
            fluid_synth_all_notes_off(S->Synth, -1);
        }
    }
    void Rewind() { fluid_player_seek(S->Player, 0); }
    TMediaState State() const {
        if (Paused) return TMediaState::Stopped;
        switch (fluid_player_get_status(S->Player)) {
        case FLUID_PLAYER_PLAYING: return TMediaState::Playing;
        case FLUID_PLAYER_DONE: return TMediaState::Ended;
        default: return TMediaState::Stopped;
        }
    }

private:
    std::shared_ptr<TSynth> S;
    std::shared_ptr<TRenderControl> Control;  // silent mode only
    bool Paused = false;  // stopped by a call, not at its end
};

// Paints the frames of a video in the player's display, kept in their
// aspect, black around them.  A plain widget, not a native video window:
// it is drawn through whatever scaling shows its window.
class TVideoPanel : public QWidget {
public:
    explicit TVideoPanel(QWidget* parent) : QWidget(parent) {
        setObjectName("VideoPanel");
        setAttribute(Qt::WA_OpaquePaintEvent);
        QObject::connect(&Sink_, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& frame) {
            Frame = frame.toImage();
            update();
        });
    }
    QVideoSink* Sink() { return &Sink_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        if (Frame.isNull()) return;
        const QSize fitted = Frame.size().scaled(size(), Qt::KeepAspectRatio);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted), Frame);
    }

private:
    QVideoSink Sink_;
    QImage Frame;
};

class TRealPlayer : public TMediaPlayer {
public:
    TRealPlayer(TMediaSystem& s, const std::string& name, bool sound) : TMediaPlayer(s, name), Sound(sound) {}
    ~TRealPlayer() override { DoClose(); }

    TMediaState State() const override {
        if (Muted) return MutedState;
        if (Midi) return Midi->State();
        if (!Media) return TMediaState::Closed;
        if (Media->mediaStatus() == QMediaPlayer::InvalidMedia || Media->error() != QMediaPlayer::NoError)
            return TMediaState::Failed;
        if (Media->mediaStatus() == QMediaPlayer::EndOfMedia) return TMediaState::Ended;
        return Media->playbackState() == QMediaPlayer::PlayingState ? TMediaState::Playing : TMediaState::Stopped;
    }

protected:
    void DoOpen() override {
        if (IsMidiFile(FileName)) {
            Midi = std::make_unique<TMidiFile>(FileName, Sound);
            return;
        }
        if (!Sound && !Display()) {
            // A sound where none can be heard: kept in its state, not played.
            Muted = true;
            MutedState = TMediaState::Stopped;
            return;
        }
        Media = std::make_unique<QMediaPlayer>();
        if (Sound) {
            Output = std::make_unique<QAudioOutput>();
            Media->setAudioOutput(Output.get());
        }
        if (Display()) {
            View = new TVideoPanel(Display());
            View->setGeometry(Display()->rect());
            View->show();
            Media->setVideoSink(View->Sink());
        }
        Media->setSource(FileUrl(FileName));
    }
    void DoPlay() override {
        if (Muted) MutedState = TMediaState::Playing;
        if (Midi) Midi->Play();
        if (!Media) return;
        if (Media->mediaStatus() == QMediaPlayer::EndOfMedia) Media->setPosition(0);
        Media->play();
    }
    // Stopping keeps the position: playing goes on from there.
    void DoStop() override {
        if (Muted && MutedState == TMediaState::Playing) MutedState = TMediaState::Stopped;
        if (Midi) Midi->Stop();
        if (Media) Media->pause();
    }
    void DoClose() override {
        Muted = false;
        MutedState = TMediaState::Closed;
        Midi.reset();
        if (Media) {
            // The pipeline is dismantled while the player is whole.
            Media->stop();
            Media->setSource(QUrl());
            Media->setVideoOutput(static_cast<QObject*>(nullptr));
        }
        delete View.data();
        Media.reset();
        Output.reset();
    }
    void DoRewind() override {
        if (Midi) Midi->Rewind();
        if (Media) Media->setPosition(0);
    }
    void DoDisplayRect(const QRect& rect) override {
        if (View) View->setGeometry(rect);
    }

private:
    const bool Sound;  // an audio device is there
    bool Muted = false;
    TMediaState MutedState = TMediaState::Closed;
    std::unique_ptr<TMidiFile> Midi;
    std::unique_ptr<QMediaPlayer> Media;
    std::unique_ptr<QAudioOutput> Output;
    QPointer<TVideoPanel> View;
};

class TRealSystem : public TMediaSystem {
public:
    explicit TRealSystem(bool sound) : Sound(sound) {}
    bool Quiet() const override { return false; }
    bool Silent() const override { return !Sound; }
    std::unique_ptr<TMediaPlayer> NewPlayer(const std::string& name) override {
        return std::make_unique<TRealPlayer>(*this, name, Sound);
    }

protected:
    // Without an audio device the sounds go quiet and return at once.
    void DoPlaySync(const std::string& path, int timeoutMs) override {
        if (!Sound) return;
        QMediaPlayer* player = NewSyncPlayer();
        player->setSource(FileUrl(path));
        RunToEnd(*player, timeoutMs);
        Dismiss(player);
    }
    void DoPlaySyncMemory(const QByteArray& wav, int timeoutMs) override {
        if (!Sound) return;
        QMediaPlayer* player = NewSyncPlayer();
        auto* buffer = new QBuffer(player);  // goes with the player
        buffer->setData(wav);
        buffer->open(QIODevice::ReadOnly);
        player->setSourceDevice(buffer, QUrl(QStringLiteral("sound.wav")));
        RunToEnd(*player, timeoutMs);
        Dismiss(player);
    }

private:
    const bool Sound;
    // A player of its own for each sound, so that no state of an earlier
    // sound (a failure above all) carries over.
    static QMediaPlayer* NewSyncPlayer() {
        auto* player = new QMediaPlayer;
        player->setAudioOutput(new QAudioOutput(player));
        return player;
    }
    // The framework dismantles the player's pipeline first and the player
    // goes later, from the event loop: torn down at once, it can crash
    // while its decoder is still being taken apart.
    static void Dismiss(QMediaPlayer* player) {
        player->setSource(QUrl());
        player->deleteLater();
    }
};

}  // namespace

std::unique_ptr<TMediaSystem> TMediaSystem::CreateReal(bool sound) { return std::make_unique<TRealSystem>(sound); }
