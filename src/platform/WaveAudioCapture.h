#pragma once
// One recording of the wave-audio device: the default capture device's audio
// appended to an open file descriptor by a worker thread that takes it from
// SDL's queue every 10 ms. Only whole sample frames that reached the file
// count: when a write fails (a full disk) the file is cut back to the last
// whole frame written and capture ends with the reason; the same happens
// when SDL loses the device. At the byte limit capture ends too, with
// limitReason (empty when the limit is an end the owner asked for).
//
// Stop() only asks the worker to end and returns at once: the worker writes
// what SDL still holds, cuts the file to whole frames and closes the device
// (closing waits for SDL's own audio thread) on its own thread. However the
// capture ends, onEnd is called exactly once, from the worker, after all of
// that: the file then holds everything that will ever be written to it.
//
// Threads: constructed, started, stopped and destroyed by one owner; onEnd
// runs on the worker (it must only post); Bytes() and Ended() from any
// thread. An owner that destroys the capture (or calls Wait) before onEnd
// has come waits for the worker there; owners on the window's thread wait
// for onEnd instead.

#include "platform/WaveAudioSdl.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace dw {

// How a capture ended.
struct TWaveCaptureEnd {
    bool byItself = false;  // the byte limit, a failed write or a lost device; false: Stop()
    QString reason;         // why it ended by itself; empty at a limit that is the owner's end
};

class TWaveCapture {
public:
    // fd stays owned by the caller and must outlive the capture; writing
    // starts at its current offset. At most maxBytes are written.
    TWaveCapture(int fd, const TWaveAudioFormat& format, int64_t maxBytes, QString limitReason,
                 std::function<void(const TWaveCaptureEnd&)> onEnd);
    ~TWaveCapture();
    TWaveCapture(const TWaveCapture&) = delete;
    TWaveCapture& operator=(const TWaveCapture&) = delete;

    bool Start(QString* error);
    void Pause(bool paused);
    // Asks the capture to end and returns at once; onEnd follows. Harmless
    // when already stopped or ended.
    void Stop();
    // Stops and waits until the worker has ended (at once when it has): for
    // owners that cannot return to an event loop first. How it ended.
    TWaveCaptureEnd Wait();
    // Whether the worker has ended (or was never started).
    bool Ended() const;
    // Audio bytes in the file so far (whole frames once ended).
    int64_t Bytes() const;

    // Tests: called by the worker once it has seen Stop(), before its last
    // writes (a hook that blocks stands for a slow disk). Empty: none.
    static void SetStopHookForTests(std::function<void()> hook);

private:
    struct Worker;

    SdlQueuedDevice device_;          // closed by the worker, destroyed with the owner
    std::shared_ptr<Worker> worker_;  // shared with the thread, which may outlive the owner by a few instructions
};

}  // namespace dw
