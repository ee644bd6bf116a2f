#include "cd/CDRipThread.h"

#include "platform/FdIo.h"

#include "app/Helpers.h"
#include "app/ScaleWaveVolume.h"
#include "app/JobConfig.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "app/JobEvents.h"

#include "cd/RippedFile.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"
#include "platform/TestHook.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <cmath>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace dw {

namespace {

// Called by the rip threads before each read (tests hold them there).
TTestHook readHook;

}  // namespace

namespace {

using Clock = std::chrono::steady_clock;

void putLe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void putLe16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// Frames of a table entry's minute-second-frame address (lead-in included).
int64_t entryFrames(const TocEntry& e)
{
    return int64_t(e.minute()) * 4500 + int64_t(e.second()) * 75 + e.frame();
}

// Writes the file in whole pages: the audio arrives in sectors of 2352 bytes
// after a 44-byte header, and writes that begin and end inside pages cost the
// kernel more than the copy itself. Each read lands right behind the bytes
// left over from the last one (less than a page), so nothing is copied twice
// in memory. After a failed write error() holds its errno.
class PageWriter {
public:
    static constexpr size_t Page = 4096;

    PageWriter(int fd, size_t capacity)
        : fd_(fd), storage_(std::make_unique_for_overwrite<uint8_t[]>(Front + capacity)), capacity_(capacity)
    {
    }
    // Where the next read goes: the drive library's record header comes
    // right before the data.
    std::span<uint8_t> readBuffer() { return {storage_.get() + Front - ReadBufferHeaderSize, ReadBufferHeaderSize + capacity_}; }
    uint8_t* data() { return storage_.get() + Front; }
    // Bytes that go before the first read (the provisional header).
    void prefix(const uint8_t* bytes, size_t size)
    {
        std::copy_n(bytes, size, carry_.data());
        carried_ = size;
    }
    // The read put size bytes at data(): writes every whole page.
    bool wrote(size_t size)
    {
        uint8_t* begin = data() - carried_;
        std::copy_n(carry_.data(), carried_, begin);  // over the record header
        const size_t have = carried_ + size;
        const size_t whole = have / Page * Page;
        carried_ = have - whole;
        std::copy_n(begin + whole, carried_, carry_.data());
        return check(whole == 0 || WriteFull(fd_, begin, whole));
    }
    bool finish()
    {
        const bool ok = carried_ == 0 || WriteFull(fd_, carry_.data(), carried_);
        carried_ = 0;
        return check(ok);
    }
    int error() const { return error_; }

private:
    static constexpr size_t Front = Page + ReadBufferHeaderSize;
    bool check(bool ok)
    {
        if (!ok)
            error_ = errno;
        return ok;
    }
    int fd_;
    int error_ = 0;
    std::unique_ptr<uint8_t[]> storage_;
    size_t capacity_;
    std::array<uint8_t, Page> carry_{};
    size_t carried_ = 0;
};

}  // namespace

TRipSettings TRipSettings::FromConfig(const TJobConfig& config)
{
    TRipSettings s;
    s.OutputFolder = config.Options.OutputFolder;
    s.EnableRipTime = config.Options.EnableRipTime;
    s.RipTime = config.Options.RipTime;
    s.IsNormalize = config.Options.IsNormalize;
    s.NormalizePercent = config.Options.NormalizePercent;
    s.Overwrite = config.Overwrite;
    return s;
}

std::array<uint8_t, RipWavHeaderSize> MakeRipWavHeader(uint32_t dataSize)
{
    std::array<uint8_t, RipWavHeaderSize> h{};
    uint8_t* p = h.data();
    std::copy_n("RIFF", 4, p);
    putLe32(p + 4, dataSize + 36);
    std::copy_n("WAVE", 4, p + 8);
    std::copy_n("fmt ", 4, p + 12);
    putLe32(p + 16, 16);
    putLe16(p + 20, 1);       // PCM
    putLe16(p + 22, 2);       // channels
    putLe32(p + 24, 44100);   // sample rate
    putLe32(p + 28, 176400);  // bytes per second
    putLe16(p + 32, 4);       // block align
    putLe16(p + 34, 16);      // bits per sample
    std::copy_n("data", 4, p + 36);
    putLe32(p + 40, dataSize);
    return h;
}

TCDRipThread::TCDRipThread(int track, QString title, TRipSettings settings)
    : Track(track), Title(std::move(title)), Settings(std::move(settings))
{
}

TCDRipThread::~TCDRipThread()
{
    if (thread_.joinable())
        thread_.join();
}

bool TCDRipThread::StopAndWait()
{
    Stopped = true;
    if (thread_.joinable())
        thread_.join();
    return inPlace_;
}

void TCDRipThread::Resume()
{
    if (!thread_.joinable() && !Finished)
        thread_ = std::thread([this] {
            Execute();
            Finished = true;
        });
}

QString TCDRipThread::FileName() const
{
    return WithTrailingBackslash(Settings.OutputFolder) + Title + QStringLiteral(".wav");
}

void TCDRipThread::postProgress(int64_t done, int64_t total, Clock::time_point start)
{
    // Every event wakes the receiver's thread, which then takes the
    // processor from this one: only changes are posted, a new percentage at
    // most every ProgressGap (an image's track is read in a fraction of a
    // second) unless it is the last, a new second always.
    const int32_t code = total > 0 ? int32_t(done * 100 / total) : 0;
    const Clock::time_point now = Clock::now();
    const int64_t seconds = RoundedSeconds(now - start);
    if (seconds == lastSeconds_ && (code == lastCode_ || (done < total && now - lastPost_ < ProgressGap)))
        return;
    lastCode_ = code;
    lastSeconds_ = seconds;
    lastPost_ = now;
    PostJobEvent(NotifyWindow, MakeProgressInfo(code, seconds));
}

std::unique_ptr<TOutputFile> TCDRipThread::TakeRipped()
{
    std::lock_guard<std::mutex> lock(errorMutex_);
    return std::move(ripped_);
}

QString TCDRipThread::ErrorText() const
{
    std::lock_guard<std::mutex> lock(errorMutex_);
    return errorText_;
}

void TCDRipThread::fail(int result, const QString& why)
{
    {
        std::lock_guard<std::mutex> lock(errorMutex_);
        errorText_ = why;
    }
    PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_RIP_DONE, result));
}

void TCDRipThread::SetReadHookForTests(std::function<void()> hook)
{
    readHook.Set(std::move(hook));
}

void TCDRipThread::Execute()
{
    // 1-2: drive set-up and table of contents.
    if (ModifyCDParms(CDHandle, CdParmMsf, 1) == 0) {
        PostRipError(NotifyWindow, RIP_ERROR_DRIVE_PARAMS);
        return;
    }
    TocRecord tocRecord{};
    if (ReadTOC(CDHandle, tocRecord) != 1) {
        PostRipError(NotifyWindow, RIP_ERROR_READ_TOC);
        return;
    }
    const std::optional<CdToc> toc = DecodeToc(tocRecord);
    if (!toc) {
        PostRipError(NotifyWindow, RIP_ERROR_READ_TOC);
        return;
    }

    // 3: the track's sectors. Entry 0 of the table is the disc's first track,
    // whatever its number. Table addresses count the 150-sector lead-in; the
    // drive reads by sector number without it. A track the table does not
    // hold (a changed disc) or a data track cannot be ripped as audio.
    const int index = Track - toc->firstTrack;
    if (index < 0 || index >= toc->trackCount()) {
        fail(RIP_RESULT_READ_FAILED, QStringLiteral("the disc has no track %1").arg(Track));
        return;
    }
    if (toc->entries[size_t(index)].isData()) {
        fail(RIP_RESULT_READ_FAILED, QStringLiteral("track %1 is a data track").arg(Track));
        return;
    }
    const int64_t start = entryFrames(toc->entries[size_t(index)]) - 150;
    int64_t length = entryFrames(toc->entries[size_t(index) + 1]) - entryFrames(toc->entries[size_t(index)]);
    if (Settings.EnableRipTime)
        length = std::min<int64_t>(length, int64_t(std::max(Settings.RipTime, 0)) * 75);
    if (start < 0 || length <= 0) {
        // An empty track is no rip: nothing is written and nothing reported ripped.
        fail(RIP_RESULT_READ_FAILED, QStringLiteral("there is no audio to rip in track %1").arg(Track));
        return;
    }

    // 4-6: the file, under a temporary name until it is complete, with a
    // provisional header (data size 0).
    const QString path = FileName();
    QString why;
    if (OutputTaken(path, Settings, why)) {
        fail(RIP_RESULT_CREATE_FAILED, why);
        return;
    }
    auto owned = std::make_unique<TOutputFile>(path);
    TOutputFile& file = *owned;
    if (!file.Create()) {
        fail(RIP_RESULT_CREATE_FAILED, file.Error());
        return;
    }
    // Images read many sectors at once; a drive is asked for as few as it
    // has always been.
    const int perRead = IsImageHandle(CDHandle) ? RipImageSectorsPerRead : RipSectorsPerRead;
    const auto emptyHeader = MakeRipWavHeader(0);
    PageWriter writer(file.Fd(), size_t(perRead) * CdSectorBytes);
    writer.prefix(emptyHeader.data(), RipWavHeaderSize);
    bool writeFailed = false;
    const Clock::time_point startTime = Clock::now();
    lastCode_ = -1;
    lastSeconds_ = -1;

    // 7: the sectors, a progress event after each read that changes it.
    bool readFailed = false;
    int64_t done = 0;
    while (!writeFailed && done < length && !Stopped) {
        const int n = int(std::min<int64_t>(perRead, length - done));
        const uint32_t capacity = uint32_t(n) * CdSectorBytes;
        const std::span<uint8_t> buffer = writer.readBuffer().first(ReadBufferHeaderSize + capacity);
        ReadBufferHeader request;
        request.startSector = uint32_t(start + done);
        request.sectorCount = uint32_t(n);
        request.capacity = capacity;
        EncodeReadBufferHeader(request, buffer);
        readHook.Call();
        bool ok = ReadCDAudioLBA(CDHandle, buffer) == 1;
        if (ok) {
            const std::optional<ReadBufferHeader> reply = DecodeReadBufferHeader(buffer);
            // The reply must lie inside the buffer and hold every sector asked for;
            // a short read would leave a gap in the track.
            ok = reply && reply->bytesReturned == capacity
                 && uint64_t(ReadBufferHeaderSize) + reply->dataOffset + reply->bytesReturned <= buffer.size();
            if (ok && reply->dataOffset != 0)
                std::memmove(writer.data(), writer.data() + reply->dataOffset, capacity);
            if (ok && OnBlock)
                OnBlock(writer.data(), capacity);
            if (ok && !writer.wrote(capacity))
                writeFailed = true;
            if (!ok)
                why = QStringLiteral("the drive returned fewer sectors than asked for");
        } else {
            why = GetAspiLibErrorText();
        }
        if (!ok) {
            readFailed = true;
            done = length;
        } else {
            done += n;
        }
        postProgress(done, length, startTime);
    }
    if (!writeFailed && !readFailed && !writer.finish())
        writeFailed = true;

    // A full disk or failing device, or a disc that could not be read: the
    // track is not ripped, and the temporary file goes with `file`.
    if (writeFailed) {
        fail(RIP_RESULT_CREATE_FAILED, path + QStringLiteral(": ") + SystemReason(writer.error()));
        return;
    }
    if (readFailed) {
        fail(RIP_RESULT_READ_FAILED, why);
        return;
    }
    // A stopped rip is cut short: it leaves nothing and posts nothing more.
    if (Stopped)
        return;

    // 9: the real header, then normalising and the rename into place.
    const uint32_t dataSize = uint32_t(done * CdSectorBytes);
    const auto header = MakeRipWavHeader(dataSize);
    if (::pwrite(file.Fd(), header.data(), RipWavHeaderSize, 0) != RipWavHeaderSize) {
        fail(RIP_RESULT_CREATE_FAILED, path + QStringLiteral(": ") + SystemReason(errno));
        return;
    }
    if (HandOver) {
        {
            std::lock_guard<std::mutex> lock(errorMutex_);
            ripped_ = std::move(owned);
        }
        PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_OK));
        return;
    }
    lastCode_ = -1;
    lastSeconds_ = -1;
    Clock::time_point normaliseStart = Clock::now();
    const TFinishStatus status = FinishRippedFile(
        file, Settings,
        [&](int64_t doneBytes, int64_t total) {
            if (Stopped)
                return false;
            postProgress(doneBytes, total, normaliseStart);
            return true;
        },
        why,
        [&] {
            PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_NORMALIZING));
            normaliseStart = Clock::now();
        });
    if (status == TFinishStatus::Done)
        inPlace_ = true;
    if (status == TFinishStatus::Stopped || Stopped)
        return;
    if (status == TFinishStatus::Failed) {
        fail(RIP_RESULT_CREATE_FAILED, why);
        return;
    }
    PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_OK));
}

}  // namespace dw
