// Resampler: filter design, rate change of real signals, lengths and the
// component's contract.

#include "ConvertTestInput.h"

#include "audio/formats/AudioConverter.h"
#include "audio/formats/ConvertSamples.h"
#include "audio/formats/FastResampler.h"
#include "audio/formats/ResampleEngine.h"
#include "audio/formats/ResampleFilter.h"
#include "audio/formats/WaveIn.h"
#include "audio/formats/WaveOut.h"
#include "audio/stream/AuException.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <complex>

using namespace dw;
using namespace dwtest;

namespace {

// |H| of one 4-pole section at `f` (fraction of its sampling rate).
double magnitude(const ChebyshevLowPass& c, double f)
{
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * f);
    std::complex<double> num = 0, den = 1, zk = 1;
    for (int k = 0; k < 5; ++k, zk *= z1) {
        num += double(c.a[k]) * zk;
        if (k > 0)
            den -= double(c.b[k - 1]) * zk;
    }
    return std::abs(num / den);
}

std::vector<int16_t> resample(const std::vector<int16_t>& in, uint32_t inRate, uint32_t outRate, int channels,
                              int64_t* size = nullptr, uint32_t request = 16384)
{
    MemoryPcmInput src(fromS16(in), inRate, channels, 16);
    TFastResampler r;
    r.SetInput(&src);
    r.SetOutSampleRate(outRate);
    auto out = drain(r, request);
    if (size) {
        r.Init();
        *size = r.GetSize();
        r.Flush();
    }
    return toS16(out);
}

}  // namespace

TEST(ResampleFilterTest, LowPassHasUnityDcGainRippleBandAndSteepStopBand)
{
    for (float fc : {0.2125f, 0.4f, 0.085f, 0.3905f}) {
        SCOPED_TRACE(fc);
        const ChebyshevLowPass c = DesignChebyshevLowPass(fc);
        EXPECT_NEAR(magnitude(c, 0.0), 1.0, 1e-4);
        // Pass band stays within the 5 % ripple (DC sits at a trough of an even-order filter);
        // the cutoff is the half-power point relative to the ripple peaks.
        EXPECT_NEAR(magnitude(c, fc), std::sqrt(0.5) / 0.95, 0.003);
        for (double f = 0; f <= fc * 0.8; f += fc / 50) {
            EXPECT_LE(magnitude(c, f), 1.0 / 0.95 + 2e-3) << f;
            EXPECT_GE(magnitude(c, f), 1.0 - 2e-3) << f;
        }
        // Falls off steeply above the cutoff: four poles, 24 dB per octave and more.
        EXPECT_LT(magnitude(c, std::min(2.0 * fc, 0.49)), 0.1);
    }
}

TEST(ResampleFilterTest, LowestAllowedCutoffStaysStable)
{
    // 32:1, the largest ratio the resampler accepts: single-precision
    // coefficients bend the ripple a little, but the filter settles at unity.
    const float fc = ResampleCutoff(32, 1);
    const ChebyshevLowPass c = DesignChebyshevLowPass(fc);
    EXPECT_NEAR(magnitude(c, 0.0), 1.0, 1e-3);
    for (double f = 0; f <= fc; f += fc / 50)
        EXPECT_LT(magnitude(c, f), 1.1) << f;
    EXPECT_LT(magnitude(c, 3.0 * fc), 0.02);
    std::vector<float> y(40000);
    for (size_t j = 0; j < y.size(); ++j) {
        double acc = 0;
        for (size_t k = 0; k < 5 && k <= j; ++k)
            acc += double(c.a[k]);
        for (size_t k = 1; k < 5 && k <= j; ++k)
            acc += double(c.b[k - 1]) * y[j - k];
        y[j] = float(acc);
    }
    EXPECT_NEAR(y.back(), 1.0f, 1e-3);
}

TEST(ResampleEngineTest, BlockLengthsAndCapacity)
{
    EXPECT_EQ(ResampleEngine::CapacityFor(8820, 4410), 8820u);
    EXPECT_EQ(ResampleEngine::CapacityFor(4410, 8820), 2u * 4410);
    EXPECT_EQ(ResampleEngine::CapacityFor(8820, 9600), 2u * 8820);
    EXPECT_EQ(ResampleEngine::CapacityFor(1600, 8820), 6u * 1600);

    ResampleEngine down(1, 8820, 4410, 8820);
    EXPECT_EQ(down.OutputFrames(8820), 4410u);
    EXPECT_EQ(down.OutputFrames(3), 2u);  // frames 0 and 2
    ResampleEngine up(2, 4410 * 4, 8820 * 4, 8820);
    EXPECT_EQ(up.OutputFrames(4410), 8820u);
    ResampleEngine up48(2, 8820 * 4, 9600 * 4, 2 * 8820);
    EXPECT_EQ(up48.OutputFrames(8820), 9600u);
    ResampleEngine down48(2, 9600 * 4, 8820 * 4, 9600);
    EXPECT_EQ(down48.OutputFrames(9600), 8820u);
}

namespace {

// The 4-pole section applied four times, written out plainly from zero state.
std::vector<float> cascadeReference(const ChebyshevLowPass& c, std::vector<float> x)
{
    for (int stage = 0; stage < 4; ++stage) {
        std::vector<float> y(x.size());
        for (size_t j = 0; j < x.size(); ++j) {
            double acc = 0;
            for (size_t k = 0; k < 5 && k <= j; ++k)
                acc += double(c.a[k]) * x[j - k];
            for (size_t k = 1; k < 5 && k <= j; ++k)
                acc += double(c.b[k - 1]) * y[j - k];
            y[j] = float(acc);
        }
        x = y;
    }
    return x;
}

}  // namespace

TEST(ResampleEngineTest, LoweringKeepsEverySecondFilteredFrameAndRaisingHoldsEachFrame)
{
    std::vector<float> step(64, 1.0f);
    step[0] = 0.0f;
    ResampleEngine down(1, 8, 4, 64);
    const std::vector<float> filtered = cascadeReference(down.Filter(), step);
    std::vector<float> out(64);
    ASSERT_EQ(down.Process(step.data(), 64, out.data()), 32u);
    for (size_t k = 0; k < 32; ++k)
        EXPECT_NEAR(out[k], filtered[2 * k], 1e-6) << k;

    // Raising by two: the held signal is x0 x0 x1 x1 ..., then the same cascade.
    const std::vector<float> in{0.25f, -0.5f, 0.75f, 1.0f};
    ResampleEngine up(1, 4, 8, 8);
    const std::vector<float> held =
        cascadeReference(up.Filter(), {0.25f, 0.25f, -0.5f, -0.5f, 0.75f, 0.75f, 1.0f, 1.0f});
    std::vector<float> upOut(8);
    ASSERT_EQ(up.Process(in.data(), 4, upOut.data()), 8u);
    for (size_t q = 0; q < 8; ++q)
        EXPECT_NEAR(upOut[q], held[q], 1e-6) << q;
}

TEST(ResampleEngineTest, FilterStateCarriesAcrossBlocksPerChannel)
{
    // Two channels in two blocks give the same as each channel alone in one block.
    std::vector<float> left(200), right(200), inter(400);
    for (size_t i = 0; i < 200; ++i) {
        left[i] = float(std::sin(0.3 * double(i)));
        right[i] = float(i % 7) / 7.0f - 0.5f;
        inter[2 * i] = left[i];
        inter[2 * i + 1] = right[i];
    }
    ResampleEngine eng(2, 100, 50, 100);
    std::vector<float> out(200);
    ASSERT_EQ(eng.Process(inter.data(), 100, out.data()), 50u);
    ASSERT_EQ(eng.Process(inter.data() + 200, 100, out.data() + 100), 50u);
    const auto refL = cascadeReference(eng.Filter(), left);
    const auto refR = cascadeReference(eng.Filter(), right);
    for (size_t k = 0; k < 100; ++k) {
        EXPECT_NEAR(out[2 * k], refL[2 * k], 1e-5) << k;
        EXPECT_NEAR(out[2 * k + 1], refR[2 * k], 1e-5) << k;
    }
}

TEST(ResampleEngineTest, VectorAndPortableKernelsAgreeExactly)
{
    // Blocks of many sizes (1 to 3 frames fill and drain the vector wavefront
    // at once), odd channel counts, both directions.
    struct Case { int channels; uint32_t in, out; };
    for (Case cs : {Case{2, 8820, 4410}, Case{1, 4410, 8820}, Case{3, 8820, 9600}, Case{2, 9600, 8820}}) {
        SCOPED_TRACE(cs.channels * 100000 + cs.in);
        const size_t cap = ResampleEngine::CapacityFor(cs.in, cs.out);
        std::vector<std::vector<float>> results;
        for (bool vec : {false, true}) {
            ResampleEngine::SetVectorKernelAllowed(vec);
            ResampleEngine eng(cs.channels, cs.in, cs.out, cap);
            std::vector<float> all;
            uint32_t seed = 99;
            for (size_t n : {size_t(1), size_t(2), size_t(3), size_t(700), size_t(4), size_t(cs.in)}) {
                std::vector<float> in(n * cs.channels), out(cap * cs.channels);
                for (float& v : in) {
                    seed = seed * 1664525u + 1013904223u;
                    v = float(int(seed >> 8) - (1 << 23)) / float(1 << 23);
                }
                const size_t m = eng.Process(in.data(), n, out.data());
                all.insert(all.end(), out.begin(), out.begin() + long(m * cs.channels));
            }
            results.push_back(all);
        }
        ResampleEngine::SetVectorKernelAllowed(true);
        ASSERT_EQ(results[0].size(), results[1].size());
        for (size_t i = 0; i < results[0].size(); ++i)
            ASSERT_EQ(results[0][i], results[1][i]) << i;
    }
}

TEST(FastResamplerTest, LoweringKeepsToneAndLevelAndRejectsAliases)
{
    const size_t frames = 44100 + 3;  // a short last refill too
    int64_t size = 0;
    const auto out = resample(sineS16(1000, 44100, frames, 2, 0.5), 44100, 22050, 2, &size);
    EXPECT_EQ(size, int64_t(out.size() * 2));
    EXPECT_EQ(out.size() / 2, 22050u + 2);  // 5 full refills, then frames 0 and 2 of the last
    for (int c = 0; c < 2; ++c) {
        const auto x = channel(out, 2, c, 2205);  // skip the filter's settling
        EXPECT_NEAR(toneAmplitude(x, 1000, 22050), 0.5, 0.02);
        EXPECT_LT(toneAmplitude(x, 1100, 22050), 0.01);
    }

    // 15 kHz lies above the new Nyquist frequency (11025 Hz); its alias would be at 7050 Hz.
    const auto alias = resample(sineS16(15000, 44100, frames, 2, 0.5), 44100, 22050, 2);
    const auto a = channel(alias, 2, 0, 2205);
    EXPECT_LT(rms(a), 0.5 * 0.01);
    EXPECT_LT(toneAmplitude(a, 7050, 22050), 0.5 * 0.003);
}

TEST(FastResamplerTest, RaisingKeepsToneAndRejectsImages)
{
    int64_t size = 0;
    const auto out = resample(sineS16(1000, 22050, 22050, 1, 0.5), 22050, 44100, 1, &size);
    EXPECT_EQ(out.size(), 44100u);  // every input frame held twice
    EXPECT_EQ(size, int64_t(out.size() * 2));
    const auto x = channel(out, 1, 0, 4410);
    EXPECT_NEAR(toneAmplitude(x, 1000, 44100), 0.5, 0.02);

    // Holding frames leaves an image of a 5 kHz tone at 22050 - 5000 Hz; the filter removes it.
    const auto five = channel(resample(sineS16(5000, 22050, 22050, 1, 0.5), 22050, 44100, 1), 1, 0, 4410);
    const double tone = toneAmplitude(five, 5000, 44100);
    EXPECT_GT(tone, 0.4);
    EXPECT_LT(toneAmplitude(five, 17050, 44100), tone * 0.003);

    // A ratio that is not whole: 44.1 kHz to 48 kHz; length as declared, tone kept.
    const auto up48 = resample(sineS16(1000, 44100, 44100, 2, 0.5), 44100, 48000, 2, &size);
    EXPECT_EQ(up48.size() / 2, 48000u);
    EXPECT_EQ(size, int64_t(up48.size() * 2));
    EXPECT_NEAR(toneAmplitude(channel(up48, 2, 1, 4800), 1000, 48000), 0.5, 0.02);
}

TEST(FastResamplerTest, EqualRatesPassThroughAndRatesCountInFifthsOfASecond)
{
    const auto in = sineS16(440, 44100, 5000, 2, 0.7);
    MemoryPcmInput src(fromS16(in), 44101, 2, 16, 1000);
    TFastResampler r;
    r.SetInput(&src);
    r.SetOutSampleRate(44100);
    EXPECT_EQ(r.GetSampleRate(), 44100u);
    EXPECT_EQ(r.GetChannels(), 2u);
    EXPECT_EQ(r.GetBitsPerSample(), 16u);
    EXPECT_EQ(toS16(drain(r)), in);

    r.SetOutSampleRate(44103);  // still 8820 per fifth of a second
    EXPECT_EQ(r.GetSampleRate(), 44103u);
    r.Init();
    EXPECT_TRUE(r.IsPassthrough());
    EXPECT_EQ(r.GetSize(), int64_t(in.size() * 2));
    r.Flush();

    r.SetOutSampleRate(22050);
    r.Init();
    EXPECT_FALSE(r.IsPassthrough());
    EXPECT_EQ(r.GetInStep(), 8820u * 4);
    EXPECT_EQ(r.GetOutStep(), 4410u * 4);
    EXPECT_EQ(r.GetCapacity(), 8820u);
    r.Flush();
    EXPECT_EQ(src.initCount, src.flushCount);
}

TEST(FastResamplerTest, EveryWidthAndChannelCountAndAnyReadSize)
{
    // A DC level comes through at every width (after the filter settles).
    struct Case { uint32_t bits; int channels; };
    for (Case cs : {Case{8, 1}, Case{24, 2}, Case{32, 3}, Case{16, 6}}) {
        SCOPED_TRACE(cs.bits * 100 + cs.channels);
        const size_t frames = 11025;
        const int w = int(cs.bits / 8);
        std::vector<uint8_t> bytes(frames * cs.channels * w);
        for (size_t i = 0; i < frames * cs.channels; ++i) {
            const float level = (i % cs.channels == 0) ? 0.25f : -0.5f;
            FloatToPcmSample(level, bytes.data() + i * w, w);
        }
        MemoryPcmInput src(bytes, 44100, cs.channels, cs.bits, 777);
        TFastResampler r;
        r.SetInput(&src);
        r.SetOutSampleRate(32000);
        const auto out = drain(r, 1001);  // requests that split frames
        r.Init();
        EXPECT_EQ(int64_t(out.size()), r.GetSize());
        r.Flush();
        const size_t outFrames = out.size() / (cs.channels * w);
        ASSERT_GT(outFrames, 6000u);
        for (size_t f = outFrames - 10; f < outFrames; ++f)
            for (int c = 0; c < cs.channels; ++c) {
                const float v = PcmSampleToFloat(out.data() + (f * cs.channels + c) * w, w);
                EXPECT_NEAR(v, c == 0 ? 0.25f : -0.5f, 0.01f);
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
    // Beyond 32:1 the filter design is no longer stable in single precision.
    r.SetOutSampleRate(44100 * 33);
    EXPECT_THROW(r.Init(), EAuException);
    r.SetOutSampleRate(44100 / 33);
    EXPECT_THROW(r.Init(), EAuException);
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
