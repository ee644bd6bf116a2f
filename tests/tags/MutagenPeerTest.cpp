// Cross-checks with a peer implementation (python3-mutagen from Debian):
// the ID3v1 trailers we write are read by it as we meant them, and the ID3v1
// and ID3v2 tags it writes (versions 2.3 and 2.4, each text encoding) are
// read by us as it meant them. Version 2.2, which it reads but cannot write,
// is built by hand and read by both.

#include "tags/Id3Tag.h"
#include "tags/Id3v2Tags.h"
#include "TagFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace dw;
using tagtest::audioBytes;

namespace {

// read-v1 FILE | read-v2 FILE | write FILE VERSION ENCODING TITLE ARTIST ALBUM YEAR COMMENT TRACK GENRE
// Prints the frames as JSON: name -> first text, name.enc -> encoding.
const char* kPeerScript = R"PY(
import sys, json
from mutagen.id3 import ID3, ParseID3v1, TIT2, TPE1, TALB, TDRC, COMM, TRCK, TCON

def frames(items):
    out = {}
    for key, frame in items:
        name = key.split(':')[0]
        if hasattr(frame, 'text') and frame.text:
            out[name] = str(frame.text[0])
            out[name + '.enc'] = int(frame.encoding)
    return out

cmd, path = sys.argv[1], sys.argv[2]
if cmd == 'read-v1':
    with open(path, 'rb') as f:
        data = f.read()[-128:]
    print(json.dumps(frames(ParseID3v1(data).items())))
elif cmd == 'read-v2':
    tags = ID3(path, translate=False, load_v1=False)
    out = frames(tags.items())
    out['version'] = tags.version[1]
    print(json.dumps(out))
elif cmd == 'write':
    version, enc = int(sys.argv[3]), int(sys.argv[4])
    title, artist, album, year, comment, track, genre = sys.argv[5:12]
    t = ID3()
    t.add(TIT2(encoding=enc, text=title))
    t.add(TPE1(encoding=enc, text=artist))
    t.add(TALB(encoding=enc, text=album))
    t.add(TDRC(encoding=enc, text=year))
    t.add(COMM(encoding=enc, lang='eng', desc='', text=comment))
    t.add(TRCK(encoding=enc, text=track))
    t.add(TCON(encoding=enc, text=genre))
    if version == 3:
        t.update_to_v23()
    t.save(path, v1=2, v2_version=version)
)PY";

QString python()
{
    // Debian's interpreter, where python3-mutagen is installed.
    return QFile::exists("/usr/bin/python3") ? QStringLiteral("/usr/bin/python3") : QStringLiteral("python3");
}

// Runs the peer script; fails the test when it cannot run.
QJsonObject peer(const QStringList& args)
{
    QProcess p;
    p.start(python(), QStringList{"-c", kPeerScript} + args);
    const bool finished = p.waitForFinished(60000);
    const QByteArray out = p.readAllStandardOutput();
    EXPECT_TRUE(finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        << "mutagen (python3-mutagen) failed: " << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(out).object();
}

}  // namespace

TEST(MutagenPeer, ReadsTheTrailersWeWrite)
{
    dwtest::Sandbox box;
    const QString f = box.file("ours.mp3");
    box.write("ours.mp3", audioBytes(3000));
    Tid3tag tag;
    tag.SetTitle(QString::fromUtf8("Caf\xc3\xa9 Song"));
    tag.SetArtist("An Artist With A Name Thirty+ Characters Long");
    tag.SetAlbum("Album");
    tag.SetYear("2003");
    tag.SetComment("twenty-eight chars of text!!");
    tag.SetTrack(7);
    tag.SetGenre(17);
    ASSERT_EQ(tag.SaveTag(f), Tid3tag::Done);
    QJsonObject v1 = peer({"read-v1", f});
    EXPECT_EQ(v1["TIT2"].toString(), QString::fromUtf8("Caf\xc3\xa9 Song"));
    EXPECT_EQ(v1["TPE1"].toString(), "An Artist With A Name Thirty+");
    EXPECT_EQ(v1["TALB"].toString(), "Album");
    EXPECT_EQ(v1["TDRC"].toString(), "2003");
    EXPECT_EQ(v1["COMM"].toString(), "twenty-eight chars of text!!");
    EXPECT_EQ(v1["TRCK"].toString(), "7");
    EXPECT_EQ(v1["TCON"].toString(), "17");

    // No track, no genre (255): the trailer is replaced in place.
    tag.SetTrack(0);
    tag.SetGenre(Tid3tag::kNoGenre);
    tag.SetComment("short");
    ASSERT_EQ(tag.SaveTag(f), Tid3tag::Done);
    v1 = peer({"read-v1", f});
    EXPECT_EQ(v1["COMM"].toString(), "short");
    EXPECT_FALSE(v1.contains("TRCK"));
    EXPECT_FALSE(v1.contains("TCON"));
    EXPECT_EQ(box.read("ours.mp3").size(), 3128);
}

TEST(MutagenPeer, WeReadWhatItWrites)
{
    dwtest::Sandbox box;
    const QString title = QString::fromUtf8("\xce\xa9mega \xc3\xa9t\xc3\xa9");  // beyond ISO-8859-1
    const QString longTitle = title + QString(300, 'x');  // a 2.4 frame size over 127
    struct Case {
        int version, encoding;
        QString title;
        bool wide;  // what we should read: wide or ANSI text
    };
    const Case cases[] = {
        {3, 0, QString::fromUtf8("Caf\xc3\xa9"), false},  // ISO-8859-1
        {3, 1, title, true},                              // UTF-16 with byte-order mark
        {4, 3, longTitle, true},                          // UTF-8
        {4, 1, title, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString("v2.%1 encoding %2").arg(c.version).arg(c.encoding).toStdString());
        const QString f = box.file("peer.mp3");
        const QByteArray audio = audioBytes(2000);
        box.write("peer.mp3", audio);
        peer({"write", f, QString::number(c.version), QString::number(c.encoding), c.title, "Art", "Alb", "1999",
              "Comment", "5", "Rock"});
        const QJsonObject check = peer({"read-v2", f});
        ASSERT_EQ(check["version"].toInt(), c.version);

        tagtest::Fd fd(f, O_RDONLY);
        TId3v2Tags v2;
        ASSERT_TRUE(v2.ReadFromFile(fd.get()));
        EXPECT_TRUE(v2.V23Frames());
        EXPECT_EQ(v2.Title(), c.title);
        EXPECT_EQ(std::holds_alternative<QString>(v2.Value("TIT2")), c.wide);
        EXPECT_EQ(v2.Artist(), "Art");
        EXPECT_EQ(v2.Album(), "Alb");
        EXPECT_EQ(v2.Track(), "5");
        EXPECT_EQ(v2.Genre(), "Rock");
        if (c.version == 3) {
            EXPECT_EQ(v2.Year(), "1999");
        }
        // The position is after the tag: the audio follows.
        QByteArray next(16, '\0');
        ASSERT_EQ(::read(fd.get(), next.data(), 16), 16);
        EXPECT_EQ(next, audio.left(16));

        Tid3tag v1;
        ASSERT_EQ(v1.ReadTag(f), Tid3tag::Done);
        EXPECT_EQ(v1.Title(), QString::fromLatin1(c.title.toLatin1().left(30)));  // "?" for the rest
        EXPECT_EQ(v1.Artist(), "Art");
        EXPECT_EQ(v1.Year(), "1999");
        EXPECT_TRUE(v1.HasTrack());
        EXPECT_EQ(v1.Track(), 5);
        EXPECT_EQ(v1.Genre(), 17);
    }
}

TEST(MutagenPeer, ItReadsTheId3v2TagsWeWrite)
{
    dwtest::Sandbox box;
    const QString f = box.file("v2.mp3");
    for (bool unicode : {true, false}) {
        SCOPED_TRACE(unicode ? "unicode" : "ISO-8859-1");
        box.write("v2.mp3", audioBytes(1000));
        TId3v2Tags t;
        t.SetAlbum(QString::fromUtf8("\xc3\x85lbum \xce\xa9"));
        t.SetArtist(QString(200, 'a'));
        t.SetGenre("Jazz");
        t.SetTitle("Title");
        t.SetTrack("4/12");
        t.SetYear("1987");
        t.SetComposer("Composer");
        tagtest::Fd fd(f, O_RDWR);
        ASSERT_TRUE(t.WriteToFile(fd.get(), unicode));
        const QJsonObject m = peer({"read-v2", f});
        EXPECT_EQ(m["version"].toInt(), 4);
        EXPECT_EQ(m["TALB"].toString(), unicode ? t.Album() : QString::fromUtf8("\xc3\x85lbum ?"));
        EXPECT_EQ(m["TALB.enc"].toInt(), unicode ? 3 : 0);
        EXPECT_EQ(m["TPE1"].toString(), QString(200, 'a'));
        EXPECT_EQ(m["TCON"].toString(), "Jazz");
        EXPECT_EQ(m["TIT2"].toString(), "Title");
        EXPECT_EQ(m["TRCK"].toString(), "4/12");
        EXPECT_EQ(m["TYER"].toString(), "1987");
        EXPECT_EQ(m["TYER.enc"].toInt(), 0);  // ANSI slots are never UTF-8
        EXPECT_EQ(m["TCOM"].toString(), "Composer");
    }
}

TEST(MutagenPeer, BothReadAVersion22Tag)
{
    dwtest::Sandbox box;
    auto frame = [](const char* name, const QByteArray& data) {
        const uint32_t n = uint32_t(data.size());
        return QByteArray(name, 3) + char(n >> 16) + char(n >> 8) + char(n) + data;
    };
    const QByteArray frames = frame("TT2", QByteArray("\0Old Title", 10)) +
                              frame("TP1", QByteArray("\x01\xff\xfe" "A\0\xe9\0", 7)) +
                              frame("TAL", QByteArray("\0Album", 6)) + frame("TYE", QByteArray("\0" "1970", 5));
    const uint32_t size = uint32_t(frames.size() + 10);
    const QByteArray tag =
        QByteArray("ID3\x02\0\0", 6) + char(size >> 21 & 0x7F) + char(size >> 14 & 0x7F) + char(size >> 7 & 0x7F) +
        char(size & 0x7F) + frames + QByteArray(10, '\0');
    box.write("v22.mp3", tag + audioBytes(500));

    const QJsonObject m = peer({"read-v2", box.file("v22.mp3")});
    EXPECT_EQ(m["version"].toInt(), 2);
    tagtest::Fd fd(box.file("v22.mp3"), O_RDONLY);
    TId3v2Tags t;
    ASSERT_TRUE(t.ReadFromFile(fd.get()));
    EXPECT_FALSE(t.V23Frames());
    // The peer hands version 2.2 frames out under their 2.3 names.
    EXPECT_EQ(t.Title(), "Old Title");
    EXPECT_EQ(t.Title(), m["TIT2"].toString());
    EXPECT_EQ(t.Artist(), QString::fromUtf8("A\xc3\xa9"));
    EXPECT_EQ(t.Artist(), m["TPE1"].toString());
    EXPECT_EQ(t.Album(), m["TALB"].toString());
    EXPECT_EQ(QString::fromUtf8(t.Year()), m["TYER"].toString());
    EXPECT_EQ(t.Year(), "1970");
    EXPECT_EQ(::lseek(fd.get(), 0, SEEK_CUR), tag.size());
}
