// ReplayGain measurement: loudness and sample peak of generated signals
// against ffmpeg's ebur128 filter (an independent BS.1770 implementation),
// the measuring converter's byte-exact pass-through, album values, and the
// tag texts.

#include "ConvertTestInput.h"

#include "audio/formats/LoudnessAlbum.h"
#include "audio/formats/LoudnessMeasure.h"
#include "audio/stream/AuException.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace dw;
using namespace dwtest;

namespace {

struct PeerLoudness {
    double lufs = 0;
    double peakDb = 0;  // sample peak in dBFS; -inf for silence
};

// ffmpeg's ebur128 summary of raw little-endian PCM. It prints one decimal.
PeerLoudness ffmpegLoudness(const Sandbox& box, const std::vector<uint8_t>& pcm, uint32_t rate, uint32_t channels,
                            uint32_t bits)
{
    const QString path = box.file(QStringLiteral("peer.raw"));
    box.write(QStringLiteral("peer.raw"), QByteArray(reinterpret_cast<const char*>(pcm.data()), qsizetype(pcm.size())));
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {"-nostdin", "-hide_banner", "-f", bits == 16 ? "s16le" : "s24le", "-ar", QString::number(rate), "-ac",
             QString::number(channels), "-i", path, "-af", "ebur128=peak=sample", "-f", "null", "-"});
    EXPECT_TRUE(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    const qsizetype summary = err.lastIndexOf(QStringLiteral("Summary:"));
    EXPECT_GE(summary, 0) << err.toStdString();
    const QString tail = err.mid(summary);
    PeerLoudness out;
    const auto i = QRegularExpression(QStringLiteral(R"(I:\s+(-?[\d.]+|-inf) LUFS)")).match(tail);
    const auto pk = QRegularExpression(QStringLiteral(R"(Peak:\s+(-?[\d.]+|-inf) dBFS)")).match(tail);
    EXPECT_TRUE(i.hasMatch() && pk.hasMatch()) << tail.toStdString();
    out.lufs = i.captured(1) == QLatin1String("-inf") ? -HUGE_VAL : i.captured(1).toDouble();
    out.peakDb = pk.captured(1) == QLatin1String("-inf") ? -HUGE_VAL : pk.captured(1).toDouble();
    return out;
}

std::vector<uint8_t> toS24(const std::vector<double>& v)
{
    std::vector<uint8_t> b;
    for (double x : v) {
        const auto s = int32_t(std::lround(std::clamp(x, -1.0, 1.0 - 1.0 / 8388608) * 8388608));
        b.push_back(uint8_t(s));
        b.push_back(uint8_t(s >> 8));
        b.push_back(uint8_t(s >> 16));
    }
    return b;
}

// Runs pcm through a measuring converter in awkward chunk and request sizes
// (frames split across reads); checks the bytes come out unchanged.
TLoudness measure(const std::vector<uint8_t>& pcm, uint32_t rate, uint32_t channels, uint32_t bits,
                  std::unique_ptr<TLoudnessMeter>* keep = nullptr)
{
    MemoryPcmInput src(pcm, rate, channels, bits, 1001);
    TLoudnessMeasure m;
    m.SetInput(&src);
    EXPECT_TRUE(drain(m, 4099) == pcm) << "the pass-through changed the audio";
    const TLoudness r = m.TrackResult();
    if (keep)
        *keep = m.TakeMeter();
    return r;
}

}  // namespace

TEST(LoudnessTest, SignalsMatchFfmpegAndPassThroughUnchanged)
{
    Sandbox box;
    struct Case {
        const char* name;
        std::vector<uint8_t> pcm;
        uint32_t rate, channels, bits;
    };
    std::vector<Case> cases;
    // 1 kHz stereo at -20 dBFS: about -20 LUFS (the K-weighting is near 0 dB at 1 kHz).
    cases.push_back({"sine -20 dBFS", fromS16(sineS16(1000, 44100, 44100 * 5, 2, 0.1)), 44100, 2, 16});
    // 24-bit mono 48 kHz at -3 dBFS.
    {
        std::vector<double> v(48000 * 4);
        for (size_t n = 0; n < v.size(); ++n)
            v[n] = 0.7079 * std::sin(2 * std::numbers::pi * 1000.0 * double(n) / 48000 + 0.3);
        cases.push_back({"mono 24-bit", toS24(v), 48000, 1, 24});
    }
    // A 400 Hz sine driven 6 dB into clipping: flat tops at full scale.
    {
        std::vector<int16_t> s(44100 * 4 * 2);
        for (size_t n = 0; n < s.size() / 2; ++n) {
            const double x = std::clamp(2.0 * std::sin(2 * std::numbers::pi * 400.0 * double(n) / 44100), -1.0, 1.0);
            s[2 * n] = s[2 * n + 1] = int16_t(std::lround(x * 32767));
        }
        cases.push_back({"clipped", fromS16(s), 44100, 2, 16});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TLoudness ours = measure(c.pcm, c.rate, c.channels, c.bits);
        const PeerLoudness peer = ffmpegLoudness(box, c.pcm, c.rate, c.channels, c.bits);
        ASSERT_TRUE(ours.measured);
        EXPECT_NEAR(ours.integratedLufs, peer.lufs, 0.1);
        EXPECT_NEAR(20 * std::log10(ours.peak), peer.peakDb, 0.1);
    }

    // The stereo 1 kHz tone at -20 dBFS reads -20 LUFS (BS.1770 calibration).
    const TLoudness sine = measure(cases[0].pcm, 44100, 2, 16);
    EXPECT_NEAR(sine.integratedLufs, -20.0, 0.05);
    EXPECT_NEAR(sine.peak, 0.1, 0.002);
    // The peak is the sample peak: a tone at a quarter of the rate, sampled
    // 45 degrees off its crests, peaks at its largest sample, 3 dB below the
    // wave's own crest.
    {
        std::vector<double> v(44100 * 2);
        for (size_t n = 0; n < v.size(); ++n)
            v[n] = 0.5 * std::sin(std::numbers::pi / 2 * double(n) + std::numbers::pi / 4);
        const TLoudness sp = measure(toS24(v), 44100, 1, 24);
        EXPECT_NEAR(sp.peak, 0.5 * std::sqrt(0.5), 1e-6);
    }

    // Silence: nothing above the gate, so no gain and no tags; ffmpeg agrees it is below -70 LUFS.
    const auto silence = fromS16(std::vector<int16_t>(44100 * 2 * 2, 0));
    const TLoudness quiet = measure(silence, 44100, 2, 16);
    EXPECT_FALSE(quiet.measured);
    EXPECT_EQ(quiet.peak, 0.0);
    EXPECT_LE(ffmpegLoudness(box, silence, 44100, 2, 16).lufs, -70.0);
    EXPECT_TRUE(ReplayGainTags(quiet).empty());
    EXPECT_TRUE(R128Tags(quiet).empty());
}

TEST(LoudnessTest, AlbumCombinesTracksLikeOneStream)
{
    Sandbox box;
    // Levels close enough that no track's blocks fall under the relative gate.
    const auto loud = fromS16(sineS16(1000, 44100, 44100 * 8, 2, 0.25));  // -12 dBFS, 8 s
    const auto soft = fromS16(sineS16(440, 44100, 44100 * 12, 2, 0.1));   // -20 dBFS, 12 s
    const auto silent = fromS16(std::vector<int16_t>(44100 * 2, 0));      // 1 s of silence

    TLoudnessAlbum album;
    EXPECT_FALSE(album.Result().measured);
    std::unique_ptr<TLoudnessMeter> m;
    const TLoudness t1 = measure(loud, 44100, 2, 16, &m);
    album.Add(std::move(m));
    const TLoudness t2 = measure(soft, 44100, 2, 16, &m);
    album.Add(std::move(m));
    measure(silent, 44100, 2, 16, &m);
    album.Add(std::move(m));  // a silent track adds no gated blocks
    album.Add(nullptr);
    EXPECT_EQ(album.Tracks(), 3u);

    const TLoudness a = album.Result();
    ASSERT_TRUE(a.measured);
    EXPECT_EQ(a.peak, std::max(t1.peak, t2.peak));
    // Between the two tracks, and equal to the loudness of the tracks played back to back.
    EXPECT_LT(a.integratedLufs, t1.integratedLufs);
    EXPECT_GT(a.integratedLufs, t2.integratedLufs);
    std::vector<uint8_t> joined = loud;
    joined.insert(joined.end(), soft.begin(), soft.end());
    joined.insert(joined.end(), silent.begin(), silent.end());
    EXPECT_NEAR(a.integratedLufs, ffmpegLoudness(box, joined, 44100, 2, 16).lufs, 0.1);

    // Tag texts for track and album, in writing order.
    const TTagValues tags = ReplayGainTags(t2, &a);
    ASSERT_EQ(tags.size(), 4u);
    EXPECT_EQ(tags[0].first, "REPLAYGAIN_TRACK_GAIN");
    EXPECT_EQ(tags[0].second, FormatReplayGain(-18.0 - t2.integratedLufs));
    EXPECT_EQ(tags[1].first, "REPLAYGAIN_TRACK_PEAK");
    EXPECT_EQ(tags[2].first, "REPLAYGAIN_ALBUM_GAIN");
    EXPECT_EQ(tags[3], std::make_pair(QStringLiteral("REPLAYGAIN_ALBUM_PEAK"), FormatReplayGainPeak(a.peak)));
    const TTagValues r128 = R128Tags(t1, &a);
    ASSERT_EQ(r128.size(), 2u);
    EXPECT_EQ(r128[0].first, "R128_TRACK_GAIN");
    EXPECT_EQ(r128[1], std::make_pair(QStringLiteral("R128_ALBUM_GAIN"), QString::number(R128GainQ78(a.integratedLufs))));

    // Taking the meter leaves the converter without a result.
    MemoryPcmInput src(loud, 44100, 2, 16);
    TLoudnessMeasure meas;
    meas.SetInput(&src);
    EXPECT_FALSE(meas.TrackResult().measured);
    EXPECT_EQ(meas.TakeMeter(), nullptr);
}

TEST(LoudnessTest, TagTextsAndFormatChecks)
{
    EXPECT_EQ(FormatReplayGain(-6.544), "-6.54 dB");
    EXPECT_EQ(FormatReplayGain(3.005001), "3.01 dB");
    EXPECT_EQ(FormatReplayGain(-0.004), "0.00 dB");
    EXPECT_EQ(FormatReplayGainPeak(0.98765432), "0.987654");
    EXPECT_EQ(FormatReplayGainPeak(1.2), "1.200000");
    EXPECT_EQ(FormatReplayGainPeak(-1), "0.000000");
    EXPECT_DOUBLE_EQ(ReplayGainDb(TLoudness{true, -11.46, 1.0}), -6.54);

    // Q7.8 relative to -23 LUFS: -16 LUFS needs -7 dB = -1792; limits of int16.
    EXPECT_EQ(R128GainQ78(-16.0), -1792);
    EXPECT_EQ(R128GainQ78(-23.0), 0);
    EXPECT_EQ(R128GainQ78(-30.5), 1920);
    EXPECT_EQ(R128GainQ78(-23.0 - 1.0 / 512 - 1e-9), 1);
    EXPECT_EQ(R128GainQ78(-300.0), 32767);
    EXPECT_EQ(R128GainQ78(200.0), -32768);

    // Formats the meter cannot measure are refused before the input opens.
    MemoryPcmInput floatIn({0, 0, 0, 0, 0, 0, 0, 0}, 44100, 1, 64);
    TLoudnessMeasure m;
    m.SetInput(&floatIn);
    EXPECT_THROW(m.Init(), EAuException);
    EXPECT_EQ(floatIn.initCount, 0);
    EXPECT_THROW(TLoudnessMeter(0, 44100, 16), EAuException);
    EXPECT_THROW(TLoudnessMeter(2, 100, 16), EAuException);
    EXPECT_THROW(TLoudnessMeter(2, 44100, 12), EAuException);

    // A frame split over three calls is measured once it is whole.
    TLoudnessMeter meter(2, 44100, 16);
    const uint8_t frame[4] = {1, 2, 3, 4};
    meter.Add(frame, 1);
    meter.Add(frame + 1, 2);
    EXPECT_EQ(meter.Frames(), 0u);
    meter.Add(frame + 3, 1);
    EXPECT_EQ(meter.Frames(), 1u);
}

// Meters sharing one small queue budget, fed from two threads at once in
// pieces larger and smaller than the budget, measure exactly what meters of
// their own do, and give the whole budget back once measured.
TEST(LoudnessTest, MetersSharingAQueueBudgetMeasureAlikeAndGiveItAllBack)
{
    const auto loud = fromS16(sineS16(1000, 44100, 44100 * 6, 2, 0.25));
    const auto soft = fromS16(sineS16(440, 44100, 44100 * 6, 2, 0.1));
    const auto budget = std::make_shared<TLoudnessQueueBudget>(64 * 1024);
    TLoudnessMeter a(2, 44100, 16, budget), b(2, 44100, 16, budget);
    const auto feed = [](TLoudnessMeter& m, const std::vector<uint8_t>& pcm, size_t piece) {
        for (size_t at = 0; at < pcm.size(); at += piece)
            m.Add(pcm.data() + at, std::min(piece, pcm.size() - at));
    };
    std::thread other([&] { feed(b, soft, 100 * 1024 + 2); });
    feed(a, loud, 4096);
    other.join();
    const TLoudness ra = a.Result(), rb = b.Result();
    EXPECT_EQ(budget->Used(), 0u);
    EXPECT_EQ(ra.integratedLufs, measure(loud, 44100, 2, 16).integratedLufs);
    EXPECT_EQ(rb.integratedLufs, measure(soft, 44100, 2, 16).integratedLufs);
    EXPECT_EQ(rb.peak, measure(soft, 44100, 2, 16).peak);
}
