#pragma once
// When a narrowing sample conversion adds dither, and the noise it adds.
//
// The dither is TPDF (triangular probability density): the difference of two
// independent uniform values, each spanning one step of the target width, so
// the noise lies strictly within ±1 step, has mean 0, and makes the rounding
// error's mean and variance independent of the signal.
//
// The noise comes from a seeded generator: the same input, settings and seed
// give the same output bytes, run after run.

#include <cstdint>

namespace dw {

// Which narrowing conversions are dithered. The numbers are what the stored
// option holds.
enum class TDitherMode {
    EightBitOnly = 0,   // only when narrowing to 8 bits (the default)
    WhenNarrowing = 1,  // whenever the output has fewer bits than the input
    Never = 2,          // plain rounding: the output depends on the input alone
};

// The mode a stored number names; a number outside 0 ... 2 gives the default.
TDitherMode DitherModeOf(int stored);

// Whether a conversion from `fromBits` to `toBits` per sample is dithered.
// Widening and keeping the width are never dithered.
bool DitherApplies(TDitherMode mode, int fromBits, int toBits);

class TTpdfDither {
public:
    static constexpr std::uint64_t kDefaultSeed = 0x6a09e667f3bcc908ull;

    explicit TTpdfDither(std::uint64_t seed = kDefaultSeed) : state_(seed) {}

    // The next noise value for a target step of 2^stepShift units (stepShift
    // 1 ... 32): an integer in -(2^stepShift - 1) ... 2^stepShift - 1, with a
    // triangular distribution around 0.
    std::int64_t Next(int stepShift)
    {
        const std::uint64_t r = nextRaw();
        const int drop = 32 - stepShift;
        const auto a = static_cast<std::int64_t>((r & 0xffffffffu) >> drop);
        const auto b = static_cast<std::int64_t>((r >> 32) >> drop);
        return a - b;
    }

private:
    // SplitMix64: a fast generator whose 64-bit outputs pass the usual
    // statistical batteries; each output gives the two uniform values.
    std::uint64_t nextRaw()
    {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }

    std::uint64_t state_;
};

}  // namespace dw
