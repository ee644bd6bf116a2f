#pragma once
// The time estimate of a WMA encoding in a job, which reports no progress of
// its own until it is complete: from the size of the WAV input, the size the
// output has reached and the expected ratio of input to output bytes of the
// chosen profile.
//
// Pure functions; any thread.

#include <array>
#include <cstdint>
#include <optional>

namespace dw {

// Per WMA profile index (0..32): WAV input bytes per expected WMA output
// byte, times 1000.
extern const std::array<int, 33> WmaSizeRatio;

// Inputs smaller than this are taken to need 2 seconds.
inline constexpr int64_t WmaSmallInput = 2000000;

// Estimated total seconds of an encoding that has run `elapsed` seconds on
// an input of inputSize bytes and written outputSize bytes so far (-1 when
// there is no output file yet), with profile index `profile` (0..32; the
// caller maps other values to 8). Nullopt while a large input has no
// output bytes yet. The estimate is always more than elapsed.
std::optional<int64_t> JobWmaEstimatedSeconds(int64_t elapsed, int64_t inputSize, int64_t outputSize, int profile);

// The gauge position for an estimate: round(elapsed x 100 / total), ties to even.
int JobWmaGaugePercent(int64_t elapsed, int64_t total);

}  // namespace dw
