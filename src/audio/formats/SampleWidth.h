#pragma once
// Exact changes of sample width for integer PCM (8 bits unsigned, 16, 24 and
// 32 bits signed little-endian), through "wide" samples: 64-bit integers on
// which full scale is 2^32. Every width maps onto that scale exactly
// (8-bit v -> (v - 128) * 2^25, 16-bit x -> x * 2^17, 24-bit x -> x * 2^9,
// 32-bit x -> x * 2), and so does the mean of two samples, so:
//
// - widening is exact: x * 2^(to - from), and back again gives x;
// - narrowing rounds to the nearest step of the target width, halfway cases
//   to the even step (no bias either way), then clips to the width's range;
//   optional TPDF dither (Dither.h) is added before the rounding, to every
//   sample that does not already lie on a step of the target width (so audio
//   that was widened narrows back bit-exact, and digital silence stays
//   silent, dither or not);
// - a mono mix is the exact mean of left and right, rounded only once, when
//   it is written.

#include "audio/formats/Dither.h"

#include <cstddef>
#include <cstdint>

namespace dw {

// Integer PCM of `bytesPerSample` bytes (1 to 4) onto the wide scale.
void PcmToWide(const std::uint8_t* src, std::int64_t* dst, std::size_t samples, int bytesPerSample);

// Wide samples as integer PCM of `bytesPerSample` bytes (1 to 4): with
// `dither`, its noise (one value per sample, used unless the sample lies on a
// step) is added first; then the value is rounded to the nearest step, ties to
// even, and clipped to the width.
void WideToPcm(const std::int64_t* src, std::uint8_t* dst, std::size_t samples, int bytesPerSample,
               TTpdfDither* dither = nullptr);

// Each output value is the exact mean of left and right. `dst` may equal `src`.
void WideStereoToMono(const std::int64_t* src, std::int64_t* dst, std::size_t frames);

// Each value is copied to both channels. `dst` may equal `src` (works backwards).
void WideMonoToStereo(const std::int64_t* src, std::int64_t* dst, std::size_t frames);

}  // namespace dw
