#pragma once
// Sample kernels shared by the converters: integer PCM of 8, 16, 24 or 32
// bits to 32-bit float in -1 ... 1 and back, and mono/stereo mixing.
// 8-bit PCM is unsigned; the wider widths are signed little-endian.
// Both directions use the same scale, 2^(bits - 1) for full scale, so an
// integer sample of up to 24 bits comes back from its float unchanged.

#include <cstddef>
#include <cstdint>

namespace dw {

// True for the widths the converters handle: 8, 16, 24 and 32 bits.
bool IsSupportedPcmWidth(int bitsPerSample);

// Converts `samples` integer samples of `bytesPerSample` bytes (1 to 4) to floats.
void PcmToFloat(const std::uint8_t* src, float* dst, std::size_t samples, int bytesPerSample);

// Converts `samples` floats to integer samples of `bytesPerSample` bytes (1 to 4):
// v x 2^(bits - 1) rounded to the nearest integer (ties to even), clipped to
// the width's range (so 1.0 gives the largest positive value); NaN becomes
// silence.
void FloatToPcm(const float* src, std::uint8_t* dst, std::size_t samples, int bytesPerSample);

// Single-sample forms of the conversions above.
float PcmSampleToFloat(const std::uint8_t* src, int bytesPerSample);
void FloatToPcmSample(float v, std::uint8_t* dst, int bytesPerSample);

// Each output value is (left + right) / 2. `dst` may equal `src`.
void StereoToMono(const float* src, float* dst, std::size_t frames);

// Each value is copied to both channels. `dst` may equal `src` (works backwards).
void MonoToStereo(const float* src, float* dst, std::size_t frames);

}  // namespace dw
