#pragma once
// One channel-interleaved float stream through libsoxr at its high-quality
// recipe (linear phase, 20-bit precision, flat to 0.913 of the lower Nyquist
// frequency, no aliasing above it): a band-limited filter for any rate ratio.
// Single-threaded; the whole stream lives on the thread that feeds it.

#include <cstddef>
#include <memory>

struct soxr;

namespace dw {

class TResampleStream {
public:
    // Throws std::runtime_error with libsoxr's message when it refuses the rates.
    TResampleStream(double inRate, double outRate, unsigned channels);
    ~TResampleStream();
    TResampleStream(const TResampleStream&) = delete;
    TResampleStream& operator=(const TResampleStream&) = delete;

    // Takes up to `frames` input frames and writes up to `capacity` output
    // frames to `out`; returns the frames written and sets `used` to the input
    // frames taken (fewer than offered when the output was full: offer the rest
    // again). Output lags the input by the filter's delay.
    std::size_t Process(const float* in, std::size_t frames, std::size_t& used, float* out, std::size_t capacity);

    // After the last input: writes up to `capacity` frames of the filter's
    // tail; 0 once everything is out.
    std::size_t Drain(float* out, std::size_t capacity);

private:
    struct Deleter {
        void operator()(soxr* s) const;
    };
    std::unique_ptr<soxr, Deleter> stream_;
};

}  // namespace dw
