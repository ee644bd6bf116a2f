#pragma once
// One recording of the wave-audio device: the default capture device's audio
// appended to an open file descriptor by a worker thread that takes it from
// SDL's queue every 10 ms. Only whole sample frames that reached the file
// count: when a write fails (a full disk) the file is cut back to the last
// whole frame written, capture ends, and onEnd is called once with the
// reason; the same happens when SDL loses the device. At the byte limit
// capture ends too and onEnd gets limitReason (empty when the limit is an
// end the owner asked for).
//
// Threads: constructed, started and stopped by one owner; onEnd runs on
// the worker (it must only post); Bytes() from any thread.

#include "platform/WaveAudioSdl.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace dw {

class TWaveCapture {
public:
    // fd stays owned by the caller and must outlive the capture; writing
    // starts at its current offset. At most maxBytes are written.
    TWaveCapture(int fd, const TWaveAudioFormat& format, int64_t maxBytes, QString limitReason,
                 std::function<void(QString)> onEnd);
    ~TWaveCapture();
    TWaveCapture(const TWaveCapture&) = delete;
    TWaveCapture& operator=(const TWaveCapture&) = delete;

    bool Start(QString* error);
    void Pause(bool paused);
    // Ends capture: the device stops, what SDL still holds is written, the
    // worker ends and the device closes. Harmless when already stopped.
    void Stop();
    // Audio bytes in the file so far (whole frames once stopped).
    int64_t Bytes() const { return bytes_.load(); }

private:
    void run();
    // Writes n bytes; false (after setting failure_) when the file refused them.
    bool append(const uint8_t* data, int64_t n);
    void end(const QString& reason);

    int fd_;
    TWaveAudioFormat format_;
    int64_t maxBytes_;
    QString limitReason_;
    int64_t base_ = 0;  // file offset of the first captured byte
    std::function<void(QString)> onEnd_;
    SdlQueuedDevice device_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::atomic<int64_t> bytes_{0};
};

}  // namespace dw
