#pragma once
// CD playback and the drive's tray, as the main window's Play, Pause, Stop,
// Eject and Close CD commands use them. The audio sectors of a track range are
// read through libcdio (from a drive or a CD image alike) and played through
// an SDL2 audio device; a reading thread keeps about a second of audio
// queued ahead of the device.
//
//   TCdAudioPlayer player;
//   connect(&player, &TCdAudioPlayer::finished, ...);   // the range played out
//   player.Play(devicePath, 3, 4);   // track 3 up to the start of track 4
//   player.Pause(); player.Resume(); player.Stop();
//
// The object and its methods belong to the main thread; finished is
// delivered there. Stop (and the destructor) tell the reading thread to end
// and return at once, also while it waits on a slow read; the thread closes
// the audio device when it ends, and a Play meanwhile starts reading then.
// finished is not emitted for a stop.

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace dw {

class TCdAudioPlayer : public QObject {
    Q_OBJECT
public:
    explicit TCdAudioPlayer(QObject* parent = nullptr);
    ~TCdAudioPlayer() override;

    // Plays from the start of track `from` up to the start of track `to`;
    // `to` 0 (or beyond the last track) plays to the end of the disc. A
    // playback already running is stopped first. False, with Error() set,
    // when the disc, the tracks or the audio device cannot be opened.
    bool Play(const QString& device, int from, int to = 0);
    void Pause();
    void Resume();
    void Stop();

    bool IsPlaying() const;  // true from Play until Stop or the end, also while paused
    bool IsPaused() const;
    // Bytes of CD audio handed to the audio device so far in this playback.
    qint64 QueuedBytes() const;
    QString Error() const { return error_; }

    // Tests: called by the reading thread before each read of the disc (a
    // hook that blocks stands for a drive retrying a sector). Empty: none.
    static void SetReadHookForTests(std::function<void()> hook);

signals:
    // The whole range has been played.
    void finished();

private:
    class Session;
    struct Link;
    bool startSession();
    void sessionEnded(quint64 generation, bool playedOut);

    std::shared_ptr<Session> session_;  // the current playback, also while it waits to start
    std::shared_ptr<Link> link_;
    int endingThreads_ = 0;  // reading threads that have not reported their end
    QString error_;
    quint64 generation_ = 0;
};

// Opens (true) or closes (false) the tray of a drive through libcdio. Images
// have no tray: nothing happens and the result is true. False when the drive
// refuses or cannot be opened.
bool SetCdDoorOpen(const QString& device, bool open);

}  // namespace dw
