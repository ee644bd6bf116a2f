// The Ogg Vorbis reader, judged by oggdec: files made by oggenc in both
// modes, from mono, 8-bit and 24-bit sources and chained from several
// logical streams decode to the very PCM oggdec produces; comments written
// by vorbiscomment are read; damaged files are refused with the decoder's code.

#include "ConvertTestInput.h"
#include "VorbisTestUtil.h"

#include "audio/formats/VorbisIn.h"
#include "audio/stream/AuException.h"
#include "audio/stream/MemoryStream.h"
#include "tags/CommonTags.h"
#include "tags/VorbisTags.h"

#include <gtest/gtest.h>

using namespace dw;
using namespace dwtest;

namespace {

// Makes `ogg` with sox (the source signal) and oggenc (the arguments given).
bool makeOgg(const Sandbox& box, const QString& ogg, const QStringList& soxFormat, const QStringList& oggencArgs,
             const QString& seconds = "3")
{
    const QString wav = box.file("src.wav");
    const QStringList bits = soxFormat.contains("-b") ? QStringList() : QStringList{"-b", "16"};
    if (!runTool("sox", QStringList{"-n"} + soxFormat + bits + QStringList{wav, "synth", seconds, "sine", "300-3000", "sine", "500"}).ok)
        return false;
    return runTool("oggenc", QStringList{"-Q"} + oggencArgs + QStringList{"-o", ogg, wav}).ok;
}

TEST(VorbisIn, FilesFromOggencDecodeToTheSamePcmAsOggdec)
{
    Sandbox box;
    struct Case {
        const char* name;
        QStringList sox, oggenc;
    };
    const QList<Case> cases = {
        {"quality", {"-r", "44100", "-c", "2", "-b", "16"}, {"-q", "5"}},
        {"managed", {"-r", "44100", "-c", "2", "-b", "16"}, {"--managed", "-b", "128", "-m", "96", "-M", "160"}},
        {"mono", {"-r", "22050", "-c", "1", "-b", "16"}, {"-q", "0"}},
        {"8-bit", {"-r", "11025", "-c", "1", "-b", "8"}, {"-q", "3"}},
        {"24-bit", {"-r", "48000", "-c", "2", "-b", "24"}, {"-q", "7"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString ogg = box.file("t.ogg");
        ASSERT_TRUE(makeOgg(box, ogg, c.sox, c.oggenc));
        const QByteArray peer = oggdecPcm(ogg, box.file("peer.raw"));
        ASSERT_FALSE(peer.isEmpty());
        TVorbisIn in;
        in.SetFileName(ogg);
        EXPECT_EQ(in.GetBitsPerSample(), 16u);
        EXPECT_EQ(in.GetTotalSamples() * in.GetChannels() * 2, peer.size());
        // Odd request sizes hand the decode buffer out in every split.
        EXPECT_EQ(readInput(in, 3001), peer);
    }
    // The managed file states its three rates.
    ASSERT_TRUE(makeOgg(box, box.file("m.ogg"), {"-r", "44100", "-c", "2"}, {"--managed", "-b", "128", "-m", "96", "-M", "160"}));
    TVorbisIn managed;
    managed.SetFileName(box.file("m.ogg"));
    EXPECT_EQ(managed.NominalBitRate(), 128000);
    EXPECT_EQ(managed.LowerBitRate(), 96000);
    EXPECT_EQ(managed.UpperBitRate(), 160000);
}

TEST(VorbisIn, TenSecondsStereoIsTheExpectedSizeAndSeekingLandsOnTheSameSamples)
{
    Sandbox box;
    ASSERT_TRUE(makeOgg(box, box.file("ten.ogg"), {"-r", "44100", "-c", "2", "-b", "16"}, {"-q", "2"}, "10"));
    const QByteArray peer = oggdecPcm(box.file("ten.ogg"), box.file("peer.raw"));
    TVorbisIn in;
    in.SetFileName(box.file("ten.ogg"));
    EXPECT_EQ(in.GetTotalSamples(), 441000);
    EXPECT_EQ(in.GetSize(), 441000 * 2 * 2);
    EXPECT_EQ(in.GetTotalTime(), 10u);
    // A sample range is decoded from a PCM seek: exactly the frames of the range.
    in.SetStartSample(123457);
    in.SetEndSample(223456);
    EXPECT_EQ(readInput(in), peer.mid(123457 * 4, 100000 * 4));
    // After the run the range is forgotten; the whole file again.
    EXPECT_EQ(readInput(in).size(), peer.size());
}

TEST(VorbisIn, ChainedLogicalStreamsAreDecodedOneAfterTheOther)
{
    Sandbox box;
    ASSERT_TRUE(makeOgg(box, box.file("a.ogg"), {"-r", "44100", "-c", "2"}, {"-q", "2", "-s", "1"}, "2"));
    ASSERT_TRUE(makeOgg(box, box.file("b.ogg"), {"-r", "44100", "-c", "2"}, {"-q", "6", "-s", "2"}, "1.5"));
    writeAll(box.file("chain.ogg"), readAll(box.file("a.ogg")) + readAll(box.file("b.ogg")));
    const QByteArray peer = oggdecPcm(box.file("chain.ogg"), box.file("peer.raw"));
    ASSERT_EQ(peer.size(), qsizetype(3.5 * 44100) * 4);
    TVorbisIn in;
    in.SetFileName(box.file("chain.ogg"));
    EXPECT_EQ(in.StreamCount(), 2);
    EXPECT_EQ(readInput(in), peer);

    // A link in another format is not misread, nor is the file cut to its
    // first link: it is refused whole.
    ASSERT_TRUE(makeOgg(box, box.file("mono.ogg"), {"-r", "44100", "-c", "1"}, {"-q", "2", "-s", "3"}, "1"));
    writeAll(box.file("mixed.ogg"), readAll(box.file("a.ogg")) + readAll(box.file("mono.ogg")));
    TVorbisIn mixed;
    mixed.SetFileName(box.file("mixed.ogg"));
    try {
        mixed.GetChannels();
        ADD_FAILURE() << "opened";
    } catch (const EAuException& e) {
        EXPECT_TRUE(e.Message().contains("link 2: 1 channels at 44100 Hz")) << e.Message().toStdString();
    }
    EXPECT_FALSE(mixed.IsValid());
}

TEST(VorbisIn, CommentsFromVorbiscommentFillTheVorbisAndCommonTagsWhateverTheirCase)
{
    Sandbox box;
    ASSERT_TRUE(makeOgg(box, box.file("c.ogg"), {"-r", "8000", "-c", "1"}, {"-q", "0"}, "0.5"));
    ASSERT_TRUE(runTool("vorbiscomment", {"-w", box.file("c.ogg"), "-t", QString::fromUtf8("ARTIST=Björk"), "-t",
                                          "TrackNumber=05", "-t", QString::fromUtf8("title=Jóga=live"), "-t",
                                          "Date=1997", "-t", "GENRE=Pop", "-t", "Album=Homogenic", "-t",
                                          "COMPOSER=ignored"}).ok);
    TVorbisIn in;
    in.SetFileName(box.file("c.ogg"));
    TVorbisTags& tags = in.VorbisTags();
    EXPECT_EQ(tags.Artist(), QString::fromUtf8("Björk"));
    EXPECT_EQ(tags.Track(), "05");
    EXPECT_EQ(tags.Title(), QString::fromUtf8("Jóga=live"));  // only the first "=" separates
    EXPECT_EQ(tags.Date(), "1997");
    TCommonTags& common = in.Common();
    EXPECT_EQ(common.Artist(), QString::fromUtf8("Björk"));
    EXPECT_EQ(common.Album(), "Homogenic");
    EXPECT_EQ(common.Genre(), "Pop");
    EXPECT_EQ(common.Year(), QByteArray("1997"));
    EXPECT_EQ(common.Track(), QByteArray("05"));
    EXPECT_TRUE(in.RawComments().contains("COMPOSER=ignored"));
}

TEST(VorbisIn, DamagedOrForeignDataIsRefusedWithTheDecodersCode)
{
    Sandbox box;
    ASSERT_TRUE(makeOgg(box, box.file("ok.ogg"), {"-r", "8000", "-c", "1"}, {"-q", "0"}, "10"));
    const QByteArray good = readAll(box.file("ok.ogg"));
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* code;
    };
    const QList<Case> cases = {
        {"empty", QByteArray(), "-132"},
        {"text", QByteArray("RIFF this is no ogg file at all"), "-132"},
        {"headers cut", good.left(200), "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream mem(c.bytes);
        TVorbisIn in;
        in.SetStream(&mem);
        try {
            in.GetChannels();
            ADD_FAILURE() << "accepted";
        } catch (const EAuException& e) {
            EXPECT_TRUE(e.Message().contains(QString("Failed to open an ogg file: ") + c.code)) << e.Message().toStdString();
        }
        EXPECT_FALSE(in.IsValid());
    }
    // A missing file names the file and the system's reason.
    TVorbisIn missing;
    missing.SetFileName(box.file("none.ogg"));
    try {
        missing.GetChannels();
        ADD_FAILURE() << "opened";
    } catch (const EAuException& e) {
        EXPECT_TRUE(e.Message().startsWith("Failed to open stream: " + box.file("none.ogg") + ": No such file"))
            << e.Message().toStdString();
    }
    // A file cut short gives what oggdec reads of it at most, then fails
    // instead of ending as if it were whole.
    writeAll(box.file("cut.ogg"), good.left(good.size() * 2 / 3));
    TVorbisIn partial;
    partial.SetFileName(box.file("cut.ogg"));
    EXPECT_TRUE(partial.OpenProblem().contains("cut short"));
    QString message;
    const QByteArray got = readUntilFailure(partial, &message);
    const QByteArray peer = oggdecPcm(box.file("cut.ogg"), box.file("peer.raw"));
    EXPECT_TRUE(message.contains("cut short")) << message.toStdString();
    EXPECT_LE(got.size(), peer.size());
    EXPECT_EQ(got, peer.left(got.size()));
    // The whole file is not found short.
    TVorbisIn whole;
    whole.SetFileName(box.file("ok.ogg"));
    EXPECT_TRUE(whole.OpenProblem().isEmpty());
    EXPECT_EQ(readUntilFailure(whole, &message).size(), oggdecPcm(box.file("ok.ogg"), box.file("peer.raw")).size());
    EXPECT_TRUE(message.isEmpty()) << message.toStdString();
}

}  // namespace
