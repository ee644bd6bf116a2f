#pragma once
// Measures the loudness and true peak of interleaved integer PCM (8-bit
// unsigned, 16/24/32-bit signed little-endian) through libebur128, for
// ReplayGain (see LoudnessValues.h).
//
// Bytes may arrive in pieces of any size: a frame split across two calls is
// held back until it is complete, so the measurement does not depend on how
// a stream chunks its data. An incomplete last frame is never measured.
//
// Threads: one thread at a time (the owner serialises Add and Result).

#include "audio/formats/LoudnessValues.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace dw {

class TLoudnessMeter {
public:
    static constexpr uint32_t kMaxChannels = 64;
    static constexpr uint32_t kMinSampleRate = 1000;
    static constexpr uint32_t kMaxSampleRate = 768000;

    // Raises EAuException ("Unsupported sample format") for a channel count,
    // rate or width out of range, or when libebur128 cannot set up.
    TLoudnessMeter(uint32_t channels, uint32_t sampleRate, uint32_t bitsPerSample);
    ~TLoudnessMeter();
    TLoudnessMeter(const TLoudnessMeter&) = delete;
    TLoudnessMeter& operator=(const TLoudnessMeter&) = delete;

    // Measures `bytes` bytes of PCM in the format given at construction.
    void Add(const void* data, size_t bytes);

    // The loudness of everything added so far.
    TLoudness Result();

    // Sample frames measured so far.
    uint64_t Frames() const { return frames_; }

    // The loudness of the given measurements played one after another
    // (gating over all their blocks) and the highest of their true peaks.
    // Null entries are skipped; unmeasured when nothing rose above the gate.
    static TLoudness Combine(const std::vector<TLoudnessMeter*>& meters);

private:
    // Owns the libebur128 state (its type is an unnamed struct in the
    // library's header, so it stays out of this one).
    struct State;

    void addWholeFrames(const uint8_t* data, size_t frames);
    double truePeak();

    std::unique_ptr<State> state_;
    uint32_t channels_;
    uint32_t bytesPerSample_;
    uint32_t frameBytes_;
    std::vector<uint8_t> carry_;  // a partial frame from the last Add
    std::vector<float> floats_;
    uint64_t frames_ = 0;
};

}  // namespace dw
