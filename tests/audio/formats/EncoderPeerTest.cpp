// The in-process Ogg Vorbis and Opus writers against their libraries' own
// command-line tools: from the same 16-bit WAV at the same settings, our file
// decodes to exactly the samples of the tool's file and has its size within
// 1 %. A music-like signal (sweeping tones over noise whose level changes)
// makes the encoders' block and bit-rate decisions matter.

#include "VorbisTestUtil.h"

#include "audio/formats/OpusOut.h"
#include "audio/formats/VorbisOut.h"

#include <gtest/gtest.h>

#include <QFileInfo>

using namespace dw;
using namespace dwtest;

namespace {

constexpr int kRate = 44100;

// Stereo 16-bit: a rising and a falling sweep, and seeded white noise that
// swells and fades, so the music's complexity changes every second.
std::vector<uint8_t> musicPcm(int seconds)
{
    const int frames = kRate * seconds;
    std::vector<uint8_t> out;
    out.reserve(size_t(frames) * 4);
    uint32_t seed = 12345;
    double phaseUp = 0, phaseDown = 0;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        phaseUp += 2 * std::numbers::pi * (200 + 600 * t) / kRate;
        phaseDown += 2 * std::numbers::pi * (5000 - 700 * t) / kRate;
        const double swell = 0.5 + 0.5 * std::sin(2 * std::numbers::pi * 0.7 * t);
        for (int c = 0; c < 2; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = (double(seed >> 8) / double(1u << 24) - 0.5) * 0.3 * swell;
            const double v = 0.3 * std::sin(c ? phaseDown : phaseUp) + 0.15 * std::sin(c ? phaseUp : phaseDown) + noise;
            const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767)));
            out.push_back(uint8_t(s & 0xFF));
            out.push_back(uint8_t(s >> 8));
        }
    }
    return out;
}

void writeWav(const QString& path, const std::vector<uint8_t>& pcm)
{
    const QByteArray data(reinterpret_cast<const char*>(pcm.data()), qsizetype(pcm.size()));
    writeAll(path, riff(chunk("fmt ", fmtBody(1, 2, kRate, 4, 16)) + chunk("data", data)));
}

// The 16-bit PCM opusdec decodes a file to (48 kHz, no dither); empty when it failed.
QByteArray opusdecPcm(const QString& opus, const QString& scratch)
{
    const ToolResult r = runTool("opusdec", {"--quiet", "--no-dither", "--rate", "48000", opus, scratch});
    return r.ok ? readAll(scratch) : QByteArray();
}

double sizeRatio(const QString& ours, const QString& peer)
{
    return double(QFileInfo(ours).size()) / double(QFileInfo(peer).size());
}

}  // namespace

TEST(EncoderPeer, OggVorbisAtQualityTwoDecodesAsOggencsFileDoes)
{
    Sandbox box;
    const auto pcm = musicPcm(8);
    writeWav(box.file("in.wav"), pcm);
    const ToolResult made = runTool("oggenc", {"-Q", "-q", "2", "-o", box.file("peer.ogg"), box.file("in.wav")});
    ASSERT_TRUE(made.ok) << made.err.toStdString();

    // Input pieces of an odd size, so pieces and library buffers never line up.
    TVorbisOut out;
    out.SetCompression(0.2f);
    ASSERT_EQ(encodeFromMemory(out, box.file("ours.ogg"), pcm, kRate, 2, 16, 4 * 3001), "");

    const QByteArray ours = oggdecPcm(box.file("ours.ogg"), box.file("ours.raw"));
    const QByteArray peer = oggdecPcm(box.file("peer.ogg"), box.file("peer.raw"));
    ASSERT_EQ(ours.size(), qsizetype(pcm.size()));
    EXPECT_TRUE(ours == peer);
    EXPECT_NEAR(sizeRatio(box.file("ours.ogg"), box.file("peer.ogg")), 1.0, 0.01);
}

TEST(EncoderPeer, OpusVariableBitRateDecodesAsOpusencsFileDoesAtItsBitRate)
{
    Sandbox box;
    const auto pcm = musicPcm(8);
    writeWav(box.file("in.wav"), pcm);
    const ToolResult made =
        runTool("opusenc", {"--quiet", "--bitrate", "160", "--vbr", box.file("in.wav"), box.file("peer.opus")});
    ASSERT_TRUE(made.ok) << made.err.toStdString();

    TOpusOut out;
    out.SetBitRate(160);
    out.SetVbr(true);
    ASSERT_EQ(encodeFromMemory(out, box.file("ours.opus"), pcm, kRate, 2, 16, 4 * 3001), "");

    const QByteArray ours = opusdecPcm(box.file("ours.opus"), box.file("ours.raw"));
    const QByteArray peer = opusdecPcm(box.file("peer.opus"), box.file("peer.raw"));
    ASSERT_EQ(ours.size(), qsizetype(pcm.size() / 4 * 48000 / kRate * 4));
    EXPECT_TRUE(ours == peer);
    EXPECT_NEAR(sizeRatio(box.file("ours.opus"), box.file("peer.opus")), 1.0, 0.01);
}
