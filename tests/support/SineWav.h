#pragma once
// A 16-bit stereo 440 Hz sine WAV file for job tests, its header written
// byte by byte (little-endian).

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

inline void writeSineWav(const QString& path, int rate, double seconds)
{
    const int frames = int(rate * seconds);
    QByteArray data(frames * 4, Qt::Uninitialized);
    for (int i = 0; i < frames; ++i) {
        const auto v = int16_t(std::lround(8000 * std::sin(2 * M_PI * 440 * i / rate)));
        for (int c = 0; c < 2; ++c) {
            data[i * 4 + c * 2] = char(v & 0xff);
            data[i * 4 + c * 2 + 1] = char((v >> 8) & 0xff);
        }
    }
    const auto le = [](QByteArray& b, uint32_t v, int n) {
        for (int k = 0; k < n; ++k)
            b.append(char((v >> (8 * k)) & 0xff));
    };
    QByteArray h("RIFF");
    le(h, uint32_t(36 + data.size()), 4);
    h.append("WAVEfmt ");
    le(h, 16, 4);
    le(h, 1, 2);
    le(h, 2, 2);
    le(h, uint32_t(rate), 4);
    le(h, uint32_t(rate * 4), 4);
    le(h, 4, 2);
    le(h, 16, 2);
    h.append("data");
    le(h, uint32_t(data.size()), 4);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(h + data), h.size() + data.size());
}
