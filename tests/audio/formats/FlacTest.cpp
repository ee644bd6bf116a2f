// The FLAC writer and reader, judged by the reference tools: our files pass
// `flac -t`, decode through `flac -d` to the PCM that went in and carry the
// comments, seek table and block size metaflac expects; files made by `flac`
// decode through our reader to the same PCM, also from a sample range.

#include "VorbisTestUtil.h"

#include "audio/formats/FlacIn.h"
#include "audio/formats/FlacOut.h"
#include "audio/stream/AuException.h"
#include "tags/CommonTags.h"
#include "tags/VorbisTags.h"

#include <gtest/gtest.h>

using namespace dw;
using namespace dwtest;

namespace {

QByteArray bytes(const std::vector<uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

// flac's raw little-endian signed PCM of a file; empty when it failed.
QByteArray flacDecode(const QString& file, const QString& scratch)
{
    const ToolResult r = runTool("flac", {"-s", "-d", "-f", "--force-raw-format", "--endian=little", "--sign=signed",
                                          "-o", scratch, file});
    return r.ok ? readAll(scratch) : QByteArray();
}

QString metaflac(const QStringList& args)
{
    const ToolResult r = runTool("metaflac", args);
    return r.ok ? r.out.trimmed() : QStringLiteral("<metaflac failed>");
}

}  // namespace

TEST(FlacOut, FilesPassTheReferenceDecoderWithThePcmCommentsSeekTableAndLevel)
{
    Sandbox box;
    const int rate = 44100, frames = rate * 25 + 777;  // not a whole block
    const auto stereo16 = tonePcm(frames, 2, rate, 16, 440);

    TFlacOut out;
    EXPECT_EQ(out.GetCompressionLevel(), 5);
    EXPECT_TRUE(out.GetVerify());
    out.Comments().SetArtist(QString::fromUtf8("Čajkovskij"));
    out.Comments().SetTitle("Swan Lake");
    out.Comments().SetTrack("7");
    // Odd chunks split frames across reads.
    ASSERT_EQ(encodeFromMemory(out, box.file("a.flac"), stereo16, rate, 2, 16, 1001), "");
    const ToolResult test = runTool("flac", {"-t", "-s", box.file("a.flac")});
    EXPECT_TRUE(test.ok) << test.err.toStdString();
    EXPECT_EQ(flacDecode(box.file("a.flac"), box.file("a.raw")), bytes(stereo16));
    EXPECT_EQ(metaflac({"--export-tags-to=-", box.file("a.flac")}),
              QString::fromUtf8("artist=Čajkovskij\ntitle=Swan Lake\ntracknumber=7"));
    EXPECT_EQ(metaflac({"--show-total-samples", box.file("a.flac")}), QString::number(frames));
    EXPECT_EQ(metaflac({"--show-max-blocksize", box.file("a.flac")}), "4096");  // level 5
    const QString list = metaflac({"--list", "--block-type=SEEKTABLE", box.file("a.flac")});
    EXPECT_TRUE(list.contains("seek points: 3")) << list.toStdString();  // 0 s, 10 s, 20 s
    EXPECT_TRUE(out.Comments().Artist().isEmpty());  // emptied for the next file

    // 24-bit mono at level 0 (its own block size), the comments left empty.
    const auto mono24 = tonePcm(rate * 2, 1, rate, 24, 1000, 0.9);
    TFlacOut fast;
    fast.SetCompressionLevel(12);  // brought to 8
    EXPECT_EQ(fast.GetCompressionLevel(), 8);
    fast.SetCompressionLevel(0);
    ASSERT_EQ(encodeFromMemory(fast, box.file("b.flac"), mono24, rate, 1, 24), "");
    EXPECT_EQ(flacDecode(box.file("b.flac"), box.file("b.raw")), bytes(mono24));
    EXPECT_EQ(metaflac({"--show-bps", box.file("b.flac")}), "24");
    EXPECT_EQ(metaflac({"--show-max-blocksize", box.file("b.flac")}), "1152");
    EXPECT_EQ(metaflac({"--export-tags-to=-", box.file("b.flac")}), "");
    EXPECT_EQ(otherFiles(box.path(), {"a.flac", "a.raw", "b.flac", "b.raw"}), QStringList());
}

TEST(FlacOut, RefusedInputsAndAnInputAsOutputLeaveNothingBehind)
{
    Sandbox box;
    TFlacOut out;
    // 32-bit and 9-channel inputs are outside what the writer takes.
    EXPECT_TRUE(encodeFromMemory(out, box.file("w.flac"), tonePcm(1000, 2, 44100, 32), 44100, 2, 32).contains("24-bit"));
    EXPECT_TRUE(encodeFromMemory(out, box.file("w.flac"), tonePcm(100, 9, 44100, 16), 44100, 9, 16).contains("channels"));

    // A file read by the chain is not overwritten.
    TFlacOut first;
    ASSERT_EQ(encodeFromMemory(first, box.file("in.flac"), tonePcm(4410, 2, 44100, 16), 44100, 2, 16), "");
    const QByteArray before = readAll(box.file("in.flac"));
    TFlacIn in;
    in.SetFileName(box.file("in.flac"));
    out.SetInput(&in);
    out.SetFileName(box.file("in.flac"));
    ASSERT_TRUE(runToEnd(out));
    out.SetInput(nullptr);
    EXPECT_FALSE(out.GetExceptionMessage().isEmpty());
    EXPECT_EQ(readAll(box.file("in.flac")), before);
    EXPECT_EQ(otherFiles(box.path(), {"in.flac"}), QStringList());
}

TEST(FlacIn, FilesMadeByFlacDecodeToTheirPcmWithInfoCommentsAndSeeking)
{
    Sandbox box;
    const int rate = 48000, frames = rate * 12 + 5;
    const auto pcm16 = tonePcm(frames, 2, rate, 16, 523);
    writeAll(box.file("s.raw"), bytes(pcm16));
    const ToolResult made = runTool(
        "flac", {"-s", "-8", "--force-raw-format", "--endian=little", "--sign=signed", "--channels=2", "--bps=16",
                 "--sample-rate=48000", "-S", "5s", "-T", "ARTIST=Some One", "-T", "Album=Live", "-T", "DATE=1999",
                 "-T", "COMMENT=no=problem", "-o", box.file("s.flac"), box.file("s.raw")});
    ASSERT_TRUE(made.ok) << made.err.toStdString();

    TFlacIn in;
    in.SetFileName(box.file("s.flac"));
    ASSERT_TRUE(in.IsValid());
    EXPECT_EQ(in.GetChannels(), 2u);
    EXPECT_EQ(in.GetSampleRate(), 48000u);
    EXPECT_EQ(in.GetBitsPerSample(), 16u);
    EXPECT_EQ(in.GetTotalSamples(), frames);
    EXPECT_EQ(in.GetTotalTime(), 12u);
    EXPECT_EQ(in.SeekPointCount(), 3);  // 0, 5 and 10 seconds
    EXPECT_EQ(in.VorbisTags().Artist(), "Some One");
    EXPECT_EQ(in.VorbisTags().Album(), "Live");
    EXPECT_EQ(in.Common().Year(), "1999");
    EXPECT_EQ(in.RawComments(), QStringList({"ARTIST=Some One", "Album=Live", "DATE=1999", "COMMENT=no=problem"}));
    EXPECT_EQ(readInput(in, 777), bytes(pcm16));
    in.Flush();

    // A range from the middle of a frame, by seeking through the decoder.
    const int first = rate * 7 + 1234, last = first + 9999;
    in.SetStartSample(first);
    in.SetEndSample(last);
    EXPECT_EQ(readInput(in), bytes(pcm16).mid(first * 4, (last - first + 1) * 4));
    in.Flush();

    // 24-bit (three bytes a sample) and 12-bit (widened to 16, low bits zero).
    const auto pcm24 = tonePcm(rate, 1, rate, 24, 300, 0.99);
    writeAll(box.file("m.raw"), bytes(pcm24));
    ASSERT_TRUE(runTool("flac", {"-s", "--force-raw-format", "--endian=little", "--sign=signed", "--channels=1",
                                 "--bps=24", "--sample-rate=48000", "-o", box.file("m.flac"), box.file("m.raw")})
                    .ok);
    TFlacIn in24;
    in24.SetFileName(box.file("m.flac"));
    EXPECT_EQ(in24.GetBitsPerSample(), 24u);
    EXPECT_EQ(readInput(in24), bytes(pcm24));
    in24.Flush();

    // A WAVE_FORMAT_EXTENSIBLE file of 12 valid bits in 16-bit containers,
    // which flac encodes at 12 bits.
    QByteArray pcm12;
    for (int i = 0; i < 4000; ++i)
        pcm12 += le16(static_cast<uint16_t>(static_cast<int16_t>(((i * 37) % 4096 - 2048) * 16)));
    const QByteArray pcmGuid = QByteArray::fromHex("0100000000001000800000aa00389b71");
    const QByteArray fmt = fmtBody(0xFFFE, 1, 8000, 2, 16) + le16(22) + le16(12) + le32(4) + pcmGuid;
    writeAll(box.file("t.wav"), riff(chunk("fmt ", fmt) + chunk("data", pcm12)));
    ASSERT_TRUE(runTool("flac", {"-s", "-o", box.file("t.flac"), box.file("t.wav")}).ok);
    TFlacIn in12;
    in12.SetFileName(box.file("t.flac"));
    EXPECT_EQ(in12.FileBitsPerSample(), 12u);
    EXPECT_EQ(in12.GetBitsPerSample(), 16u);
    const std::vector<int16_t> got = s16(readInput(in12));
    ASSERT_EQ(got.size(), 4000u);
    for (int i = 0; i < 4000; ++i)
        ASSERT_EQ(got[size_t(i)], ((i * 37) % 4096 - 2048) * 16) << i;
    in12.Flush();

    // Anything else is refused with the reason.
    box.write("x.flac", QByteArray("fLaC") + QByteArray(50, '\x7f'));
    TFlacIn bad;
    bad.SetFileName(box.file("x.flac"));
    EXPECT_FALSE(bad.IsValid());
    try {
        bad.GetChannels();
        ADD_FAILURE() << "a damaged file was accepted";
    } catch (const EAuException& e) {
        EXPECT_TRUE(e.Message().contains("not a usable FLAC file")) << e.Message().toStdString();
    }
}

namespace dw {

// A stream written where the encoder could not seek back states no length;
// an ID3v1 trailer behind it then ends the stream instead of reading as a
// damaged frame. Anything else behind the last frame is still damage.
TEST(FlacIn, AnId3v1TrailerEndsAStreamOfUnknownLength)
{
    Sandbox box;
    const auto pcm = tonePcm(44100 * 2 + 17, 2, 44100, 16, 440);
    writeAll(box.file("s.raw"), bytes(pcm));
    ASSERT_TRUE(runTool("flac", {"-s", "--force-raw-format", "--endian=little", "--sign=signed", "--channels=2",
                                 "--bps=16", "--sample-rate=44100", "-o", box.file("s.flac"), box.file("s.raw")})
                    .ok);
    QByteArray file = readAll(box.file("s.flac"));
    ASSERT_TRUE(file.startsWith("fLaC"));
    // STREAMINFO's 36-bit sample count: the low nibble of byte 21 and bytes 22..25.
    file[21] = char(file[21] & 0xF0);
    for (int i = 22; i <= 25; ++i)
        file[i] = 0;
    QByteArray trailer = QByteArray("TAG") + QByteArray("Title").leftJustified(30, '\0')
                         + QByteArray(30 + 30 + 4 + 30, '\0') + QByteArray(1, char(12));
    ASSERT_EQ(trailer.size(), 128);
    for (const bool knownLength : {false, true}) {
        QByteArray body = knownLength ? readAll(box.file("s.flac")) : file;
        writeAll(box.file("t.flac"), body + trailer);
        TFlacIn in;
        in.SetFileName(box.file("t.flac"));
        EXPECT_EQ(readInput(in), bytes(pcm)) << "known length: " << knownLength;
        in.Flush();
    }
    writeAll(box.file("g.flac"), file + QByteArray(128, 'x'));
    TFlacIn damaged;
    damaged.SetFileName(box.file("g.flac"));
    EXPECT_THROW(readInput(damaged), EAuException);
}

}  // namespace dw
