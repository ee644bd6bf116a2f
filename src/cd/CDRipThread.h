#pragma once
// TCDRipThread: rips one CD track through the drive library into a 16-bit
// stereo 44100 Hz WAV file, optionally normalises it, and reports to a
// receiver with WM_JOB_EVENT (progress, JOB_NORMALIZING, JOB_RIP_DONE) and
// WM_RIP_ERROR.
//
// The track is written under a temporary name in the output folder and renamed
// to its file name only when it is whole (and normalised, when asked): a
// failed or stopped rip leaves no file and an existing file as it was.
//
// Threads: created and freed on the main thread; the work runs on a thread of
// its own that only posts events. The destructor waits for that thread.

#include "cd/RipSettings.h"

#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace dw {

class TOutputFile;

// The 44-byte header of a 16-bit stereo 44100 Hz PCM WAV file.
inline constexpr int RipWavHeaderSize = 44;
std::array<uint8_t, RipWavHeaderSize> MakeRipWavHeader(uint32_t dataSize);

// Sectors the thread asks a drive for per read.
inline constexpr int RipSectorsPerRead = 10;
// Sectors per read from an image file (235 kB: large enough that the calls
// cost nothing, small enough to stay in the processor's cache between the
// read and the write).
inline constexpr int RipImageSectorsPerRead = 100;

class TCDRipThread {
public:
    // Created suspended with the stop flag false; the creator sets CDHandle
    // and NotifyWindow, then calls Resume. track is the disc's track number
    // (the first track of a disc need not be 1); settings are the rip's own.
    TCDRipThread(int track, QString title, TRipSettings settings);
    // Waits for the thread to end. Set Stopped first to make that quick.
    ~TCDRipThread();
    TCDRipThread(const TCDRipThread&) = delete;
    TCDRipThread& operator=(const TCDRipThread&) = delete;

    void Resume();
    bool IsFinished() const { return Finished; }
    // Sets the stop flag and waits for the thread to end. True when the
    // track's file was put in place all the same (the stop came after the
    // rename, its completion never posted). Main thread.
    bool StopAndWait();
    // Called by every rip thread before each read of the disc (tests hold
    // the thread there); null for none.
    static void SetReadHookForTests(std::function<void()> hook);
    // The file the thread writes: WithTrailingBackslash(OutputFolder) + title + ".wav".
    QString FileName() const;
    // Why the track failed, for a failure it posted: "<file>: <system reason>"
    // for the file, a plain English reason for the disc. Any thread.
    QString ErrorText() const;

    int Track;
    QString Title;
    int CDHandle = 0;
    QObject* NotifyWindow = nullptr;
    std::atomic<bool> Stopped{false};  // polled once per chunk
    TRipSettings Settings;
    // For a reader that finishes the track itself: the whole track, with its
    // header, is handed over under its temporary name (TakeRipped) instead of
    // being normalised and put in place; JOB_RIP_DONE follows as usual. Set
    // before Resume.
    bool HandOver = false;
    // Sees every block of PCM read, in order, on the thread. Set before Resume.
    std::function<void(const uint8_t* data, size_t bytes)> OnBlock;
    // The handed-over track after JOB_RIP_DONE with RIP_RESULT_OK; null
    // otherwise or once taken.
    std::unique_ptr<TOutputFile> TakeRipped();

private:
    void Execute();
    void fail(int result, const QString& why);
    void postProgress(int64_t done, int64_t total, std::chrono::steady_clock::time_point start);

    static constexpr std::chrono::milliseconds ProgressGap{50};
    int32_t lastCode_ = -1;      // the last progress event posted
    int64_t lastSeconds_ = -1;
    std::chrono::steady_clock::time_point lastPost_{};
    mutable std::mutex errorMutex_;
    QString errorText_;
    std::thread thread_;
    std::atomic<bool> Finished{false};
    std::atomic<bool> inPlace_{false};  // the finished file was renamed into place
    std::unique_ptr<TOutputFile> ripped_;  // HandOver: guarded by errorMutex_
};

}  // namespace dw
