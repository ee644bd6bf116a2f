#pragma once
// Byte kernels of the stereo balance: spreading mono PCM to stereo and
// attenuating one channel of interleaved stereo PCM.

#include <cstddef>
#include <cstdint>

namespace dw {

// Spreads `monoBytes` bytes of mono samples of `bytesPerSample` bytes (1 to 4)
// to stereo in place: each sample appears twice. `buf` must hold 2 * monoBytes
// bytes; a trailing partial sample is ignored. Returns the stereo byte count.
std::size_t SpreadMonoToStereo(std::uint8_t* buf, std::size_t monoBytes, int bytesPerSample);

// Attenuates one channel of interleaved stereo samples: with balance > 0.5 the
// left channel is scaled by (1 - balance), otherwise the right channel by
// balance; results are rounded to the nearest integer. 8-bit samples are scaled
// about their midpoint 128 so that full attenuation gives silence; wider widths
// are signed. A trailing partial frame is left alone.
void ApplyStereoBalance(std::uint8_t* buf, std::size_t bytes, int bytesPerSample, float balance);

}  // namespace dw
