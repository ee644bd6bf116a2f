#pragma once
// The float core of the resampler: per block of input frames it holds or
// picks frames to change the rate and runs the 4-pole Chebyshev low-pass four
// times in cascade at the higher of the two rates. Filter state carries over
// from block to block; the frame-selection pattern restarts with every block.

#include "audio/formats/ResampleFilter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dw {

constexpr int kResampleStages = 4;
constexpr int kResampleHistory = 4;  // past input and past output values each stage keeps

class ResampleEngine {
public:
    // inStep and outStep are the byte counts of one fifth of a second at the
    // input and output rates (only their ratio matters here); capacityFrames is
    // the most frames a block holds at the filter rate.
    ResampleEngine(int channels, std::uint32_t inStep, std::uint32_t outStep, std::size_t capacityFrames);

    // Frames the working arrays need for blocks of inRate5 input frames.
    static std::size_t CapacityFor(std::uint32_t inRate5, std::uint32_t outRate5);

    // Frames produced from a block of n input frames.
    std::size_t OutputFrames(std::size_t n) const;

    // Resamples n interleaved frames (n at most the input frames per block) from
    // `in` into `out`, which must hold OutputFrames(n) frames. Returns the frames written.
    std::size_t Process(const float* in, std::size_t n, float* out);

    const ChebyshevLowPass& Filter() const { return filter_; }

    // Whether the vector kernel (AVX2 and FMA) is used where the CPU has it;
    // on by default. Both kernels give identical results; tests and
    // benchmarks switch it off to exercise the portable one.
    static void SetVectorKernelAllowed(bool allowed);
    static bool VectorKernelInUse();

    // Values of history kept per channel: the first stage's last 4 inputs, then
    // the last 4 outputs of each stage (which are also the next stage's inputs).
    static constexpr int kHistoryPerChannel = kResampleHistory * (1 + kResampleStages);

private:
    void filterPair(std::size_t frames, float* historyA, float* historyB);

    int channels_;
    std::uint32_t inStep_, outStep_;
    std::size_t capacity_;
    ChebyshevLowPass filter_;
    std::vector<float> history_;           // channels x kHistoryPerChannel, newest first
    std::vector<double> pairBlock_;         // two channels' block at the filter rate, interleaved
    std::vector<std::uint32_t> selection_;  // per block: source frame (raising) or kept frame (lowering)
};

}  // namespace dw
