#pragma once
// Design of the resampler's anti-alias / anti-image low-pass: a 4-pole
// Chebyshev filter built with the recursive pole-pair procedure (bilinear
// transform of the analogue prototype, then low-pass to low-pass scaling).

#include <array>

namespace dw {

// Recursion coefficients of one 4-pole section:
//   y[n] = a0 x[n] + a1 x[n-1] + ... + a4 x[n-4] + b1 y[n-1] + ... + b4 y[n-4]
struct ChebyshevLowPass {
    std::array<float, 5> a{};  // a0 ... a4
    std::array<float, 4> b{};  // b1 ... b4
};

constexpr int kResamplePoles = 4;
constexpr float kResampleRipplePercent = 5.0f;

// Designs the low-pass for cutoff `fc` (a fraction of the sampling rate the
// filter runs at, 0 < fc < 0.5) and pass-band ripple in percent (0 = Butterworth).
// The gain at zero frequency is normalised to 1.
ChebyshevLowPass DesignChebyshevLowPass(float fc, float ripplePercent = kResampleRipplePercent);

// Cutoff the resampler uses for a conversion between two step sizes (bytes
// per fifth of a second at either rate): 0.85 of the lower Nyquist frequency,
// as a fraction of the higher rate.
float ResampleCutoff(unsigned inStep, unsigned outStep);

}  // namespace dw
