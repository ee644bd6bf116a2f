#include "platform/WaveAudioDevice.h"

#include "platform/FdIo.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"
#include "platform/WaveAudioCapture.h"
#include "platform/WaveAudioPlayback.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace dw {

namespace {

// Copies n bytes at offset of `from` to the current position of `to`.
bool copyRange(int from, int64_t offset, int64_t n, int to, int* err)
{
    std::vector<uint8_t> buffer(256 * 1024);
    if (::lseek(from, offset, SEEK_SET) != offset) {
        *err = errno;
        return false;
    }
    while (n > 0) {
        const ssize_t got = ReadFull(from, buffer.data(), size_t(std::min<int64_t>(n, int64_t(buffer.size()))));
        if (got <= 0) {
            *err = got < 0 ? errno : EIO;
            return false;
        }
        if (!WriteFull(to, buffer.data(), size_t(got))) {
            *err = errno;
            return false;
        }
        n -= got;
    }
    return true;
}

}  // namespace

TWaveAudioDevice::TWaveAudioDevice(QObject* parent) : QObject(parent) {}

TWaveAudioDevice::~TWaveAudioDevice()
{
    Close();
}

bool TWaveAudioDevice::fail(const QString& message)
{
    error_ = message;
    return false;
}

int64_t TWaveAudioDevice::bytesToMs(int64_t bytes) const
{
    const int64_t bps = layout_.format.bytesPerSecond();
    return bps > 0 ? bytes * 1000 / bps : 0;
}

int64_t TWaveAudioDevice::msToBytes(int64_t ms) const
{
    const int64_t bytes = std::max<int64_t>(ms, 0) * layout_.format.bytesPerSecond() / 1000;
    return bytes - bytes % std::max(1, layout_.format.blockAlign());
}

bool TWaveAudioDevice::Open(const QString& path)
{
    Close();
    error_.clear();
    TWaveAudioLayout layout;
    if (!ReadWaveAudioLayout(path, layout, &error_))
        return false;
    path_ = path;
    layout_ = layout;
    position_ = 0;
    mode_ = Mode::Stopped;
    return true;
}

void TWaveAudioDevice::Close()
{
    if (mode_ == Mode::NotOpen)
        return;
    stopAndWait();
    if (pending_)
        Save();
    mode_ = Mode::NotOpen;
    path_.clear();
    layout_ = {};
    position_ = 0;
}

int64_t TWaveAudioDevice::Length() const
{
    int64_t bytes = layout_.dataBytes;
    if (capture_)
        bytes += capture_->Bytes();
    else if (pending_)
        bytes += takeBytes_;
    return bytesToMs(bytes);
}

int64_t TWaveAudioDevice::Position() const
{
    if (playback_)
        return bytesToMs(playback_->PlayedBytes());
    if (capture_)
        return bytesToMs(insertAt_ + capture_->Bytes());
    return bytesToMs(position_);
}

bool TWaveAudioDevice::Play(std::optional<int64_t> fromMs)
{
    if (mode_ == Mode::NotOpen)
        return fail("no sound file is open");
    if (!fromMs && mode_ == Mode::Paused && playback_) {
        playback_->Pause(false);
        mode_ = Mode::Playing;
        return true;
    }
    int64_t start = fromMs ? msToBytes(*fromMs) : (playback_ ? playback_->PlayedBytes() : position_);
    stopAndWait();
    if (pending_ && !Save())
        return false;
    start = std::clamp<int64_t>(start, 0, layout_.dataBytes);
    const quint64 generation = ++generation_;
    auto onEnd = [this, generation] {
        QMetaObject::invokeMethod(this, [this, generation] {
            if (generation != generation_ || !playback_)
                return;
            stopPlayback();
            position_ = layout_.dataBytes;
            emit playbackEnded();
        }, Qt::QueuedConnection);
    };
    auto onFailure = [this, generation](const QString& reason) {
        QMetaObject::invokeMethod(this, [this, generation, reason] {
            if (generation != generation_ || !playback_)
                return;
            position_ = playback_->PlayedBytes();
            stopPlayback();
            emit deviceFailed(reason);
        }, Qt::QueuedConnection);
    };
    auto playback = std::make_unique<TWavePlayback>(path_, layout_, start, onEnd, onFailure);
    QString error;
    if (!playback->Start(&error))
        return fail(error);
    playback_ = std::move(playback);
    mode_ = Mode::Playing;
    return true;
}

bool TWaveAudioDevice::Record(int64_t fromMs, std::optional<int64_t> maxMs)
{
    if (mode_ == Mode::NotOpen)
        return fail("no sound file is open");
    if (mode_ == Mode::Paused && capture_) {
        capture_->Pause(false);
        mode_ = Mode::Recording;
        return true;
    }
    stopAndWait();
    if (pending_ && !Save())
        return false;
    const int64_t at = std::clamp<int64_t>(msToBytes(fromMs), 0, layout_.dataBytes);

    // The replacement: a header, the old audio before the position, then the recording.
    auto take = std::make_unique<TOutputFile>(path_);
    if (!take->Create())
        return fail(take->Error());
    const auto header = WaveAudioHeader(layout_.format, at);
    int err = 0;
    if (!WriteFull(take->Fd(), header.data(), header.size()))
        return fail(QString("%1: %2").arg(path_, SystemReason(errno)));
    if (at > 0) {
        UniqueFd old = OpenReadOnly(path_);
        if (!old || !copyRange(old.get(), layout_.dataOffset, at, take->Fd(), &err))
            return fail(QString("%1: %2").arg(path_, SystemReason(old ? err : errno)));
    }
    const quint64 generation = ++generation_;
    auto onEnd = [this, generation](const TWaveCaptureEnd& end) {
        QMetaObject::invokeMethod(this, [this, generation, end] {
            if (generation != generation_ || !capture_)
                return;
            captureEnded(end, true);
        }, Qt::QueuedConnection);
    };
    int64_t limit = kMaxWaveDataBytes - layout_.dataBytes;
    QString limitReason("the recording has reached the largest size a WAV file can hold");
    if (maxMs && msToBytes(*maxMs) < limit) {
        limit = msToBytes(*maxMs);
        limitReason.clear();
    }
    auto capture = std::make_unique<TWaveCapture>(take->Fd(), layout_.format, limit, limitReason, onEnd);
    QString error;
    if (!capture->Start(&error))
        return fail(error);
    take_ = std::move(take);
    capture_ = std::move(capture);
    stopRequested_ = false;
    insertAt_ = at;
    takeBytes_ = 0;
    mode_ = Mode::Recording;
    return true;
}

void TWaveAudioDevice::Pause()
{
    if (mode_ == Mode::Playing && playback_) {
        playback_->Pause(true);
        pausedFrom_ = Mode::Playing;
        mode_ = Mode::Paused;
    } else if (mode_ == Mode::Recording && capture_) {
        capture_->Pause(true);
        pausedFrom_ = Mode::Recording;
        mode_ = Mode::Paused;
    }
}

void TWaveAudioDevice::Stop()
{
    if (playback_) {
        position_ = playback_->PlayedBytes();
        stopPlayback();
    }
    if (capture_ && !stopRequested_) {
        // The worker ends on its own thread; its notice makes the recording pending.
        stopRequested_ = true;
        capture_->Stop();
        mode_ = Mode::Stopped;
    }
}

void TWaveAudioDevice::WaitForStop()
{
    if (!capture_)
        return;
    Stop();
    captureEnded(capture_->Wait(), true);
}

void TWaveAudioDevice::stopAndWait()
{
    Stop();
    if (capture_)
        captureEnded(capture_->Wait(), false);
}

void TWaveAudioDevice::stopPlayback()
{
    ++generation_;
    playback_.reset();  // closes the device; the worker ends by itself
    mode_ = Mode::Stopped;
}

void TWaveAudioDevice::captureEnded(const TWaveCaptureEnd& end, bool notify)
{
    ++generation_;
    const bool asked = stopRequested_;
    stopRequested_ = false;
    takeBytes_ = capture_->Bytes();
    capture_.reset();  // its worker has ended: nothing to wait for
    mode_ = Mode::Stopped;
    position_ = insertAt_ + takeBytes_;
    pending_ = takeBytes_ > 0;
    if (!pending_)
        take_.reset();  // nothing recorded: the file stays as it was
    if (!notify)
        return;
    if (asked)
        emit recordingStopped();
    else if (end.reason.isEmpty())
        emit recordingLimitReached();
    else
        emit deviceFailed(end.reason);
}

bool TWaveAudioDevice::Save()
{
    if (capture_)
        stopAndWait();
    if (!pending_)
        return true;
    pending_ = false;
    std::unique_ptr<TOutputFile> take = std::move(take_);
    const int fd = take->Fd();
    int err = 0;
    // The old audio after the position follows the recording.
    const int64_t tail = layout_.dataBytes - insertAt_;
    if (tail > 0) {
        UniqueFd old = OpenReadOnly(path_);
        if (!old || !copyRange(old.get(), layout_.dataOffset + insertAt_, tail, fd, &err))
            return fail(QString("%1: %2").arg(path_, SystemReason(old ? err : errno)));
    }
    const auto header = WaveAudioHeader(layout_.format, layout_.dataBytes + takeBytes_);
    if (::pwrite(fd, header.data(), header.size(), 0) != ssize_t(header.size()))
        return fail(QString("%1: %2").arg(path_, SystemReason(errno)));
    if (!take->Commit(true))
        return fail(take->Error());
    TWaveAudioLayout layout;
    if (!ReadWaveAudioLayout(path_, layout, &error_))
        return false;
    layout_ = layout;
    takeBytes_ = 0;
    return true;
}

}  // namespace dw
