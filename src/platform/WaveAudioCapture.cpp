#include "platform/WaveAudioCapture.h"

#include "platform/NativePath.h"

#include "platform/SdlLibrary.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <unistd.h>
#include <vector>

namespace dw {

TWaveCapture::TWaveCapture(int fd, const TWaveAudioFormat& format, int64_t maxBytes, QString limitReason,
                           std::function<void(QString)> onEnd)
    : fd_(fd),
      format_(format),
      maxBytes_(maxBytes - maxBytes % std::max(1, format.blockAlign())),
      limitReason_(std::move(limitReason)),
      onEnd_(std::move(onEnd))
{
}

TWaveCapture::~TWaveCapture()
{
    Stop();
}

bool TWaveCapture::Start(QString* error)
{
    base_ = ::lseek(fd_, 0, SEEK_CUR);
    if (base_ < 0) {
        if (error)
            *error = SystemReason(errno);
        return false;
    }
    if (!device_.open(format_, true, error))
        return false;
    device_.pause(false);
    worker_ = std::thread([this] { run(); });
    return true;
}

void TWaveCapture::Pause(bool paused)
{
    device_.pause(paused);
}

void TWaveCapture::Stop()
{
    device_.pause(true);
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    device_.close();
}

void TWaveCapture::end(const QString& reason)
{
    device_.pause(true);
    if (onEnd_)
        onEnd_(reason);
}

bool TWaveCapture::append(const uint8_t* data, int64_t n)
{
    const int64_t room = maxBytes_ - bytes_.load();
    const bool capped = n > room;
    if (capped)
        n = room;
    int64_t done = 0;
    int err = 0;
    while (done < n) {
        const ssize_t w = ::write(fd_, data + done, size_t(n - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            err = w < 0 ? errno : ENOSPC;
            break;
        }
        done += w;
    }
    if (err == 0 && !capped) {
        bytes_ += done;
        return true;
    }
    // Keep only whole frames of what reached the file.
    const int64_t total = bytes_.load() + done;
    const int64_t whole = total - total % format_.blockAlign();
    if (::ftruncate(fd_, base_ + whole) == 0)
        ::lseek(fd_, base_ + whole, SEEK_SET);
    bytes_ = whole;
    end(err ? QString("the recording cannot be written: %1").arg(SystemReason(err)) : limitReason_);
    return false;
}

void TWaveCapture::run()
{
    std::vector<uint8_t> buffer(64 * 1024);
    const int block = format_.blockAlign();
    auto drain = [&] {
        for (;;) {
            const Uint32 got = dw::sdl::DequeueAudio(device_.id(), buffer.data(), Uint32(buffer.size()));
            if (got == 0)
                return true;
            if (!append(buffer.data(), got))
                return false;
        }
    };
    for (;;) {
        bool stopping;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(10), [this] { return stop_; });
            stopping = stop_;
        }
        if (!drain())
            return;
        if (stopping)
            break;
        if (!device_.alive()) {
            end(QString("the recording device is no longer available"));
            return;
        }
    }
    // A frame cut in two by the driver is not audio.
    const int64_t total = bytes_.load();
    if (total % block) {
        const int64_t whole = total - total % block;
        if (::ftruncate(fd_, base_ + whole) == 0)
            ::lseek(fd_, base_ + whole, SEEK_SET);
        bytes_ = whole;
    }
}

}  // namespace dw
