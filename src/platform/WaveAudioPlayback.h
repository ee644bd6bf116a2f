#pragma once
// One playback of the wave-audio device: a worker thread reads the file's
// audio from a byte position and keeps about half a second queued on the
// default playback device; when everything has been played it calls onEnd
// once. A read error or the loss of the device calls onFailure instead.
//
// Threads: constructed, started and stopped by one owner; onEnd and
// onFailure run on the worker (they must only post); PlayedBytes() from any thread.
// Stop does not wait for the worker, which may sit in a slow read of the
// file: it closes the device, after which the worker neither touches the
// device nor calls onEnd or onFailure, and the worker ends by itself.

#include "platform/FdIo.h"
#include "platform/WaveAudioSdl.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
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

    // Tests: called by the worker before each read of the file (a hook that
    // blocks stands for a slow disk). Empty: none.
    static void SetReadHookForTests(std::function<void()> hook);

private:
    struct Worker;

    QString path_;
    TWaveAudioLayout layout_;
    int64_t from_;
    SdlQueuedDevice device_;
    std::shared_ptr<Worker> worker_;  // shared with the thread, which outlives a stop
};

}  // namespace dw
