#include "cd/CDIn.h"

#include "audio/stream/AuException.h"
#include "cd/RipperLibrary.h"
#include "platform/Dialogs.h"

#include <algorithm>
#include <cstring>

namespace dw {

namespace {

constexpr int32_t MaxTrackNumber = 255;

}  // namespace

QString CDInFailureMessage(TCDInFailure kind)
{
    switch (kind) {
    case TCDInFailure::None: return {};
    case TCDInFailure::Busy: return QStringLiteral("The component is busy");
    case TCDInFailure::NotReady: return QStringLiteral("The drive is not ready");
    case TCDInFailure::StartTrackOutOfRange: return QStringLiteral("The start track out of range");
    case TCDInFailure::DataTrack: return QStringLiteral("Trying to rip a data track");
    case TCDInFailure::EndTrackOutOfRange: return QStringLiteral("The end track out of range");
    case TCDInFailure::NotOpened: return QStringLiteral("The Stream is not opened");
    case TCDInFailure::TrackOutOfRange: return QStringLiteral("Track out of range.");
    case TCDInFailure::Unreadable: return QStringLiteral("The CD could not be read");
    }
    return {};
}

TCDTrackInfo FramesToTrackLength(int64_t frames)
{
    TCDTrackInfo info;
    if (frames < 0)
        frames = 0;
    info.Minute = uint8_t(std::min<int64_t>(frames / 75 / 60, 255));
    info.Second = uint8_t(frames / 75 % 60);
    info.Frame = uint8_t(frames % 75);
    return info;
}

// Selects the component's drive for the life of the scope.
class TCDIn::Selection {
public:
    explicit Selection(TCDIn& in) : in_(in) { in_.select(); }
    ~Selection() { in_.release(); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    TCDIn& in_;
};

TCDIn::TCDIn()
{
    if (LoadRipperLibrary() != 0) {
        static bool reported = false;  // the library is loaded once, so is its message
        if (!reported) {
            reported = true;
            CurrentDialogs().messageBox(QStringLiteral("Failed to initialize CDRip (insufficient privileges?)"),
                                        QStringLiteral("Error"), MessageIcon::Error, MessageButtons::Ok, Answer::Ok);
        }
    }
}

TCDIn::~TCDIn()
{
    if (Busy) {
        // A component destroyed in the middle of a run closes its range.
        CR_CloseRipper();
        Busy = false;
    }
    CR_DeInit();
}

void TCDIn::select()
{
    if (SelectCount == 0)
        CR_SetActiveCDROM(CurrentDrive);
    ++SelectCount;
}

void TCDIn::release()
{
    if (SelectCount > 0)
        --SelectCount;
}

void TCDIn::raise(TCDInFailure kind)
{
    lastFailure_ = kind;
    throw ECDInException(kind);
}

void TCDIn::checkIdle()
{
    if (Busy)
        raise(TCDInFailure::Busy);
}

void TCDIn::SetCurrentDrive(int32_t drive)
{
    Selection sel(*this);
    if (drive >= 0 && drive <= CR_GetNumCDROM() - 1)
        CurrentDrive = drive;
}

int32_t TCDIn::DrivesCount()
{
    return CR_GetNumCDROM();
}

QString TCDIn::DriveName()
{
    Selection sel(*this);
    // A block of our own: the library's shared one may be in use by a run
    // starting on the worker thread.
    TRipperDriveParams block;
    TRipperDriveParams* p = &block;
    CR_GetCDROMParameters(p);
    const QString name = QString::fromUtf8(CR_GetDriveID(p));
    if (!EnableJitterCorrection)
        EnableJitterCorrection = CR_GetJitterCorrection(p) != 0;
    return name;
}

int32_t TCDIn::TrackCount()
{
    Selection sel(*this);
    return CR_ReadToc() == 0 ? CR_GetNumTocEntries() : -1;
}

int32_t TCDIn::FirstTrackNumber()
{
    Selection sel(*this);
    if (CR_ReadToc() != 0 || CR_GetNumTocEntries() < 1)
        return 1;
    const int32_t first = CR_GetTocEntry(0).TrackNumber;
    return first >= 1 ? first : 1;
}

TCDTrackInfo TCDIn::TrackInfo(int32_t track)
{
    const int32_t count = TrackCount();
    if (track < 1 || track > count || track > MaxTrackNumber)
        raise(TCDInFailure::TrackOutOfRange);
    Selection sel(*this);
    const TRipperTocEntry e0 = CR_GetTocEntry(track - 1);
    const TRipperTocEntry e1 = CR_GetTocEntry(track);
    TCDTrackInfo info = FramesToTrackLength(int64_t(e1.StartSector) - e0.StartSector);
    info.DataTrack = e0.Flags == RipperDataTrackFlag;
    return info;
}

bool TCDIn::MediaPresent()
{
    Selection sel(*this);
    int32_t status = 0;
    CR_IsMediaLoaded(status);
    return status == 0;
}

void TCDIn::SetStartTrack(int32_t track)
{
    checkIdle();
    StartTrack = track;
    StartPos = TCDPosition{track, 0, 0, 0};
}

void TCDIn::SetEndTrack(int32_t track)
{
    checkIdle();
    EndTrack = track;
    EndPos = TCDPosition{track + 1, 0, 0, 0};
}

void TCDIn::SetStartPos(const TCDPosition& pos)
{
    checkIdle();
    StartPos = pos;
}

void TCDIn::SetEndPos(const TCDPosition& pos)
{
    checkIdle();
    EndPos = pos;
    if (pos.Track == EndOfDisc.Track)
        EndPos.Track = TrackCount() + 1;
}

int64_t TCDIn::sectorOf(const TCDPosition& pos, int32_t trackCount)
{
    if (pos.Track < 1 || pos.Track > trackCount + 1)
        return -1;
    return int64_t(CR_GetTocEntry(pos.Track - 1).StartSector) + (int64_t(pos.Minute) * 60 + pos.Second) * 75
           + pos.Frame;
}

bool TCDIn::rangeSectors(int64_t& start, int64_t& end)
{
    Selection sel(*this);
    start = end = 0;
    if (CR_ReadToc() != 0)
        return false;
    const int32_t count = CR_GetNumTocEntries();
    start = sectorOf(StartPos, count);
    end = sectorOf(EndPos, count);
    if (start < 0 || end < 0) {
        start = end = 0;
        return false;
    }
    // A cut that reaches past the last track ends at the lead-out: there is
    // no audio to deliver beyond it.
    const int64_t leadOut = CR_GetTocEntry(count).StartSector;
    end = std::min(end, leadOut);
    start = std::min(start, leadOut);
    end = std::max(end, start);
    return true;
}

int64_t TCDIn::RangeSize()
{
    if (Busy)
        return RipBytes;
    int64_t start = 0, end = 0;
    rangeSectors(start, end);
    return (end - start) * CDSectorBytes;
}

int64_t TCDIn::GetTotalSamples()
{
    return RangeSize() / 4;
}

uint32_t TCDIn::GetTotalTime()
{
    const int64_t samples = GetTotalSamples();
    int64_t q = samples / 44100;
    const int64_t r2 = samples % 44100 * 2;
    if (r2 > 44100 || (r2 == 44100 && (q & 1)))
        ++q;
    return uint32_t(q);
}

void TCDIn::DoInit()
{
    lastFailure_ = TCDInFailure::None;
    checkIdle();
    // The drive stays selected from here to DoFlush, so the parameters below
    // go to the component's own drive.
    select();
    try {
        TRipperDriveParams block;  // see DriveName
        TRipperDriveParams* p = &block;
        CR_GetCDROMParameters(p);
        CR_SetJitterCorrection(p, EnableJitterCorrection);
        // 0 leaves the library's value alone.
        if (ReadSectors != 0)
            CR_SetReadSectors(p, ReadSectors);
        if (OverlapSectors != 0)
            CR_SetOverlapSectors(p, OverlapSectors);
        if (CompareSectors != 0)
            CR_SetCompareSectors(p, CompareSectors);
        CR_SetEnableMultiRead(p, MultiReadCount > 0);
        CR_SetMultiReadCount(p, MultiReadCount);
        CR_SetParanoidMode(p, Paranoid);
        CR_SetParanoiaMode(p, ParanoiaMode);
        CR_LockCDTrayWhileRipping(p, LockTray);
        CR_SetCDROMParameters(p);

        if (!MediaPresent())
            raise(TCDInFailure::NotReady);
        const int32_t count = TrackCount();
        if (StartPos.Track < 1 || StartPos.Track > count)
            raise(TCDInFailure::StartTrackOutOfRange);
        if (TrackInfo(StartPos.Track).DataTrack)
            raise(TCDInFailure::DataTrack);
        if (EndPos.Track < 1 || EndPos.Track > count + 1)
            raise(TCDInFailure::EndTrackOutOfRange);

        int64_t start = 0, end = 0;
        if (!rangeSectors(start, end))
            raise(TCDInFailure::NotReady);
        RipBytes = (end - start) * CDSectorBytes;
        RipBufferSize = int32_t(RipBuffer.size());
        if (CR_OpenRipper(RipBufferSize, int32_t(start), int32_t(end)) != 0)
            raise(TCDInFailure::NotReady);
        RipBufferSize = std::clamp<int32_t>(RipBufferSize, 0, int32_t(RipBuffer.size()));
        Size = RipBytes;
        BufStart = 1;
        BufEnd = 0;
        Position = 0;
        RippedBytes = 0;
        Busy = true;
    } catch (...) {
        release();
        throw;
    }
}

void TCDIn::DoGetData(void*& buffer, uint32_t& bytes)
{
    if (!Busy)
        raise(TCDInFailure::NotOpened);
    if (BufStart > BufEnd) {
        BufStart = 1;
        int32_t got = 0;
        CR_RipChunk(RipBuffer.data(), got, false);
        BufEnd = uint32_t(std::clamp<int32_t>(got, 0, RipBufferSize));
        RippedBytes += BufEnd;
        // The library stops delivering before the end of the range only when
        // the disc cannot be read: that must not pass for the end of the data.
        if (BufEnd == 0 && RippedBytes < RipBytes)
            raise(TCDInFailure::Unreadable);
    }
    bytes = std::min(bytes, BufEnd - BufStart + 1);
    buffer = RipBuffer.data() + (BufStart - 1);
    BufStart += bytes;
    Position += bytes;
}

void TCDIn::DoFlush()
{
    CR_CloseRipper();
    if (Busy)
        release();
    Busy = false;
    Size = 0;
}

}  // namespace dw
