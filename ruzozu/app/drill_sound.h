// Sounds of the drill window: the marks' and scores' sounds, played to
// their end (with a time limit, so that a stalled sound server never
// freezes the window), and a problem's own sounds in the background.
// Without an audio device, or with RUZOZU_QUIET_MEDIA set, nothing plays
// and every call returns at once.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QMediaPlayer;
class QAudioOutput;
class QWidget;

class TDrillSound : public QObject {
    Q_OBJECT
public:
    explicit TDrillSound(QObject* parent = nullptr);
    bool Quiet() const { return Quiet_; }

    // Plays one of the fixed sounds ("maru.wav" ...): the file of that name
    // in problemFolder when there is one, else the built-in sound.  Returns
    // when it has ended.
    void PlaySoundFile(const QString& name, const QString& problemFolder);
    // Plays a file to its end.
    void PlaySync(const QString& path);
    // Starts a file in the background (a problem's "wav" and "mp3" lines).
    void PlayAudio(const QString& path);
    void ReplayAudio();
    void StopAudio();
    // MIDI through the synthesiser with the General MIDI sound font.
    void PlayMidi(const QString& path);
    void PauseMidi(bool paused);
    void CloseMidi();
    // Video shown in a panel.
    void PlayVideo(const QString& path, QWidget* panel);
    void ReplayVideo();
    void StopVideo();
    void CloseVideo();

    // What was played, for tests.
    QStringList Played;

    ~TDrillSound() override;

private:
    bool Quiet_ = true;
    QMediaPlayer* Background = nullptr;
    QAudioOutput* BackgroundOut = nullptr;
    QMediaPlayer* Video = nullptr;
    QAudioOutput* VideoOut = nullptr;
    void* Midi = nullptr;  // the synthesiser's state
};
