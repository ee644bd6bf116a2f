// discwright-cli tag show|set|remove|genres run as a black box on files made
// here, with the trailer checked byte by byte: the audio before it never
// changes, also when the write fails or is refused.

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

using dwtest::runCli;

namespace {

// MPEG-1 layer III frames (128 kbit/s at 44100 Hz, 417 bytes each) with a
// pattern for their payload, cut at size: what the tag command takes for MP3.
QByteArray audio(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 37 + 11) & 0xFF);
    for (int frame = 0; frame + 4 <= size; frame += 417)
        b.replace(frame, 4, QByteArray("\xFF\xFB\x90\x00", 4));
    return b;
}

QJsonObject json(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

}  // namespace

TEST(CliTag, SetShowAndRemove)
{
    dwtest::Sandbox box;
    const QString f = box.file("song.mp3");
    const QByteArray original = audio(3000);
    box.write("song.mp3", original);

    auto r = runCli({"tag", "show", f});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, f + ": no ID3v1 tag\n");
    EXPECT_TRUE(json(runCli({"tag", "show", f, "--json"}).out).value("tag").isNull());

    r = runCli({"tag", "set", f, "--title", QString::fromUtf8("Caf\xc3\xa9 \xce\xa9"), "--artist", "Artist",
                "--year", "19999", "--track", "7", "--genre", "hard rock", "--comment", "hello"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("warning: " + f + ": year cut to 4 characters")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("title: characters outside ISO-8859-1"));
    QByteArray bytes = box.read("song.mp3");
    ASSERT_EQ(bytes.size(), 3128);
    EXPECT_EQ(bytes.left(3000), original);
    const QByteArray t = bytes.right(128);
    EXPECT_EQ(t.left(10), QByteArray("TAGCaf\xe9 ?\0", 10));
    EXPECT_EQ(t.mid(33, 7), QByteArray("Artist\0", 7));
    EXPECT_EQ(t.mid(93, 4), QByteArray("1999"));
    EXPECT_EQ(t.mid(97, 6), QByteArray("hello\0", 6));
    EXPECT_EQ(uint8_t(t[125]), 0);
    EXPECT_EQ(uint8_t(t[126]), 7);
    EXPECT_EQ(uint8_t(t[127]), 79);  // Hard Rock

    // A second change keeps the fields it does not name and replaces the trailer.
    r = runCli({"tag", "set", f, "--album", "Album", "--track", "0", "--genre", "none", "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject tag = json(r.out).value("tag").toObject();
    EXPECT_EQ(tag.value("title").toString(), QString::fromUtf8("Caf\xc3\xa9 ?"));
    EXPECT_EQ(tag.value("album").toString(), "Album");
    EXPECT_TRUE(tag.value("track").isNull());
    EXPECT_TRUE(tag.value("genre").isNull());
    bytes = box.read("song.mp3");
    ASSERT_EQ(bytes.size(), 3128);
    EXPECT_EQ(uint8_t(bytes[3127]), 255);

    r = runCli({"tag", "show", f});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("Artist:  Artist\n"));
    EXPECT_TRUE(r.out.contains("Year:    1999\n"));
    EXPECT_TRUE(r.out.contains("Comment: hello\n"));
    EXPECT_TRUE(r.out.contains("Track:   none\n"));
    EXPECT_TRUE(r.out.contains("Genre:   none\n"));

    // Genre numbers: a known one by number, an unknown stored byte is shown as such.
    ASSERT_EQ(runCli({"tag", "set", f, "--genre", "17"}).status, 0);
    EXPECT_TRUE(runCli({"tag", "show", f}).out.contains("Genre:   Rock (17)\n"));
    bytes[3127] = char(200);
    box.write("song.mp3", bytes);
    r = runCli({"tag", "show", f, "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(json(r.out).value("tag").toObject().value("genre").toInt(), 200);

    r = runCli({"tag", "remove", f});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(box.read("song.mp3"), original);
    r = runCli({"tag", "remove", f});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, f + ": no ID3v1 tag; nothing removed\n");
    EXPECT_EQ(box.read("song.mp3"), original);

    r = runCli({"tag", "genres", "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).array().size(), 148);
}

TEST(CliTag, RefusalsAndFailuresLeaveTheFileAlone)
{
    dwtest::Sandbox box;
    const QString f = box.file("a.mp3");
    const QByteArray original = audio(4000);
    box.write("a.mp3", original);

    for (const QStringList& args :
         {QStringList{"tag"}, QStringList{"tag", "show"}, QStringList{"tag", "erase", f}, QStringList{"tag", "set", f},
          QStringList{"tag", "set", f, "--track", "256"}, QStringList{"tag", "set", f, "--track", "x"},
          QStringList{"tag", "set", f, "--genre", "Polka Rock"}, QStringList{"tag", "set", f, "--genre", "150"},
          QStringList{"tag", "show", f, "--title", "T"}, QStringList{"tag", "set", f, "--bogus", "1"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const auto r = runCli(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.startsWith("discwright-cli: ")) << r.err.toStdString();
    }
    EXPECT_EQ(box.read("a.mp3"), original);

    auto r = runCli({"tag", "set", box.file("missing.mp3"), "--title", "T"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "discwright-cli: " + box.file("missing.mp3") + ": No such file or directory\n");
    EXPECT_FALSE(QFile::exists(box.file("missing.mp3")));

    // The disk fills up part-way through the 128 bytes.
    dwtest::CliRunOptions smallDisk;
    smallDisk.fileSizeLimit = 4050;
    r = dwtest::runCliRaw({"tag", "set", QFile::encodeName(f), "--title", "T"}, smallDisk);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "discwright-cli: " + f + ": File too large\n");
    EXPECT_EQ(box.read("a.mp3"), original);

    // A write-protected file is refused: no tag written, none removed.
    ASSERT_EQ(runCli({"tag", "set", f, "--title", "Kept"}).status, 0);
    const QByteArray tagged = box.read("a.mp3");
    ASSERT_EQ(::chmod(QFile::encodeName(f).constData(), 0444), 0);
    r = runCli({"tag", "set", f, "--title", "Changed"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("discwright-cli: " + f + ": Permission denied")) << r.err.toStdString();
    r = runCli({"tag", "remove", f});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(box.read("a.mp3"), tagged);
    EXPECT_TRUE(runCli({"tag", "show", f}).out.contains("Title:   Kept\n"));

    // A name that is not UTF-8 reaches the file system unchanged.
    const QByteArray odd = QFile::encodeName(box.path()) + "/odd\xff.mp3";
    ASSERT_EQ(::rename(QFile::encodeName(box.file("a.mp3")).constData(), odd.constData()), 0);
    ASSERT_EQ(::chmod(odd.constData(), 0644), 0);
    r = dwtest::runCliRaw({"tag", "set", odd, "--artist", "Odd"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    r = dwtest::runCliRaw({"tag", "show", odd});
    EXPECT_TRUE(r.out.contains("Artist:  Odd\n"));
    EXPECT_TRUE(r.out.contains("Title:   Kept\n"));
}

// info reads both tags of an MP3 file: an ID3v2.3 tag in UTF-16 written by a
// peer at the start, and our ID3v1 trailer at the end.
TEST(CliTag, InfoShowsBothTagsOfAnMp3File)
{
    dwtest::Sandbox box;
    const QString wav = box.file("in.wav"), mp3 = box.file("song.mp3");
    QProcess sox;
    sox.start("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1", "sine", "440"});
    ASSERT_TRUE(sox.waitForFinished() && sox.exitCode() == 0);
    QProcess lame;
    lame.start("lame", {"--quiet", wav, mp3});
    ASSERT_TRUE(lame.waitForFinished() && lame.exitCode() == 0);
    QProcess peer;
    peer.start("/usr/bin/python3",
               {"-c",
                "import sys\nfrom mutagen.id3 import ID3, TIT2, TPE1, TRCK\n"
                "t = ID3(); t.add(TIT2(encoding=1, text='Gr\\u00fc\\u00dfe \\u03a9')); t.add(TPE1(encoding=0, text='A'));"
                " t.add(TRCK(encoding=0, text='3/9')); t.save(sys.argv[1], v1=0, v2_version=3)",
                mp3});
    ASSERT_TRUE(peer.waitForFinished() && peer.exitCode() == 0) << peer.readAllStandardError().toStdString();
    ASSERT_EQ(runCli({"tag", "set", mp3, "--title", "Trailer", "--genre", "Jazz"}).status, 0);

    const auto r = runCli({"info", mp3, "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject o = json(r.out);
    EXPECT_EQ(o["id3v2"].toObject()["title"].toString(), QString::fromUtf8("Gr\xc3\xbc\xc3\x9f" "e \xce\xa9"));
    EXPECT_EQ(o["id3v2"].toObject()["track"].toString(), "3/9");
    EXPECT_EQ(o["id3v1"].toObject()["title"].toString(), "Trailer");
    EXPECT_EQ(o["id3v1"].toObject()["genre"].toString(), "Jazz");
    EXPECT_FALSE(o["id3v1"].toObject().contains("artist"));

    // A file without tags says so rather than failing.
    QFile::remove(mp3);
    lame.start("lame", {"--quiet", wav, mp3});
    ASSERT_TRUE(lame.waitForFinished() && lame.exitCode() == 0);
    const QJsonObject bare = json(runCli({"info", mp3, "--json"}).out);
    EXPECT_TRUE(bare["id3v1"].isNull());
    EXPECT_TRUE(bare["id3v2"].isNull());
}
