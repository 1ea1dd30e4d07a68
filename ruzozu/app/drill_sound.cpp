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
