#pragma once
// A pass-through converter that measures the PCM flowing through it for
// ReplayGain: every byte it hands on is exactly the byte it read, and the
// same bytes are measured, so a job that already reads the audio (to encode
// or write it) gets the loudness without decoding it a second time.
//
// Each Init starts a new measurement with the input's format; Flush ends the
// run but keeps the result. Integer PCM of 8, 16, 24 or 32 bits only: Init
// raises "Unsupported sample format" otherwise.
//
// Threads: DoInit, DoGetData and DoFlush run on the output's worker thread.
// TrackResult and TakeMeter may be called from any thread; they take the
// data lock, so they wait for a read in progress. Call them after the run
// ended (OnDone) to get the whole track.

#include "audio/formats/LoudnessMeter.h"
#include "audio/stream/AuConverter.h"

#include <memory>

namespace dw {

class TLoudnessMeasure : public TAuConverter {
public:
    TLoudnessMeasure();
    ~TLoudnessMeasure() override;

    // The loudness of what has passed since the last Init; unmeasured before
    // any run or after TakeMeter.
    TLoudness TrackResult();

    // Hands the run's measurement over (for TLoudnessAlbum::Add); null
    // before any run or when already taken.
    std::unique_ptr<TLoudnessMeter> TakeMeter();

protected:
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& buffer, uint32_t& bytes) override;
    // Measures exactly what the converter's accounting hands out.
    void ReadFromSource(void*& buffer, uint32_t& bytes) override;

private:
    std::unique_ptr<TLoudnessMeter> meter_;
};

}  // namespace dw
