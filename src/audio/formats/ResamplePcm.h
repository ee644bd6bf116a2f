#pragma once
// Integer PCM to float and back for the resampler, scaled by a power of two
// so that a sample that comes through the filter unchanged comes back as the
// same integer: N-bit value s is s / 2^(N-1) as a float, and a float v goes
// back as v * 2^(N-1) rounded to the nearest integer (ties to even) and
// clipped to the width's range. 8-bit PCM is unsigned (128 is silence); the
// wider widths are signed little-endian. No dither: the bit depth does not
// change here.

#include <cstddef>
#include <cstdint>

namespace dw {

// `samples` samples of `bytesPerSample` bytes (1 to 4) to floats.
void ResamplePcmToFloat(const std::uint8_t* src, float* dst, std::size_t samples, int bytesPerSample);

// `samples` floats to samples of `bytesPerSample` bytes (1 to 4), rounded and
// clipped as above; NaN becomes silence.
void ResampleFloatToPcm(const float* src, std::uint8_t* dst, std::size_t samples, int bytesPerSample);

}  // namespace dw
