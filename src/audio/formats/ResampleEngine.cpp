#include "audio/formats/ResampleEngine.h"

#include "audio/formats/ResampleCascadeAvx.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>

namespace dw {

namespace {

// Two channels side by side: the filter runs on both lanes with the same
// instructions (packed SIMD where the target has it).
using Pair = double __attribute__((vector_size(16)));
using PairF = float __attribute__((vector_size(8)));

std::atomic<bool> g_vectorAllowed{true};

inline Pair roundToFloat(Pair v)
{
    return __builtin_convertvector(__builtin_convertvector(v, PairF), Pair);
}

}  // namespace

ResampleEngine::ResampleEngine(int channels, std::uint32_t inStep, std::uint32_t outStep, std::size_t capacityFrames)
    : channels_(channels), inStep_(inStep), outStep_(outStep), capacity_(capacityFrames)
{
    if (channels < 1 || inStep == 0 || outStep == 0)
        throw std::invalid_argument("ResampleEngine: invalid channels or steps");
    filter_ = DesignChebyshevLowPass(ResampleCutoff(inStep, outStep));
    history_.assign(std::size_t(channels) * kHistoryPerChannel, 0.0f);
    pairBlock_.resize(2 * capacity_);
    selection_.resize(capacity_);
}

void ResampleEngine::SetVectorKernelAllowed(bool allowed)
{
    g_vectorAllowed = allowed;
}

bool ResampleEngine::VectorKernelInUse()
{
    static const bool available = resample_detail::CascadeAvx2Available();
    return available && g_vectorAllowed;
}

std::size_t ResampleEngine::CapacityFor(std::uint32_t inRate5, std::uint32_t outRate5)
{
    if (inRate5 >= outRate5)
        return inRate5;
    std::uint64_t l = 2;
    while (l * inRate5 < outRate5)
        ++l;
    return static_cast<std::size_t>(l * inRate5);
}

std::size_t ResampleEngine::OutputFrames(std::size_t n) const
{
    if (n == 0)
        return 0;
    if (inStep_ < outStep_)  // ceil(n * out / in): output frame q holds input frame floor(q * in / out)
        return static_cast<std::size_t>((std::uint64_t(n) * outStep_ + inStep_ - 1) / inStep_);
    // Lowering: frame j is kept when the running count crosses a multiple of in/out.
    std::size_t kept = 0;
    std::int64_t acc = 0;
    for (std::size_t j = 0; j < n; ++j) {
        acc -= outStep_;
        if (acc < 0) {
            ++kept;
            acc += inStep_;
        }
    }
    return kept;
}

// Runs the four stages over the block of two channels (pairBlock_, lane 0
// channel A, lane 1 channel B; historyB may be null for a lone channel) in
// place. Each stage computes
//   y[j] = sum(a_k x[j-k], k = 0..4) + sum(b_k y[j-k], k = 1..4)
// with the products (exact in double precision) summed in double precision and
// y rounded to float. The stages are interleaved per sample; every value is the
// same as running the stages one after another over the block.
void ResampleEngine::filterPair(std::size_t frames, float* historyA, float* historyB)
{
    if (VectorKernelInUse()) {
        resample_detail::CascadePairAvx2(pairBlock_.data(), frames, filter_, historyA, historyB);
        return;
    }
    const auto splat = [](float v) { return Pair{double(v), double(v)}; };
    const Pair a0 = splat(filter_.a[0]), a1 = splat(filter_.a[1]), a2 = splat(filter_.a[2]),
               a3 = splat(filter_.a[3]), a4 = splat(filter_.a[4]);
    const Pair b1 = splat(filter_.b[0]), b2 = splat(filter_.b[1]), b3 = splat(filter_.b[2]),
               b4 = splat(filter_.b[3]);

    // h[0..3]: first stage's past inputs; h[4 + 4s .. 7 + 4s]: stage s's past outputs.
    Pair h[kHistoryPerChannel];
    for (int k = 0; k < kHistoryPerChannel; ++k)
        h[k] = Pair{double(historyA[k]), historyB ? double(historyB[k]) : 0.0};

    double* blk = pairBlock_.data();
    for (std::size_t j = 0; j < frames; ++j) {
        Pair x;
        std::memcpy(&x, blk + 2 * j, sizeof x);
        Pair ys[kResampleStages];
        Pair in = x;
        for (int s = 0; s < kResampleStages; ++s) {
            const Pair* xi = h + 4 * s;      // this stage's past inputs
            const Pair* yo = h + 4 * s + 4;  // this stage's past outputs
            // Terms of older values first, summed as a tree; the newest output
            // and the new input enter last, keeping the dependency chains short.
            const Pair older = ((a1 * xi[0] + a2 * xi[1]) + (a3 * xi[2] + a4 * xi[3]))
                               + ((b2 * yo[1] + b3 * yo[2]) + b4 * yo[3]);
            ys[s] = roundToFloat((older + b1 * yo[0]) + a0 * in);
            in = ys[s];
        }
        h[3] = h[2];
        h[2] = h[1];
        h[1] = h[0];
        h[0] = x;
        for (int s = 0; s < kResampleStages; ++s) {
            Pair* yo = h + 4 * s + 4;
            yo[3] = yo[2];
            yo[2] = yo[1];
            yo[1] = yo[0];
            yo[0] = ys[s];
        }
        std::memcpy(blk + 2 * j, &ys[kResampleStages - 1], sizeof(Pair));
    }
    for (int k = 0; k < kHistoryPerChannel; ++k) {
        historyA[k] = float(h[k][0]);
        if (historyB)
            historyB[k] = float(h[k][1]);
    }
}

std::size_t ResampleEngine::Process(const float* in, std::size_t n, float* out)
{
    if (n == 0)
        return 0;
    const std::size_t ch = static_cast<std::size_t>(channels_);
    const bool raising = inStep_ < outStep_;

    // Frame selection of this block (the pattern restarts with every block).
    std::size_t m = 0;
    std::int64_t acc = 0;
    if (raising) {
        // Output frame q holds input frame floor(q * in / out); the held frames
        // are then filtered at the output rate to remove the images.
        m = std::min(OutputFrames(n), capacity_);
        std::uint32_t i = 0;
        for (std::size_t q = 0; q < m; ++q) {
            selection_[q] = i;
            acc += inStep_;
            while (acc >= std::int64_t(outStep_)) {
                acc -= outStep_;
                ++i;
            }
        }
    } else {
        // Filter at the input rate, then keep the frames where the accumulator
        // goes negative.
        n = std::min(n, capacity_);
        for (std::size_t j = 0; j < n; ++j) {
            acc -= outStep_;
            if (acc < 0) {
                selection_[m++] = static_cast<std::uint32_t>(j);
                acc += inStep_;
            }
        }
    }

    const std::size_t filterFrames = raising ? m : n;
    double* blk = pairBlock_.data();
    for (std::size_t c = 0; c < ch; c += 2) {
        const bool pair = c + 1 < ch;
        // Gather one or two channels into the pair block.
        for (std::size_t f = 0; f < filterFrames; ++f) {
            const std::size_t src = (raising ? std::size_t(selection_[f]) : f) * ch + c;
            blk[2 * f] = in[src];
            blk[2 * f + 1] = pair ? in[src + 1] : 0.0;
        }
        filterPair(filterFrames, &history_[c * kHistoryPerChannel],
                   pair ? &history_[(c + 1) * kHistoryPerChannel] : nullptr);
        // Scatter the output frames back, interleaved.
        for (std::size_t k = 0; k < m; ++k) {
            const std::size_t f = raising ? k : std::size_t(selection_[k]);
            out[k * ch + c] = float(blk[2 * f]);
            if (pair)
                out[k * ch + c + 1] = float(blk[2 * f + 1]);
        }
    }
    return m;
}

}  // namespace dw
