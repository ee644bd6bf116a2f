#pragma once
// Sound for the recorder's tests: SDL's disk audio driver set up to capture
// from a raw file and to play into another, and audio that cannot be
// mistaken for silence or for a shifted copy of itself.
#include "platform/WaveAudioFile.h"
#include "support/TestSupport.h"

#include <QByteArray>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

namespace dwtest {

// Pseudo-random 16-bit mono or stereo samples (never all zero), n bytes.
inline QByteArray noiseBytes(int64_t n, uint32_t seed)
{
    QByteArray b(qsizetype(n), '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < b.size(); ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b[i] = char(x & 0xFF);
    }
    return b;
}

// A PCM WAV file with the given audio.
inline void writeWave(const QString& path, const dw::TWaveAudioFormat& format, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const auto header = dw::WaveAudioHeader(format, data.size());
    f.write(reinterpret_cast<const char*>(header.data()), qint64(header.size()));
    f.write(data);
}

// The audio of a WAV file written by the device (canonical 44-byte header),
// after checking that its header states exactly the data that follows.
inline QByteArray waveData(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    EXPECT_GE(all.size(), 44);
    if (all.size() < 44)
        return {};
    auto le32 = [&](int at) {
        return uint32_t(uint8_t(all[at])) | uint32_t(uint8_t(all[at + 1])) << 8 |
               uint32_t(uint8_t(all[at + 2])) << 16 | uint32_t(uint8_t(all[at + 3])) << 24;
    };
    EXPECT_EQ(all.left(4), "RIFF");
    EXPECT_EQ(le32(4), uint32_t(all.size() - 8)) << path.toStdString();
    EXPECT_EQ(all.mid(36, 4), "data");
    EXPECT_EQ(le32(40), uint32_t(all.size() - 44)) << path.toStdString() << ": header does not match its data";
    return all.mid(44);
}

// SDL's disk driver for the lifetime of the object: capture reads `input`,
// playback writes `output`.
class DiskAudio {
public:
    DiskAudio(const QString& input, const QString& output)
    {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILEIN", input.toUtf8().constData(), 1);
        setenv("SDL_DISKAUDIOFILE", output.toUtf8().constData(), 1);
    }
    ~DiskAudio()
    {
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILEIN");
        unsetenv("SDL_DISKAUDIOFILE");
    }
    DiskAudio(const DiskAudio&) = delete;
    DiskAudio& operator=(const DiskAudio&) = delete;
};

}  // namespace dwtest
