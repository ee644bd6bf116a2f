#pragma once
// One playback of the wave-audio device: a worker thread reads the file's
// audio from a byte position and keeps about half a second queued on the
// default playback device; when everything has been played it calls onEnd
// once. A read error or the loss of the device calls onFailure instead.
//
// Threads: constructed, started and stopped by one owner; onEnd and
// onFailure run on the worker (they must only post); PlayedBytes() from any thread.

#include "platform/FdIo.h"
#include "platform/WaveAudioSdl.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace dw {

class TWavePlayback {
public:
    TWavePlayback(const QString& path, const TWaveAudioLayout& layout, int64_t fromByte, std::function<void()> onEnd,
                  std::function<void(QString)> onFailure);
    ~TWavePlayback();
    TWavePlayback(const TWavePlayback&) = delete;
    TWavePlayback& operator=(const TWavePlayback&) = delete;

    bool Start(QString* error);
    void Pause(bool paused);
    void Stop();
    // The audio byte (from the start of the data) the listener has reached.
    int64_t PlayedBytes() const;

private:
    void run();

    QString path_;
    TWaveAudioLayout layout_;
    int64_t from_;
    std::function<void()> onEnd_;
    std::function<void(QString)> onFailure_;
    UniqueFd fd_;
    SdlQueuedDevice device_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::atomic<int64_t> fed_{0};
    std::atomic<bool> paused_{false};
};

}  // namespace dw
