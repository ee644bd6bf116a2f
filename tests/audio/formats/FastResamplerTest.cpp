// Resampler: tones through common rate changes measured against an exact
// sinusoid, output lengths, widths and channels, the sample conversions and
// the component's contract.

#include "ConvertTestInput.h"

#include "audio/formats/AudioConverter.h"
#include "audio/formats/ConvertSamples.h"
#include "audio/formats/FastResampler.h"
#include "audio/formats/ResamplePcm.h"
#include "audio/formats/WaveIn.h"
#include "audio/formats/WaveOut.h"
#include "audio/stream/AuException.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <limits>

using namespace dw;
using namespace dwtest;

namespace {

// `frames` frames of a sine at `amplitude` as 32-bit PCM, every channel alike.
std::vector<uint8_t> sineS32(double freq, double rate, size_t frames, int channels, double amplitude)
{
    std::vector<uint8_t> b(frames * channels * 4);
    for (size_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2 * std::numbers::pi * freq * double(i) / rate);
        const auto u = uint32_t(int32_t(std::lround(v * 2147483648.0)));
        for (int c = 0; c < channels; ++c)
            for (int k = 0; k < 4; ++k)
                b[(i * channels + c) * 4 + k] = uint8_t(u >> (8 * k));
    }
    return b;
}

// One channel of interleaved 32-bit PCM as doubles in -1 ... 1.
std::vector<double> channelS32(const std::vector<uint8_t>& b, int channels, int c)
{
    std::vector<double> v;
    for (size_t i = size_t(c) * 4; i + 4 <= b.size(); i += size_t(channels) * 4) {
        const uint32_t u =
            uint32_t(b[i]) | uint32_t(b[i + 1]) << 8 | uint32_t(b[i + 2]) << 16 | uint32_t(b[i + 3]) << 24;
        v.push_back(double(int32_t(u)) / 2147483648.0);
    }
    return v;
}

struct ToneFit {
    double level;     // amplitude of the tone found
    double phase;     // radians against sin(2 pi f n / rate) from the first frame
    double residual;  // RMS of everything else (false tones, aliases, noise)
};

// Least-squares fit of a sine and cosine at `freq` over x[from, to); the rest
// is the residual.
ToneFit fitTone(const std::vector<double>& x, double freq, double rate, size_t from, size_t to)
{
    const double w = 2 * std::numbers::pi * freq / rate;
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
    for (size_t n = from; n < to; ++n) {
        const double s = std::sin(w * double(n)), c = std::cos(w * double(n));
        ss += s * s, cc += c * c, sc += s * c, xs += x[n] * s, xc += x[n] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    double r2 = 0;
    for (size_t n = from; n < to; ++n) {
        const double e = x[n] - a * std::sin(w * double(n)) - b * std::cos(w * double(n));
        r2 += e * e;
    }
    return {std::hypot(a, b), std::atan2(b, a), std::sqrt(r2 / double(to - from))};
}

double dB(double ratio)
{
    return 20 * std::log10(ratio);
}

}  // namespace

TEST(FastResamplerTest, TonesKeepLevelAndTimeWithoutFalseComponents)
{
    // 32-bit in and out so that quantisation lies far below what is measured.
    // Every tone is a stereo sine at -6 dBFS; the edges, where the filter meets
    // the start and end of the signal, are left out of the measurement.
    struct Case { uint32_t in, out; std::vector<double> tones; };
    const Case cases[] = {
        {44100, 48000, {1000, 5000, 10000, 15000, 19000, 20000}},
        {48000, 44100, {1000, 5000, 10000, 15000, 19000, 20000}},
        {44100, 22050, {1000, 5000, 9000, 9922}},
        {44100, 32000, {1000, 7000, 14400}},
    };
    const double amplitude = 0.5;
    for (const Case& cs : cases)
        for (double f : cs.tones) {
            SCOPED_TRACE(testing::Message() << cs.in << " -> " << cs.out << " Hz, tone " << f);
            const size_t frames = cs.in / 2 + 1001;
            MemoryPcmInput src(sineS32(f, cs.in, frames, 2, amplitude), cs.in, 2, 32, 5000);
            TFastResampler r;
            r.SetInput(&src);
            r.SetOutSampleRate(cs.out);
            const auto out = drain(r, 3000);
            const int64_t outFrames = int64_t(out.size() / 8);
            EXPECT_EQ(outFrames, std::llround(double(frames) * cs.out / cs.in));
            for (int c = 0; c < 2; ++c) {
                const auto y = channelS32(out, 2, c);
                const size_t edge = cs.out / 20;
                const ToneFit fit = fitTone(y, f, cs.out, edge, y.size() - edge);
                EXPECT_NEAR(dB(fit.level / amplitude), 0.0, 0.1);
                EXPECT_NEAR(fit.phase, 0.0, 1e-3);  // no delay: the output starts where the input did
                EXPECT_LT(dB(fit.residual / amplitude), -100.0);
            }
        }
}

TEST(FastResamplerTest, ToneAboveTheNewNyquistFrequencyDoesNotFoldBack)
{
    // Lowering 44.1 kHz to 22.05 kHz: 11.5 kHz would fold to 10.55 kHz, 15 kHz to 7.05 kHz.
    // Lowering 48 kHz to 44.1 kHz: 23 kHz would fold to 21.1 kHz.
    struct Case { uint32_t in, out; double tone; };
    for (Case cs : {Case{44100, 22050, 11500}, Case{44100, 22050, 15000}, Case{48000, 44100, 23000}}) {
        SCOPED_TRACE(cs.tone);
        MemoryPcmInput src(sineS32(cs.tone, cs.in, cs.in / 2, 1, 0.5), cs.in, 1, 32);
        TFastResampler r;
        r.SetInput(&src);
        r.SetOutSampleRate(cs.out);
        const auto y = channelS32(drain(r), 1, 0);
        const size_t edge = cs.out / 20;
        const std::vector<double> middle(y.begin() + long(edge), y.end() - long(edge));
        EXPECT_LT(dB(rms(middle) * std::sqrt(2.0) / 0.5), -100.0);
    }
}

TEST(FastResamplerTest, LengthIsTheRoundedRateRatioForAnyInputLength)
{
    // Lengths around the reading block and below the filter's length; known
    // and unknown input sizes; requests that split frames.
    struct Rates { uint32_t in, out; };
    for (Rates rt : {Rates{44100, 48000}, Rates{44100, 22050}, Rates{48000, 44100}, Rates{22050, 44100},
                     Rates{8000, 44100}})
        for (size_t frames : {size_t(0), size_t(1), size_t(2), size_t(7), size_t(8191), size_t(8192), size_t(8193),
                              size_t(44103)})
            for (bool known : {true, false}) {
                SCOPED_TRACE(testing::Message() << rt.in << " -> " << rt.out << ", " << frames << " frames, "
                                                << (known ? "known" : "unknown") << " size");
                MemoryPcmInput src(fromS16(sineS16(440, rt.in, frames, 2, 0.5)), rt.in, 2, 16, 4093, known);
                TFastResampler r;
                r.SetInput(&src);
                r.SetOutSampleRate(rt.out);
                const auto out = drain(r, 1001);
                const int64_t expected = (2 * int64_t(frames) * rt.out + rt.in) / (2 * int64_t(rt.in));
                EXPECT_EQ(int64_t(out.size()), expected * 4);
                EXPECT_EQ(TFastResampler::OutputFrames(int64_t(frames), rt.in, rt.out), expected);
                r.Init();
                EXPECT_EQ(r.GetSize(), known && frames > 0 ? expected * 4 : (known ? 0 : -1));
                r.Flush();
            }
    // Many hours at the largest rates do not overflow the arithmetic.
    EXPECT_EQ(TFastResampler::OutputFrames(int64_t(1) << 40, 1000000, 31250), int64_t(1) << 35);
}

TEST(FastResamplerTest, EqualRatesPassThroughBitExact)
{
    for (uint32_t bits : {8u, 16u, 24u, 32u}) {
        SCOPED_TRACE(bits);
        std::vector<uint8_t> bytes(3 * 1000 * bits / 8);
        uint32_t seed = 7;
        for (uint8_t& b : bytes)
            b = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
        MemoryPcmInput src(bytes, 44100, 3, bits, 1000);
        TFastResampler r;
        r.SetInput(&src);
        r.SetOutSampleRate(44100);
        EXPECT_EQ(r.GetSampleRate(), 44100u);
        EXPECT_EQ(r.GetChannels(), 3u);
        EXPECT_EQ(r.GetBitsPerSample(), bits);
        EXPECT_EQ(drain(r, 999), bytes);
        r.Init();
        EXPECT_TRUE(r.IsPassthrough());
        EXPECT_EQ(r.GetSize(), int64_t(bytes.size()));
        r.Flush();
        // A rate one hertz apart is a rate change.
        r.SetOutSampleRate(44101);
        r.Init();
        EXPECT_FALSE(r.IsPassthrough());
        r.Flush();
        EXPECT_EQ(src.initCount, src.flushCount);
    }
}

TEST(FastResamplerTest, SampleConversionsRoundTripExactlyAndClip)
{
    // Every 8- and 16-bit value, and 24- and 32-bit values across the range,
    // come back unchanged from float.
    auto roundTrip = [](const std::vector<uint8_t>& bytes, int width) {
        std::vector<float> f(bytes.size() / width);
        std::vector<uint8_t> back(bytes.size());
        ResamplePcmToFloat(bytes.data(), f.data(), f.size(), width);
        ResampleFloatToPcm(f.data(), back.data(), f.size(), width);
        return back;
    };
    std::vector<uint8_t> all8(256), all16(65536 * 2), some24, some32;
    for (int v = 0; v < 256; ++v)
        all8[v] = uint8_t(v);
    for (int v = 0; v < 65536; ++v)
        all16[2 * v] = uint8_t(v), all16[2 * v + 1] = uint8_t(v >> 8);
    for (int64_t v = -(1 << 23); v < (1 << 23); v += 4099)
        for (int k = 0; k < 3; ++k)
            some24.push_back(uint8_t(uint32_t(v) >> (8 * k)));
    for (uint32_t top = 0; top < 256; ++top)  // 24 significant bits at every scale
        for (int64_t v : {int64_t(int32_t(top << 24)), int64_t(int32_t(top << 24 | 0xffffffu) & ~0xffll)}) {
            const uint32_t u = uint32_t(v);
            for (int k = 0; k < 4; ++k)
                some32.push_back(uint8_t(u >> (8 * k)));
        }
    EXPECT_EQ(roundTrip(all8, 1), all8);
    EXPECT_EQ(roundTrip(all16, 2), all16);
    EXPECT_EQ(roundTrip(some24, 3), some24);
    EXPECT_EQ(roundTrip(some32, 4), some32);

    // Half a step rounds to even; beyond full scale clips; NaN is silence.
    const float in[] = {0.5f / 32768, 1.5f / 32768, -0.5f / 32768, 1.0f, 7.0f, -1.0f, -7.0f,
                        std::numeric_limits<float>::quiet_NaN()};
    const int16_t want16[] = {0, 2, 0, 32767, 32767, -32768, -32768, 0};
    std::vector<uint8_t> out16(16);
    ResampleFloatToPcm(in, out16.data(), 8, 2);
    EXPECT_EQ(toS16(out16), std::vector<int16_t>(std::begin(want16), std::end(want16)));
    std::vector<uint8_t> out8(8), out32(32);
    ResampleFloatToPcm(in, out8.data(), 8, 1);
    EXPECT_EQ(out8, (std::vector<uint8_t>{128, 128, 128, 255, 255, 0, 0, 128}));
    ResampleFloatToPcm(in + 3, out32.data(), 5, 4);
    const auto s32 = channelS32(std::vector<uint8_t>(out32.begin(), out32.begin() + 20), 1, 0);
    EXPECT_EQ(s32, (std::vector<double>{2147483647 / 2147483648.0, 2147483647 / 2147483648.0, -1.0, -1.0, 0.0}));
}

TEST(FastResamplerTest, EveryWidthAndChannelCountAndAnyReadSize)
{
    // A DC level per channel comes through at every width (after the filter
    // settles), each channel on its own.
    struct Case { uint32_t bits; int channels; };
    for (Case cs : {Case{8, 1}, Case{24, 2}, Case{32, 3}, Case{16, 6}}) {
        SCOPED_TRACE(cs.bits * 100 + cs.channels);
        const size_t frames = 11025;
        const int w = int(cs.bits / 8);
        auto level = [](int c) { return c == 0 ? 0.25f : c == 1 ? -0.5f : 0.125f * float(c); };
        std::vector<uint8_t> bytes(frames * cs.channels * w);
        for (size_t i = 0; i < frames * cs.channels; ++i)
            FloatToPcmSample(level(int(i % cs.channels)), bytes.data() + i * w, w);
        MemoryPcmInput src(bytes, 44100, cs.channels, cs.bits, 777);
        TFastResampler r;
        r.SetInput(&src);
        r.SetOutSampleRate(32000);
        const auto out = drain(r, 1001);  // requests that split frames
        r.Init();
        EXPECT_EQ(int64_t(out.size()), r.GetSize());
        r.Flush();
        const size_t outFrames = out.size() / (cs.channels * w);
        ASSERT_EQ(outFrames, 8000u);
        for (size_t f = outFrames / 2; f < outFrames / 2 + 10; ++f)
            for (int c = 0; c < cs.channels; ++c) {
                const float v = PcmSampleToFloat(out.data() + (f * cs.channels + c) * w, w);
                EXPECT_NEAR(v, level(c), cs.bits == 8 ? 0.01f : 1e-4f);
            }
    }
}

TEST(FastResamplerTest, UnknownLengthAndErrors)
{
    MemoryPcmInput src(fromS16(sineS16(300, 44100, 1000, 1, 0.3)), 44100, 1, 16, 4096, false);
    TFastResampler r;
    r.SetOutSampleRate(22050);
    for (auto query : {&TFastResampler::GetBitsPerSample, &TFastResampler::GetChannels,
                       &TFastResampler::GetSampleRate}) {
        try {
            (r.*query)();
            ADD_FAILURE() << "no exception";
        } catch (const EAuException& e) {
            EXPECT_EQ(e.Message(), "Input is not assigned");
        }
    }

    r.SetInput(&src);
    void* buf = nullptr;
    uint32_t n = 100;
    try {
        r.GetData(buf, n);
        ADD_FAILURE() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), "The Stream is not opened");
    }
    TFastResampler unlinked;
    EXPECT_THROW(unlinked.Init(), EAuException);

    r.Init();
    EXPECT_EQ(r.GetSize(), -1);
    r.Flush();
    EXPECT_EQ(drain(r).size(), 500u * 2);

    r.SetOutSampleRate(0);
    EXPECT_THROW(r.Init(), EAuException);
    // Beyond 32:1 either way the rate change is refused.
    r.SetOutSampleRate(44100 * 33);
    EXPECT_THROW(r.Init(), EAuException);
    r.SetOutSampleRate(44100 / 33);
    EXPECT_THROW(r.Init(), EAuException);
    EXPECT_EQ(src.initCount, src.flushCount);
}

namespace {

// Runs sox with the arguments; returns its standard error (where stat reports), or
// an empty string with a failure recorded when it did not run.
QString runSox(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("sox"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << "sox failed: " << args.join(' ').toStdString() << " "
                      << p.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardError()) + QString::fromUtf8(p.readAllStandardOutput());
}

double statValue(const QString& stat, const QString& name)
{
    for (const QString& line : stat.split('\n'))
        if (line.startsWith(name))
            return line.section(':', 1).trimmed().toDouble();
    ADD_FAILURE() << "no " << name.toStdString() << " in " << stat.toStdString();
    return 0;
}

}  // namespace

TEST(ConverterChainTest, WaveFileThroughResamplerAndConverterReadsBackInSox)
{
    if (QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty())
        GTEST_SKIP() << "sox is not installed";
    Sandbox box;
    const QString in = box.file(QStringLiteral("in.wav")), out = box.file(QStringLiteral("out.wav"));
    // 3.5 s of a 1 kHz sine in 44.1 kHz 16-bit stereo, written by the peer.
    runSox({"-n", "-r", "44100", "-b", "16", "-c", "2", in, "synth", "3.5", "sine", "1000", "gain", "-6"});

    TWaveIn waveIn;
    waveIn.SetFileName(in);
    TFastResampler resampler;
    resampler.SetInput(&waveIn);
    resampler.SetOutSampleRate(22050);
    TAudioConverter converter;
    converter.SetInput(&resampler);
    converter.SetOutChannels(1);
    converter.SetOutBitsPerSample(8);
    TWaveOut waveOut;
    waveOut.SetInput(&converter);
    waveOut.SetFileName(out);
    bool done = false;
    waveOut.OnDone = [&](TAuOutput*) { done = true; };
    waveOut.Run();
    ASSERT_TRUE(waitFor([&] { return done; }));
    EXPECT_TRUE(waveOut.GetExceptionMessage().isEmpty()) << waveOut.GetExceptionMessage().toStdString();

    const QString info = runSox({"--i", out});
    EXPECT_TRUE(info.contains(QRegularExpression("Channels\\s*:\\s*1"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression("Sample Rate\\s*:\\s*22050"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression("Precision\\s*:\\s*8-bit"))) << info.toStdString();
    EXPECT_TRUE(info.contains("77175 samples")) << info.toStdString();  // 3.5 s exactly

    // Same level and pitch as the source (sox measures both).
    const QString src = runSox({in, "-n", "remix", "1", "stat"});
    const QString dst = runSox({out, "-n", "trim", "0.1", "stat"});
    EXPECT_NEAR(statValue(dst, "RMS     amplitude"), statValue(src, "RMS     amplitude"), 0.02);
    EXPECT_NEAR(statValue(dst, "Rough   frequency"), 1000, 15);
}
