#include "drill_sound.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

#include <fluidsynth.h>

namespace {
const int kLongestSoundMs = 15000;
}

// The built-in sounds are compiled into a static library: register them.
static void InitSoundResources() { Q_INIT_RESOURCE(sounds); }

TDrillSound::TDrillSound(QObject* parent) : QObject(parent) {
    InitSoundResources();
    Quiet_ = qEnvironmentVariableIsSet("RUZOZU_QUIET_MEDIA") || QMediaDevices::audioOutputs().isEmpty();
}

void TDrillSound::PlaySoundFile(const QString& name, const QString& problemFolder) {
    const QString local = problemFolder + name;
    if (QFileInfo::exists(local)) {
        PlaySync(local);
        return;
    }
    // Built-in sounds are named by the file name without ".wav", in capitals.
    PlaySync(QStringLiteral(":/sounds/") + QFileInfo(name).completeBaseName().toUpper());
}

void TDrillSound::PlaySync(const QString& path) {
    Played << path;
    if (Quiet_) return;
    QMediaPlayer player;
    QAudioOutput out;
    player.setAudioOutput(&out);
    QFile resource(path);
    if (path.startsWith(':')) {
        if (!resource.open(QIODevice::ReadOnly)) return;
        player.setSourceDevice(&resource, QUrl(QStringLiteral("sound.wav")));
    } else {
        player.setSource(QUrl::fromLocalFile(path));
    }
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&player, &QMediaPlayer::mediaStatusChanged, &loop, [&](QMediaPlayer::MediaStatus s) {
        if (s == QMediaPlayer::EndOfMedia || s == QMediaPlayer::InvalidMedia) loop.quit();
    });
    connect(&player, &QMediaPlayer::errorOccurred, &loop, &QEventLoop::quit);
    limit.start(kLongestSoundMs);
    player.play();
    // Input is held back while the sound plays, as the sound call blocked.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    player.stop();
}

void TDrillSound::PlayAudio(const QString& path) {
    Played << path;
    if (Quiet_) return;
    if (!Background) {
        Background = new QMediaPlayer(this);
        BackgroundOut = new QAudioOutput(this);
        Background->setAudioOutput(BackgroundOut);
    }
    Background->setSource(QUrl::fromLocalFile(path));
    Background->play();
}

void TDrillSound::StopAudio() {
    if (Background) Background->stop();
}

namespace {

struct MidiState {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_player_t* player = nullptr;
    fluid_audio_driver_t* driver = nullptr;
    ~MidiState() {
        if (player) {
            fluid_player_stop(player);
            delete_fluid_player(player);
        }
        if (driver) delete_fluid_audio_driver(driver);
        if (synth) delete_fluid_synth(synth);
        if (settings) delete_fluid_settings(settings);
    }
};

const char* const kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

}  // namespace

TDrillSound::~TDrillSound() { CloseMidi(); }

void TDrillSound::ReplayAudio() {
    if (Background) {
        Background->setPosition(0);
        Background->play();
    }
}

void TDrillSound::PlayMidi(const QString& path) {
    Played << path;
    CloseMidi();
    if (Quiet_) return;
    auto* m = new MidiState;
    Midi = m;
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    m->settings = new_fluid_settings();
    m->synth = new_fluid_synth(m->settings);
    if (fluid_synth_sfload(m->synth, kSoundFont, 1) == FLUID_FAILED) return;
    m->driver = new_fluid_audio_driver(m->settings, m->synth);
    m->player = new_fluid_player(m->synth);
    if (!m->driver || !m->player || fluid_player_add(m->player, path.toLocal8Bit().constData()) != FLUID_OK) return;
    fluid_player_play(m->player);
}

void TDrillSound::PauseMidi(bool paused) {
    auto* m = static_cast<MidiState*>(Midi);
    if (!m || !m->player) return;
    if (paused)
        fluid_player_stop(m->player);
    else
        fluid_player_play(m->player);  // goes on from where it stopped
}

void TDrillSound::CloseMidi() {
    delete static_cast<MidiState*>(Midi);
    Midi = nullptr;
}

void TDrillSound::PlayVideo(const QString& path, QWidget* panel) {
    Played << path;
    if (Quiet_) return;
    if (!Video) {
        Video = new QMediaPlayer(this);
        VideoOut = new QAudioOutput(this);
        Video->setAudioOutput(VideoOut);
    }
    auto* view = new QVideoWidget(panel);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    view->show();
    Video->setVideoOutput(view);
    Video->setSource(QUrl::fromLocalFile(path));
    Video->play();
}

void TDrillSound::ReplayVideo() {
    if (Video) {
        Video->setPosition(0);
        Video->play();
    }
}

void TDrillSound::StopVideo() {
    if (Video) Video->stop();
}

void TDrillSound::CloseVideo() {
    if (!Video) return;
    Video->stop();
    Video->setVideoOutput(static_cast<QObject*>(nullptr));
    Video->setSource(QUrl());
}
