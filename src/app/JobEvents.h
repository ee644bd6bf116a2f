#pragma once
// The job-event protocol: how ripping, encoding and stream work report to the
// window (or engine object) that waits for them.
//
// A worker fills a TProcessInfo and posts it (the usual way; the sender goes
// on at once) or sends it (the sender waits until the receiver has handled
// it) as a WM_JOB_EVENT to a receiver QObject living on the main thread.
// Ownership travels with the event: the receiver gets a std::unique_ptr and
// frees it, or passes it on by posting it again.

#include "app/JobFailure.h"

#include <QEvent>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>

namespace dw {

// What a job does per item; the job runner hands the same byte to the
// encoder processes, which test it.
enum TJobKind : uint8_t {
    jkRipTracks = 1,       // rip CD tracks, then encode per OutputFormat
    jkWavToMp3 = 2,        // WAV files to MP3 (resampled to 44100 Hz first when below)
    jkMp3ToWav = 3,        // MP3 files decoded to WAV
    jkRecordingToMp3 = 4,  // the recorded WAV to MP3 beside it
    jkWavToOgg = 5,        // WAV files to Ogg Vorbis
    jkWavToWma = 6,        // WAV files to WMA
    jkToFlac = 7,          // WAV, FLAC, Opus or Ogg Vorbis files to FLAC
    jkToOpus = 8,          // WAV, FLAC, Opus or Ogg Vorbis files to Opus
};

// Event codes. 0..100 (and every value not listed here) is a progress percentage.
inline constexpr int32_t JOB_NORMALIZING = 999;
inline constexpr int32_t JOB_RIP_DONE = 1000;
inline constexpr int32_t JOB_MP3_DONE = 2000;
inline constexpr int32_t JOB_OGG_DONE = 3000;
inline constexpr int32_t JOB_RESAMPLE_DONE = 4000;
inline constexpr int32_t JOB_WMA_DONE = 5000;

// True for the six event codes above, false for progress codes.
bool IsJobEventCode(int32_t code);

// Result values of JOB_RIP_DONE.
inline constexpr int32_t RIP_RESULT_OK = 0;
inline constexpr int32_t RIP_RESULT_READ_FAILED = 3;
inline constexpr int32_t RIP_RESULT_CREATE_FAILED = 5;

// Result values of JOB_MP3_DONE and JOB_WMA_DONE.
inline constexpr int32_t ENC_RESULT_SKIPPED = 0;         // declined to overwrite, or no WMA encoder
inline constexpr int32_t ENC_RESULT_IN_USE = 1;          // the output file is in use
inline constexpr int32_t ENC_RESULT_ENDED = 2;           // the encoder ran and ended normally
// Refused before anything started (the output is the input, the input is not
// usable, the output cannot be written there), or the encoder exited non-zero
// or died of a signal, or its output could not be put in place; the reason,
// naming the file, is in Elapsed.
inline constexpr int32_t ENC_RESULT_FAILED = 3;
inline constexpr int32_t ENC_RESULT_ERROR_LINE = 8;      // WMA: the encoder printed an error line (in Elapsed)

// lParam of WM_RIP_ERROR.
inline constexpr int RIP_ERROR_DRIVE_PARAMS = 1;
inline constexpr int RIP_ERROR_READ_TOC = 2;
inline constexpr int RIP_ERROR_CREATE_WAV = 3;

// wParam of WM_CDDB_RESULT.
inline constexpr int CDDB_RESULT_NOT_FOUND = 6;
inline constexpr int CDDB_RESULT_FINISHED = 7;

// The event object of WM_JOB_EVENT.
struct TProcessInfo {
    int32_t Code = 0;   // 0..100 progress, else one of the event codes
    QString Elapsed;    // minutes:seconds, or empty; a WMA error completion carries the error line
    QString Estimated;  // minutes:seconds, or empty
    int32_t Result = 0; // result of a completion
    TJobFailure Failure;  // a completion's failure, where the sender says what failed
};

// The window messages as Qt event types (WM_USER + 101, 102 and 104 above QEvent::User).
inline constexpr QEvent::Type WM_RIP_ERROR = static_cast<QEvent::Type>(QEvent::User + 0x465);
inline constexpr QEvent::Type WM_JOB_EVENT = static_cast<QEvent::Type>(QEvent::User + 0x466);
inline constexpr QEvent::Type WM_CDDB_RESULT = static_cast<QEvent::Type>(QEvent::User + 0x468);

// WM_JOB_EVENT: owns its TProcessInfo until the receiver takes it.
class JobEvent : public QEvent {
public:
    explicit JobEvent(std::unique_ptr<TProcessInfo> info);
    // Hands the object over; afterwards the event holds nothing.
    std::unique_ptr<TProcessInfo> takeInfo() { return std::move(info_); }
    const TProcessInfo* info() const { return info_.get(); }

private:
    std::unique_ptr<TProcessInfo> info_;
};

// WM_RIP_ERROR: carries only the code.
class RipErrorEvent : public QEvent {
public:
    explicit RipErrorEvent(int code) : QEvent(WM_RIP_ERROR), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// WM_CDDB_RESULT: the result (6 not found, 7 finished) and the library's error code.
class CddbResultEvent : public QEvent {
public:
    CddbResultEvent(int result, int errorCode) : QEvent(WM_CDDB_RESULT), result_(result), errorCode_(errorCode) {}
    int result() const { return result_; }
    int errorCode() const { return errorCode_; }

private:
    int result_;
    int errorCode_;
};

// Base for objects that wait for job events. Lives on the main thread; the
// handlers run there, one event at a time.
class JobEventReceiver : public QObject {
public:
    explicit JobEventReceiver(QObject* parent = nullptr) : QObject(parent) {}

    // The handlers; each runs on the receiver's thread.
    virtual void jobEvent(std::unique_ptr<TProcessInfo> info) {}
    virtual void ripError(int code) {}
    virtual void cddbResult(int result, int errorCode) {}

protected:
    void customEvent(QEvent* event) override;
};

// Delivers one of the three events to a JobEventReceiver-like handler; for
// receivers that cannot derive from JobEventReceiver (windows). Gives false
// when the event is none of the three.
template <class Handler>
bool DispatchJobEvent(QEvent* event, Handler& handler);

// Posts info to receiver (any thread; the receiver handles it later on its own
// thread). A null receiver drops the object.
void PostJobEvent(QObject* receiver, std::unique_ptr<TProcessInfo> info);
// Sends info to receiver and returns once the receiver has handled it. From
// the receiver's thread the event is delivered directly; from any other
// thread it is handed to the main thread and the caller blocks until done.
void SendJobEvent(QObject* receiver, std::unique_ptr<TProcessInfo> info);
// Posts WM_RIP_ERROR / WM_CDDB_RESULT.
void PostRipError(QObject* receiver, int code);
void PostCddbResult(QObject* receiver, int result, int errorCode);

// Shorthand for a new TProcessInfo.
std::unique_ptr<TProcessInfo> MakeProcessInfo(int32_t code, int32_t result = 0, QString elapsed = {},
                                              QString estimated = {});

// ---- Time texts ----

// FormatTwoDigits(seconds div 60) + ":" + FormatTwoDigits(seconds mod 60):
// 75 gives 01:15, 6000 gives 100:00. Negative values count as 0.
QString FormatMinutesSeconds(int64_t seconds);

// Whole seconds of a duration, rounded to nearest with ties to even.
int64_t RoundedSeconds(std::chrono::steady_clock::duration d);

// Estimated total seconds for elapsed seconds at progress code (1..100):
// round(elapsed * 100 / code), ties to even. 0 when code is 0 or below.
int64_t EstimatedTotalSeconds(int64_t elapsed, int32_t code);

// A progress event for code at elapsed seconds: both time texts filled when
// code is above 0, both empty for code 0.
std::unique_ptr<TProcessInfo> MakeProgressInfo(int32_t code, int64_t elapsedSeconds);

// ---- template definition ----

template <class Handler>
bool DispatchJobEvent(QEvent* event, Handler& handler)
{
    switch (static_cast<int>(event->type())) {
    case WM_JOB_EVENT:
        handler.jobEvent(static_cast<JobEvent*>(event)->takeInfo());
        return true;
    case WM_RIP_ERROR:
        handler.ripError(static_cast<RipErrorEvent*>(event)->code());
        return true;
    case WM_CDDB_RESULT: {
        auto* e = static_cast<CddbResultEvent*>(event);
        handler.cddbResult(e->result(), e->errorCode());
        return true;
    }
    default:
        return false;
    }
}

}  // namespace dw
