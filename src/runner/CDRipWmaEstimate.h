#pragma once
// The time estimate of a WMA encoding, which reports no progress of its own
// while it runs: from the size of the WAV input, the size the output has
// reached and the bytes per second of the chosen profile.

#include <cstdint>
#include <optional>

namespace dw {

// Estimated total seconds of an encoding that has run `elapsed` seconds on
// an input of inputSize bytes and written outputSize bytes so far (-1 when
// there is no output yet) with WMA profile `profile` (outside 0..32: profile
// 8). Inputs below 2000000 bytes are taken to need 2 s; otherwise the total
// is expected output size x elapsed / output so far, with nothing to say
// (nullopt) while the output is empty. The estimate is always at least one
// second more than elapsed.
std::optional<int64_t> WmaEstimatedSeconds(int64_t elapsed, int64_t inputSize, int64_t outputSize, int profile);

// Gauge position for an estimate: round(elapsed x 100 / total).
int WmaGaugePercent(int64_t elapsed, int64_t total);

}  // namespace dw
