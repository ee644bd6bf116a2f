#include "platform/WaveAudioPlayback.h"

#include "platform/NativePath.h"

#include "platform/SdlLibrary.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <unistd.h>
#include <vector>

namespace dw {

TWavePlayback::TWavePlayback(const QString& path, const TWaveAudioLayout& layout, int64_t fromByte,
                             std::function<void()> onEnd, std::function<void(QString)> onFailure)
    : path_(path), layout_(layout), from_(fromByte), onEnd_(std::move(onEnd)), onFailure_(std::move(onFailure))
{
}

TWavePlayback::~TWavePlayback()
{
    Stop();
}

bool TWavePlayback::Start(QString* error)
{
    fd_ = OpenReadOnly(path_);
    const int64_t at = layout_.dataOffset + from_;
    if (!fd_ || ::lseek(fd_.get(), at, SEEK_SET) != at) {
        if (error)
            *error = QString("%1: %2").arg(path_, SystemReason(errno));
        return false;
    }
    if (!device_.open(layout_.format, false, error))
        return false;
    worker_ = std::thread([this] { run(); });
    return true;
}

void TWavePlayback::Pause(bool paused)
{
    paused_ = paused;
    device_.pause(paused);
}

void TWavePlayback::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    device_.close();
}

int64_t TWavePlayback::PlayedBytes() const
{
    const int64_t queued = device_.id() ? int64_t(dw::sdl::GetQueuedAudioSize(device_.id())) : 0;
    const int64_t played = std::max<int64_t>(0, fed_.load() - queued);
    return from_ + played - played % layout_.format.blockAlign();
}

void TWavePlayback::run()
{
    const int64_t ahead = std::max<int64_t>(layout_.format.bytesPerSecond() / 2, 4096);
    std::vector<uint8_t> buffer(size_t(std::min<int64_t>(ahead, 64 * 1024)));
    int64_t left = layout_.dataBytes - from_;
    bool started = false;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (stop_)
                return;
        }
        const int64_t queued = dw::sdl::GetQueuedAudioSize(device_.id());
        if (left > 0 && queued < ahead) {
            const ssize_t got = ReadFull(fd_.get(), buffer.data(), size_t(std::min<int64_t>(left, buffer.size())));
            if (got <= 0) {
                // The file became shorter (or unreadable) under us: play what was queued.
                if (got < 0 && onFailure_) {
                    onFailure_(QString("%1: %2").arg(path_, SystemReason(errno)));
                    return;
                }
                left = 0;
                continue;
            }
            if (dw::sdl::QueueAudio(device_.id(), buffer.data(), Uint32(got)) != 0) {
                if (onFailure_)
                    onFailure_(QString("the playback device refused the audio: %1").arg(dw::sdl::GetError()));
                return;
            }
            fed_ += got;
            left -= got;
            if (!started) {
                // Starting once something is queued keeps silence out of the beginning.
                started = true;
                if (!paused_)
                    device_.pause(false);
            }
            continue;
        }
        if (left <= 0 && queued == 0) {
            if (onEnd_)
                onEnd_();
            return;
        }
        if (!device_.alive()) {
            if (onFailure_)
                onFailure_(QString("the playback device is no longer available"));
            return;
        }
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(10), [this] { return stop_; });
    }
}

}  // namespace dw
