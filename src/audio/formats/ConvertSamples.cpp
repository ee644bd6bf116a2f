#include "audio/formats/ConvertSamples.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dw {

namespace {

// Adding and removing 1.5 * 2^52 rounds a double of magnitude below 2^51 to the
// nearest integer, ties to even, under the default rounding mode. This keeps the
// rounding inline and exact without relying on lrint being expanded.
constexpr double kRoundMagic = 6755399441055744.0;

inline double roundEven(double x)
{
    // Without -ffast-math the compiler keeps both operations (they are not an identity in IEEE).
    return (x + kRoundMagic) - kRoundMagic;
}

// Clamps to -1 ... 1; NaN becomes 0. Written as selects so that the loops
// below vectorise.
inline float clampUnit(float v)
{
    v = (v == v) ? v : 0.0f;
    v = v > 1.0f ? 1.0f : v;
    return v < -1.0f ? -1.0f : v;
}

// v x 2^(bits - 1), rounded to nearest (ties to even), clipped to the signed
// range of the width. The product is exact in double precision.
template <int Bits>
inline std::int32_t toSigned(float v)
{
    constexpr double scale = double(std::int64_t{1} << (Bits - 1));
    const double r = roundEven(static_cast<double>(clampUnit(v)) * scale);
    return static_cast<std::int32_t>(r >= scale ? scale - 1 : r);
}

inline std::uint8_t toU8(float v) { return static_cast<std::uint8_t>(toSigned<8>(v) + 128); }
inline std::int16_t toS16(float v) { return static_cast<std::int16_t>(toSigned<16>(v)); }
inline std::int32_t toS24(float v) { return toSigned<24>(v); }
inline std::int32_t toS32(float v) { return toSigned<32>(v); }

inline std::int32_t readS24(const std::uint8_t* p)
{
    std::uint32_t u = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16);
    return static_cast<std::int32_t>(u << 8) >> 8;  // sign-extend from bit 23
}

inline std::int32_t readS32(const std::uint8_t* p)
{
    std::uint32_t u = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
                      | (std::uint32_t(p[3]) << 24);
    return static_cast<std::int32_t>(u);
}

}  // namespace

bool IsSupportedPcmWidth(int bitsPerSample)
{
    return bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 || bitsPerSample == 32;
}

void PcmToFloat(const std::uint8_t* src, float* dst, std::size_t samples, int bytesPerSample)
{
    switch (bytesPerSample) {
    case 1:
        for (std::size_t i = 0; i < samples; ++i)
            dst[i] = static_cast<float>(src[i]) * (1.0f / 128.0f) - 1.0f;
        break;
    case 2:
        for (std::size_t i = 0; i < samples; ++i) {
            auto s = static_cast<std::int16_t>(std::uint16_t(src[2 * i]) | (std::uint16_t(src[2 * i + 1]) << 8));
            dst[i] = static_cast<float>(s) * (1.0f / 32768.0f);
        }
        break;
    case 3:
        for (std::size_t i = 0; i < samples; ++i)
            dst[i] = static_cast<float>(readS24(src + 3 * i)) * (1.0f / 8388608.0f);
        break;
    case 4:
        for (std::size_t i = 0; i < samples; ++i)
            dst[i] = static_cast<float>(static_cast<double>(readS32(src + 4 * i)) * (1.0 / 2147483648.0));
        break;
    default:
        break;
    }
}

namespace {

#if defined(__SSE2__)
// Four samples at a time with the same arithmetic as toU8 / toS16: the
// products are taken in double precision and rounded to nearest, ties to even
// (the default rounding mode); packing saturates full scale (128 or 32768) to
// the largest value, as the scalar forms clip it.
// Returns how many samples were converted (a multiple of 4).
inline __m128i roundedTimes(__m128 v, double scale)
{
    const __m128 lo = _mm_set1_ps(-1.0f), hi = _mm_set1_ps(1.0f);
    v = _mm_and_ps(v, _mm_cmpord_ps(v, v));  // NaN becomes 0
    v = _mm_max_ps(v, lo);
    v = _mm_min_ps(v, hi);
    const __m128d s = _mm_set1_pd(scale);
    const __m128d d0 = _mm_mul_pd(_mm_cvtps_pd(v), s);
    const __m128d d1 = _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(v, v)), s);
    return _mm_unpacklo_epi64(_mm_cvtpd_epi32(d0), _mm_cvtpd_epi32(d1));
}

std::size_t floatToU8Sse2(const float* src, std::uint8_t* dst, std::size_t samples)
{
    const __m128i offset = _mm_set1_epi16(128);
    std::size_t i = 0;
    for (; i + 4 <= samples; i += 4) {
        __m128i r = roundedTimes(_mm_loadu_ps(src + i), 128.0);
        r = _mm_packs_epi32(r, r);   // -128 ... 128 as 16-bit
        r = _mm_add_epi16(r, offset);  // 0 ... 256
        r = _mm_packus_epi16(r, r);  // saturates 256 to 255
        const auto bytes = static_cast<std::uint32_t>(_mm_cvtsi128_si32(r));
        dst[i] = static_cast<std::uint8_t>(bytes);
        dst[i + 1] = static_cast<std::uint8_t>(bytes >> 8);
        dst[i + 2] = static_cast<std::uint8_t>(bytes >> 16);
        dst[i + 3] = static_cast<std::uint8_t>(bytes >> 24);
    }
    return i;
}

std::size_t floatToS16Sse2(const float* src, std::uint8_t* dst, std::size_t samples)
{
    std::size_t i = 0;
    for (; i + 4 <= samples; i += 4) {
        __m128i r = roundedTimes(_mm_loadu_ps(src + i), 32768.0);
        r = _mm_packs_epi32(r, r);  // saturates 32768 to 32767
        alignas(16) std::int16_t s[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(s), r);
        for (int k = 0; k < 4; ++k) {
            const auto u = static_cast<std::uint16_t>(s[k]);
            dst[2 * (i + k)] = static_cast<std::uint8_t>(u);
            dst[2 * (i + k) + 1] = static_cast<std::uint8_t>(u >> 8);
        }
    }
    return i;
}
#endif

}  // namespace

void FloatToPcm(const float* src, std::uint8_t* dst, std::size_t samples, int bytesPerSample)
{
    std::size_t done = 0;
    switch (bytesPerSample) {
    case 1:
#if defined(__SSE2__)
        done = floatToU8Sse2(src, dst, samples);
#endif
        for (std::size_t i = done; i < samples; ++i)
            dst[i] = toU8(src[i]);
        break;
    case 2:
#if defined(__SSE2__)
        done = floatToS16Sse2(src, dst, samples);
#endif
        for (std::size_t i = done; i < samples; ++i) {
            auto u = static_cast<std::uint16_t>(toS16(src[i]));
            dst[2 * i] = static_cast<std::uint8_t>(u);
            dst[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
        }
        break;
    case 3:
        for (std::size_t i = 0; i < samples; ++i) {
            auto u = static_cast<std::uint32_t>(toS24(src[i]));
            dst[3 * i] = static_cast<std::uint8_t>(u);
            dst[3 * i + 1] = static_cast<std::uint8_t>(u >> 8);
            dst[3 * i + 2] = static_cast<std::uint8_t>(u >> 16);
        }
        break;
    case 4:
        for (std::size_t i = 0; i < samples; ++i) {
            auto u = static_cast<std::uint32_t>(toS32(src[i]));
            dst[4 * i] = static_cast<std::uint8_t>(u);
            dst[4 * i + 1] = static_cast<std::uint8_t>(u >> 8);
            dst[4 * i + 2] = static_cast<std::uint8_t>(u >> 16);
            dst[4 * i + 3] = static_cast<std::uint8_t>(u >> 24);
        }
        break;
    default:
        break;
    }
}

float PcmSampleToFloat(const std::uint8_t* src, int bytesPerSample)
{
    float v = 0.0f;
    PcmToFloat(src, &v, 1, bytesPerSample);
    return v;
}

void FloatToPcmSample(float v, std::uint8_t* dst, int bytesPerSample)
{
    FloatToPcm(&v, dst, 1, bytesPerSample);
}

void StereoToMono(const float* src, float* dst, std::size_t frames)
{
    for (std::size_t i = 0; i < frames; ++i)
        dst[i] = static_cast<float>((static_cast<double>(src[2 * i]) + src[2 * i + 1]) * 0.5);
}

void MonoToStereo(const float* src, float* dst, std::size_t frames)
{
    for (std::size_t i = frames; i-- > 0;) {
        float v = src[i];
        dst[2 * i] = v;
        dst[2 * i + 1] = v;
    }
}

}  // namespace dw
