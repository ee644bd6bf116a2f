// TWaveOut: the files it writes, read back by sox, ffprobe and TWaveIn;
// appending; stopping; short and failing inputs; every refusal message.

#include "audio/formats/WaveIn.h"
#include "audio/formats/WaveOut.h"
#include "WaveTestUtil.h"

#include <gtest/gtest.h>

#include <QDir>

#include <QFileInfo>

#include <cmath>

using namespace dw;
using namespace dwtest;

namespace {

uint32_t at32(const QByteArray& b, int off)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(b[off])) | (static_cast<uint32_t>(static_cast<uint8_t>(b[off + 1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[off + 2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[off + 3])) << 24);
}
uint16_t at16(const QByteArray& b, int off)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(b[off]) | (static_cast<uint8_t>(b[off + 1]) << 8));
}

// Writes `data` through a TWaveOut configured by `setup`; returns the exception message.
QString writeWave(const QString& file, ScriptedInput& in, const std::function<void(TWaveOut&)>& setup = {})
{
    TWaveOut out;
    out.SetFileName(file);
    out.SetInput(&in);
    if (setup)
        setup(out);
    EXPECT_TRUE(runToEnd(out));
    return out.GetExceptionMessage();
}

QByteArray soxRaw(const QString& file, int bits)
{
    ToolResult r = runTool("sox", {file, "-t", "raw", "-e", "signed", "-b", QString::number(bits), "-"});
    EXPECT_TRUE(r.ok) << r.err.toStdString();
    return r.out;
}

TEST(WaveOutPcm, WritesA44ByteHeaderThatPeersRead)
{
    Sandbox box;
    const QByteArray data = toneBytes(3000, 2, 32000);
    ScriptedInput in(data, 32000, 2, 16, data.size());
    const QString file = box.file("o.wav");
    EXPECT_EQ(writeWave(file, in), "");
    const QByteArray f = readAll(file);
    ASSERT_EQ(f.size(), 44 + data.size());
    EXPECT_EQ(f.left(4), "RIFF");
    EXPECT_EQ(at32(f, 4), uint32_t(data.size() + 36));
    EXPECT_EQ(at16(f, 20), 1);
    EXPECT_EQ(at32(f, 28), 128000u);
    EXPECT_EQ(at16(f, 32), 4);
    EXPECT_EQ(at32(f, 40), uint32_t(data.size()));
    EXPECT_EQ(soxRaw(file, 16), data);

    ToolResult probe = runTool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,channels,sample_rate",
                                           "-of", "csv=p=0", file});
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.out.trimmed(), "pcm_s16le,32000,2");
}

TEST(WaveOutPcm, ExtensibleHeaderFor24BitWhenAsked)
{
    Sandbox box;
    QByteArray data;
    for (int i = 0; i < 900; ++i)
        data += QByteArray::fromRawData("\x01\x80\x7f", 3);
    ScriptedInput in(data, 48000, 3, 24, data.size());
    const QString file = box.file("x.wav");
    EXPECT_EQ(writeWave(file, in, [](TWaveOut& o) { o.SetCreateNonMsHeaders(false); }), "");
    const QByteArray f = readAll(file);
    ASSERT_EQ(f.size(), 68 + data.size());
    EXPECT_EQ(at16(f, 20), 0xFFFE);
    EXPECT_EQ(at32(f, 16), 40u);
    EXPECT_EQ(at16(f, 38), 24);
    EXPECT_EQ(at32(f, 40), 7u);  // three channels
    EXPECT_EQ(at32(f, 64), uint32_t(data.size()));
    EXPECT_EQ(soxRaw(file, 24), data);

    // With the default (plain headers) the same input gets a 44-byte PCM header.
    ScriptedInput again(data, 48000, 3, 24, data.size());
    EXPECT_EQ(writeWave(file, again), "");
    EXPECT_EQ(at16(readAll(file), 20), 1);
}

class WaveOutIma : public ::testing::TestWithParam<int> {};

TEST_P(WaveOutIma, EncodesBlocksPeersDecode)
{
    const int channels = GetParam();
    Sandbox box;
    const int frames = 5000;
    const QByteArray data = toneBytes(frames, channels, 22050, 300, 0.6);
    ScriptedInput in(data, 22050, channels, 16, data.size(), 1000);
    const QString file = box.file("ima.wav");
    EXPECT_EQ(writeWave(file, in, [](TWaveOut& o) { o.SetWavType(wtDVIADPCM); }), "");

    const QByteArray f = readAll(file);
    const int spb = channels == 1 ? 1017 : 505;
    const int blocks = (frames + spb - 1) / spb;
    ASSERT_EQ(f.size(), 60 + blocks * 512);
    EXPECT_EQ(at16(f, 20), 0x11);
    EXPECT_EQ(at16(f, 38), spb);
    EXPECT_EQ(at32(f, 48), uint32_t(frames));
    EXPECT_EQ(at32(f, 56), uint32_t(blocks * 512));

    // Our reader and sox decode the same samples, close to the input.
    TWaveIn wi;
    wi.SetFileName(file);
    const auto ours = s16(readInput(wi));
    ASSERT_EQ(ours.size(), size_t(frames * channels));
    const auto soxs = s16(soxRaw(file, 16));
    ASSERT_GE(soxs.size(), ours.size());
    const auto orig = s16(data);
    double err = 0, sig = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        EXPECT_LE(std::abs(ours[i] - soxs[i]), 1) << i;
        err += double(ours[i] - orig[i]) * (ours[i] - orig[i]);
        sig += double(orig[i]) * orig[i];
    }
    EXPECT_GT(10 * std::log10(sig / err), 20.0);  // ADPCM keeps the tone well above its noise

    ToolResult probe = runTool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,channels", "-of",
                                           "csv=p=0", file});
    EXPECT_EQ(probe.out.trimmed(), QByteArray("adpcm_ima_wav,") + QByteArray::number(channels));
}

INSTANTIATE_TEST_SUITE_P(Channels, WaveOutIma, ::testing::Values(1, 2));

TEST(WaveOutIma, RefusesInputItCannotEncode)
{
    Sandbox box;
    ScriptedInput eight(QByteArray(100, '\x80'), 8000, 1, 8, 100);
    EXPECT_EQ(writeWave(box.file("8.wav"), eight, [](TWaveOut& o) { o.SetWavType(wtDVIADPCM); }),
              "Cannot encode 8 bit sound into ADPCM.");
    EXPECT_FALSE(QFileInfo::exists(box.file("8.wav")));

    ScriptedInput six(toneBytes(100, 6, 8000), 8000, 6, 16, 1200);
    EXPECT_EQ(writeWave(box.file("6.wav"), six,
                        [](TWaveOut& o) {
                            o.SetWavType(wtDVIADPCM);
                        }),
              "Cannot encode this channel count or block size into ADPCM.");

    // Setters ignore values they do not accept.
    TWaveOut o;
    o.SetWavType(wtMSADPCM);
    EXPECT_EQ(o.GetWavType(), wtPCM);
    o.SetBlockSize(510);
    o.SetBlockSize(0);
    EXPECT_EQ(o.GetBlockSize(), 512);
    o.SetBlockSize(1024);
    EXPECT_EQ(o.GetBlockSize(), 1024);
}

TEST(WaveOutAppend, AppendsMatchingInputAndRefusesTheRest)
{
    Sandbox box;
    const QString file = box.file("a.wav");
    const QByteArray first = toneBytes(1000, 1, 22050);
    ScriptedInput in1(first, 22050, 1, 16, first.size());
    EXPECT_EQ(writeWave(file, in1), "");

    // Another rate: refused, file untouched.
    ScriptedInput other(toneBytes(100, 1, 44100), 44100, 1, 16, 200);
    EXPECT_EQ(writeWave(file, other, [](TWaveOut& o) { o.SetFileMode(foAppend); }),
              "Cannot append data in different audio format.");
    EXPECT_EQ(readAll(file).size(), 44 + first.size());

    const QByteArray second = toneBytes(700, 1, 22050, 1000);
    ScriptedInput in2(second, 22050, 1, 16, second.size());
    EXPECT_EQ(writeWave(file, in2, [](TWaveOut& o) { o.SetFileMode(foAppend); }), "");
    const QByteArray f = readAll(file);
    ASSERT_EQ(f.size(), 44 + first.size() + second.size());
    EXPECT_EQ(at32(f, 40), uint32_t(first.size() + second.size()));
    EXPECT_EQ(at32(f, 4), uint32_t(f.size() - 8));
    EXPECT_EQ(soxRaw(file, 16), first + second);

    // A float file, or one whose data chunk is followed by another chunk, is refused.
    const QString flt = box.file("f.wav");
    writeAll(flt, riff(chunk("fmt ", fmtBody(3, 1, 22050, 4, 32)) + chunk("data", QByteArray(40, '\0'))));
    ScriptedInput in3(second, 22050, 1, 16, second.size());
    EXPECT_EQ(writeWave(flt, in3, [](TWaveOut& o) { o.SetFileMode(foAppend); }),
              "Cannot append data to this .wav file.");
    const QString tail = box.file("t.wav");
    writeAll(tail, riff(chunk("fmt ", fmtBody(1, 1, 22050, 2, 16)) + chunk("data", QByteArray(40, '\0')) +
                        chunk("LIST", QByteArray(20, 'x'))));
    ScriptedInput in4(second, 22050, 1, 16, second.size());
    EXPECT_EQ(writeWave(tail, in4, [](TWaveOut& o) { o.SetFileMode(foAppend); }),
              "Cannot append data to this .wav file.");

    // Appending to a file that does not exist yet simply creates it.
    ScriptedInput in5(second, 22050, 1, 16, second.size());
    EXPECT_EQ(writeWave(box.file("new.wav"), in5, [](TWaveOut& o) { o.SetFileMode(foAppend); }), "");
    EXPECT_EQ(readAll(box.file("new.wav")).size(), 44 + second.size());
}

TEST(WaveOutAppend, AppendsImaBlocksAndFixesFactCount)
{
    Sandbox box;
    const QString file = box.file("ima.wav");
    const QByteArray a = toneBytes(2000, 2, 22050), b = toneBytes(1200, 2, 22050, 500);
    ScriptedInput in1(a, 22050, 2, 16, a.size());
    EXPECT_EQ(writeWave(file, in1, [](TWaveOut& o) { o.SetWavType(wtDVIADPCM); }), "");
    ScriptedInput in2(b, 22050, 2, 16, b.size());
    // The file decides the type: a plain-PCM output appends ADPCM blocks.
    EXPECT_EQ(writeWave(file, in2, [](TWaveOut& o) { o.SetFileMode(foAppend); }), "");
    const QByteArray f = readAll(file);
    const int blocks = 4 + 3;  // ceil(2000/505) + ceil(1200/505)
    ASSERT_EQ(f.size(), 60 + blocks * 512);
    EXPECT_EQ(at32(f, 56), uint32_t(blocks * 512));
    EXPECT_EQ(at32(f, 48), uint32_t(4 * 505 + 1200));
    TWaveIn wi;
    wi.SetFileName(file);
    EXPECT_EQ(wi.GetTotalSamples(), 4 * 505 + 1200);
}

TEST(WaveOutSizes, AStopMidwayKeptOnRequestLeavesConsistentSizes)
{
    Sandbox box;
    const QString file = box.file("s.wav");
    const QByteArray data = toneBytes(200000, 2, 44100);
    ScriptedInput in(data, 44100, 2, 16, data.size(), 4096);
    in.blockAfter = 40960;
    TWaveOut out;
    out.SetKeepStopped(true);
    out.SetFileName(file);
    out.SetInput(&in);
    bool done = false;
    out.OnDone = [&](TAuOutput*) { done = true; };
    out.Run();
    ASSERT_TRUE(waitFor([&] { return in.delivered >= 40960; }));
    out.Stop(true);
    in.gate = true;
    ASSERT_TRUE(waitFor([&] { return done; }));
    const QByteArray f = readAll(file);
    ASSERT_GT(f.size(), 44);
    EXPECT_LT(f.size(), 44 + data.size());
    EXPECT_EQ(at32(f, 40), uint32_t(f.size() - 44));
    EXPECT_EQ(at32(f, 4), uint32_t(f.size() - 8));
    EXPECT_EQ(soxRaw(file, 16), data.left(f.size() - 44));
}

TEST(WaveOutSizes, ShortInputIsFilledFailingInputIsNot)
{
    Sandbox box;
    // Announces 4000 bytes, delivers 1000: silence fills up to 4000.
    const QByteArray some = toneBytes(500, 1, 8000);
    ScriptedInput shortIn(some, 8000, 1, 16, 4000);
    EXPECT_EQ(writeWave(box.file("short.wav"), shortIn), "");
    QByteArray f = readAll(box.file("short.wav"));
    ASSERT_EQ(f.size(), 44 + 4000);
    EXPECT_EQ(f.mid(44, 1000), some);
    EXPECT_EQ(f.mid(1044), QByteArray(3000, '\0'));
    EXPECT_EQ(at32(f, 40), 4000u);

    // 8-bit silence is the middle value.
    ScriptedInput shortU8(QByteArray(10, '\x90'), 8000, 1, 8, 30);
    EXPECT_EQ(writeWave(box.file("u8.wav"), shortU8), "");
    EXPECT_EQ(readAll(box.file("u8.wav")).mid(54), QByteArray(20, '\x80'));

    // Delivers more than announced: the header follows the data.
    ScriptedInput longIn(some, 8000, 1, 16, 200);
    EXPECT_EQ(writeWave(box.file("long.wav"), longIn), "");
    f = readAll(box.file("long.wav"));
    EXPECT_EQ(f.size(), 44 + 1000);
    EXPECT_EQ(at32(f, 40), 1000u);

    // An input that fails midway ends the run with its message; the file
    // that stood under the name is left as it was and no temporary file stays.
    writeAll(box.file("fail.wav"), "the old file");
    ScriptedInput failing(toneBytes(20000, 1, 8000), 8000, 1, 16, 40000, 4096, 8192);
    EXPECT_EQ(writeWave(box.file("fail.wav"), failing), "input failed on purpose");
    EXPECT_EQ(readAll(box.file("fail.wav")), "the old file");
    EXPECT_EQ(QDir(box.path()).entryList(QDir::Files | QDir::Hidden).filter(".part").size(), 0);

    // Unknown input size: the header is fixed from the file.
    ScriptedInput unknown(some, 8000, 1, 16, -1);
    EXPECT_EQ(writeWave(box.file("u.wav"), unknown), "");
    f = readAll(box.file("u.wav"));
    EXPECT_EQ(at32(f, 40), 1000u);
    EXPECT_EQ(at32(f, 4), 1036u);
}

TEST(WaveOutErrors, NoFileName)
{
    ScriptedInput in(QByteArray(10, '\0'), 8000, 1, 16, 10);
    TWaveOut out;
    out.SetInput(&in);
    ASSERT_TRUE(runToEnd(out));
    EXPECT_EQ(out.GetExceptionMessage(), "File name is not assigned.");
}

}  // namespace
