#include "audio/formats/ConvertBalance.h"

#include <cstring>

namespace dw {

namespace {

constexpr double kRoundMagic = 6755399441055744.0;  // 1.5 * 2^52: round to nearest, ties to even

inline std::int64_t roundEven(double x)
{
    return static_cast<std::int64_t>((x + kRoundMagic) - kRoundMagic);
}

inline std::int32_t readSigned(const std::uint8_t* p, int width)
{
    std::uint32_t u = 0;
    for (int i = 0; i < width; ++i)
        u |= std::uint32_t(p[i]) << (8 * i);
    const int shift = 32 - 8 * width;
    return static_cast<std::int32_t>(u << shift) >> shift;  // sign-extend
}

inline void writeSigned(std::uint8_t* p, int width, std::int64_t v)
{
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < width; ++i)
        p[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

}  // namespace

std::size_t SpreadMonoToStereo(std::uint8_t* buf, std::size_t monoBytes, int bytesPerSample)
{
    if (bytesPerSample < 1 || bytesPerSample > 4)
        return 0;
    const std::size_t w = static_cast<std::size_t>(bytesPerSample);
    const std::size_t samples = monoBytes / w;
    // Backwards, so that no sample is overwritten before it is copied.
    for (std::size_t i = samples; i-- > 0;) {
        std::uint8_t s[4];
        std::memcpy(s, buf + i * w, w);
        std::memcpy(buf + 2 * i * w, s, w);
        std::memcpy(buf + (2 * i + 1) * w, s, w);
    }
    return samples * 2 * w;
}

void ApplyStereoBalance(std::uint8_t* buf, std::size_t bytes, int bytesPerSample, float balance)
{
    if (bytesPerSample < 1 || bytesPerSample > 4)
        return;
    const std::size_t w = static_cast<std::size_t>(bytesPerSample);
    const std::size_t frames = bytes / (2 * w);
    const bool left = balance > 0.5f;
    const double gain = left ? 1.0 - static_cast<double>(balance) : static_cast<double>(balance);
    std::uint8_t* p = buf + (left ? 0 : w);

    if (w == 1) {
        for (std::size_t i = 0; i < frames; ++i, p += 2)
            *p = static_cast<std::uint8_t>(roundEven((int(*p) - 128) * gain) + 128);
        return;
    }
    if (w == 2) {
        for (std::size_t i = 0; i < frames; ++i, p += 4) {
            auto s = static_cast<std::int16_t>(std::uint16_t(p[0]) | (std::uint16_t(p[1]) << 8));
            auto r = static_cast<std::uint16_t>(roundEven(s * gain));
            p[0] = static_cast<std::uint8_t>(r);
            p[1] = static_cast<std::uint8_t>(r >> 8);
        }
        return;
    }
    for (std::size_t i = 0; i < frames; ++i, p += 2 * w)
        writeSigned(p, bytesPerSample, roundEven(readSigned(p, bytesPerSample) * gain));
}

}  // namespace dw
