#pragma once
// Signals for the benchmarks: deterministic, music-like enough that ADPCM
// and the filters do real work (two tones plus a little noise).

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace dwbench {

inline std::vector<int16_t> testSignal(std::size_t frames, int channels, double rate = 44100)
{
    std::vector<int16_t> s(frames * channels);
    uint32_t noise = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double v = 0.4 * std::sin(2 * std::numbers::pi * (440.0 + 110 * c) * t)
                             + 0.2 * std::sin(2 * std::numbers::pi * 3520.0 * t)
                             + 0.02 * (double(noise >> 16) / 32768.0 - 1.0);
            s[i * channels + c] = int16_t(std::lround(v * 32767));
        }
    }
    return s;
}

inline std::vector<uint8_t> asBytes(const std::vector<int16_t>& s)
{
    std::vector<uint8_t> b(s.size() * 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        b[2 * i] = uint8_t(uint16_t(s[i]));
        b[2 * i + 1] = uint8_t(uint16_t(s[i]) >> 8);
    }
    return b;
}

}  // namespace dwbench
