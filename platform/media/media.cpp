#include "media.h"

#include "textfile.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QtGlobal>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ---------------------------------------------------------------- player

void TMediaPlayer::SetDisplayRect(const QRect& rect) {
    System.Record(Name_ + " DisplayRect " + std::to_string(rect.x()) + " " + std::to_string(rect.y()) + " " +
                  std::to_string(rect.width()) + " " + std::to_string(rect.height()));
    DoDisplayRect(rect);
}

void TMediaPlayer::Open() {
    System.Record(Name_ + " Open " + FileName);
    DoClose();
    // Only plain files: the decoders would wait for ever on a FIFO.
    if (FileName.empty() || !IsPlainMediaFile(FileName)) throw EMediaError("cannot open " + FileName);
    DoOpen();
}

void TMediaPlayer::Ask(const char* verb, void (TMediaPlayer::*act)()) {
    System.Record(Name_ + " " + verb);
    (this->*act)();
}

void TMediaPlayer::Play() { Ask("Play", &TMediaPlayer::DoPlay); }
void TMediaPlayer::Stop() { Ask("Stop", &TMediaPlayer::DoStop); }
void TMediaPlayer::Close() { Ask("Close", &TMediaPlayer::DoClose); }
void TMediaPlayer::Rewind() { Ask("Rewind", &TMediaPlayer::DoRewind); }

void TMediaSystem::PlaySync(const std::string& path, int timeoutMs) {
    Record("sound " + path);
    if (!IsPlainMediaFile(path)) return;  // no sound from a FIFO or a device
    DoPlaySync(path, timeoutMs);
}

void TMediaSystem::PlaySyncMemory(const QByteArray& wav, const std::string& name, int timeoutMs) {
    Record("sound memory " + name);
    DoPlaySyncMemory(wav, timeoutMs);
}

bool IsMidiFile(const std::string& path) {
    // Only a plain file is looked into: a FIFO named by a problem would
    // otherwise hold the open until somebody writes to it.
    struct stat st {};
    const int fd = textfile::OpenPlainFile(path, st);
    if (fd < 0) return false;
    char head[4] = {};
    const bool midi = ::read(fd, head, 4) == 4 && std::memcmp(head, "MThd", 4) == 0;
    ::close(fd);
    return midi;
}

bool IsPlainMediaFile(const std::string& path) {
    struct stat st {};
    const int fd = textfile::OpenPlainFile(path, st);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// ---------------------------------------------------------------- quiet

namespace {

// Keeps the state a player would have, and plays nothing.
class TQuietPlayer : public TMediaPlayer {
public:
    TQuietPlayer(TMediaSystem& s, const std::string& name) : TMediaPlayer(s, name) {}
    TMediaState State() const override { return State_; }

protected:
    void DoOpen() override { State_ = TMediaState::Stopped; }
    void DoPlay() override {
        if (State_ != TMediaState::Closed) State_ = TMediaState::Playing;
    }
    void DoStop() override {
        if (State_ == TMediaState::Playing) State_ = TMediaState::Stopped;
    }
    void DoClose() override { State_ = TMediaState::Closed; }
    void DoRewind() override {}

private:
    TMediaState State_ = TMediaState::Closed;
};

class TQuietSystem : public TMediaSystem {
public:
    bool Quiet() const override { return true; }
    bool Silent() const override { return true; }
    std::unique_ptr<TMediaPlayer> NewPlayer(const std::string& name) override {
        return std::make_unique<TQuietPlayer>(*this, name);
    }

protected:
    void DoPlaySync(const std::string&, int) override {}
    void DoPlaySyncMemory(const QByteArray&, int) override {}
};

}  // namespace

std::unique_ptr<TMediaSystem> TMediaSystem::CreateQuiet() { return std::make_unique<TQuietSystem>(); }

std::unique_ptr<TMediaSystem> TMediaSystem::CreateDefault() {
    if (qEnvironmentVariableIsSet("RUZOZU_QUIET_MEDIA")) return CreateQuiet();
    return CreateReal(!QMediaDevices::audioOutputs().isEmpty());
}
