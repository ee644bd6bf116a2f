// TWaveIn on hand-made files: the tolerant header walk, float conversion,
// ADPCM sizes, sample ranges and seeking, and damaged files.

#include "ConvertTestInput.h"
#include "audio/formats/WaveIn.h"
#include "audio/stream/AuException.h"
#include "audio/stream/MemoryStream.h"
#include "WaveTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace dw;
using namespace dwtest;

namespace {

QByteArray pcm16File(const QByteArray& samples, uint16_t channels = 2, uint32_t rate = 44100)
{
    return riff(chunk("fmt ", fmtBody(1, channels, rate, channels * 2, 16)) + chunk("data", samples));
}

QByteArray floatBytes(const std::vector<float>& v)
{
    QByteArray b;
    for (float f : v) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        b += le32(u);
    }
    return b;
}

// Reads everything a file-backed TWaveIn delivers from bytes written to the sandbox.
struct Opened {
    Sandbox box;
    TWaveIn in;
    explicit Opened(const QByteArray& bytes)
    {
        writeAll(box.file("t.wav"), bytes);
        in.SetFileName(box.file("t.wav"));
    }
};

TEST(WaveInHeader, ToleratesJunkCaseAndExtraChunks)
{
    const QByteArray samples = toneBytes(1000, 2, 44100);
    // Junk before RIFF, a LIST chunk before "fmt ", a "fact" chunk in a PCM
    // file, identifiers in lower case.
    QByteArray body = chunk("LIST", QByteArray(33, 'x')) + chunk("fmt ", fmtBody(1, 2, 44100, 4, 16)) +
                      chunk("fact", le32(1000)) + chunk("data", samples);
    QByteArray file = QByteArray("junk!\x01\x02", 7) + riff(body);
    file.replace("fmt ", "FMT ").replace("data", "DATA");
    file.replace(7, 4, "riff");
    Opened o(file);
    ASSERT_TRUE(o.in.IsValid());
    EXPECT_EQ(o.in.GetWavType(), wtPCM);
    EXPECT_EQ(o.in.GetSampleRate(), 44100u);
    EXPECT_EQ(readInput(o.in), samples);
}

TEST(WaveInHeader, RejectsWhatItCannotRead)
{
    const QByteArray data = chunk("data", QByteArray(400, '\0'));
    const QByteArray ext40 = fmtBody(0xFFFE, 2, 44100, 4, 16) + le16(22) + le16(16) + le32(3);
    const QByteArray cases[] = {
        QByteArray(),                                                          // empty
        QByteArray("RIFF"),                                                    // truncated
        riff(chunk("fmt ", fmtBody(1, 2, 44100, 4, 16))),                      // no data chunk
        riff(chunk("fmt ", fmtBody(7, 1, 8000, 1, 8)) + data),                 // unknown tag (mu-law)
        riff(chunk("fmt ", fmtBody(1, 0, 44100, 0, 16)) + data),               // zero channels
        riff(chunk("fmt ", fmtBody(1, 2, 44100, 4, 0)) + data),                // zero bits
        riff(chunk("fmt ", fmtBody(1, 2, 0, 4, 16)) + data),                   // zero rate
        riff(chunk("fmt ", fmtBody(1, 2, 44100, 4, 12)) + data),               // odd bit depth
        riff(chunk("fmt ", fmtBody(3, 2, 44100, 4, 16)) + data),               // 16-bit "float"
        riff(chunk("fmt ", QByteArray(10, '\1')) + data),                      // short fmt chunk
        riff(chunk("fmt ", ext40 + QByteArray(12, '\x55')) + data),            // foreign sub-format
        riff(chunk("fmt ", QByteArray(70000, '\1')) + data),                  // fmt beyond the header area
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        Opened o(cases[i]);
        EXPECT_FALSE(o.in.IsValid());
        // Not valid: the input runs with the neutral format and gives nothing.
        EXPECT_TRUE(readInput(o.in).isEmpty());
        EXPECT_EQ(o.in.GetSize(), 0);
    }
}

TEST(WaveInHeader, DataBeyondTheFileFailsAtTheFileEndAndSizeZeroRunsToIt)
{
    const QByteArray tone = toneBytes(500, 2, 44100);
    QByteArray file = pcm16File(tone);
    file.resize(file.size() - 400);  // cut the data short; the chunk still claims 2000 bytes
    Opened o(file);
    ASSERT_TRUE(o.in.IsValid());
    EXPECT_EQ(o.in.GetTotalSamples(), 400);
    EXPECT_TRUE(o.in.OpenProblem().contains("ends after 1600 of the 2000 bytes")) << o.in.OpenProblem().toStdString();
    // Never more than the file holds, and the read fails instead of ending.
    QString message;
    const QByteArray got = readUntilFailure(o.in, &message);
    EXPECT_EQ(message, o.in.OpenProblem());
    EXPECT_LE(got.size(), 1600);
    EXPECT_EQ(got, tone.left(got.size()));
    // Chunks after the data are never delivered as audio.
    Opened o2(pcm16File(toneBytes(10, 2, 44100)) + chunk("LIST", QByteArray(64, 'z')));
    EXPECT_EQ(readInput(o2.in).size(), 40);
    EXPECT_TRUE(o2.in.OpenProblem().isEmpty());

    // A data size of 0 (a header never fixed) before audio: all of it; before
    // whole chunks: nothing.
    QByteArray open = pcm16File(tone);
    open.replace(open.indexOf("data") + 4, 4, QByteArray(4, '\0'));
    Opened o3(open);
    EXPECT_EQ(readInput(o3.in), tone);
    EXPECT_TRUE(o3.in.OpenProblem().isEmpty());
    QByteArray empty = pcm16File(QByteArray()) + chunk("LIST", QByteArray(64, 'z'));
    Opened o4(empty);
    EXPECT_TRUE(readInput(o4.in).isEmpty());
}

TEST(WaveInFloat, ConvertsAndClipsTo32BitIntegers)
{
    const std::vector<float> v = {0.0f, 0.5f, -0.5f, 1.0f, 1.5f, -1.0f, -7.0f, std::nanf(""), 0.25f, -0.25f};
    Opened o(riff(chunk("fmt ", fmtBody(3, 2, 48000, 8, 32)) + chunk("data", floatBytes(v))));
    ASSERT_TRUE(o.in.IsValid());
    EXPECT_EQ(o.in.GetWavType(), wtIEEEFloat);
    EXPECT_EQ(o.in.GetBitsPerSample(), 32u);
    const auto got = s32(readInput(o.in));
    const std::vector<int32_t> want = {0,          1073741823,  -1073741824, 0x7FFFFFFF, 0x7FFFFFFF,
                                       INT32_MIN,  INT32_MIN,   0,           536870911,  -536870912};
    EXPECT_EQ(got, want);
}

TEST(WaveInFloat, SixtyFourBitHalvesSizeAndKeeps32Bits)
{
    QByteArray d;
    const double v[] = {0.5, -0.5, 2.0, -0.125};
    for (double x : v) {
        uint64_t u;
        std::memcpy(&u, &x, 8);
        d += le32(static_cast<uint32_t>(u)) + le32(static_cast<uint32_t>(u >> 32));
    }
    // Extensible header with the float sub-format.
    const QByteArray guidFloat("\x03\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
    const QByteArray fmt = fmtBody(0xFFFE, 1, 8000, 8, 64) + le16(22) + le16(64) + le32(4) + guidFloat;
    Opened o(riff(chunk("fmt ", fmt) + chunk("data", d)));
    ASSERT_TRUE(o.in.IsValid());
    EXPECT_EQ(o.in.GetWavType(), wtExtIEEEFloat);
    EXPECT_EQ(o.in.GetBitsPerSample(), 32u);
    EXPECT_EQ(o.in.GetTotalSamples(), 4);
    EXPECT_EQ(s32(readInput(o.in)), (std::vector<int32_t>{1073741823, -1073741824, 0x7FFFFFFF, -268435456}));
}

// An IMA ADPCM file made by hand: one mono block of 512 bytes and a short one.
TEST(WaveInAdpcm, ImaSizeComesFromFactAndBlocksGive1017Samples)
{
    QByteArray block(512, '\0');
    block[0] = 0x10;  // predictor 16
    for (int i = 4; i < 512; ++i)
        block[i] = static_cast<char>(0x71);
    const QByteArray fmt = fmtBody(0x11, 1, 22050, 512, 4) + le16(2) + le16(1017);
    Opened o(riff(chunk("fmt ", fmt) + chunk("fact", le32(1500)) + chunk("data", block + block)));
    ASSERT_TRUE(o.in.IsValid());
    EXPECT_EQ(o.in.GetWavType(), wtDVIADPCM);
    EXPECT_EQ(o.in.GetBitsPerSample(), 16u);
    EXPECT_EQ(o.in.GetTotalSamples(), 1500);
    const auto s = s16(readInput(o.in, 4096));
    ASSERT_EQ(s.size(), 1500u);
    EXPECT_EQ(s[0], 16);
    EXPECT_EQ(s[1017], 16);  // the second block starts again from its header

    // Seeking decodes the block holding the sample and starts at the sample.
    o.in.SetStartSample(1100);
    const auto tail = s16(readInput(o.in, 4096));
    ASSERT_EQ(tail.size(), 400u);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), s.begin() + 1100));
}

TEST(WaveInAdpcm, MsAdpcmDamageFailsTheReadWhereItIsMet)
{
    // Seven standard coefficient pairs.
    const int16_t coefs[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
    auto fmtWith = [&](int numCoef) {
        QByteArray f = fmtBody(2, 1, 8000, 64, 4) + le16(static_cast<uint16_t>(4 + 4 * numCoef)) + le16(116) +
                       le16(static_cast<uint16_t>(numCoef));
        for (int i = 0; i < numCoef; ++i)
            f += le16(static_cast<uint16_t>(coefs[i % 7][0])) + le16(static_cast<uint16_t>(coefs[i % 7][1]));
        return f;
    };
    auto blockWith = [](uint8_t predictor) {
        QByteArray b(64, '\x11');
        b[0] = static_cast<char>(predictor);
        b[1] = 16;  // delta 16
        b[2] = 0;
        return b;
    };
    // The second block names predictor 9 of 7: the read fails after the first.
    Opened o(riff(chunk("fmt ", fmtWith(7)) + chunk("fact", le32(348)) +
                  chunk("data", blockWith(0) + blockWith(9) + blockWith(0))));
    ASSERT_TRUE(o.in.IsValid());
    EXPECT_EQ(o.in.GetWavType(), wtMSADPCM);
    QString message;
    EXPECT_EQ(readUntilFailure(o.in, &message).size(), 116 * 2);
    EXPECT_TRUE(message.contains("names a predictor the file does not have")) << message.toStdString();

    // More than 32 coefficient pairs: not valid.
    Opened bad(riff(chunk("fmt ", fmtWith(33)) + chunk("fact", le32(116)) + chunk("data", blockWith(0))));
    EXPECT_FALSE(bad.in.IsValid());
    // Block alignment smaller than the block header: not valid.
    QByteArray tiny = fmtWith(7);
    tiny[12] = 5;
    tiny[13] = 0;
    Opened small(riff(chunk("fmt ", tiny) + chunk("data", QByteArray(20, '\0'))));
    EXPECT_FALSE(small.in.IsValid());
}

TEST(WaveInRange, SampleRangeSeekAndStreams)
{
    const QByteArray samples = toneBytes(5000, 2, 44100);
    Opened o(pcm16File(samples));
    o.in.SetStartSample(1000);
    o.in.SetEndSample(1999);
    const QByteArray part = readInput(o.in, 3000);
    EXPECT_EQ(part, samples.mid(4000, 4000));
    // The range applies to one run only.
    EXPECT_EQ(o.in.GetStartSample(), 0);
    EXPECT_EQ(readInput(o.in).size(), samples.size());

    // A caller-supplied memory stream is read the same way and rewound on close.
    TMemoryStream mem(pcm16File(samples));
    TWaveIn in;
    in.SetStream(&mem);
    ASSERT_TRUE(in.IsValid());
    EXPECT_EQ(readInput(in), samples);
    EXPECT_EQ(mem.GetPosition(), 0);
}

TEST(WaveInErrors, DataWithoutInitAndMissingFile)
{
    Opened o(pcm16File(toneBytes(10, 2, 44100)));
    void* buf = nullptr;
    uint32_t n = 100;
    try {
        o.in.GetData(buf, n);
        // The streamed read may also just report the end; either way no data.
        EXPECT_EQ(n, 0u);
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), "The Stream is not opened");
    }
    TWaveIn missing;
    missing.SetFileName(o.box.file("nope.wav"));
    EXPECT_FALSE(missing.IsValid());
    EXPECT_EQ(missing.GetWavType(), wtUnsupported);
    EXPECT_THROW(missing.Init(), EAuException);
}

}  // namespace
