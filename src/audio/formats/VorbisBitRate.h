#pragma once
// The bit-rate choices of the Vorbis output, in their order (values compare
// by that order), with the bit rate in bits per second each stands for.

#include <cstdint>
#include <optional>

namespace dw {

enum TVorbisBitRate {
    brAutoSelect,
    bitrate24,
    bitrate32,
    bitrate45,
    bitrate48,
    bitrate56,
    bitrate64,
    bitrate80,
    bitrate96,
    bitrate112,
    bitrate128,
    bitrate144,
    bitrate160,
    bitrate192,
    bitrate224,
    bitrate256,
    bitrate320,
    bitrate499,
};

// Bits per second of a choice; -1 for brAutoSelect.
int32_t VorbisBitRateValue(TVorbisBitRate rate);

// The choice whose rate is exactly kbps kilobits per second, if there is one.
std::optional<TVorbisBitRate> VorbisBitRateFromKbps(int kbps);

}  // namespace dw
