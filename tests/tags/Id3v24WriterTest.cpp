// ID3v2.4 writing through TagLib, checked with a peer reader (python3-mutagen):
// every field and the ReplayGain TXXX frames read back, an older tag's other
// frames are kept, the audio frames and the ID3v1 trailer are byte for byte
// as before, and a failed write leaves the file alone.

#include "tags/Id3v24Writer.h"
#include "TagFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

using namespace dw;

namespace {

// read FILE: every frame as key -> list of texts, plus "version".
// prep FILE: an ID3v2.3 tag with a title, a composer and a ReplayGain frame.
const char* kPeerScript = R"PY(
import sys, json
from mutagen.id3 import ID3, TIT2, TCOM, TXXX
cmd, path = sys.argv[1], sys.argv[2]
if cmd == 'read':
    tags = ID3(path, translate=False, load_v1=False)
    out = {'version': tags.version[1]}
    for key, frame in tags.items():
        out.setdefault(key, []).extend(str(t) for t in frame.text)
    out['txxx-count'] = len(tags.getall('TXXX'))
    print(json.dumps(out))
elif cmd == 'prep':
    t = ID3()
    t.add(TIT2(encoding=1, text='Old title'))
    t.add(TCOM(encoding=1, text='A Composer'))
    t.add(TXXX(encoding=1, desc='REPLAYGAIN_TRACK_GAIN', text='+1.00 dB'))
    t.update_to_v23()
    t.save(path, v1=0, v2_version=3)
)PY";

QJsonObject peer(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{"-c", kPeerScript} + args);
    const bool finished = p.waitForFinished(60000);
    const QByteArray out = p.readAllStandardOutput();
    EXPECT_TRUE(finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        << "mutagen failed: " << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(out).object();
}

QString first(const QJsonObject& o, const char* key) { return o[key].toArray().at(0).toString(); }

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Size of the ID3v2 tag at the start of bytes (header, body, footer); 0 without one.
qsizetype id3v2Size(const QByteArray& b)
{
    if (b.size() < 10 || !b.startsWith("ID3"))
        return 0;
    qsizetype body = 0;
    for (int i = 6; i < 10; ++i)
        body = body << 7 | (uchar(b[i]) & 0x7F);
    return 10 + body + ((uchar(b[5]) & 0x10) ? 10 : 0);
}

}  // namespace

TEST(Id3v24WriterTest, FieldsAndReplayGainReadBackAudioAndTrailerUntouched)
{
    dwtest::Sandbox box;
    const QString wav = box.file("in.wav"), mp3 = box.file("song.mp3");
    ASSERT_TRUE(run("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "0.5", "sine", "440"}));
    ASSERT_TRUE(run("lame", {"--quiet", "-b", "128", wav, mp3}));
    peer({"prep", mp3});
    const QByteArray trailer = tagtest::trailer("v1 title", "v1 artist", "v1 album", "1999", "v1 comment", 17);
    {
        QFile f(mp3);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(trailer);
    }
    const QByteArray before = box.read("song.mp3");
    const qsizetype oldTag = id3v2Size(before);
    ASSERT_GT(oldTag, 10);
    const QByteArray audio = before.mid(oldTag, before.size() - oldTag - 128);
    ASSERT_GT(audio.size(), 1000);
    ::chmod(QFile::encodeName(mp3).constData(), 0640);

    TId3v24Fields f;
    f.title = QString::fromUtf8("T\xc3\xaftle \xce\xa9");
    f.artist = QStringLiteral("Artist");
    f.album = QStringLiteral("Album");
    f.date = QStringLiteral("2004-05-06");
    f.genre = QStringLiteral("Jazz");
    f.comment = QStringLiteral("A comment");
    f.track = std::make_pair(3, 12);
    f.userTexts = {{"REPLAYGAIN_TRACK_GAIN", "-6.54 dB"}, {"REPLAYGAIN_TRACK_PEAK", "0.987654"},
                   {"REPLAYGAIN_ALBUM_GAIN", "-5.10 dB"}, {"REPLAYGAIN_ALBUM_PEAK", "1.000000"}};
    QString error;
    ASSERT_TRUE(WriteId3v24(mp3, f, &error)) << error.toStdString();

    QJsonObject t = peer({"read", mp3});
    EXPECT_EQ(t["version"].toInt(), 4);
    EXPECT_EQ(first(t, "TIT2"), QString::fromUtf8("T\xc3\xaftle \xce\xa9"));
    EXPECT_EQ(first(t, "TPE1"), "Artist");
    EXPECT_EQ(first(t, "TALB"), "Album");
    EXPECT_EQ(first(t, "TDRC"), "2004-05-06");
    EXPECT_EQ(first(t, "TCON"), "Jazz");
    EXPECT_EQ(first(t, "COMM::eng"), "A comment");
    EXPECT_EQ(first(t, "TRCK"), "3/12");
    EXPECT_EQ(first(t, "TCOM"), "A Composer");  // a frame not asked about is kept
    EXPECT_EQ(t["TXXX:REPLAYGAIN_TRACK_GAIN"].toArray(), QJsonArray{"-6.54 dB"});  // replaced, not added
    EXPECT_EQ(first(t, "TXXX:REPLAYGAIN_TRACK_PEAK"), "0.987654");
    EXPECT_EQ(first(t, "TXXX:REPLAYGAIN_ALBUM_GAIN"), "-5.10 dB");
    EXPECT_EQ(first(t, "TXXX:REPLAYGAIN_ALBUM_PEAK"), "1.000000");
    EXPECT_EQ(t["txxx-count"].toInt(), 4);

    const QByteArray after = box.read("song.mp3");
    const qsizetype tag = id3v2Size(after);
    EXPECT_EQ(after.at(3), 4);
    ASSERT_EQ(after.size(), tag + audio.size() + 128);
    EXPECT_TRUE(after.mid(tag, audio.size()) == audio) << "audio frames changed";
    EXPECT_TRUE(after.right(128) == trailer) << "ID3v1 trailer changed";
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(mp3).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A second pass through a symbolic link: only album values and the
    // title change, the comment goes, the track loses its total.
    const QString link = box.file("link.mp3");
    ASSERT_EQ(::symlink("song.mp3", QFile::encodeName(link).constData()), 0);
    TId3v24Fields g;
    g.title = QStringLiteral("New title");
    g.comment = QString();
    g.track = std::make_pair(4, 0);
    g.userTexts = {{"REPLAYGAIN_ALBUM_GAIN", "-4.00 dB"}, {"REPLAYGAIN_ALBUM_PEAK", ""}};
    ASSERT_TRUE(WriteId3v24(link, g, &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    t = peer({"read", mp3});
    EXPECT_EQ(first(t, "TIT2"), "New title");
    EXPECT_EQ(first(t, "TPE1"), "Artist");
    EXPECT_FALSE(t.contains("COMM::eng"));
    EXPECT_EQ(first(t, "TRCK"), "4");
    EXPECT_EQ(first(t, "TXXX:REPLAYGAIN_TRACK_GAIN"), "-6.54 dB");
    EXPECT_EQ(first(t, "TXXX:REPLAYGAIN_ALBUM_GAIN"), "-4.00 dB");
    EXPECT_FALSE(t.contains("TXXX:REPLAYGAIN_ALBUM_PEAK"));
    const QByteArray again = box.read("song.mp3");
    EXPECT_TRUE(again.mid(id3v2Size(again), audio.size()) == audio);
    EXPECT_TRUE(again.right(128) == trailer);
}

TEST(Id3v24WriterTest, FailuresLeaveTheFileAlone)
{
    dwtest::Sandbox box;
    // Not MP3: no frame sync anywhere, with an ID3v1 trailer for good measure.
    const QByteArray text = QByteArray("plain text, not MPEG audio. ").repeated(200) + tagtest::trailer("a", "b", "c", "2000", "d", 1);
    box.write("notes.mp3", text);
    TId3v24Fields f;
    f.title = QStringLiteral("x");
    QString error;
    EXPECT_FALSE(WriteId3v24(box.file("notes.mp3"), f, &error));
    EXPECT_TRUE(error.startsWith(box.file("notes.mp3") + ": not an MP3 file")) << error.toStdString();
    EXPECT_TRUE(box.read("notes.mp3") == text);
    // No temporary copy is left behind.
    EXPECT_EQ(QDir(box.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"notes.mp3"});

    error.clear();
    EXPECT_FALSE(WriteId3v24(box.file("missing.mp3"), f, &error));
    EXPECT_TRUE(error.contains("missing.mp3")) << error.toStdString();

    // Requests out of range are refused before anything is touched.
    TId3v24Fields bad;
    bad.track = std::make_pair(10000, 0);
    EXPECT_FALSE(WriteId3v24(box.file("notes.mp3"), bad, &error));
    bad.track.reset();
    bad.userTexts = {{"", "value"}};
    EXPECT_FALSE(WriteId3v24(box.file("notes.mp3"), bad, &error));
    EXPECT_TRUE(box.read("notes.mp3") == text);
}
