#include "cd/CDRipThread.h"

#include "app/Helpers.h"
#include "app/ScaleWaveVolume.h"
#include "app/Settings.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "jobs/JobEvents.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <memory>
#include <span>
#include <vector>

namespace dw {

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

// Writes all of data; false on any short or failed write.
bool writeAll(QFile& file, const uint8_t* data, qint64 size)
{
    return file.write(reinterpret_cast<const char*>(data), size) == size;
}

// Gathers appended audio into large writes: one write per 23 kB chunk would
// cost a system call each. Every write is checked.
class StagedWriter {
public:
    explicit StagedWriter(QFile& file) : file_(file) { staged_.reserve(Capacity); }
    bool append(const uint8_t* data, size_t size)
    {
        if (staged_.size() + size > Capacity && !flush())
            return false;
        if (size >= Capacity)
            return writeAll(file_, data, qint64(size));
        staged_.insert(staged_.end(), data, data + size);
        return true;
    }
    bool flush()
    {
        const bool ok = staged_.empty() || writeAll(file_, staged_.data(), qint64(staged_.size()));
        staged_.clear();
        return ok;
    }

private:
    static constexpr size_t Capacity = 1 << 20;
    QFile& file_;
    std::vector<uint8_t> staged_;
};

}  // namespace

TRipSettings TRipSettings::FromAppSettings()
{
    TRipSettings s;
    s.OutputFolder = AppSettings.OutputFolder;
    s.EnableRipTime = AppSettings.EnableRipTime;
    s.RipTime = AppSettings.RipTime;
    s.IsNormalize = AppSettings.IsNormalize;
    s.NormalizePercent = AppSettings.NormalizePercent;
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

TCDRipThread::TCDRipThread(int track, QString title)
    : Track(track), Title(std::move(title)), Settings(TRipSettings::FromAppSettings())
{
}

TCDRipThread::~TCDRipThread()
{
    if (thread_.joinable())
        thread_.join();
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
    // An event per chunk that repeats the previous one tells the receiver
    // nothing new but wakes it every 23 kB; only changes are posted.
    const int32_t code = total > 0 ? int32_t(done * 100 / total) : 0;
    const int64_t seconds = RoundedSeconds(Clock::now() - start);
    if (code == lastCode_ && seconds == lastSeconds_)
        return;
    lastCode_ = code;
    lastSeconds_ = seconds;
    PostJobEvent(NotifyWindow, MakeProgressInfo(code, seconds));
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

    // 3: the track's sectors. Table addresses count the 150-sector lead-in;
    // the drive reads by sector number without it. A track the table does
    // not hold (a changed disc) or a data track cannot be ripped as audio.
    if (Track < 1 || Track > toc->trackCount() || toc->entries[size_t(Track - 1)].isData()) {
        PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_READ_FAILED));
        return;
    }
    const int64_t start = entryFrames(toc->entries[size_t(Track - 1)]) - 150;
    int64_t length = entryFrames(toc->entries[size_t(Track)]) - entryFrames(toc->entries[size_t(Track - 1)]);
    if (Settings.EnableRipTime)
        length = std::min<int64_t>(length, int64_t(std::max(Settings.RipTime, 0)) * 75);
    if (start < 0 || length < 0) {
        PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_READ_FAILED));
        return;
    }

    // 4-6: the file and its provisional header (data size 0 until complete).
    const QString path = FileName();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_CREATE_FAILED));
        return;
    }
    const auto emptyHeader = MakeRipWavHeader(0);
    bool writeFailed = !writeAll(file, emptyHeader.data(), RipWavHeaderSize);
    const Clock::time_point startTime = Clock::now();
    lastCode_ = -1;
    lastSeconds_ = -1;

    // 7: ten sectors per read, a progress event after each.
    StagedWriter writer(file);
    bool readFailed = false;
    int64_t done = 0;
    while (!writeFailed && done < length && !Stopped) {
        const int n = int(std::min<int64_t>(RipSectorsPerRead, length - done));
        const uint32_t capacity = uint32_t(n) * CdSectorBytes;
        const size_t bufferSize = ReadBufferHeaderSize + capacity;
        std::unique_ptr<uint8_t[]> storage = std::make_unique_for_overwrite<uint8_t[]>(bufferSize);
        const std::span<uint8_t> buffer(storage.get(), bufferSize);
        ReadBufferHeader request;
        request.startSector = uint32_t(start + done);
        request.sectorCount = uint32_t(n);
        request.capacity = capacity;
        EncodeReadBufferHeader(request, buffer);
        bool ok = ReadCDAudioLBA(CDHandle, buffer) == 1;
        if (ok) {
            const std::optional<ReadBufferHeader> reply = DecodeReadBufferHeader(buffer);
            // The reply must lie inside the buffer and hold every sector asked for;
            // a short read would leave a gap in the track.
            ok = reply && reply->bytesReturned == capacity
                 && uint64_t(ReadBufferHeaderSize) + reply->dataOffset + reply->bytesReturned <= buffer.size();
            if (ok && !writer.append(buffer.data() + ReadBufferHeaderSize + reply->dataOffset, reply->bytesReturned))
                writeFailed = true;
        }
        if (!ok) {
            readFailed = true;
            done = length;
        } else {
            done += n;
        }
        postProgress(done, length, startTime);
    }
    if (!writeFailed && !writer.flush())
        writeFailed = true;

    if (writeFailed) {
        // A full disk or failing device: the track is not ripped and no cut
        // file is left behind.
        file.close();
        QFile::remove(path);
        PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_CREATE_FAILED));
        return;
    }
    // 8: a failed read leaves the header at 0 bytes.
    if (readFailed) {
        file.close();
        PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_READ_FAILED));
        return;
    }
    // A stopped rip is cut short: its header stays at 0 bytes so the file does
    // not pass for a complete track, and nothing more is posted.
    if (Stopped) {
        file.close();
        return;
    }

    // 9: the real header, then normalising.
    const qint64 dataSize = file.size() - RipWavHeaderSize;
    const auto header = MakeRipWavHeader(uint32_t(std::max<qint64>(dataSize, 0)));
    if (!file.seek(0) || !writeAll(file, header.data(), RipWavHeaderSize) || !file.flush()) {
        file.close();
        QFile::remove(path);
        PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_CREATE_FAILED));
        return;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        QFile::remove(path);
        PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_CREATE_FAILED));
        return;
    }
    if (Settings.IsNormalize) {
        // A normalise that fails on I/O leaves the ripped file as it was; the
        // track still counts as ripped.
        Normalize(path);
        if (Stopped)
            return;
    }
    PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_OK));
}

bool TCDRipThread::Normalize(const QString& path)
{
    PostJobEvent(NotifyWindow, MakeProcessInfo(JOB_NORMALIZING));
    const Clock::time_point startTime = Clock::now();
    lastCode_ = -1;
    lastSeconds_ = -1;
    try {
        return ScaleWaveVolume(Settings.NormalizePercent, path, [&](int64_t done, int64_t total) {
            if (Stopped)
                return false;
            postProgress(done, total, startTime);
            return true;
        });
    } catch (const IoError&) {
        return false;
    }
}

}  // namespace dw
