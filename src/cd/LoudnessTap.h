#pragma once
// The ReplayGain measurement of a track as a tap on the read stream: every
// block of the track goes into a loudness meter of its own (which measures
// on a thread of its own), so a track is measured from what was ripped
// without reading its file again.
//
// Threads: as TPcmTap; TakeMeter and Failure on the main thread after the
// read ended.

#include "audio/formats/LoudnessMeter.h"
#include "cd/TrackSource.h"

#include <QString>

#include <memory>

namespace dw {

class TLoudnessTap : public TPcmTap {
public:
    void Begin(int track) override;
    void Block(const uint8_t* data, size_t bytes) override;
    void End(bool whole) override;

    // The measurement of the last track read whole; null when it failed
    // (Failure says why) or was taken.
    std::unique_ptr<TLoudnessMeter> TakeMeter() { return std::move(meter_); }
    const QString& Failure() const { return failure_; }

private:
    // The job's tracks together queue at most this much audio for their
    // meters, however far the reader runs ahead: the reader waits for the
    // measuring instead (libebur128 measures over a thousand times faster
    // than real time, faster than the tracks are encoded). A large queue
    // gained nothing in time and, filled by a new reading thread per track,
    // left each thread's allocator arena holding its own tens of MiB.
    std::shared_ptr<TLoudnessQueueBudget> budget_ = std::make_shared<TLoudnessQueueBudget>(size_t(4) << 20);
    std::unique_ptr<TLoudnessMeter> meter_;
    QString failure_;
};

}  // namespace dw
