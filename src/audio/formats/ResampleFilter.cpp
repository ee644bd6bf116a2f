#include "audio/formats/ResampleFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dw {

namespace {

using ext = long double;  // intermediate precision; the named values are single precision

struct Section {
    float a0, a1, a2, b1, b2;
};

// One pole pair p (1-based) of an np-pole Chebyshev low-pass, as a biquad.
Section poleSection(int p, int np, float fc, float ripple)
{
    const ext pi = std::numbers::pi_v<ext>;
    const ext angle = pi / (np * 2) + (p - 1) * pi / np;
    float rp = static_cast<float>(-std::cos(angle));
    float ip = static_cast<float>(std::sin(angle));

    // Warp the pole from the circle onto an ellipse for the ripple.
    if (ripple != 0.0f) {
        const ext r = ext(100) / (ext(100) - ripple);
        const float es = static_cast<float>(std::sqrt(r * r - 1));
        const float vx = static_cast<float>((ext(1) / np) * std::log(ext(1) / es + std::sqrt(ext(1) / (ext(es) * es) + 1)));
        float kx = static_cast<float>((ext(1) / np) * std::log(ext(1) / es + std::sqrt(ext(1) / (ext(es) * es) - 1)));
        kx = static_cast<float>((std::exp(ext(kx)) + std::exp(-ext(kx))) / 2);
        rp = static_cast<float>(rp * ((std::exp(ext(vx)) - std::exp(-ext(vx))) / 2) / kx);
        ip = static_cast<float>(ip * ((std::exp(ext(vx)) + std::exp(-ext(vx))) / 2) / kx);
    }

    // s-plane to z-plane (bilinear transform).
    const float t = static_cast<float>(2 * std::tan(ext(0.5)));
    const float w = static_cast<float>(2 * pi * fc);
    const float m = static_cast<float>(ext(rp) * rp + ext(ip) * ip);
    const ext tt = ext(t) * t;
    const float d = static_cast<float>(4 - 4 * ext(rp) * t + m * tt);
    const float x0 = static_cast<float>(tt / d);
    const float x1 = static_cast<float>(2 * tt / d);
    const float x2 = static_cast<float>(tt / d);
    const float y1 = static_cast<float>((8 - 2 * ext(m) * tt) / d);
    const float y2 = static_cast<float>((-4 - 4 * ext(rp) * t - ext(m) * tt) / d);

    // Low-pass to low-pass frequency change.
    const float k = static_cast<float>(std::sin(ext(0.5) - ext(w) / 2) / std::sin(ext(0.5) + ext(w) / 2));
    const ext kk = ext(k) * k;
    const float dd = static_cast<float>(1 + ext(y1) * k - ext(y2) * kk);
    Section s{};
    s.a0 = static_cast<float>((x0 - ext(x1) * k + ext(x2) * kk) / dd);
    s.a1 = static_cast<float>((-2 * ext(x0) * k + x1 + ext(x1) * kk - 2 * ext(x2) * k) / dd);
    s.a2 = static_cast<float>((ext(x0) * kk - ext(x1) * k + x2) / dd);
    s.b1 = static_cast<float>((2 * ext(k) + y1 + ext(y1) * kk - 2 * ext(y2) * k) / dd);
    s.b2 = static_cast<float>((-kk - ext(y1) * k + y2) / dd);
    return s;
}

}  // namespace

ChebyshevLowPass DesignChebyshevLowPass(float fc, float ripplePercent)
{
    constexpr int np = kResamplePoles;
    constexpr int n = np + 3;  // room for the two leading zeros the cascade shifts in
    // Polynomials start as "1" at index 2 and are multiplied by each section.
    std::array<float, n> a{}, b{};
    a[2] = 1.0f;
    b[2] = 1.0f;

    for (int p = 1; p <= np / 2; ++p) {
        const Section s = poleSection(p, np, fc, ripplePercent);
        const std::array<float, n> ta = a, tb = b;
        for (int i = 2; i < n; ++i) {
            a[i] = static_cast<float>(ext(s.a0) * ta[i] + ext(s.a1) * ta[i - 1] + ext(s.a2) * ta[i - 2]);
            b[i] = static_cast<float>(ext(tb[i]) - ext(s.b1) * tb[i - 1] - ext(s.b2) * tb[i - 2]);
        }
    }

    // Drop the two leading slots; the feedback terms change sign to the
    // "+ b y" form of the recursion, and b0 is not a coefficient.
    b[2] = 0.0f;
    ChebyshevLowPass f;
    for (int i = 0; i <= np; ++i)
        f.a[i] = a[i + 2];
    for (int i = 1; i <= np; ++i)
        f.b[i - 1] = -b[i + 2];

    // Unity gain at zero frequency.
    ext sa = 0, sb = 0;
    for (float v : f.a)
        sa += v;
    for (float v : f.b)
        sb += v;
    const float gain = static_cast<float>(sa / (1 - sb));
    for (float& v : f.a)
        v = static_cast<float>(ext(v) / gain);
    return f;
}

float ResampleCutoff(unsigned inStep, unsigned outStep)
{
    const ext lo = std::min(inStep, outStep);
    const ext hi = std::max(inStep, outStep);
    const float r = static_cast<float>(lo / hi);
    return static_cast<float>(ext(0.85) * r / 2);
}

}  // namespace dw
