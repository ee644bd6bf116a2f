#include "audio/formats/VorbisBitRate.h"

#include <array>

namespace dw {

namespace {

constexpr std::array<int32_t, bitrate499 + 1> kRates = {
    -1,     24000,  32000,  45000,  48000,  56000,  64000,  80000,  96000,
    112000, 128000, 144000, 160000, 192000, 224000, 256000, 320000, 499000,
};

}  // namespace

int32_t VorbisBitRateValue(TVorbisBitRate rate)
{
    const auto i = static_cast<size_t>(rate);
    return i < kRates.size() ? kRates[i] : -1;
}

std::optional<TVorbisBitRate> VorbisBitRateFromKbps(int kbps)
{
    for (size_t i = 1; i < kRates.size(); ++i)
        if (kRates[i] == static_cast<int64_t>(kbps) * 1000)
            return static_cast<TVorbisBitRate>(i);
    return std::nullopt;
}

}  // namespace dw
