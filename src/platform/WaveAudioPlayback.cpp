#include "platform/WaveAudioPlayback.h"

#include "platform/NativePath.h"

#include "platform/SdlLibrary.h"
#include "platform/ThreadReaper.h"
#include "platform/TestHook.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <unistd.h>
#include <vector>

namespace dw {

namespace {

// Called by the reading thread before each read (tests hold it there).
TTestHook readHook;

}  // namespace

// What the reading thread uses. The device stays with the owner; the thread
// reaches it only under deviceMutex and only while deviceOpen, so once Stop
// has closed it the thread can finish a slow read and end on its own.
struct TWavePlayback::Worker {
    TWaveAudioLayout layout;
    QString path;
    int64_t from = 0;
    std::function<void()> onEnd;
    std::function<void(QString)> onFailure;
    UniqueFd fd;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::mutex deviceMutex;
    bool deviceOpen = false;
    uint32_t device = 0;
    std::atomic<int64_t> fed{0};
    std::atomic<bool> paused{false};

    bool stopped()
    {
        std::lock_guard lock(mutex);
        return stop;
    }
    void run();
};

TWavePlayback::TWavePlayback(const QString& path, const TWaveAudioLayout& layout, int64_t fromByte,
                             std::function<void()> onEnd, std::function<void(QString)> onFailure)
    : path_(path), layout_(layout), from_(fromByte), worker_(std::make_shared<Worker>())
{
    worker_->layout = layout;
    worker_->path = path;
    worker_->from = fromByte;
    worker_->onEnd = std::move(onEnd);
    worker_->onFailure = std::move(onFailure);
}

TWavePlayback::~TWavePlayback()
{
    Stop();
}

void TWavePlayback::SetReadHookForTests(std::function<void()> hook)
{
    readHook.Set(std::move(hook));
}

bool TWavePlayback::Start(QString* error)
{
    worker_->fd = OpenReadOnly(path_);
    const int64_t at = layout_.dataOffset + from_;
    if (!worker_->fd || ::lseek(worker_->fd.get(), at, SEEK_SET) != at) {
        if (error)
            *error = QString("%1: %2").arg(path_, SystemReason(errno));
        return false;
    }
    if (!device_.open(layout_.format, false, error))
        return false;
    {
        std::lock_guard lock(worker_->deviceMutex);
        worker_->device = device_.id();
        worker_->deviceOpen = true;
    }
    Reap(std::thread([worker = worker_] { worker->run(); }));
    return true;
}

void TWavePlayback::Pause(bool paused)
{
    std::lock_guard lock(worker_->deviceMutex);
    worker_->paused = paused;
    device_.pause(paused);
}

void TWavePlayback::Stop()
{
    {
        std::lock_guard lock(worker_->mutex);
        worker_->stop = true;
    }
    worker_->wake.notify_all();
    // The thread holds deviceMutex only for quick device calls, never while it reads.
    std::lock_guard lock(worker_->deviceMutex);
    worker_->deviceOpen = false;
    device_.close();
}

int64_t TWavePlayback::PlayedBytes() const
{
    const int64_t queued = device_.id() ? int64_t(dw::sdl::GetQueuedAudioSize(device_.id())) : 0;
    const int64_t played = std::max<int64_t>(0, worker_->fed.load() - queued);
    return from_ + played - played % layout_.format.blockAlign();
}

void TWavePlayback::Worker::run()
{
    const int64_t ahead = std::max<int64_t>(layout.format.bytesPerSecond() / 2, 4096);
    std::vector<uint8_t> buffer(size_t(std::min<int64_t>(ahead, 64 * 1024)));
    int64_t left = layout.dataBytes - from;
    bool started = false;
    for (;;) {
        if (stopped())
            return;
        int64_t queued;
        {
            std::lock_guard lock(deviceMutex);
            if (!deviceOpen)
                return;
            queued = dw::sdl::GetQueuedAudioSize(device);
        }
        if (left > 0 && queued < ahead) {
            readHook.Call();
            const ssize_t got = ReadFull(fd.get(), buffer.data(), size_t(std::min<int64_t>(left, buffer.size())));
            const int readError = errno;
            std::lock_guard lock(deviceMutex);
            if (!deviceOpen)
                return;  // stopped during the read
            if (got <= 0) {
                // The file became shorter (or unreadable) under us: play what was queued.
                if (got < 0 && onFailure) {
                    onFailure(QString("%1: %2").arg(path, SystemReason(readError)));
                    return;
                }
                left = 0;
                continue;
            }
            if (dw::sdl::QueueAudio(device, buffer.data(), Uint32(got)) != 0) {
                if (onFailure)
                    onFailure(QString("the playback device refused the audio: %1").arg(dw::sdl::GetError()));
                return;
            }
            fed += got;
            left -= got;
            if (!started) {
                // Starting once something is queued keeps silence out of the beginning.
                started = true;
                if (!paused)
                    dw::sdl::PauseAudioDevice(device, 0);
            }
            continue;
        }
        {
            std::lock_guard lock(deviceMutex);
            if (!deviceOpen)
                return;
            if (left <= 0 && queued == 0) {
                if (onEnd)
                    onEnd();
                return;
            }
            if (dw::sdl::GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED) {
                if (onFailure)
                    onFailure(QString("the playback device is no longer available"));
                return;
            }
        }
        std::unique_lock lock(mutex);
        wake.wait_for(lock, std::chrono::milliseconds(10), [this] { return stop; });
    }
}

}  // namespace dw
