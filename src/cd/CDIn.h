#pragma once
// TCDIn: the stream input that delivers a range of an audio CD as raw PCM
// (16-bit stereo 44100 Hz) through the ripper library, and answers questions
// about the drives and the disc.
//
// Threads: DoInit, DoGetData and DoFlush run on the worker thread of the
// output that pulls from the component; the queries and setters run on the
// main thread.

#include "audio/stream/AuException.h"
#include "audio/stream/AuInput.h"

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>

namespace dw {

// An offset into a track: Track is 1-based, Minute/Second/Frame the offset.
struct TCDPosition {
    int32_t Track = 0;
    uint8_t Minute = 0;
    uint8_t Second = 0;
    uint8_t Frame = 0;
    friend bool operator==(const TCDPosition&, const TCDPosition&) = default;
};

// The length of a track and whether it is a data track.
struct TCDTrackInfo {
    uint8_t Minute = 0;
    uint8_t Second = 0;
    uint8_t Frame = 0;
    bool DataTrack = false;
};

// As an end position: the lead-out.
inline constexpr TCDPosition EndOfDisc{100, 0, 0, 0};

// Sectors and bytes of CD audio.
inline constexpr int CDSectorBytes = 2352;
inline constexpr int CDSectorsPerSecond = 75;
inline constexpr uint32_t CDRipBufferBytes = 176400;  // one second of audio

// What went wrong in the component, so that callers can tell a failure on the
// disc side from one of the file the audio goes to without reading the text.
enum class TCDInFailure {
    None,
    Busy,                 // "The component is busy"
    NotReady,             // "The drive is not ready"
    StartTrackOutOfRange, // "The start track out of range"
    DataTrack,            // "Trying to rip a data track"
    EndTrackOutOfRange,   // "The end track out of range"
    NotOpened,            // "The Stream is not opened"
    TrackOutOfRange,      // "Track out of range."
    Unreadable,           // "The CD could not be read": the library gave up inside the range
};

// The component's message for a kind (empty for None).
QString CDInFailureMessage(TCDInFailure kind);

// The exception the component raises: an EAuException with the message above
// that also carries its kind.
class ECDInException : public EAuException {
public:
    explicit ECDInException(TCDInFailure kind) : EAuException(CDInFailureMessage(kind)), kind_(kind) {}
    TCDInFailure Kind() const noexcept { return kind_; }

private:
    TCDInFailure kind_;
};

// Frames (sectors) to minute/second/frame of a TCDTrackInfo or TCDPosition.
TCDTrackInfo FramesToTrackLength(int64_t frames);

class TCDIn : public TAuInput {
public:
    // Loads the ripper library (once per process); a failed initialisation is
    // reported through the dialogs layer and the component still works as far
    // as the library lets it.
    TCDIn();
    ~TCDIn() override;

    uint32_t GetBitsPerSample() override { return 16; }
    uint32_t GetChannels() override { return 2; }
    uint32_t GetSampleRate() override { return 44100; }
    int64_t GetTotalSamples() override;  // RangeSize div 4
    uint32_t GetTotalTime() override;    // seconds, rounded half to even

    // Drives.
    int32_t GetCurrentDrive() const { return CurrentDrive; }
    void SetCurrentDrive(int32_t drive);  // ignored outside 0..DrivesCount-1
    int32_t DrivesCount();
    QString DriveName();

    // Disc.
    int32_t TrackCount();                // -1 when the table of contents cannot be read
    // The disc's number of its first track (track index 1 of this component);
    // 1 when the table of contents cannot be read. Most discs start at 1.
    int32_t FirstTrackNumber();
    TCDTrackInfo TrackInfo(int32_t track);
    bool MediaPresent();

    // Range (setters raise "The component is busy" during a run).
    int32_t GetStartTrack() const { return StartTrack; }
    int32_t GetEndTrack() const { return EndTrack; }
    void SetStartTrack(int32_t track);
    void SetEndTrack(int32_t track);
    TCDPosition GetStartPos() const { return StartPos; }
    TCDPosition GetEndPos() const { return EndPos; }
    void SetStartPos(const TCDPosition& pos);
    void SetEndPos(const TCDPosition& pos);  // Track 100 = the lead-out
    // Bytes of the range [StartPos, EndPos), the end held at the lead-out;
    // during a run the bytes of the run.
    int64_t RangeSize();
    int64_t GetRipBytes() const { return RipBytes; }

    // The kind of the latest failure the component raised, None after a run
    // that started cleanly until it fails. An output that pulls from the
    // component reports only the message; its owner asks here (any thread).
    TCDInFailure LastFailure() const { return lastFailure_.load(); }

    // Reading parameters handed to the library at the start of each run.
    bool EnableJitterCorrection = false;
    int32_t ReadSectors = 0;     // 0 leaves the library's value
    int32_t OverlapSectors = 0;  // 0 leaves the library's value
    int32_t CompareSectors = 0;  // 0 leaves the library's value
    int32_t MultiReadCount = 0;
    bool Paranoid = false;
    int32_t ParanoiaMode = 0;
    bool LockTray = false;

protected:
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& buffer, uint32_t& bytes) override;

private:
    class Selection;  // select ... release, as a scope
    void select();
    void release();
    void checkIdle();
    // Records kind as the latest failure and raises it.
    [[noreturn]] void raise(TCDInFailure kind);
    // Sector of a position in the table of contents last read; -1 when the
    // track has no entry.
    static int64_t sectorOf(const TCDPosition& pos, int32_t trackCount);
    // Start and end sector of the range with a fresh table of contents, the
    // end held at the lead-out. False when the table cannot be read.
    bool rangeSectors(int64_t& start, int64_t& end);

    int32_t SelectCount = 0;
    int32_t CurrentDrive = 0;
    int32_t StartTrack = 0;
    int32_t EndTrack = 0;
    TCDPosition StartPos;
    TCDPosition EndPos;
    int64_t RipBytes = 0;
    std::array<uint8_t, CDRipBufferBytes> RipBuffer{};
    int32_t RipBufferSize = 0;
    int64_t RippedBytes = 0;  // bytes the library delivered in this run
    std::atomic<TCDInFailure> lastFailure_{TCDInFailure::None};
};

}  // namespace dw
