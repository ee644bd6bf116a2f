// The Opus writer and reader, judged by opus-tools: opusinfo accepts our
// files with their comments, original rate and a bit rate near the one asked
// for, and opusdec decodes them to the tone that went in; a file made by
// opusenc decodes through our reader as opusdec decodes it, also from a
// sample range.

#include "VorbisTestUtil.h"

#include "audio/formats/OpusIn.h"
#include "audio/formats/OpusOut.h"
#include "audio/stream/AuException.h"
#include "tags/CommonTags.h"
#include "tags/VorbisTags.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace dw;
using namespace dwtest;

namespace {

double averageKbps(const QString& report)
{
    const QRegularExpressionMatch m = QRegularExpression("Average bitrate: ([0-9.]+) kbit/s").match(report);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

// The share of a channel's energy at `freq` (Goertzel), and its RMS.
double toneShare(const std::vector<int16_t>& s, int channels, int channel, double freq, int rate, double* rms)
{
    const double w = 2 * std::numbers::pi * freq / rate;
    double s1 = 0, s2 = 0, energy = 0;
    size_t n = 0;
    for (size_t i = size_t(channel); i < s.size(); i += size_t(channels), ++n) {
        const double x = s[i];
        const double s0 = x + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
        energy += x * x;
    }
    const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
    *rms = n ? std::sqrt(energy / double(n)) : 0;
    return energy > 0 ? 2 * power / (double(n) * energy) : 0;
}

}  // namespace

TEST(OpusOut, FilesTheToolsAcceptAtTheRequestedRateWithCommentsAndTheTone)
{
    Sandbox box;
    const int rate = 44100, frames = rate * 4;
    const auto pcm = tonePcm(frames, 2, rate, 16, 440, 0.5);  // 440 Hz left, 880 Hz right

    TOpusOut out;
    EXPECT_EQ(out.GetBitRate(), 160);
    EXPECT_TRUE(out.GetVbr());
    out.Comments().SetArtist(QString::fromUtf8("Björk"));
    out.Comments().SetTrack("3");
    ASSERT_EQ(encodeFromMemory(out, box.file("a.opus"), pcm, rate, 2, 16, 999), "");
    const ToolResult info = runTool("opusinfo", {box.file("a.opus")});
    ASSERT_TRUE(info.ok) << info.err.toStdString();
    EXPECT_FALSE(info.out.contains("WARNING") || info.out.contains("ERROR")) << info.out.toStdString();
    EXPECT_TRUE(info.out.contains("Original sample rate: 44100 Hz")) << info.out.toStdString();
    EXPECT_TRUE(info.out.contains("Channels: 2"));
    EXPECT_TRUE(QString::fromUtf8(info.out).contains(QString::fromUtf8("artist=Björk")));
    EXPECT_TRUE(info.out.contains("tracknumber=3"));
    const double kbps160 = averageKbps(info.out);
    // Variable bit rate as opusenc --vbr has it: unconstrained, so a pure tone
    // takes more than the target, as much as opusenc's file of it.
    writeAll(box.file("a.pcm"), QByteArray(reinterpret_cast<const char*>(pcm.data()), qsizetype(pcm.size())));
    ASSERT_TRUE(runTool("opusenc", {"--quiet", "--raw", "--raw-rate", "44100", "--raw-chan", "2", "--bitrate", "160",
                                    "--vbr", box.file("a.pcm"), box.file("peer.opus")})
                    .ok);
    EXPECT_GT(kbps160, 60);
    EXPECT_NEAR(kbps160, averageKbps(runTool("opusinfo", {box.file("peer.opus")}).out), kbps160 * 0.01);

    // opusdec: 48 kHz, the same length after resampling, the tones kept.
    // Opus is lossy, so the check is spectral: each channel's energy sits at
    // its tone and its level matches the input's within 10 %.
    const ToolResult dec = runTool("opusdec", {"--quiet", "--rate", "48000", box.file("a.opus"), box.file("a.raw")});
    ASSERT_TRUE(dec.ok) << dec.err.toStdString();
    const std::vector<int16_t> decoded = s16(readAll(box.file("a.raw")));
    EXPECT_EQ(decoded.size(), size_t(frames) * 48000 / rate * 2);
    const double inRms = 0.5 * 32767 / std::sqrt(2.0);
    for (int c = 0; c < 2; ++c) {
        double rms = 0;
        EXPECT_GT(toneShare(decoded, 2, c, 440.0 * (c + 1), 48000, &rms), 0.95) << c;
        EXPECT_NEAR(rms, inRms, inRms * 0.1) << c;
    }

    // A low rate gives a smaller file; 24-bit mono at 48 kHz is taken as well.
    TOpusOut low;
    low.SetBitRate(2);  // brought to 6
    EXPECT_EQ(low.GetBitRate(), 6);
    low.SetBitRate(32);
    ASSERT_EQ(encodeFromMemory(low, box.file("b.opus"), tonePcm(48000 * 4, 1, 48000, 24, 440), 48000, 1, 24), "");
    const ToolResult lowInfo = runTool("opusinfo", {box.file("b.opus")});
    EXPECT_TRUE(lowInfo.ok && lowInfo.out.contains("Channels: 1")) << lowInfo.out.toStdString();
    EXPECT_LT(averageKbps(lowInfo.out), kbps160 / 3);
    EXPECT_GT(averageKbps(lowInfo.out), 0);
    EXPECT_EQ(otherFiles(box.path(), {"a.opus", "a.raw", "a.pcm", "peer.opus", "b.opus"}), QStringList());
}

TEST(OpusIn, FilesMadeByOpusencDecodeAsOpusdecDecodesThem)
{
    Sandbox box;
    const int frames = 48000 * 6 + 17;
    const auto pcm = tonePcm(frames, 2, 48000, 16, 1000, 0.4);
    writeAll(box.file("s.raw"), QByteArray(reinterpret_cast<const char*>(pcm.data()), qsizetype(pcm.size())));
    const ToolResult made = runTool("opusenc", {"--quiet", "--raw", "--raw-rate", "48000", "--raw-chan", "2",
                                                "--bitrate", "96", "--artist", "Some One", "--title", "Tune",
                                                "--comment", "DATE=2001", box.file("s.raw"), box.file("s.opus")});
    ASSERT_TRUE(made.ok) << made.err.toStdString();
    const ToolResult dec = runTool("opusdec", {"--quiet", "--no-dither", box.file("s.opus"), box.file("d.raw")});
    ASSERT_TRUE(dec.ok) << dec.err.toStdString();
    const QByteArray reference = readAll(box.file("d.raw"));

    TOpusIn in;
    in.SetFileName(box.file("s.opus"));
    ASSERT_TRUE(in.IsValid());
    EXPECT_EQ(in.GetChannels(), 2u);
    EXPECT_EQ(in.GetSampleRate(), 48000u);
    EXPECT_EQ(in.GetBitsPerSample(), 16u);
    EXPECT_EQ(in.InputSampleRate(), 48000u);
    EXPECT_EQ(in.GetTotalSamples(), frames);
    EXPECT_EQ(in.LinkCount(), 1);
    EXPECT_EQ(in.VorbisTags().Artist(), "Some One");
    EXPECT_EQ(in.VorbisTags().Title(), "Tune");
    EXPECT_EQ(in.Common().Year(), "2001");
    // opusinfo counts the same bytes over the same length.
    const double kbps = averageKbps(runTool("opusinfo", {box.file("s.opus")}).out);
    EXPECT_NEAR(in.AverageBitRate() / 1000.0, kbps, 0.1);

    // Both round libopus's floating-point output plainly to 16 bits.
    const QByteArray all = readInput(in, 1001);
    EXPECT_EQ(all.size(), reference.size());
    EXPECT_TRUE(all == reference);
    in.Flush();

    // After a seek the decoder starts afresh (with opusfile's pre-roll), and
    // its prediction state converges to that of the unbroken decode only over
    // the next few hundred milliseconds, so the range cannot match opusdec
    // sample for sample. It must have the range's length, stay within -20 dB
    // of opusdec's samples, and match best at the requested position (a frame
    // either way is worse).
    const int first = 48000 * 3 + 321, last = first + 23999;
    in.SetStartSample(first);
    in.SetEndSample(last);
    const std::vector<int16_t> range = s16(readInput(in));
    in.Flush();
    const std::vector<int16_t> ref = s16(reference);
    ASSERT_EQ(range.size(), size_t(last - first + 1) * 2);
    const auto errorRatio = [&](int lag) {
        double err = 0, sig = 0;
        for (size_t i = 0; i < range.size(); ++i) {
            const double r = ref[size_t((first + lag) * 2) + i];
            err += (range[i] - r) * (range[i] - r);
            sig += r * r;
        }
        return err / sig;
    };
    EXPECT_LT(errorRatio(0), 0.01);
    EXPECT_LT(errorRatio(0), errorRatio(-1));
    EXPECT_LT(errorRatio(0), errorRatio(1));

    // A damaged file is refused with the reason.
    box.write("x.opus", QByteArray("OggS") + QByteArray(200, '\0'));
    TOpusIn bad;
    bad.SetFileName(box.file("x.opus"));
    EXPECT_FALSE(bad.IsValid());
    try {
        bad.GetChannels();
        ADD_FAILURE() << "a damaged file was accepted";
    } catch (const EAuException& e) {
        EXPECT_TRUE(e.Message().contains("not a usable Opus file")) << e.Message().toStdString();
    }
}
