// TWaveIn against files written by sox and ffmpeg in every encoding it reads,
// compared with what the peers decode from the same files.

#include "audio/formats/WaveIn.h"
#include "WaveTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

using namespace dw;
using namespace dwtest;

namespace {

struct PeerCase {
    const char* name;
    const char* tool;          // "sox" or "ffmpeg"
    QStringList makeArgs;      // arguments before the output file name
    TWavType type;
    uint32_t bits;             // what TWaveIn delivers
    uint32_t channels;
    QStringList decodeArgs;    // sox output options for the reference decode (before "-")
    int tolerance;             // largest sample difference allowed
};

void PrintTo(const PeerCase& c, std::ostream* os)
{
    *os << c.name;
}

class WaveInPeer : public ::testing::TestWithParam<PeerCase> {};

// The reference: sox decodes the file to raw samples of the width we deliver.
QByteArray soxDecode(const QString& file, const QStringList& decodeArgs)
{
    ToolResult r = runTool("sox", QStringList{file} + decodeArgs + QStringList{"-"});
    EXPECT_TRUE(r.ok) << r.err.toStdString();
    return r.out;
}

TEST_P(WaveInPeer, DecodesLikeThePeer)
{
    const PeerCase& c = GetParam();
    Sandbox box;
    const QString file = box.file(QString(c.name) + ".wav");
    // sox takes the tone as an effect behind the output name.
    const QStringList synth = QString(c.tool) == "sox" ? QStringList{"synth", "0.6", "sine", "440"} : QStringList{};
    ToolResult made = runTool(c.tool, c.makeArgs + QStringList{file} + synth);
    ASSERT_TRUE(made.ok) << made.err.toStdString();

    TWaveIn in;
    in.SetFileName(file);
    ASSERT_TRUE(in.IsValid());
    EXPECT_EQ(in.GetWavType(), c.type);
    EXPECT_EQ(in.GetBitsPerSample(), c.bits);
    EXPECT_EQ(in.GetChannels(), c.channels);

    const QByteArray ours = readInput(in, 10000);
    QByteArray ref = soxDecode(file, c.decodeArgs);
    ASSERT_FALSE(ref.isEmpty());
    // sox decodes ADPCM files to the end of their last block; the "fact"
    // count we honour ends the audio before that block's padding.
    if (c.type == wtDVIADPCM || c.type == wtMSADPCM) {
        ASSERT_GE(ref.size(), ours.size());
        ASSERT_LT(ref.size() - ours.size(), 4096);
        ref.truncate(ours.size());
    }
    ASSERT_EQ(ours.size(), ref.size());
    EXPECT_EQ(in.GetTotalSamples(), ours.size() / (c.bits / 8) / c.channels);
    if (c.tolerance == 0) {
        if (ours == ref)
            return;
        // The peers disagree with each other at the end of some ADPCM files
        // (how the last, padded block is handled): matching ffmpeg's decoder
        // there is as good.
        ASSERT_EQ(c.bits, 16u) << "differs from sox";
        ToolResult ff = runTool("ffmpeg", {"-v", "error", "-i", file, "-f", "s16le", "-"});
        ASSERT_TRUE(ff.ok);
        EXPECT_TRUE(ours == ff.out.left(ours.size())) << "differs from sox and from ffmpeg";
        return;
    }
    int worst = 0;
    if (c.bits == 16) {
        const auto a = s16(ours), b = s16(ref);
        for (size_t i = 0; i < a.size(); ++i)
            worst = std::max(worst, std::abs(a[i] - b[i]));
    } else {
        const auto a = s32(ours), b = s32(ref);
        for (size_t i = 0; i < a.size(); ++i)
            worst = std::max<int64_t>(worst, std::llabs(int64_t(a[i]) - b[i]));
    }
    EXPECT_LE(worst, c.tolerance);
}

const QStringList kSoxTone = {"-n", "-r", "22050"};
const QStringList kFfTone = {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                             "sine=f=440:d=0.6:sample_rate=22050"};

INSTANTIATE_TEST_SUITE_P(
    Encodings, WaveInPeer,
    ::testing::Values(
        PeerCase{"sox_u8", "sox", kSoxTone + QStringList{"-c", "1", "-b", "8", "-e", "unsigned"}, wtPCM, 8, 1,
                 {"-t", "raw", "-e", "unsigned", "-b", "8"}, 0},
        PeerCase{"sox_s16", "sox", kSoxTone + QStringList{"-c", "2", "-b", "16"}, wtPCM, 16, 2,
                 {"-t", "raw", "-e", "signed", "-b", "16"}, 0},
        PeerCase{"sox_s24", "sox", kSoxTone + QStringList{"-c", "2", "-b", "24"}, wtExtPCM, 24, 2,
                 {"-t", "raw", "-e", "signed", "-b", "24"}, 0},
        PeerCase{"sox_s32_6ch", "sox", kSoxTone + QStringList{"-c", "6", "-b", "32"}, wtExtPCM, 32, 6,
                 {"-t", "raw", "-e", "signed", "-b", "32"}, 0},
        PeerCase{"sox_f32", "sox", kSoxTone + QStringList{"-c", "2", "-b", "32", "-e", "floating-point"},
                 wtIEEEFloat, 32, 2, {"-t", "raw", "-e", "signed", "-b", "32"}, 2},
        PeerCase{"sox_ima_mono", "sox", kSoxTone + QStringList{"-c", "1", "-e", "ima-adpcm"}, wtDVIADPCM, 16, 1,
                 {"-t", "raw", "-e", "signed", "-b", "16"}, 1},
        PeerCase{"sox_ima_stereo", "sox", kSoxTone + QStringList{"-c", "2", "-e", "ima-adpcm"}, wtDVIADPCM, 16, 2,
                 {"-t", "raw", "-e", "signed", "-b", "16"}, 1},
        PeerCase{"sox_ms_mono", "sox", kSoxTone + QStringList{"-c", "1", "-e", "ms-adpcm"}, wtMSADPCM, 16, 1,
                 {"-t", "raw", "-e", "signed", "-b", "16"}, 0},
        PeerCase{"sox_ms_stereo", "sox", kSoxTone + QStringList{"-c", "2", "-e", "ms-adpcm"}, wtMSADPCM, 16, 2,
                 {"-t", "raw", "-e", "signed", "-b", "16"}, 0},
        PeerCase{"ff_s16", "ffmpeg", kFfTone + QStringList{"-ac", "1", "-c:a", "pcm_s16le", "-f", "wav"}, wtPCM, 16, 1,
                 {"-t", "raw", "-e", "signed", "-b", "16"}, 0},
        PeerCase{"ff_s24", "ffmpeg", kFfTone + QStringList{"-ac", "2", "-c:a", "pcm_s24le", "-f", "wav"}, wtExtPCM, 24,
                 2, {"-t", "raw", "-e", "signed", "-b", "24"}, 0},
        PeerCase{"ff_f32", "ffmpeg", kFfTone + QStringList{"-ac", "1", "-c:a", "pcm_f32le", "-f", "wav"}, wtExtIEEEFloat,
                 32, 1, {"-t", "raw", "-e", "signed", "-b", "32"}, 2},
        PeerCase{"ff_f64", "ffmpeg", kFfTone + QStringList{"-ac", "2", "-c:a", "pcm_f64le", "-f", "wav"},
                 wtExtIEEEFloat, 32, 2, {"-t", "raw", "-e", "signed", "-b", "32"}, 2},
        PeerCase{"ff_ima", "ffmpeg", kFfTone + QStringList{"-ac", "2", "-c:a", "adpcm_ima_wav", "-f", "wav"},
                 wtDVIADPCM, 16, 2, {"-t", "raw", "-e", "signed", "-b", "16"}, 1},
        PeerCase{"ff_ms", "ffmpeg", kFfTone + QStringList{"-ac", "1", "-c:a", "adpcm_ms", "-f", "wav"}, wtMSADPCM, 16,
                 1, {"-t", "raw", "-e", "signed", "-b", "16"}, 0}),
    [](const ::testing::TestParamInfo<PeerCase>& i) { return std::string(i.param.name); });

// MPEG audio in WAV decodes through the compression manager to 16-bit PCM of
// the same length and tone as ffmpeg's own decode.
TEST(WaveInMpeg, DecodesMp3InWavLikeFfmpeg)
{
    Sandbox box;
    const QString file = box.file("mp3.wav");
    ToolResult made = runTool("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                                    "sine=f=440:d=1:sample_rate=44100", "-c:a", "libmp3lame",
                                                    "-b:a", "128k", "-f", "wav", file});
    ASSERT_TRUE(made.ok) << made.err.toStdString();

    TWaveIn in;
    in.SetFileName(file);
    ASSERT_TRUE(in.IsValid());
    EXPECT_EQ(in.GetWavType(), wtACM);
    EXPECT_EQ(in.GetBitsPerSample(), 16u);
    EXPECT_EQ(in.GetChannels(), 1u);
    EXPECT_EQ(in.GetSampleRate(), 44100u);
    const auto ours = s16(readInput(in));

    ToolResult ref = runTool("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-i", file, "-f", "s16le",
                                                   "-ac", "1", "-"});
    ASSERT_TRUE(ref.ok) << ref.err.toStdString();
    const auto theirs = s16(ref.out);
    // Same frames decoded; the count may differ by the padding a demuxer trims.
    EXPECT_NEAR(double(ours.size()), double(theirs.size()), 2 * 1152.0);
    EXPECT_GE(ours.size(), 44100u);

    // The 440 Hz tone is there at ffmpeg's sine amplitude (1/8 of full scale).
    double re = 0, im = 0;
    for (size_t i = 0; i < 44100; ++i) {
        re += ours[i] / 32768.0 * std::cos(2 * M_PI * 440 * i / 44100);
        im += ours[i] / 32768.0 * std::sin(2 * M_PI * 440 * i / 44100);
    }
    EXPECT_NEAR(2 * std::hypot(re, im) / 44100, 0.125, 0.01);

    // The decoded data seeks like PCM.
    in.SetStartSample(1000);
    const auto tail = s16(readInput(in));
    ASSERT_EQ(tail.size(), ours.size() - 1000);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), ours.begin() + 1000));
}

}  // namespace
