#pragma once
// The resampler's filter cascade for two channels at once on CPUs with AVX2
// and FMA: the four stages of one channel occupy the four lanes of a vector
// and run as a wavefront (stage s works on sample t - s at step t), so that
// one step does a whole frame's filtering. The results are bit-identical to
// the portable cascade: every product of two single-precision values is exact
// in double precision, so a fused multiply-add rounds exactly as the separate
// multiply and add do, and the sums are taken in the same order.

#include "audio/formats/ResampleFilter.h"

#include <cstddef>

namespace dw::resample_detail {

// True when this build and this CPU can run CascadePairAvx2.
bool CascadeAvx2Available();

// Filters `frames` frames of two interleaved channels in `block` (doubles
// holding single-precision values) in place. historyA/historyB hold 20 values
// per channel: the first stage's last 4 inputs, then the last 4 outputs of
// each stage, newest first; historyB may be null (the second lane is then
// fed zeros and discarded).
void CascadePairAvx2(double* block, std::size_t frames, const ChebyshevLowPass& filter, float* historyA,
                     float* historyB);

}  // namespace dw::resample_detail
