// Sound and media playback for the drill program: invisible players that
// each keep at most one file open (audio, MIDI or video, told apart by the
// file), and sounds played to their end.
//
// Two backends stand behind one interface: the real one (Qt Multimedia for
// WAV, MP3, AVI and MPEG; FluidSynth with the General MIDI sound font for
// MIDI) and a quiet one for machines without a sound device, whose calls
// return at once.  Both keep a journal of what was asked of them.
#pragma once

#include "input_limits.h"

#include <QByteArray>
#include <QRect>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QWidget;

class EMediaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TMediaState { Closed, Stopped, Playing, Ended, Failed };

class TMediaSystem;

class TMediaPlayer {
public:
    virtual ~TMediaPlayer() = default;

    const std::string& Name() const { return Name_; }
    // The file to open: a Shift-JIS path.
    std::string FileName;
    // The window that shows a video, and the video's place in it.
    void SetDisplay(QWidget* display) { Display_ = display; }
    QWidget* Display() const { return Display_; }
    void SetDisplayRect(const QRect& rect);

    // Closes what was open, then opens FileName; EMediaError when the file
    // cannot be opened.  A file that turns out not to be playable shows as
    // Failed later.
    void Open();
    // Plays from the current position.
    void Play();
    void Stop();
    void Close();
    // Back to the start, waiting for it.
    void Rewind();
    virtual TMediaState State() const = 0;

protected:
    TMediaPlayer(TMediaSystem& system, std::string name) : System(system), Name_(std::move(name)) {}
    virtual void DoOpen() = 0;
    virtual void DoPlay() = 0;
    virtual void DoStop() = 0;
    virtual void DoClose() = 0;
    virtual void DoRewind() = 0;
    virtual void DoDisplayRect(const QRect&) {}
    TMediaSystem& System;

private:
    // Notes the call in the journal as "<name> <verb>", then does it.
    void Ask(const char* verb, void (TMediaPlayer::*act)());
    std::string Name_;
    QWidget* Display_ = nullptr;
};

class TMediaSystem {
public:
    virtual ~TMediaSystem() = default;

    // The real backend; where no audio device exists, the real backend
    // without sound: video plays without it and MIDI in its silent mode,
    // and only sounds (WAV, MP3, the fixed sounds) go quiet.
    // RUZOZU_QUIET_MEDIA in the environment asks for the quiet backend.
    static std::unique_ptr<TMediaSystem> CreateDefault();
    static std::unique_ptr<TMediaSystem> CreateReal(bool sound = true);
    static std::unique_ptr<TMediaSystem> CreateQuiet();

    // Nothing plays at all.
    virtual bool Quiet() const = 0;
    // No sound is made (quiet, or real without an audio device).
    virtual bool Silent() const = 0;
    virtual std::unique_ptr<TMediaPlayer> NewPlayer(const std::string& name) = 0;

    // Plays a sound file, or a WAV image in memory, to its end and returns
    // then, or after timeoutMs at the latest.  Input to the windows waits
    // meanwhile.
    void PlaySync(const std::string& path, int timeoutMs);
    void PlaySyncMemory(const QByteArray& wav, const std::string& name, int timeoutMs);

    // What was asked, one line a call: "MediaPlayer2 Open <file>",
    // "MediaPlayer2 Play", "sound <file>", "sound memory <name>" ...
    std::vector<std::string> Journal;
    void Record(const std::string& line) { Journal.push_back(line); }

protected:
    virtual void DoPlaySync(const std::string& path, int timeoutMs) = 0;
    virtual void DoPlaySyncMemory(const QByteArray& wav, int timeoutMs) = 0;
};

// True when path names a MIDI file (by its header).
bool IsMidiFile(const std::string& path);

// True when path names a plain file that can be read: never a FIFO, a
// device or a folder, whose open or read can wait for ever.  Looked at
// without waiting.
bool IsPlainMediaFile(const std::string& path);

inline constexpr uint64_t kMaxMidiBytes = input_limits::kMaxMidiBytes;
