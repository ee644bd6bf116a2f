// discwright-cli info on tagged files made by peers: every ID3v2 frame of an
// MP3 file as mutagen sees it, a damaged ID3v2 tag reported without losing
// the rest, and every comment (ReplayGain and R128 ones included) of Ogg
// Vorbis, FLAC and Opus files.

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using dwtest::runCli;

namespace {

QJsonObject json(const QString& text) { return QJsonDocument::fromJson(text.toUtf8()).object(); }

// Runs a peer program; its standard output, or a failed expectation.
QByteArray peer(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        << program.toStdString() << ": " << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

QString toneWav(dwtest::Sandbox& box)
{
    const QString wav = box.file("tone.wav");
    peer("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1", "sine", "440"});
    return wav;
}

}  // namespace

// An ID3v2.4 tag written by mutagen: info lists the same frames under the
// same keys with the same texts, beside the ID3v1 values of our trailer, in
// JSON and as text.
TEST(CliInfoTags, EveryId3v2FrameAsMutagenSeesIt)
{
    dwtest::Sandbox box;
    const QString mp3 = box.file("song.mp3");
    peer("lame", {"--quiet", toneWav(box), mp3});
    peer("/usr/bin/python3",
         {"-c",
          "import sys\nfrom mutagen.id3 import ID3, TIT2, TPE1, TXXX, COMM, TRCK, WOAR\n"
          "t = ID3(); t.add(TIT2(encoding=3, text='Gr\\u00fc\\u00dfe \\u03a9')); t.add(TPE1(encoding=1, text=['A', 'B']))\n"
          "t.add(TRCK(encoding=0, text='3/9')); t.add(COMM(encoding=3, lang='eng', desc='', text='note'))\n"
          "t.add(TXXX(encoding=3, desc='REPLAYGAIN_TRACK_GAIN', text='-6.54 dB'))\n"
          "t.add(TXXX(encoding=1, desc='REPLAYGAIN_TRACK_PEAK', text='0.987654'))\n"
          "t.add(WOAR(url='http://example.org/'))\n"
          "t.save(sys.argv[1], v1=0, v2_version=4)",
          mp3});
    ASSERT_EQ(runCli({"tag", "set", mp3, "--title", "Trailer", "--genre", "Jazz"}).status, 0);

    // mutagen's keys and texts are the judge.
    const QJsonObject judge = json(QString::fromUtf8(peer(
        "/usr/bin/python3",
        {"-c",
         "import sys, json\nfrom mutagen.id3 import ID3\nt = ID3(sys.argv[1], load_v1=False)\n"
         "print(json.dumps({(f.FrameID if k.startswith('W') else k):\n"
         "                  ([str(x) for x in f.text] if hasattr(f, 'text') else [f.url]) for k, f in t.items()}))",
         mp3})));
    ASSERT_EQ(judge.size(), 7);

    const auto r = runCli({"info", mp3, "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, "");
    const QJsonObject o = json(r.out);
    EXPECT_EQ(o["id3v2Version"].toString(), "2.4.0");
    const QJsonObject frames = o["id3v2Frames"].toObject();
    EXPECT_EQ(frames.keys(), judge.keys());
    for (const QString& key : judge.keys()) {
        const QJsonArray expected = judge[key].toArray();
        const QJsonValue got = frames[key];
        EXPECT_EQ(got.isArray() ? got.toArray() : QJsonArray{got}, expected) << key.toStdString();
    }
    EXPECT_EQ(frames["TPE1"].toArray(), (QJsonArray{"A", "B"}));
    EXPECT_EQ(o["id3v2"].toObject()["track"].toString(), "3/9");
    EXPECT_EQ(o["id3v1"].toObject()["title"].toString(), "Trailer");
    EXPECT_EQ(o["id3v1"].toObject()["genre"].toString(), "Jazz");
    EXPECT_FALSE(o.contains("id3v2Problem"));

    const auto text = runCli({"info", mp3});
    ASSERT_EQ(text.status, 0);
    EXPECT_TRUE(text.out.contains("ID3v2.4 tag:\n")) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains("ID3v2 frames (version 2.4.0):\n"));
    EXPECT_TRUE(text.out.contains("  TXXX:REPLAYGAIN_TRACK_PEAK:  0.987654\n")) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains("  TPE1:                        A\n  TPE1:                        B\n"));
    EXPECT_TRUE(text.out.contains("  title:           Trailer\n"));
}

// A tag that claims more bytes than the file has (a download cut short) is a
// warning naming the file and the sizes; the trailer is still shown.
TEST(CliInfoTags, DamagedId3v2TagIsReportedAndTheTrailerStillShown)
{
    dwtest::Sandbox box;
    const QString mp3 = box.file("cut.mp3");
    QByteArray bytes("ID3\x04\x00\x00\x00\x01\x00\x00", 10);  // 16384 bytes of tag announced
    bytes += QByteArray("\xFF\xFB\x90\x64", 4) + QByteArray(400, '\x55');
    // The trailer written byte by byte: tag set refuses a file whose audio
    // cannot be found after its tag.
    QByteArray trailer(128, '\0');
    trailer.replace(0, 13, "TAGStill here");
    trailer[127] = char(255);
    box.write("cut.mp3", bytes + trailer);
    const QString reason = mp3 + ": the ID3v2 tag claims 16394 bytes but the file has only 542";

    auto r = runCli({"info", mp3, "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, "discwright-cli: warning: " + reason + "\n");
    QJsonObject o = json(r.out);
    EXPECT_EQ(o["id3v2Problem"].toString(), reason);
    EXPECT_TRUE(o["id3v2Frames"].isNull());
    EXPECT_EQ(o["id3v1"].toObject()["title"].toString(), "Still here");

    r = runCli({"info", mp3});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("ID3v2 problem:   " + reason + "\n")) << r.out.toStdString();
}

// A file as found in the wild: a damaged frame before the title and artist,
// a genre by number, and a trailer in Latin-1 with the year "0000". info
// shows the title, artist and genre name, and the trailer's text as written.
TEST(CliInfoTags, DamagedFramesGenreNumbersAndLatin1TrailerAsWritten)
{
    dwtest::Sandbox box;
    const auto frame = [](const QByteArray& id, const QByteArray& data) {
        QByteArray size(4, '\0');
        for (int i = 0; i < 4; ++i)
            size[i] = char((data.size() >> (8 * (3 - i))) & 0xFF);
        return id + size + QByteArray(2, '\0') + data;
    };
    const QByteArray frames = frame("POPM", "") + frame("TIT2", QByteArray("\0Title", 6)) +
                              frame("TPE1", QByteArray("\0Artist", 7)) + frame("TCON", QByteArray("\0(80)", 5));
    const int size = int(frames.size()) + 20;
    QByteArray bytes = QByteArray("ID3\x03\x00\x00", 6) + char((size >> 21) & 0x7F) + char((size >> 14) & 0x7F) +
                       char((size >> 7) & 0x7F) + char(size & 0x7F) + frames + QByteArray(20, '\0');
    bytes += QByteArray("\xFF\xFB\x90\x64", 4) + QByteArray(400, '\x55');
    QByteArray trailer(128, '\0');
    trailer.replace(0, 8, "TAGCaf\xe9 ");
    trailer.replace(93, 4, "0000");
    trailer[127] = 35;
    box.write("wild.mp3", bytes + trailer);

    const auto r = runCli({"info", box.file("wild.mp3"), "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject o = json(r.out);
    EXPECT_EQ(o["id3v2"].toObject(), (QJsonObject{{"title", "Title"}, {"artist", "Artist"}, {"genre", "Folk"}}));
    EXPECT_EQ(o["id3v2Frames"].toObject(), (QJsonObject{{"TIT2", "Title"}, {"TPE1", "Artist"}, {"TCON", "Folk"}}));
    EXPECT_EQ(o["id3v1"].toObject(),
              (QJsonObject{{"title", QString::fromUtf8("Caf\xc3\xa9")}, {"year", "0000"}, {"genre", "House"}}));

    const auto text = runCli({"info", box.file("wild.mp3")});
    EXPECT_TRUE(text.out.contains(QString::fromUtf8("  title:           Caf\xc3\xa9\n"))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains("  year:            0000\n"));
    EXPECT_TRUE(text.out.contains("  genre:           Folk\n"));
}

// Comments written by the peers' own tools, loudness ones included, come out
// as they are stored, none left out.
TEST(CliInfoTags, EveryCommentOfOggFlacAndOpusFiles)
{
    dwtest::Sandbox box;
    const QString wav = toneWav(box);
    const QString flac = box.file("a.flac"), opus = box.file("a.opus"), ogg = box.file("a.ogg");
    peer("flac", {"--silent", "-o", flac, wav});
    peer("metaflac", {"--set-tag=REPLAYGAIN_TRACK_GAIN=-1.25 dB", "--set-tag=REPLAYGAIN_ALBUM_PEAK=0.5",
                      "--set-tag=R128_TRACK_GAIN=-256", "--set-tag=Mood=calm", flac});
    peer("opusenc", {"--quiet", "--comment", "R128_ALBUM_GAIN=300", "--comment", "REPLAYGAIN_TRACK_GAIN=+2.00 dB",
                     wav, opus});
    peer("oggenc", {"--quiet", "-c", "REPLAYGAIN_TRACK_PEAK=0.75", "-c", "R128_TRACK_GAIN=12", "-o", ogg, wav});

    const auto comments = [](const QString& file) {
        const auto r = runCli({"info", file, "--json"});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        QStringList list;
        for (const QJsonValue& v : json(r.out)["comments"].toArray())
            if (!v.toString().startsWith("ENCODER="))  // the encoders name themselves
                list << v.toString();
        return list;
    };
    EXPECT_EQ(comments(flac), (QStringList{"REPLAYGAIN_TRACK_GAIN=-1.25 dB", "REPLAYGAIN_ALBUM_PEAK=0.5",
                                           "R128_TRACK_GAIN=-256", "Mood=calm"}));
    EXPECT_EQ(comments(opus), (QStringList{"R128_ALBUM_GAIN=300", "REPLAYGAIN_TRACK_GAIN=+2.00 dB"}));
    EXPECT_EQ(comments(ogg), (QStringList{"REPLAYGAIN_TRACK_PEAK=0.75", "R128_TRACK_GAIN=12"}));

    // The text form shows them too.
    const auto r = runCli({"info", flac});
    EXPECT_TRUE(r.out.contains("  R128_TRACK_GAIN=-256\n")) << r.out.toStdString();
}
