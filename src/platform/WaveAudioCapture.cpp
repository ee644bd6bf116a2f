#include "platform/WaveAudioCapture.h"

#include "platform/NativePath.h"
#include "platform/SdlLibrary.h"
#include "platform/TestHook.h"
#include "platform/ThreadReaper.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <unistd.h>
#include <vector>

namespace dw {

namespace {

// Called by the worker once it has seen a stop, before its last writes.
TTestHook stopHook;

}  // namespace

// What the worker thread uses. The file and the device stay the owner's:
// the worker uses them only until it has ended, and the owner waits for
// that end before it lets go of either. After the end the worker touches
// this state alone, which it shares, so it may return after the owner is gone.
struct TWaveCapture::Worker {
    int fd = -1;
    TWaveAudioFormat format;
    int64_t maxBytes = 0;
    QString limitReason;
    int64_t base = 0;  // file offset of the first captured byte
    std::function<void(const TWaveCaptureEnd&)> onEnd;
    SdlQueuedDevice* device = nullptr;
    std::mutex deviceMutex;  // the owner's Pause against the worker's close
    bool deviceOpen = false;
    std::mutex mutex;
    std::condition_variable wake;  // a stop for the worker, the end for the owner
    bool stop = false;
    bool running = false;
    bool ended = false;
    TWaveCaptureEnd end;
    std::atomic<int64_t> bytes{0};

    void run();
    // Writes n bytes; false (after setting *result) when capture has to end.
    bool append(const uint8_t* data, int64_t n, TWaveCaptureEnd* result);
    // Cuts the file to the last whole frame of `total` captured bytes.
    void keepWholeFrames(int64_t total);
    void pauseDevice(bool paused)
    {
        std::lock_guard lock(deviceMutex);
        if (deviceOpen)
            device->pause(paused);
    }
};

TWaveCapture::TWaveCapture(int fd, const TWaveAudioFormat& format, int64_t maxBytes, QString limitReason,
                           std::function<void(const TWaveCaptureEnd&)> onEnd)
    : worker_(std::make_shared<Worker>())
{
    worker_->fd = fd;
    worker_->format = format;
    worker_->maxBytes = maxBytes - maxBytes % std::max(1, format.blockAlign());
    worker_->limitReason = std::move(limitReason);
    worker_->onEnd = std::move(onEnd);
    worker_->device = &device_;
}

TWaveCapture::~TWaveCapture()
{
    Wait();
}

void TWaveCapture::SetStopHookForTests(std::function<void()> hook)
{
    stopHook.Set(std::move(hook));
}

bool TWaveCapture::Start(QString* error)
{
    worker_->base = ::lseek(worker_->fd, 0, SEEK_CUR);
    if (worker_->base < 0) {
        if (error)
            *error = SystemReason(errno);
        return false;
    }
    if (!device_.open(worker_->format, true, error))
        return false;
    device_.pause(false);
    worker_->deviceOpen = true;
    worker_->running = true;
    Reap(std::thread([worker = worker_] { worker->run(); }));
    return true;
}

void TWaveCapture::Pause(bool paused)
{
    worker_->pauseDevice(paused);
}

void TWaveCapture::Stop()
{
    {
        std::lock_guard lock(worker_->mutex);
        worker_->stop = true;
    }
    worker_->wake.notify_all();
}

TWaveCaptureEnd TWaveCapture::Wait()
{
    Stop();
    std::unique_lock lock(worker_->mutex);
    worker_->wake.wait(lock, [this] { return worker_->ended || !worker_->running; });
    return worker_->end;
}

bool TWaveCapture::Ended() const
{
    std::lock_guard lock(worker_->mutex);
    return worker_->ended || !worker_->running;
}

int64_t TWaveCapture::Bytes() const
{
    return worker_->bytes.load();
}

void TWaveCapture::Worker::keepWholeFrames(int64_t total)
{
    const int64_t whole = total - total % std::max(1, format.blockAlign());
    if (::ftruncate(fd, base + whole) == 0)
        ::lseek(fd, base + whole, SEEK_SET);
    bytes = whole;
}

bool TWaveCapture::Worker::append(const uint8_t* data, int64_t n, TWaveCaptureEnd* result)
{
    const int64_t room = maxBytes - bytes.load();
    const bool capped = n > room;
    if (capped)
        n = room;
    int64_t done = 0;
    int err = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, data + done, size_t(n - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            err = w < 0 ? errno : ENOSPC;
            break;
        }
        done += w;
    }
    if (err == 0 && !capped) {
        bytes += done;
        return true;
    }
    // Keep only whole frames of what reached the file.
    keepWholeFrames(bytes.load() + done);
    result->byItself = true;
    result->reason = err ? QString("the recording cannot be written: %1").arg(SystemReason(err)) : limitReason;
    return false;
}

void TWaveCapture::Worker::run()
{
    std::vector<uint8_t> buffer(64 * 1024);
    TWaveCaptureEnd result;
    auto drain = [&] {
        for (;;) {
            const Uint32 got = dw::sdl::DequeueAudio(device->id(), buffer.data(), Uint32(buffer.size()));
            if (got == 0)
                return true;
            if (!append(buffer.data(), got, &result))
                return false;
        }
    };
    for (;;) {
        bool stopping;
        {
            std::unique_lock lock(mutex);
            wake.wait_for(lock, std::chrono::milliseconds(10), [this] { return stop; });
            stopping = stop;
        }
        if (stopping) {
            // What SDL captured up to the stop still belongs to the recording.
            pauseDevice(true);
            stopHook.Call();
            drain();
            break;
        }
        if (!drain())
            break;
        if (!device->alive()) {
            result = {true, QString("the recording device is no longer available")};
            break;
        }
    }
    // A frame cut in two by the driver is not audio.
    if (bytes.load() % std::max(1, format.blockAlign()))
        keepWholeFrames(bytes.load());
    {
        std::lock_guard lock(deviceMutex);
        deviceOpen = false;
        device->close();
    }
    {
        // From here on the owner may go: nothing of its is used any more.
        std::lock_guard lock(mutex);
        end = result;
        ended = true;
        if (onEnd)
            onEnd(end);
    }
    wake.notify_all();
}

}  // namespace dw
