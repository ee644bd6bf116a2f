#pragma once
// TRecordSession: the file policy of a recording, for the recorder window's
// engine and `discwright-cli record` alike. A recording starts from the
// empty WAV of its format in a work file, the device records into it, and
// finishing writes what was captured into the work file (a whole file whose
// header states its data, also after a lost device or a full disk); the
// work file is then kept under its final name (renamed, or copied and
// removed across file systems; an existing file of that name is replaced
// only by a whole recording) or dropped.
//
//   TRecordSession session(device);
//   session.Begin(work, format, &error);
//   session.Record(0, 5000, &error);       // ended() follows at the limit
//   ...                                    // or: session.Stop(), then stopped()
//   session.Finish(&error);                // what was captured, saved
//   session.KeepAs(out, &error);           // or Discard()
//
// Stop returns at once: the device's worker writes the last audio on its own
// thread, and stopped() follows from the event loop once it has. Finish,
// KeepAs and Discard called while a recording is running or still being
// stopped wait for that worker; front ends on the window's thread Stop and
// wait for stopped() first (a command-line front end may wait in a loop).
//
// Main thread only; ended() and stopped() are delivered there.

#include "platform/WaveAudioDevice.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace dw {

class TRecordSession : public QObject {
    Q_OBJECT
public:
    // device: the wave-audio device the session drives (the caller's).
    explicit TRecordSession(TWaveAudioDevice& device, QObject* parent = nullptr);

    // Writes the empty WAV of format to workFile (replacing it) and opens the
    // device on it. False with *error set.
    bool Begin(const QString& workFile, const TWaveAudioFormat& format, QString* error);
    // Records from a position (ms) of the open file; with maxMs capture ends
    // by itself after that much audio. False with *error set.
    bool Record(int64_t fromMs, std::optional<int64_t> maxMs, QString* error);
    // Asks a running capture to end and returns at once; when Stopping()
    // then holds, stopped() follows. Nothing happens without a capture.
    void Stop();
    bool Stopping() const { return device_.Stopping(); }
    // Ends a running capture and saves what was captured into the open file.
    // True when there was nothing to save. False with *error set (the file
    // is then as it was before the recording).
    bool Finish(QString* error);
    // Closes the device and moves the open file to target. False with
    // *error set; the work file then stays where it was.
    bool KeepAs(const QString& target, QString* error);
    // Closes the device and removes the work file.
    void Discard();

    const QString& WorkFile() const { return work_; }

signals:
    // Capture ended by itself: at the limit asked for (reason empty), or
    // because the device was lost or the disk is full (the reason).
    void ended(const QString& reason);
    // A capture asked to end by Stop has ended; what it captured awaits Finish.
    void stopped();

private:
    TWaveAudioDevice& device_;
    QString work_;
    bool recording_ = false;  // a capture this session started is running
};

}  // namespace dw
