// The ID3v2 container on files built byte by byte: versions, encodings,
// frame walking, the tag it prepends, and hostile sizes that must neither
// crash nor read or allocate past what the file holds.

#include "tags/Id3v2Layout.h"
#include "tags/Id3v2Tags.h"
#include "TagFiles.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace dw;
using tagtest::audioBytes;

namespace {

QByteArray syncsafe(uint32_t v)
{
    uint8_t b[4];
    id3v2::WriteSyncsafe(b, v);
    return QByteArray(reinterpret_cast<const char*>(b), 4);
}

QByteArray be(uint32_t v, int bytes)
{
    QByteArray b;
    for (int i = bytes - 1; i >= 0; --i)
        b += char((v >> (8 * i)) & 0xFF);
    return b;
}

QByteArray header(uint8_t major, uint32_t size, uint8_t flags = 0, uint8_t revision = 0)
{
    return QByteArray("ID3") + char(major) + char(revision) + char(flags) + syncsafe(size);
}

QByteArray frame23(const char* name, const QByteArray& data)
{
    return QByteArray(name, 4) + be(uint32_t(data.size()), 4) + QByteArray(2, '\0') + data;
}

QByteArray frame24(const char* name, const QByteArray& data, uint8_t formatFlags = 0)
{
    return QByteArray(name, 4) + syncsafe(uint32_t(data.size())) + '\0' + char(formatFlags) + data;
}

QByteArray frame22(const char* name, const QByteArray& data)
{
    return QByteArray(name, 3) + be(uint32_t(data.size()), 3) + data;
}

// Writes tag + audio to a file, reads it with the container; true when read.
struct ReadResult {
    bool ok = false;
    off_t position = -1;
};

ReadResult readTag(dwtest::Sandbox& box, const QByteArray& bytes, TId3v2Tags& tags)
{
    box.write("v2.mp3", bytes);
    tagtest::Fd fd(box.file("v2.mp3"), O_RDONLY);
    ReadResult r;
    r.ok = tags.ReadFromFile(fd.get());
    r.position = ::lseek(fd.get(), 0, SEEK_CUR);
    return r;
}

}  // namespace

TEST(Id3v2Container, ReadsVersionsAndEncodings)
{
    dwtest::Sandbox box;
    const QByteArray utf16le = QByteArray("\x01\xff\xfe", 3) + QByteArray("B\0\xe9\0", 4) + QByteArray(2, '\0');
    const QByteArray utf16be = QByteArray("\x01\xfe\xff", 3) + QByteArray("\0C\x20\xac", 4);
    const QByteArray frames = frame23("TIT2", QByteArray("\0Latin \xe9", 8) + QByteArray("\0rest", 5)) +
                              frame23("TPE1", utf16le) + frame23("TALB", utf16be) +
                              frame23("TCON", QByteArray("\x03" "\xe2\x82\xac" "uro", 7)) +
                              frame23("TXXX", QByteArray("\0ignored", 8)) +   // not one of the twelve
                              frame23("COMM", QByteArray("\0engcomment", 11)) +  // the comment is not read
                              frame23("TRCK", QByteArray("\x07" "5", 2)) +     // unknown encoding: ignored
                              frame23("TYER", QByteArray()) +                  // size 0: skipped
                              frame23("TCOP", QByteArray("\0" "2001 X", 7));
    const QByteArray tag = header(3, uint32_t(frames.size() + 20)) + frames + QByteArray(20, '\0');
    TId3v2Tags t;
    const auto r = readTag(box, tag + audioBytes(100), t);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.position, tag.size());
    EXPECT_TRUE(t.V23Frames());
    EXPECT_EQ(t.Title(), QString::fromUtf8("Latin \xc3\xa9"));
    EXPECT_TRUE(std::holds_alternative<QByteArray>(t.Value("TIT2")));  // encoding 0 is ANSI
    EXPECT_EQ(t.Artist(), QString::fromUtf8("B\xc3\xa9"));
    EXPECT_TRUE(std::holds_alternative<QString>(t.Value("TPE1")));
    EXPECT_EQ(t.Album(), QString::fromUtf8("C\xe2\x82\xac"));
    EXPECT_EQ(t.Genre(), QString::fromUtf8("\xe2\x82\xac" "uro"));
    EXPECT_EQ(t.Comment(), "");
    EXPECT_EQ(t.Track(), "");
    EXPECT_EQ(t.Copyright(), "2001 X");

    // Version 2.2: three-character names, and the accessors use them.
    const QByteArray f22 = frame22("TT2", QByteArray("\0Old", 4)) + frame22("TP1", QByteArray("\x01" "A\0", 3)) +
                           frame22("TAL", QByteArray("\0x", 2));
    TId3v2Tags t22;
    ASSERT_TRUE(readTag(box, header(2, uint32_t(f22.size())) + f22, t22).ok);
    EXPECT_FALSE(t22.V23Frames());
    EXPECT_EQ(t22.Title(), "Old");
    EXPECT_EQ(t22.AsWideString("TT2"), "Old");
    EXPECT_EQ(t22.AsWideString("TIT2"), "");
    EXPECT_EQ(t22.Artist(), "A");
    EXPECT_EQ(t22.Album(), "x");

    // Version 2.4: syncsafe frame sizes (a 200-byte frame), UTF-16BE, a
    // data-length indicator; an extended header is stepped over.
    const QByteArray longTitle(199, 'L');
    const QByteArray f24 = frame24("TIT2", '\0' + longTitle) + frame24("TPE1", QByteArray("\x02\0Z", 3)) +
                           frame24("TALB", syncsafe(3) + QByteArray("\0ab", 3), 0x01);
    const QByteArray ext = syncsafe(6) + QByteArray("\x01\0", 2);
    TId3v2Tags t24;
    ASSERT_TRUE(readTag(box, header(4, uint32_t(ext.size() + f24.size()), 0x40) + ext + f24, t24).ok);
    EXPECT_EQ(t24.Title(), QString::fromLatin1(longTitle));
    EXPECT_EQ(t24.Artist(), "Z");
    EXPECT_EQ(t24.Album(), "ab");
}

TEST(Id3v2Container, InvalidHeadersAreNotTags)
{
    dwtest::Sandbox box;
    const QByteArray body = frame23("TIT2", QByteArray("\0x", 2));
    struct Case {
        const char* what;
        QByteArray bytes;
    };
    const QByteArray good = header(3, uint32_t(body.size())) + body;
    QByteArray sizeTopBit = good;
    sizeTopBit[8] = char(0x80);
    const Case cases[] = {
        {"revision 0xFF", header(3, uint32_t(body.size()), 0, 0xFF) + body},
        {"version 5", header(5, uint32_t(body.size())) + body},
        {"version 2 with an undefined flag", header(2, uint32_t(body.size()), 0x20) + body},
        {"version 3 with an undefined flag", header(3, uint32_t(body.size()), 0x10) + body},
        {"size byte 0x80", sizeTopBit},
        {"short header", QByteArray("ID3\x03\0\0\0\0", 8)},
        {"not ID3", QByteArray("ID4") + good.mid(3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        box.write("bad.mp3", c.bytes);
        tagtest::Fd fd(box.file("bad.mp3"), O_RDONLY);
        TId3v2Tags t;
        EXPECT_FALSE(t.CheckFile(fd.get()));
        EXPECT_EQ(::lseek(fd.get(), 0, SEEK_CUR), 0);
        EXPECT_FALSE(t.ReadFromFile(fd.get()));
        EXPECT_EQ(t.Title(), "");
    }
    box.write("good.mp3", good);
    tagtest::Fd fd(box.file("good.mp3"), O_RDONLY);
    TId3v2Tags t;
    EXPECT_TRUE(t.CheckFile(fd.get()));
    EXPECT_EQ(::lseek(fd.get(), 0, SEEK_CUR), 0);
}

TEST(Id3v2Container, HostileSizesAreBounded)
{
    dwtest::Sandbox box;
    const QByteArray title = frame23("TIT2", QByteArray("\0kept", 5));
    TId3v2Tags t;

    // A tag that claims the largest size in a file of a few bytes.
    auto r = readTag(box, header(3, id3v2::kMaxSyncsafe) + title, t);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.position, 10 + off_t(id3v2::kMaxSyncsafe));

    // A frame larger than what is left of the tag ends the frames; the frames
    // before it are kept.
    const QByteArray huge = QByteArray("TPE1") + be(0xFFFFFFF0u, 4) + QByteArray(2, '\0') + QByteArray("\0xx", 3);
    r = readTag(box, header(3, uint32_t(title.size() + huge.size())) + title + huge + audioBytes(50), t);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(t.Title(), "kept");
    EXPECT_EQ(t.Artist(), "");

    // A frame that runs past the tag into the audio is not read.
    const QByteArray past = frame23("TALB", QByteArray("\0audio-bytes", 12));
    r = readTag(box, header(3, uint32_t(title.size() + 8)) + title + past, t);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(t.Album(), "");

    // An extended header whose size points far past the tag.
    const QByteArray ext = be(0x7FFFFFFF, 4) + QByteArray(6, '\0');
    r = readTag(box, header(3, uint32_t(ext.size() + title.size()), 0x40) + ext + title, t);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(t.Title(), "");

    // Thousands of empty frames: walked through a window, quickly.
    QByteArray empties;
    for (int i = 0; i < 200000; ++i)
        empties += frame23("TXXX", {});
    empties += title;
    const auto start = std::chrono::steady_clock::now();
    r = readTag(box, header(3, uint32_t(empties.size())) + empties, t);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(t.Title(), "kept");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    // A text frame larger than the limit is skipped, not loaded.
    const QByteArray big = frame23("TIT2", '\0' + QByteArray(int(TId3v2Tags::kMaxTextFrame), 'b'));
    r = readTag(box, header(3, uint32_t(big.size())) + big, t);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(t.Title(), "");
}

TEST(Id3v2Container, PrependsATagAndKeepsTheContent)
{
    dwtest::Sandbox box;
    const QByteArray audio = audioBytes(700000);  // more than one chunk to move
    box.write("w.mp3", audio);

    // An empty album (slot 0) ends the frames at once: header and 6 bytes.
    {
        TId3v2Tags t;
        t.SetTitle("unused");
        tagtest::Fd fd(box.file("w.mp3"), O_RDWR);
        ASSERT_TRUE(t.WriteToFile(fd.get(), true));
        const QByteArray bytes = box.read("w.mp3");
        EXPECT_EQ(bytes.left(16), QByteArray("ID3\x04\0\0\0\0\0\x06", 10) + QByteArray(6, '\0'));
        EXPECT_EQ(bytes.mid(16), audio);
    }
    box.write("w.mp3", audio);
    TId3v2Tags t;
    t.SetAlbum(QString::fromUtf8("\xc3\x85lbum \xe2\x82\xac"));
    t.SetArtist(QString(150, 'a'));  // a frame over 127 bytes: syncsafe size
    t.SetValue("TCON", QByteArray("Rock"));
    t.SetTitle("Title");
    t.SetComment("not written");
    t.SetTrack("3");
    // Year empty: the frames stop there; Composer is never reached.
    t.SetComposer("never");
    tagtest::Fd fd(box.file("w.mp3"), O_RDWR);
    ASSERT_TRUE(t.WriteToFile(fd.get(), true));
    const QByteArray bytes = box.read("w.mp3");
    const QByteArray tag = t.BuildTag(true);
    EXPECT_EQ(tag.size() % 16, 0);
    EXPECT_EQ(bytes.left(tag.size()), tag);
    EXPECT_EQ(bytes.mid(tag.size()), audio);
    EXPECT_EQ(tag.mid(10, 11), QByteArray("TALB\0\0\0\x0b\0\0\x03", 11));
    EXPECT_TRUE(tag.contains(QByteArray("TPE1\0\0\x01\x17\0\0\x03", 11)));  // 151 syncsafe
    EXPECT_TRUE(tag.contains(QByteArray("TCON\0\0\0\x05\0\0\0Rock", 15)));  // ANSI: encoding 0
    EXPECT_FALSE(tag.contains("COMM"));
    EXPECT_FALSE(tag.contains("TCOM"));

    TId3v2Tags back;
    ::lseek(fd.get(), 0, SEEK_SET);
    ASSERT_TRUE(back.ReadFromFile(fd.get()));
    EXPECT_EQ(::lseek(fd.get(), 0, SEEK_CUR), tag.size());
    EXPECT_EQ(back.Album(), t.Album());
    EXPECT_EQ(back.Artist(), t.Artist());
    EXPECT_EQ(back.Genre(), "Rock");
    EXPECT_EQ(back.Track(), "3");
    EXPECT_EQ(back.Composer(), "");

    // A descriptor opened for appending is refused before anything moves.
    tagtest::Fd appending(box.file("w.mp3"), O_RDWR | O_APPEND);
    EXPECT_FALSE(t.WriteToFile(appending.get(), true));
    EXPECT_EQ(box.read("w.mp3"), bytes);

    // Without Unicode, wide text goes out as ISO-8859-1 with "?" for the rest.
    const QByteArray latin = t.BuildTag(false);
    EXPECT_EQ(latin.mid(10, 18), QByteArray("TALB\0\0\0\x08\0\0\0\xc5lbum ?", 18));
}
