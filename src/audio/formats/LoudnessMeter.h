#pragma once
// Measures the loudness and sample peak of interleaved integer PCM (8-bit
// unsigned, 16/24/32-bit signed little-endian) through libebur128, for
// ReplayGain (see LoudnessValues.h).
//
// The measuring runs on a thread of the meter's own: Add copies the bytes
// into a queue and returns, so a job that rips or encodes on one core
// measures on another instead of waiting for it. The queue holds at most
// 64 MiB; Add waits while it is full. Result, Combine and
// Frames first wait until everything added has been measured.
//
// Bytes may arrive in pieces of any size: a frame split across two calls is
// held back until it is complete, so the measurement does not depend on how
// a stream chunks its data. An incomplete last frame is never measured.
//
// Threads: one owner thread at a time calls Add, Result and Frames (the
// meter's own thread is internal).

#include "audio/formats/LoudnessValues.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace dw {

// What the meters of one job may hold queued together, so that a reader that
// outruns the measuring holds a bounded amount of audio however many tracks'
// meters are still measuring. A piece larger than the whole budget still
// passes when nothing else is queued. Thread-safe.
class TLoudnessQueueBudget {
public:
    explicit TLoudnessQueueBudget(size_t bytes) : bytes_(bytes) {}
    // Waits until n more bytes fit, then counts them.
    void Take(size_t n);
    // Counts n bytes as measured.
    void Give(size_t n);
    size_t Used();

private:
    std::mutex lock_;
    std::condition_variable changed_;
    const size_t bytes_;
    size_t used_ = 0;
};

class TLoudnessMeter {
public:
    static constexpr uint32_t kMaxChannels = 64;
    static constexpr uint32_t kMinSampleRate = 1000;
    static constexpr uint32_t kMaxSampleRate = 768000;

    // Raises EAuException ("Unsupported sample format") for a channel count,
    // rate or width out of range, or when libebur128 cannot set up.
    // With a budget, the queue is bounded by what the budget has left
    // instead of by the meter's own limit.
    TLoudnessMeter(uint32_t channels, uint32_t sampleRate, uint32_t bitsPerSample,
                   std::shared_ptr<TLoudnessQueueBudget> budget = nullptr);
    ~TLoudnessMeter();
    TLoudnessMeter(const TLoudnessMeter&) = delete;
    TLoudnessMeter& operator=(const TLoudnessMeter&) = delete;

    // Queues `bytes` bytes of PCM in the format given at construction.
    // Raises EAuException when an earlier piece could not be measured.
    void Add(const void* data, size_t bytes);

    // The loudness of everything added so far; unmeasured when the
    // measurement failed.
    TLoudness Result();

    // Sample frames measured so far.
    uint64_t Frames();

    // The loudness of the given measurements played one after another
    // (gating over all their blocks) and the highest of their peaks. Null
    // entries are skipped; unmeasured when nothing rose above the gate.
    static TLoudness Combine(const std::vector<TLoudnessMeter*>& meters);

private:
    // Owns the libebur128 state (its type is an unnamed struct in the
    // library's header, so it stays out of this one).
    struct State;

    // Waits until the queue is measured and the thread has ended; false
    // when the measurement failed.
    bool drain();
    void run();  // the meter's thread
    void measure(const uint8_t* p, size_t bytes);
    void addWholeFrames(const uint8_t* data, size_t frames);
    double peak();

    std::unique_ptr<State> state_;
    std::shared_ptr<TLoudnessQueueBudget> budget_;
    uint32_t channels_;
    uint32_t bytesPerSample_;
    uint32_t frameBytes_;
    std::vector<uint8_t> carry_;  // a partial frame from the last piece (meter's thread)
    std::vector<float> floats_;
    uint64_t frames_ = 0;

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::vector<uint8_t>> queue_;  // pieces not measured yet
    size_t queuedBytes_ = 0;
    bool ending_ = false;          // the thread ends once the queue is empty
    std::exception_ptr failure_;   // why a piece could not be measured
    std::thread thread_;
};

}  // namespace dw
