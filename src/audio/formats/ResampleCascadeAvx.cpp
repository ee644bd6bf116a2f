#include "audio/formats/ResampleCascadeAvx.h"

#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define DW_CASCADE_AVX2 1
#include <immintrin.h>
#endif

namespace dw::resample_detail {

#ifdef DW_CASCADE_AVX2

namespace {

// One channel's state, lane s = stage s: x1..x4 the stage's past inputs,
// y1..y4 its past outputs, prev the outputs of the last step.
struct Lanes {
    __m256d x1, x2, x3, x4, y1, y2, y3, y4, prev;
};

struct Coefs {
    __m256d a0, a1, a2, a3, a4, b1, b2, b3, b4;
};

__attribute__((target("avx2,fma"))) inline Lanes loadLanes(const float* h)
{
    // Stage s reads inputs h[4s .. 4s+3] and outputs h[4s+4 .. 4s+7].
    __m256d v[8];
    for (int k = 0; k < 8; ++k)
        v[k] = _mm256_set_pd(h[12 + k], h[8 + k], h[4 + k], h[k]);
    Lanes l;
    l.x1 = v[0];
    l.x2 = v[1];
    l.x3 = v[2];
    l.x4 = v[3];
    l.y1 = v[4];
    l.y2 = v[5];
    l.y3 = v[6];
    l.y4 = v[7];
    l.prev = _mm256_setzero_pd();
    return l;
}

__attribute__((target("avx2,fma"))) inline void storeLanes(const Lanes& l, float* h)
{
    alignas(32) double v[8][4];
    _mm256_store_pd(v[0], l.x1);
    _mm256_store_pd(v[1], l.x2);
    _mm256_store_pd(v[2], l.x3);
    _mm256_store_pd(v[3], l.x4);
    _mm256_store_pd(v[4], l.y1);
    _mm256_store_pd(v[5], l.y2);
    _mm256_store_pd(v[6], l.y3);
    _mm256_store_pd(v[7], l.y4);
    for (int k = 0; k < 4; ++k)
        h[k] = float(v[k][0]);  // first stage's inputs
    for (int s = 0; s < 4; ++s)
        for (int k = 0; k < 4; ++k)
            h[4 * s + 4 + k] = float(v[4 + k][s]);  // every stage's outputs
}

// One wavefront step: lane 0 takes the new sample, lane s > 0 the output lane
// s - 1 gave one step earlier. Returns the new outputs; the caller commits.
__attribute__((target("avx2,fma"))) inline __m256d stepOutputs(const Lanes& l, const Coefs& c, double sample,
                                                                __m256d& in)
{
    const __m256d shifted = _mm256_permute4x64_pd(l.prev, _MM_SHUFFLE(2, 1, 0, 3));
    in = _mm256_blend_pd(shifted, _mm256_set1_pd(sample), 0x1);
    const __m256d t1 = _mm256_fmadd_pd(c.a2, l.x2, _mm256_mul_pd(c.a1, l.x1));
    const __m256d t2 = _mm256_fmadd_pd(c.a4, l.x4, _mm256_mul_pd(c.a3, l.x3));
    __m256d t3 = _mm256_fmadd_pd(c.b3, l.y3, _mm256_mul_pd(c.b2, l.y2));
    t3 = _mm256_fmadd_pd(c.b4, l.y4, t3);
    const __m256d older = _mm256_add_pd(_mm256_add_pd(t1, t2), t3);
    __m256d v = _mm256_fmadd_pd(c.b1, l.y1, older);
    v = _mm256_fmadd_pd(c.a0, in, v);
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(v));  // stored as single precision
}

__attribute__((target("avx2,fma"))) inline void commit(Lanes& l, __m256d in, __m256d y)
{
    l.x4 = l.x3;
    l.x3 = l.x2;
    l.x2 = l.x1;
    l.x1 = in;
    l.y4 = l.y3;
    l.y3 = l.y2;
    l.y2 = l.y1;
    l.y1 = y;
    l.prev = y;
}

// As commit, but only in the lanes of `mask` (the others keep their state).
__attribute__((target("avx2,fma"))) inline void commitMasked(Lanes& l, __m256d in, __m256d y, __m256d mask)
{
    Lanes n = l;
    commit(n, in, y);
    l.x1 = _mm256_blendv_pd(l.x1, n.x1, mask);
    l.x2 = _mm256_blendv_pd(l.x2, n.x2, mask);
    l.x3 = _mm256_blendv_pd(l.x3, n.x3, mask);
    l.x4 = _mm256_blendv_pd(l.x4, n.x4, mask);
    l.y1 = _mm256_blendv_pd(l.y1, n.y1, mask);
    l.y2 = _mm256_blendv_pd(l.y2, n.y2, mask);
    l.y3 = _mm256_blendv_pd(l.y3, n.y3, mask);
    l.y4 = _mm256_blendv_pd(l.y4, n.y4, mask);
    l.prev = y;
}

// Writes the last stage's outputs of both channels for frame f.
__attribute__((target("avx2,fma"))) inline void storeLast(double* block, std::size_t f, __m256d ya, __m256d yb)
{
    const __m128d hiA = _mm256_extractf128_pd(ya, 1);
    const __m128d hiB = _mm256_extractf128_pd(yb, 1);
    _mm_storeu_pd(block + 2 * f, _mm_unpackhi_pd(hiA, hiB));
}

// The steady part of the wavefront (every lane busy), for steps t0 .. t1-1.
// Only the two newest inputs and outputs of each lane stay in registers; the
// older ones go through a small ring indexed by step, so that the values on
// the feedback path are never spilled.
__attribute__((target("avx2,fma"))) void steadySteps(Lanes& la, Lanes& lb, const Coefs& c, double* block,
                                                     std::size_t t0, std::size_t t1)
{
    constexpr std::size_t kRing = 8;
    alignas(32) __m256d rxa[kRing], rya[kRing], rxb[kRing], ryb[kRing];
    const auto at = [](std::size_t t, std::size_t back) { return (t - back) & (kRing - 1); };
    rxa[at(t0, 1)] = la.x1, rxa[at(t0, 2)] = la.x2, rxa[at(t0, 3)] = la.x3, rxa[at(t0, 4)] = la.x4;
    rya[at(t0, 1)] = la.y1, rya[at(t0, 2)] = la.y2, rya[at(t0, 3)] = la.y3, rya[at(t0, 4)] = la.y4;
    rxb[at(t0, 1)] = lb.x1, rxb[at(t0, 2)] = lb.x2, rxb[at(t0, 3)] = lb.x3, rxb[at(t0, 4)] = lb.x4;
    ryb[at(t0, 1)] = lb.y1, ryb[at(t0, 2)] = lb.y2, ryb[at(t0, 3)] = lb.y3, ryb[at(t0, 4)] = lb.y4;
    __m256d xa1 = la.x1, xa2 = la.x2, ya1 = la.y1, ya2 = la.y2, preva = la.prev;
    __m256d xb1 = lb.x1, xb2 = lb.x2, yb1 = lb.y1, yb2 = lb.y2, prevb = lb.prev;

    for (std::size_t t = t0; t < t1; ++t) {
        const std::size_t i3 = at(t, 3), i4 = at(t, 4), i0 = at(t, 0);
        const __m256d ina = _mm256_blend_pd(_mm256_permute4x64_pd(preva, _MM_SHUFFLE(2, 1, 0, 3)),
                                            _mm256_broadcast_sd(block + 2 * t), 0x1);
        const __m256d inb = _mm256_blend_pd(_mm256_permute4x64_pd(prevb, _MM_SHUFFLE(2, 1, 0, 3)),
                                            _mm256_broadcast_sd(block + 2 * t + 1), 0x1);
        // Same order of operations as stepOutputs.
        const __m256d ta1 = _mm256_fmadd_pd(c.a2, xa2, _mm256_mul_pd(c.a1, xa1));
        const __m256d ta2 = _mm256_fmadd_pd(c.a4, rxa[i4], _mm256_mul_pd(c.a3, rxa[i3]));
        __m256d ta3 = _mm256_fmadd_pd(c.b3, rya[i3], _mm256_mul_pd(c.b2, ya2));
        ta3 = _mm256_fmadd_pd(c.b4, rya[i4], ta3);
        const __m256d tb1 = _mm256_fmadd_pd(c.a2, xb2, _mm256_mul_pd(c.a1, xb1));
        const __m256d tb2 = _mm256_fmadd_pd(c.a4, rxb[i4], _mm256_mul_pd(c.a3, rxb[i3]));
        __m256d tb3 = _mm256_fmadd_pd(c.b3, ryb[i3], _mm256_mul_pd(c.b2, yb2));
        tb3 = _mm256_fmadd_pd(c.b4, ryb[i4], tb3);
        __m256d va = _mm256_fmadd_pd(c.b1, ya1, _mm256_add_pd(_mm256_add_pd(ta1, ta2), ta3));
        __m256d vb = _mm256_fmadd_pd(c.b1, yb1, _mm256_add_pd(_mm256_add_pd(tb1, tb2), tb3));
        va = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_fmadd_pd(c.a0, ina, va)));
        vb = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_fmadd_pd(c.a0, inb, vb)));

        rxa[i0] = ina, rya[i0] = va, rxb[i0] = inb, ryb[i0] = vb;
        xa2 = xa1, xa1 = ina, ya2 = ya1, ya1 = va, preva = va;
        xb2 = xb1, xb1 = inb, yb2 = yb1, yb1 = vb, prevb = vb;
        storeLast(block, t - 3, va, vb);
    }

    la.x1 = xa1, la.x2 = xa2, la.x3 = rxa[at(t1, 3)], la.x4 = rxa[at(t1, 4)];
    la.y1 = ya1, la.y2 = ya2, la.y3 = rya[at(t1, 3)], la.y4 = rya[at(t1, 4)], la.prev = preva;
    lb.x1 = xb1, lb.x2 = xb2, lb.x3 = rxb[at(t1, 3)], lb.x4 = rxb[at(t1, 4)];
    lb.y1 = yb1, lb.y2 = yb2, lb.y3 = ryb[at(t1, 3)], lb.y4 = ryb[at(t1, 4)], lb.prev = prevb;
}

}  // namespace

bool CascadeAvx2Available()
{
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

__attribute__((target("avx2,fma"))) void CascadePairAvx2(double* block, std::size_t frames,
                                                         const ChebyshevLowPass& filter, float* historyA,
                                                         float* historyB)
{
    if (frames == 0)
        return;
    const Coefs c{_mm256_set1_pd(filter.a[0]), _mm256_set1_pd(filter.a[1]), _mm256_set1_pd(filter.a[2]),
                  _mm256_set1_pd(filter.a[3]), _mm256_set1_pd(filter.a[4]), _mm256_set1_pd(filter.b[0]),
                  _mm256_set1_pd(filter.b[1]), _mm256_set1_pd(filter.b[2]), _mm256_set1_pd(filter.b[3])};
    static const float zeros[20] = {};
    Lanes la = loadLanes(historyA);
    Lanes lb = loadLanes(historyB ? historyB : zeros);

    // Filling (t < 3) and draining (t >= frames) the wavefront go step by step
    // with masks; everything between runs in steadySteps.
    const std::size_t steps = frames + 3;  // the last stage finishes three steps after the first
    for (std::size_t t = 0; t < steps;) {
        if (t >= 3 && t < frames) {
            steadySteps(la, lb, c, block, t, frames);
            t = frames;
            continue;
        }
        const bool inside = t < frames;
        const double sa = inside ? block[2 * t] : 0.0;
        const double sb = inside ? block[2 * t + 1] : 0.0;
        __m256d ina, inb;
        const __m256d ya = stepOutputs(la, c, sa, ina);
        const __m256d yb = stepOutputs(lb, c, sb, inb);
        // Lane s works only while 0 <= t - s < frames.
        alignas(32) std::int64_t m[4];
        for (int s = 0; s < 4; ++s)
            m[s] = (t >= std::size_t(s) && t - std::size_t(s) < frames) ? -1 : 0;
        const __m256d mask = _mm256_castsi256_pd(_mm256_load_si256(reinterpret_cast<const __m256i*>(m)));
        commitMasked(la, ina, ya, mask);
        commitMasked(lb, inb, yb, mask);
        if (t >= 3)
            storeLast(block, t - 3, ya, yb);
        ++t;
    }
    storeLanes(la, historyA);
    if (historyB)
        storeLanes(lb, historyB);
}

#else

bool CascadeAvx2Available()
{
    return false;
}

void CascadePairAvx2(double*, std::size_t, const ChebyshevLowPass&, float*, float*) {}

#endif

}  // namespace dw::resample_detail
