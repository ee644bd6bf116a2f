#include "audio/formats/ResamplePcm.h"

namespace dw {

namespace {

// Adding and removing 1.5 * 2^52 rounds a double of magnitude below 2^51 to
// the nearest integer, ties to even, under the default rounding mode.
constexpr double kRoundMagic = 6755399441055744.0;

// v * scale rounded and clipped to lo ... hi; NaN gives 0.
inline std::int64_t scaleRoundClip(float v, double scale, double lo, double hi)
{
    double x = static_cast<double>(v) * scale;
    x = (x == x) ? x : 0.0;
    x = x < lo ? lo : x;
    x = x > hi ? hi : x;
    return static_cast<std::int64_t>((x + kRoundMagic) - kRoundMagic);
}

}  // namespace

void ResamplePcmToFloat(const std::uint8_t* src, float* dst, std::size_t samples, int bytesPerSample)
{
    switch (bytesPerSample) {
    case 1:
        for (std::size_t i = 0; i < samples; ++i)
            dst[i] = static_cast<float>(int(src[i]) - 128) * (1.0f / 128.0f);
        break;
    case 2:
        for (std::size_t i = 0; i < samples; ++i, src += 2) {
            const auto s = static_cast<std::int16_t>(std::uint16_t(src[0]) | (std::uint16_t(src[1]) << 8));
            dst[i] = static_cast<float>(s) * (1.0f / 32768.0f);
        }
        break;
    case 3:
        for (std::size_t i = 0; i < samples; ++i, src += 3) {
            const std::uint32_t u =
                std::uint32_t(src[0]) << 8 | std::uint32_t(src[1]) << 16 | std::uint32_t(src[2]) << 24;
            dst[i] = static_cast<float>(static_cast<std::int32_t>(u)) * (1.0f / 2147483648.0f);
        }
        break;
    case 4:
        for (std::size_t i = 0; i < samples; ++i, src += 4) {
            const std::uint32_t u = std::uint32_t(src[0]) | std::uint32_t(src[1]) << 8 | std::uint32_t(src[2]) << 16 |
                                    std::uint32_t(src[3]) << 24;
            dst[i] = static_cast<float>(static_cast<double>(static_cast<std::int32_t>(u)) * (1.0 / 2147483648.0));
        }
        break;
    default:
        break;
    }
}

void ResampleFloatToPcm(const float* src, std::uint8_t* dst, std::size_t samples, int bytesPerSample)
{
    switch (bytesPerSample) {
    case 1:
        for (std::size_t i = 0; i < samples; ++i)
            dst[i] = static_cast<std::uint8_t>(scaleRoundClip(src[i], 128.0, -128.0, 127.0) + 128);
        break;
    case 2:
        for (std::size_t i = 0; i < samples; ++i, dst += 2) {
            const auto u = static_cast<std::uint16_t>(scaleRoundClip(src[i], 32768.0, -32768.0, 32767.0));
            dst[0] = static_cast<std::uint8_t>(u);
            dst[1] = static_cast<std::uint8_t>(u >> 8);
        }
        break;
    case 3:
        for (std::size_t i = 0; i < samples; ++i, dst += 3) {
            const auto u = static_cast<std::uint32_t>(scaleRoundClip(src[i], 8388608.0, -8388608.0, 8388607.0));
            dst[0] = static_cast<std::uint8_t>(u);
            dst[1] = static_cast<std::uint8_t>(u >> 8);
            dst[2] = static_cast<std::uint8_t>(u >> 16);
        }
        break;
    case 4:
        for (std::size_t i = 0; i < samples; ++i, dst += 4) {
            const auto u =
                static_cast<std::uint32_t>(scaleRoundClip(src[i], 2147483648.0, -2147483648.0, 2147483647.0));
            dst[0] = static_cast<std::uint8_t>(u);
            dst[1] = static_cast<std::uint8_t>(u >> 8);
            dst[2] = static_cast<std::uint8_t>(u >> 16);
            dst[3] = static_cast<std::uint8_t>(u >> 24);
        }
        break;
    default:
        break;
    }
}

}  // namespace dw
