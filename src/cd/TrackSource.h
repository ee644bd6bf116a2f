#pragma once
// TTrackSource: reads one track of an audio CD into a 16-bit stereo 44100 Hz
// WAV file, the one way both rip modes read (they differ only in how they
// get the sectors: the CD input component in ripper mode, the drive library
// in drive mode).
//
// Whole or nothing: the track is written under a temporary name beside its
// final name and handed over, uncommitted, only when it was read whole; a
// failed or stopped read leaves no file. The caller normalises, commits or
// discards what it gets.
//
// Taps: every block of PCM the source reads passes through its taps in
// order, so that whatever must see every sample (a loudness measurement, a
// checksum) sees exactly what goes into the file without reading it again.
//
// Threads: Read, AddTap and the events on the main thread; Read returns at
// once and the end of a read always comes later from the event loop, never
// from inside Read. One read at a time. A tap's Begin and End run on the
// main thread, its Block on the reading thread, all of one read in order.

#include "app/JobFailure.h"
#include "platform/CancelToken.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace dw {

class TOutputFile;

// What to read.
struct TTrackRead {
    int Track = 0;       // the disc's track number (a disc need not start at 1)
    QString WavFile;     // the final name of the track's WAV file
    // A cut: only the first CutSeconds of the track (ripper mode lets the
    // cut run on past the end of the track into the next).
    bool Cut = false;
    int CutSeconds = 0;
};

// Sees every block of PCM a source reads.
class TPcmTap {
public:
    virtual ~TPcmTap() = default;
    // A read of the disc's track begins (main thread).
    virtual void Begin(int track) = 0;
    // The next bytes of the track (the reading thread). Must not raise: a
    // tap that cannot follow records that itself.
    virtual void Block(const uint8_t* data, size_t bytes) = 0;
    // The read ended; whole is false when it failed or was stopped (main thread).
    virtual void End(bool whole) = 0;
};

struct TTrackReadProgress {
    int Percent = 0;  // of the track read, 0..100
};

struct TTrackReadEnd {
    enum class Outcome { Ripped, Failed, Stopped };
    Outcome outcome = Outcome::Failed;
    TJobFailure failure;                // Failed: Read (the disc) or Write (the file)
    std::unique_ptr<TOutputFile> wav;   // Ripped: the whole track, under its temporary name
    // Failed because the drive could not be set up or its table of contents
    // read: no later read of this drive can do better.
    bool stalled = false;
    // Failed: the message box text a front end that shows one per failure
    // gives (empty when the source has none beyond the failure itself).
    QString notice{};
};

class TTrackSource {
public:
    virtual ~TTrackSource();

    // Starts reading what; its end is told through OnEnd. Cancelling the
    // token stops the read (the end then says Stopped).
    virtual void Read(const TTrackRead& what, const TCancelToken& cancel) = 0;
    virtual bool Reading() const = 0;

    // The tap sees every later read; it must outlive them. Not during a read.
    void AddTap(TPcmTap& tap) { taps_.push_back(&tap); }

    std::function<void(const TTrackReadProgress&)> OnProgress;
    std::function<void(TTrackReadEnd)> OnEnd;

protected:
    void tapsBegin(int track);
    void tapsBlock(const uint8_t* data, size_t bytes);
    void tapsEnd(bool whole);
    // Hands the end to OnEnd (main thread).
    void tell(TTrackReadEnd end);
    void progress(int percent);

private:
    std::vector<TPcmTap*> taps_;
};

}  // namespace dw
