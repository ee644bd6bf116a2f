// The Ogg Vorbis writer, judged by the Vorbis tools: files that ogginfo
// accepts and oggdec decodes to the signal that went in, both encoder modes,
// comments, appending a logical stream, and what a stopped or failed run
// leaves on disk.

#include "VorbisTestUtil.h"

#include "audio/formats/VorbisIn.h"
#include "audio/formats/VorbisOut.h"
#include "tags/VorbisTags.h"

#include <gtest/gtest.h>

using namespace dw;
using namespace dwtest;

namespace {

TEST(VorbisOut, BitRateSettersKeepMinimumNominalMaximumInOrder)
{
    TVorbisOut out;
    EXPECT_EQ(out.GetDesiredNominalBitrate(), brAutoSelect);
    EXPECT_FLOAT_EQ(out.GetCompression(), 0.2f);

    // Without a nominal rate, neither bound can be set above it.
    out.SetDesiredMaximumBitrate(bitrate192);
    out.SetMinimumBitrate(bitrate64);
    EXPECT_EQ(out.GetDesiredMaximumBitrate(), brAutoSelect);
    EXPECT_EQ(out.GetMinimumBitrate(), brAutoSelect);

    out.SetDesiredNominalBitrate(bitrate128);
    out.SetDesiredMaximumBitrate(bitrate96);  // below nominal: ignored
    EXPECT_EQ(out.GetDesiredMaximumBitrate(), brAutoSelect);
    out.SetDesiredMaximumBitrate(bitrate192);
    out.SetMinimumBitrate(bitrate160);  // above nominal: ignored
    out.SetMinimumBitrate(bitrate64);
    EXPECT_EQ(out.GetDesiredMaximumBitrate(), bitrate192);
    EXPECT_EQ(out.GetMinimumBitrate(), bitrate64);

    // A nominal rate below the minimum pulls it down; above the maximum, pushes it up.
    out.SetDesiredNominalBitrate(bitrate48);
    EXPECT_EQ(out.GetMinimumBitrate(), bitrate48);
    out.SetDesiredNominalBitrate(bitrate256);
    EXPECT_EQ(out.GetDesiredMaximumBitrate(), bitrate256);
    // Back to quality mode resets the maximum.
    out.SetDesiredNominalBitrate(brAutoSelect);
    EXPECT_EQ(out.GetDesiredMaximumBitrate(), brAutoSelect);
    EXPECT_EQ(out.GetMinimumBitrate(), brAutoSelect);
}

TEST(VorbisOut, BothModesWriteFilesTheToolsAcceptWithTheRequestedRates)
{
    Sandbox box;
    const int rate = 44100, frames = rate * 3;
    const auto pcm = tonePcm(frames, 2, rate, 16, 440);

    // Default: quality 0.2, the encoder's nominal rate for it (as oggenc -q 2).
    TVorbisOut quality;
    ASSERT_EQ(encodeFromMemory(quality, box.file("q.ogg"), pcm, rate, 2, 16), "");
    const ToolResult info = ogginfo(box.file("q.ogg"));
    EXPECT_TRUE(info.ok) << info.out.toStdString();
    EXPECT_TRUE(info.out.contains("Nominal bitrate: 96.000000 kb/s")) << info.out.toStdString();

    // Nominal 128 with the bounds automatic: maximum none, minimum 128.
    TVorbisOut managed;
    managed.SetDesiredNominalBitrate(bitrate128);
    ASSERT_EQ(encodeFromMemory(managed, box.file("b.ogg"), pcm, rate, 2, 16), "");
    TVorbisIn in;
    in.SetFileName(box.file("b.ogg"));
    EXPECT_EQ(in.NominalBitRate(), 128000);
    EXPECT_EQ(in.LowerBitRate(), 128000);
    EXPECT_LE(in.UpperBitRate(), 0);

    for (const char* name : {"q.ogg", "b.ogg"}) {
        SCOPED_TRACE(name);
        const QByteArray decoded = oggdecPcm(box.file(name), box.file("d.raw"));
        ASSERT_EQ(decoded.size(), qsizetype(pcm.size()));
        const auto s = s16(decoded);
        EXPECT_NEAR(toneAmplitude(channel(s, 2, 0), 440, rate), 0.5, 0.03);
        EXPECT_NEAR(toneAmplitude(channel(s, 2, 1), 880, rate), 0.5, 0.03);
    }
}

TEST(VorbisOut, EightTwentyFourAndThirtyTwoBitInputsSplitAcrossReadsAreEncodedAsTheSignal)
{
    Sandbox box;
    const int rate = 22050, frames = rate * 2;
    struct Case {
        int channels, bits;
        uint32_t chunk;  // odd sizes split frames between reads
    };
    for (const Case c : {Case{1, 8, 777}, Case{2, 24, 1001}, Case{2, 32, 4099}}) {
        SCOPED_TRACE(c.bits);
        TVorbisOut out;
        out.SetCompression(0.5f);
        ASSERT_EQ(encodeFromMemory(out, box.file("t.ogg"), tonePcm(frames, c.channels, rate, c.bits, 500), rate, c.channels,
                         c.bits, c.chunk),
                  "");
        const QByteArray decoded = oggdecPcm(box.file("t.ogg"), box.file("d.raw"));
        ASSERT_EQ(decoded.size(), qsizetype(frames) * c.channels * 2);
        const auto s = s16(decoded);
        for (int ch = 0; ch < c.channels; ++ch)
            EXPECT_NEAR(toneAmplitude(channel(s, c.channels, ch), 500.0 * (ch + 1), rate), 0.5, 0.03) << ch;
    }
}

TEST(VorbisOut, CommentsAreWrittenAsUtf8WithoutEmptyValuesAndClearedAfterTheRun)
{
    Sandbox box;
    TVorbisOut out;
    out.Comments().SetArtist(QString::fromUtf8("Motörhead – 東京"));
    out.Comments().SetTitle("Ace");
    out.Comments().SetTrack("7");
    out.Comments().SetAlbum("");  // empty: not written
    ASSERT_EQ(encodeFromMemory(out, box.file("c.ogg"), tonePcm(8000, 1, 8000, 16), 8000, 1, 16), "");
    const ToolResult listed = runTool("vorbiscomment", {"-l", box.file("c.ogg")});
    ASSERT_TRUE(listed.ok);
    QStringList lines = QString::fromUtf8(listed.out).split('\n', Qt::SkipEmptyParts);
    lines.sort();
    EXPECT_EQ(lines, (QStringList{QString::fromUtf8("artist=Motörhead – 東京"), "title=Ace", "tracknumber=7"}));
    // The next file needs its values set again; the names stay.
    EXPECT_EQ(out.Comments().Artist(), "");
    EXPECT_EQ(out.Comments().Count(), TVorbisTags().Count());
}

TEST(VorbisOut, AppendAddsALogicalStreamThatDecodesAfterTheFirst)
{
    Sandbox box;
    const QString path = box.file("chain.ogg");
    // Long enough for the decoder library, which misses the first link of
    // very short chains (oggdec does too).
    TVorbisOut first;
    first.SetSerial(11);
    first.SetCompression(0.9f);
    ASSERT_EQ(encodeFromMemory(first, path, tonePcm(441000, 2, 44100, 16, 300), 44100, 2, 16), "");
    const QByteArray firstBytes = readAll(path);
    TVorbisOut second;
    second.SetSerial(22);
    second.SetFileMode(foAppend);
    second.SetCompression(0.9f);
    ASSERT_EQ(encodeFromMemory(second, path, tonePcm(220500, 2, 44100, 16, 600), 44100, 2, 16), "");

    const ToolResult info = ogginfo(path);
    EXPECT_TRUE(info.ok) << info.out.toStdString();
    EXPECT_TRUE(info.out.contains("serial: 0000000b") && info.out.contains("serial: 00000016")) << info.out.toStdString();
    // The first file is untouched; what follows it is a stream of its own.
    const QByteArray all = readAll(path);
    ASSERT_TRUE(all.startsWith(firstBytes));
    writeAll(box.file("tail.ogg"), all.mid(firstBytes.size()));
    writeAll(box.file("a.ogg"), firstBytes);
    const QByteArray expected = oggdecPcm(box.file("a.ogg"), box.file("d.raw")) + oggdecPcm(box.file("tail.ogg"), box.file("d.raw"));
    ASSERT_EQ(expected.size(), (441000 + 220500) * 4);
    TVorbisIn in;
    in.SetFileName(path);
    EXPECT_EQ(in.StreamCount(), 2);
    EXPECT_TRUE(readInput(in) == expected);

    // Appending to a file that is not Ogg is refused and leaves it as it was.
    box.write("text.ogg", "plain text");
    TVorbisOut third;
    third.SetFileMode(foAppend);
    EXPECT_TRUE(encodeFromMemory(third, box.file("text.ogg"), tonePcm(800, 1, 8000, 16), 8000, 1, 16).contains("not an Ogg file"));
    EXPECT_EQ(box.read("text.ogg"), QByteArray("plain text"));
}

TEST(VorbisOut, AStoppedRunKeptOnRequestIsPlayableAndAFailedOneLeavesNothing)
{
    Sandbox box;
    // Stopped and kept: what was encoded is under the final name, no
    // temporary file is left.
    {
        TVorbisOut out;
        out.SetKeepStopped(true);
        const QByteArray pcm = toneBytes(44100 * 20, 2, 44100);
        ScriptedInput held(pcm, 44100, 2, 16, pcm.size());
        held.blockAfter = 44100 * 4 * 4;
        out.SetInput(&held);
        out.SetFileName(box.file("stopped.ogg"));
        bool done = false;
        out.OnDone = [&](TAuOutput*) { done = true; };
        out.Run();
        ASSERT_TRUE(waitFor([&] { return held.delivered >= held.blockAfter; }));
        out.Stop(true);
        held.gate = true;
        ASSERT_TRUE(waitFor([&] { return done; }));
        EXPECT_EQ(out.GetExceptionMessage(), "");
        const QByteArray decoded = oggdecPcm(box.file("stopped.ogg"), box.file("d.raw"));
        EXPECT_GT(decoded.size(), 44100 * 4);
        EXPECT_LT(decoded.size(), 44100 * 4 * 20);
        out.SetInput(nullptr);
    }
    // Refused set-up (a nominal rate the encoder cannot give at 8 kHz mono):
    // the message of the bit-rate failure, no file, and an existing file kept.
    box.write("kept.ogg", "old");
    TVorbisOut out;
    out.SetDesiredNominalBitrate(bitrate499);
    EXPECT_EQ(encodeFromMemory(out, box.file("kept.ogg"), tonePcm(8000, 1, 8000, 16), 8000, 1, 16),
              "Vorbis codec setup with the requested bitrate failed. Try a lower bitrate.");
    EXPECT_EQ(box.read("kept.ogg"), QByteArray("old"));
    // An input failing midway: the same.
    {
        TVorbisOut failing;
        const QByteArray pcm = toneBytes(44100 * 5, 2, 44100);
        ScriptedInput broken(pcm, 44100, 2, 16, pcm.size(), 4096, 44100 * 4);
        failing.SetInput(&broken);
        failing.SetFileName(box.file("kept.ogg"));
        ASSERT_TRUE(runToEnd(failing));
        EXPECT_EQ(failing.GetExceptionMessage(), "input failed on purpose");
        failing.SetInput(nullptr);
    }
    EXPECT_EQ(box.read("kept.ogg"), QByteArray("old"));
    EXPECT_EQ(otherFiles(box.path(), {"stopped.ogg", "kept.ogg", "d.raw"}), QStringList());
}

}  // namespace
