#pragma once
// Helpers of the Ogg Vorbis tests: PCM in the shapes the encoder takes,
// the peer tools' view of a file, and decoding through oggdec.

#include "ConvertTestInput.h"
#include "WaveTestUtil.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace dwtest {

// Interleaved tones (channel c at freq * (c + 1), amplitude amp) as unsigned
// 8-bit, or signed 16/24/32-bit little-endian samples.
inline std::vector<uint8_t> tonePcm(int frames, int channels, int rate, int bits, double freq = 1000, double amp = 0.5)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(frames) * channels * (bits / 8));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double v = amp * std::sin(2 * std::numbers::pi * freq * (c + 1) * i / rate);
            if (bits == 8) {
                out.push_back(uint8_t(std::lround(128 + v * 127)));
                continue;
            }
            const auto s = static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * ((1u << (bits - 1)) - 1))));
            for (int b = 0; b < bits / 8; ++b)
                out.push_back(uint8_t(s >> (8 * b)));
        }
    return out;
}

// oggdec's 16-bit PCM of a file (raw, no header); empty when it failed.
inline QByteArray oggdecPcm(const QString& ogg, const QString& scratch)
{
    const ToolResult r = runTool("oggdec", {"-Q", "-R", "-o", scratch, ogg});
    return r.ok ? readAll(scratch) : QByteArray();
}

// ogginfo's report; ok only when it found no fault.
inline ToolResult ogginfo(const QString& ogg)
{
    return runTool("ogginfo", {ogg});
}

// Files other than those named in the folder (left-over temporary files).
inline QStringList otherFiles(const QString& folder, const QStringList& expected)
{
    QStringList rest;
    for (const QString& f : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (!expected.contains(f))
            rest << f;
    return rest;
}

}  // namespace dwtest
