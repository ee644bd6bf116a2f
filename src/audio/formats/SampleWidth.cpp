#include "audio/formats/SampleWidth.h"

namespace dw {

namespace {

// Full scale of a wide sample is 2^kWideBits: one bit more than 32-bit PCM
// has below its sign, so that the mean of two 32-bit samples is exact too.
constexpr int kWideBits = 32;

template <int Bytes>
std::int64_t readSample(const std::uint8_t* p)
{
    if constexpr (Bytes == 1) {
        return static_cast<std::int64_t>(int(p[0]) - 128);
    } else {
        std::uint32_t u = 0;
        for (int i = 0; i < Bytes; ++i)
            u |= std::uint32_t(p[i]) << (8 * i);
        constexpr int spare = 32 - 8 * Bytes;  // sign-extend from the width's top bit
        return static_cast<std::int64_t>(static_cast<std::int32_t>(u << spare) >> spare);
    }
}

template <int Bytes>
void writeSample(std::int64_t v, std::uint8_t* p)
{
    if constexpr (Bytes == 1) {
        p[0] = static_cast<std::uint8_t>(v + 128);
    } else {
        const auto u = static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
        for (int i = 0; i < Bytes; ++i)
            p[i] = static_cast<std::uint8_t>(u >> (8 * i));
    }
}

template <int Bytes>
void toWide(const std::uint8_t* src, std::int64_t* dst, std::size_t samples)
{
    constexpr int shift = kWideBits + 1 - 8 * Bytes;
    for (std::size_t i = 0; i < samples; ++i)
        dst[i] = readSample<Bytes>(src + Bytes * i) * (std::int64_t{1} << shift);
}

// Rounds v / 2^Shift to the nearest integer, ties to even, and clips it to
// the signed range of Bytes * 8 bits.
template <int Bytes>
std::int64_t narrow(std::int64_t v)
{
    constexpr int shift = kWideBits + 1 - 8 * Bytes;
    constexpr std::int64_t half = std::int64_t{1} << (shift - 1);
    constexpr std::int64_t mask = (std::int64_t{1} << shift) - 1;
    constexpr std::int64_t hi = (std::int64_t{1} << (8 * Bytes - 1)) - 1;
    constexpr std::int64_t lo = -hi - 1;
    std::int64_t q = v >> shift;  // floor
    const std::int64_t rem = v & mask;
    q += (rem > half || (rem == half && (q & 1) != 0)) ? 1 : 0;
    return q > hi ? hi : q < lo ? lo : q;
}

template <int Bytes>
void fromWide(const std::int64_t* src, std::uint8_t* dst, std::size_t samples, TTpdfDither* dither)
{
    constexpr int shift = kWideBits + 1 - 8 * Bytes;
    constexpr std::int64_t mask = (std::int64_t{1} << shift) - 1;
    if (dither) {
        // A sample already on a step has no rounding error to decorrelate: it
        // is written as it is (the generator still moves on, one value per sample).
        for (std::size_t i = 0; i < samples; ++i) {
            const std::int64_t noise = dither->Next(shift);
            const std::int64_t v = src[i];
            writeSample<Bytes>(narrow<Bytes>((v & mask) != 0 ? v + noise : v), dst + Bytes * i);
        }
    } else {
        for (std::size_t i = 0; i < samples; ++i)
            writeSample<Bytes>(narrow<Bytes>(src[i]), dst + Bytes * i);
    }
}

}  // namespace

void PcmToWide(const std::uint8_t* src, std::int64_t* dst, std::size_t samples, int bytesPerSample)
{
    switch (bytesPerSample) {
    case 1: toWide<1>(src, dst, samples); break;
    case 2: toWide<2>(src, dst, samples); break;
    case 3: toWide<3>(src, dst, samples); break;
    case 4: toWide<4>(src, dst, samples); break;
    default: break;
    }
}

void WideToPcm(const std::int64_t* src, std::uint8_t* dst, std::size_t samples, int bytesPerSample,
               TTpdfDither* dither)
{
    switch (bytesPerSample) {
    case 1: fromWide<1>(src, dst, samples, dither); break;
    case 2: fromWide<2>(src, dst, samples, dither); break;
    case 3: fromWide<3>(src, dst, samples, dither); break;
    case 4: fromWide<4>(src, dst, samples, dither); break;
    default: break;
    }
}

void WideStereoToMono(const std::int64_t* src, std::int64_t* dst, std::size_t frames)
{
    // Every wide sample read from PCM is even, so the halved sum is exact.
    for (std::size_t i = 0; i < frames; ++i)
        dst[i] = (src[2 * i] + src[2 * i + 1]) / 2;
}

void WideMonoToStereo(const std::int64_t* src, std::int64_t* dst, std::size_t frames)
{
    for (std::size_t i = frames; i-- > 0;) {
        const std::int64_t v = src[i];
        dst[2 * i] = v;
        dst[2 * i + 1] = v;
    }
}

}  // namespace dw
