#pragma once
// The wave-audio device of the recorder: one PCM WAV file opened at a time,
// positions and lengths in milliseconds, playback from a position, recording
// from a position on the default capture device, pause, stop and save,
// over SDL2 (platform/WaveAudioPlayback, platform/WaveAudioCapture).
//
//   TWaveAudioDevice dev;
//   dev.Open(path);            // a PCM WAV file (the 44-byte empty one too)
//   dev.Record(dev.Length());  // new audio is inserted at the position
//   ...
//   dev.Stop();                // capture ends; recordingStopped() follows
//   ...                        // from the event loop, the recording pending
//   dev.Save();                // the file now holds it, header and all
//
// Recording goes into the file's replacement, written under a temporary name
// beside it (platform/OutputFile): the opened file itself is never written,
// and Save renames the finished replacement over it, so the file always has
// a header that matches its data, whatever stops the recording. Nothing of
// the opened file is held open between calls except while playing.
//
// Stop does not wait for the recording's worker thread, which writes what
// the sound card still holds and closes the capture device on its own
// thread: Stopping() holds until it has, and then, from the event loop, the
// recording is pending and recordingStopped is emitted. Open, Close, Play,
// Record and Save called while a recording is still being stopped wait for
// the worker there (quietly, without recordingStopped); owners on the
// window's thread wait for recordingStopped instead, or call WaitForStop
// where no event loop follows (a destructor).
//
// When a recording ends by itself (the device was lost, the disk is full,
// the WAV size limit) what reached the disk is kept and pending, and
// deviceFailed is emitted (also when playback cannot go on); when playback reaches the end, playbackEnded.
// Each recording ends with exactly one of recordingStopped,
// recordingLimitReached and deviceFailed; a Stop asked before the notice of
// an end by itself has been delivered makes it recordingStopped.
//
// Main thread only; the signals are delivered on the main thread.

#include "platform/WaveAudioFile.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace dw {

class TOutputFile;
class TWaveCapture;
class TWavePlayback;
struct TWaveCaptureEnd;

class TWaveAudioDevice : public QObject {
    Q_OBJECT
public:
    enum class Mode { NotOpen, Stopped, Playing, Recording, Paused };

    explicit TWaveAudioDevice(QObject* parent = nullptr);
    ~TWaveAudioDevice() override;

    // Opens a PCM WAV file (closing the one open before). False with Error() set.
    bool Open(const QString& path);
    // Stops; a pending recording is saved first (a failure is in Error()).
    void Close();
    bool IsOpen() const { return mode_ != Mode::NotOpen; }
    QString FileName() const { return path_; }
    TWaveAudioFormat Format() const { return layout_.format; }

    // The length of the audio in milliseconds, a pending or running recording included.
    int64_t Length() const;
    // The current position in milliseconds.
    int64_t Position() const;
    Mode GetMode() const { return mode_; }

    // Plays from a position (ms), or, without one, resumes a paused playback
    // or plays from the current position. False with Error() set.
    bool Play(std::optional<int64_t> fromMs = std::nullopt);
    // Records from a position (ms; clamped to the length), inserting the new
    // audio there. A pending recording is saved first. With maxMs, capture
    // ends by itself after exactly that much audio and recordingLimitReached
    // follows. False with Error() set.
    bool Record(int64_t fromMs, std::optional<int64_t> maxMs = std::nullopt);
    void Pause();
    // Ends playback at once. Asks a recording to end and returns at once:
    // recordingStopped follows, the recording pending.
    void Stop();
    // A recording was asked to stop and its worker has not ended yet.
    bool Stopping() const { return capture_ && stopRequested_; }
    // Stops a recording and waits until its worker has ended; recordingStopped
    // is emitted from this call. Nothing happens without a recording.
    void WaitForStop();
    // Writes a pending recording into the opened file. True when there was
    // nothing to save. False with Error() set; the file is then unchanged
    // and the recording is dropped.
    bool Save();
    // Whether a recording awaits Save.
    bool Pending() const { return pending_; }

    QString Error() const { return error_; }

signals:
    void playbackEnded();
    // A recording asked to stop has ended: all of it is in the replacement
    // file, the capture device is closed, and it is pending.
    void recordingStopped();
    // A recording stopped at the length asked for; it is pending.
    void recordingLimitReached();
    void deviceFailed(const QString& reason);

private:
    int64_t bytesToMs(int64_t bytes) const;
    int64_t msToBytes(int64_t ms) const;
    void stopPlayback();
    // Stops whatever runs and waits for a recording's worker to end.
    void stopAndWait();
    // The recording's worker has ended: the recording becomes pending. With
    // notify, the signal for how it ended follows.
    void captureEnded(const TWaveCaptureEnd& end, bool notify);
    bool fail(const QString& message);

    QString path_;
    TWaveAudioLayout layout_;
    Mode mode_ = Mode::NotOpen;
    Mode pausedFrom_ = Mode::Stopped;
    int64_t position_ = 0;  // bytes into the data, while stopped
    std::unique_ptr<TWavePlayback> playback_;
    std::unique_ptr<TWaveCapture> capture_;
    std::unique_ptr<TOutputFile> take_;  // the replacement file of a recording
    int64_t insertAt_ = 0;               // bytes of the old data before the recording
    int64_t takeBytes_ = 0;              // recorded bytes, once capture has ended
    bool pending_ = false;
    bool stopRequested_ = false;  // Stop was asked of the running recording
    quint64 generation_ = 0;  // tells notices of an earlier playback or recording apart
    QString error_;
};

}  // namespace dw
