// The ID3v2 frame list of ReadMp3TagInfo on tags assembled byte by byte:
// the three versions, user texts in UTF-16, repeated keys, frames that
// overrun their tag, damaged frames in the middle, genre numbers, and
// headers that lie about their size. The file is never changed by reading it.
#include "tags/GenreText.h"
#include "tags/Mp3TagInfo.h"

#include "TagFiles.h"

#include <gtest/gtest.h>

#include <QJsonArray>

namespace {

using namespace dw;

QByteArray syncsafe(uint32_t v)
{
    const char b[4] = {char((v >> 21) & 0x7F), char((v >> 14) & 0x7F), char((v >> 7) & 0x7F), char(v & 0x7F)};
    return QByteArray(b, 4);
}

QByteArray bigEndian(uint32_t v, int bytes)
{
    QByteArray b;
    for (int i = bytes - 1; i >= 0; --i)
        b.append(char(v >> (8 * i)));
    return b;
}

// A 2.3/2.4 frame (2.4 sizes are syncsafe) or a 2.2 frame.
QByteArray frame(int major, const QByteArray& id, const QByteArray& data)
{
    if (major == 2)
        return id + bigEndian(uint32_t(data.size()), 3) + data;
    return id + (major == 4 ? syncsafe(uint32_t(data.size())) : bigEndian(uint32_t(data.size()), 4)) +
           QByteArray(2, '\0') + data;
}

QByteArray tag(int major, const QByteArray& frames, int padding = 16)
{
    return QByteArray("ID3") + char(major) + '\0' + '\0' + syncsafe(uint32_t(frames.size() + padding)) + frames +
           QByteArray(padding, '\0');
}

// UTF-16 with a byte-order mark, terminated.
QByteArray utf16(const QString& text)
{
    QByteArray b("\xFF\xFE", 2);
    for (QChar c : text) {
        b.append(char(c.unicode() & 0xFF));
        b.append(char(c.unicode() >> 8));
    }
    return b + QByteArray(2, '\0');
}

TMp3TagInfo read(dwtest::Sandbox& box, const QByteArray& bytes)
{
    box.write("t.mp3", bytes);
    TMp3TagInfo info;
    QString error;
    EXPECT_TRUE(ReadMp3TagInfo(box.file("t.mp3"), &info, &error)) << error.toStdString();
    EXPECT_EQ(box.read("t.mp3"), bytes);
    return info;
}

// The list as one line: "KEY=value|value; KEY=value".
QString dump(const TId3v2FrameList& list)
{
    QStringList parts;
    for (const auto& [key, values] : list.frames)
        parts << key + '=' + values.join('|');
    return list.version + ": " + parts.join("; ");
}

// What the ID3v2.4 judge test of the command line does not reach: UTF-16
// user texts, one key gathering repeated frames, frames without text left
// out, and the sizes and names of versions 2.3 and 2.2.
TEST(Mp3TagInfo, EveryTextFrameOfEachVersion)
{
    dwtest::Sandbox box;
    const QByteArray audio = tagtest::audioBytes(600);
    const QByteArray latin1("\x00", 1);
    QByteArray v24 = frame(4, "TIT2", QByteArray("\x03", 1) + "Caf\xc3\xa9" + '\0' + "Second");
    v24 += frame(4, "TXXX", latin1 + "REPLAYGAIN_TRACK_GAIN" + '\0' + "-6.54 dB");
    v24 += frame(4, "TXXX", QByteArray("\x01", 1) + utf16("R128_TRACK_GAIN") + utf16("-512"));
    v24 += frame(4, "APIC", QByteArray("\x00image/png\x00\x03\x00", 13) + tagtest::audioBytes(40));
    v24 += frame(4, "TXXX", latin1 + "REPLAYGAIN_TRACK_GAIN" + '\0' + "-1.00 dB");
    const struct {
        QByteArray tag;
        QString expected;
    } cases[] = {
        {tag(4, v24), QString::fromUtf8("2.4.0: TIT2=Caf\xc3\xa9|Second; TXXX:REPLAYGAIN_TRACK_GAIN=-6.54 dB|-1.00 dB; "
                                        "TXXX:R128_TRACK_GAIN=-512")},
        {tag(3, frame(3, "TPE1", latin1 + "Band") + frame(3, "TXXX", latin1 + "REPLAYGAIN_ALBUM_PEAK" + '\0' + "0.5")),
         "2.3.0: TPE1=Band; TXXX:REPLAYGAIN_ALBUM_PEAK=0.5"},
        {tag(2, frame(2, "TT2", latin1 + "Old") + frame(2, "TXX", latin1 + "MOOD" + '\0' + "calm")),
         "2.2.0: TIT2=Old; TXXX:MOOD=calm"},
    };
    for (const auto& c : cases) {
        const TMp3TagInfo info = read(box, c.tag + audio);
        EXPECT_TRUE(info.id3v2Frames.present && info.id3v2Frames.problem.isEmpty());
        EXPECT_EQ(dump(info.id3v2Frames).toStdString(), c.expected.toStdString());
    }

    // No tag: nothing to list and nothing wrong.
    const TMp3TagInfo info = read(box, audio + tagtest::trailer("T", "", "", "", "", 0));
    EXPECT_FALSE(info.id3v2Frames.present);
    EXPECT_TRUE(info.id3v2Frames.problem.isEmpty());
    EXPECT_TRUE(info.hasId3v1);
}

TEST(Mp3TagInfo, DamagedTagsAreReportedAndTheRestIsStillRead)
{
    dwtest::Sandbox box;
    const QByteArray audio = tagtest::audioBytes(600);
    const QByteArray trailer = tagtest::trailer("Trailer", "", "", "", "", 8);
    const QString file = box.file("t.mp3");
    const QByteArray good = tag(4, frame(4, "TIT2", QByteArray("\x03", 1) + "Kept") +
                                       frame(4, "TALB", QByteArray("\x03", 1) + "Album"));

    struct Case {
        const char* what;
        QByteArray bytes;
        QString problem;  // empty: the tag is read
    };
    QByteArray badVersion = good;
    badVersion[3] = 9;
    QByteArray sizeBit = good;
    sizeBit[6] = char(0x80);
    QByteArray huge = good;
    huge.replace(6, 4, syncsafe(0x0FFFFFFF));
    // The second frame claims more bytes than the tag has left.
    QByteArray overrun = good;
    overrun.replace(10 + 10 + 5 + 4, 4, syncsafe(5000));
    const Case cases[] = {
        {"cut header", QByteArray("ID3\x04\x00", 5), file + ": the ID3v2 header is cut short (5 of 10 bytes)"},
        {"version", badVersion + audio + trailer,
         file + ": the ID3v2 header is damaged (version 2.9.0, flags 0x00, size bytes 00 00 00 2f)"},
        {"size bit", sizeBit + audio + trailer,
         file + ": the ID3v2 header is damaged (version 2.4.0, flags 0x00, size bytes 80 00 00 2f)"},
        {"larger than the file", huge + audio + trailer,
         file + QString(": the ID3v2 tag claims %1 bytes but the file has only %2")
                    .arg(0x0FFFFFFF + 10)
                    .arg(huge.size() + audio.size() + 128)},
        {"frame overruns", overrun + audio + trailer, QString()},
    };
    for (const Case& c : cases) {
        const TMp3TagInfo info = read(box, c.bytes);
        EXPECT_EQ(info.id3v2Frames.problem.toStdString(), c.problem.toStdString()) << c.what;
        EXPECT_EQ(info.id3v2Frames.present, c.problem.isEmpty()) << c.what;
        if (c.bytes.endsWith(trailer))
            EXPECT_EQ(info.id3v1.value(0).second, "Trailer") << c.what;
    }
    // What comes before a frame that overruns the tag is kept.
    EXPECT_EQ(dump(read(box, overrun + audio).id3v2Frames), "2.4.0: TIT2=Kept");
}

// A damaged frame in the middle of a tag (no data, a name that is no name, a
// length indicator longer than the frame, a frame TagLib cannot decode) is
// stepped over: the title and artist after it are still read, by the frame
// list and by the tag container alike.
TEST(Mp3TagInfo, DamagedFramesAreSteppedOver)
{
    dwtest::Sandbox box;
    const QByteArray audio = tagtest::audioBytes(600);
    const QByteArray utf8("\x03", 1);
    struct Case {
        const char* what;
        int major;
        QByteArray damaged;
    };
    const Case cases[] = {
        {"empty POPM 2.4", 4, frame(4, "POPM", "")},
        {"empty POPM 2.3", 3, frame(3, "POPM", "")},
        // The flags announce a 4-byte length indicator in a 3-byte frame.
        {"TENC cut by its flags", 4, QByteArray("TENC") + syncsafe(3) + '\0' + '\x01' + "abc"},
        {"lower-case name", 4, frame(4, "Tenc", utf8 + "enc")},
        {"name of control bytes", 3, frame(3, QByteArray("\x01\x02\x03\x04", 4), "xyz")},
        {"empty 2.2 frame", 2, frame(2, "TEN", "")},
    };
    for (const Case& c : cases) {
        const bool v22 = c.major == 2;
        const QByteArray album = v22 ? "TAL" : "TALB", title = v22 ? "TT2" : "TIT2", artist = v22 ? "TP1" : "TPE1";
        const QByteArray frames = frame(c.major, album, QByteArray("\x00", 1) + "Before") + c.damaged +
                                  frame(c.major, title, QByteArray("\x00", 1) + "Title") +
                                  frame(c.major, artist, QByteArray("\x00", 1) + "Artist");
        const TMp3TagInfo info = read(box, tag(c.major, frames) + audio);
        EXPECT_EQ(dump(info.id3v2Frames).toStdString(),
                  QString("2.%1.0: TALB=Before; TIT2=Title; TPE1=Artist").arg(c.major).toStdString())
            << c.what;
        EXPECT_TRUE(info.id3v2Frames.problem.isEmpty()) << c.what;
        EXPECT_EQ(info.id3v2.value(0), (QPair<QString, QString>{"title", "Title"})) << c.what;
        EXPECT_EQ(info.id3v2.value(1), (QPair<QString, QString>{"artist", "Artist"})) << c.what;
    }
}

// Genre numbers of the ID3v1 list read as names, in the content-type frame
// of each version (as the tag's genre and in the frame list) and on their own.
TEST(Mp3TagInfo, GenreNumbersAreShownByName)
{
    const struct {
        const char* text;
        const char* shown;
    } texts[] = {
        {"35", "House"},         {"(80)", "Folk"},        {"(80)Folk", "Folk"},   {"(17)(35)", "Rock, House"},
        {"(RX)", "Remix"},       {"(CR)", "Cover"},       {"0", "Blues"},         {"147", "Synthpop"},
        {"200", "200"},          {"(200)", "200"},        {"((Odd)", "(Odd)"},    {"(Live)", "(Live)"},
        {"(80", "(80"},          {"Folk", "Folk"},        {"1234", "1234"},       {"", ""},
    };
    for (const auto& t : texts)
        EXPECT_EQ(GenreDisplayText(t.text).toStdString(), t.shown) << t.text;

    dwtest::Sandbox box;
    const QByteArray latin1("\x00", 1);
    const struct {
        int major;
        QByteArray tcon;
        QString genre;  // the tag's genre
        QString listed; // the frame list's values
    } cases[] = {
        {3, latin1 + "(80)", "Folk", "Folk"},
        {3, latin1 + "(17)(35)", "Rock, House", "Rock|House"},
        {3, latin1 + "(80)Folk", "Folk", "Folk"},
        {4, latin1 + "35", "House", "House"},
        {4, QByteArray("\x03", 1) + "9" + '\0' + "Shoegaze", "Metal", "Metal|Shoegaze"},
        {2, latin1 + "(8)", "Jazz", "Jazz"},
    };
    for (const auto& c : cases) {
        const TMp3TagInfo info = read(box, tag(c.major, frame(c.major, c.major == 2 ? "TCO" : "TCON", c.tcon)) +
                                               tagtest::audioBytes(300));
        EXPECT_EQ(info.id3v2.value(0), (QPair<QString, QString>{"genre", c.genre})) << c.tcon.toStdString();
        EXPECT_EQ(dump(info.id3v2Frames).toStdString(),
                  QString("2.%1.0: TCON=%2").arg(c.major).arg(c.listed).toStdString());
    }
}

// The trailer's Latin-1 text is decoded once, and its year is shown as
// written, "0000" included.
TEST(Mp3TagInfo, TrailerTextDecodedOnceAndYearAsWritten)
{
    dwtest::Sandbox box;
    const TMp3TagInfo info =
        read(box, tagtest::audioBytes(400) + tagtest::trailer("Caf\xe9", "M\xfcller", "\xc6on", "0000", "ol\xe9", 80));
    const QList<QPair<QString, QString>> expected = {
        {"title", QString::fromUtf8("Caf\xc3\xa9")}, {"artist", QString::fromUtf8("M\xc3\xbcller")},
        {"album", QString::fromUtf8("\xc3\x86on")},  {"year", "0000"},
        {"genre", "Folk"},                            {"comment", QString::fromUtf8("ol\xc3\xa9")},
    };
    EXPECT_EQ(info.id3v1, expected);
}

// A tag of 240,000 frames with as many keys is read in full and in order,
// and turned into JSON, well within the test's time-out (a search per key
// used to take minutes).
TEST(Mp3TagInfo, ManyFramesAreReadInTimeProportionalToTheirNumber)
{
    dwtest::Sandbox box;
    constexpr int kFrames = 240000;
    QByteArray frames;
    frames.reserve(kFrames * 30);
    for (int i = 0; i < kFrames; ++i)
        frames += frame(4, "TXXX", QByteArray("\x00", 1) + "K" + QByteArray::number(i) + '\0' + QByteArray::number(i));
    frames += frame(4, "TXXX", QByteArray("\x00", 1) + "K7" + '\0' + "again");
    const TMp3TagInfo info = read(box, tag(4, frames) + tagtest::audioBytes(300));
    const TId3v2FrameList& list = info.id3v2Frames;
    ASSERT_EQ(list.frames.size(), kFrames);
    EXPECT_EQ(list.frames.first().first, "TXXX:K0");
    EXPECT_EQ(list.frames[7].second, (QStringList{"7", "again"}));
    EXPECT_EQ(list.frames.last(), (QPair<QString, QStringList>{"TXXX:K239999", {"239999"}}));
    const QJsonObject json = FramesAsJson(list);
    EXPECT_EQ(json.size(), kFrames);
    EXPECT_EQ(json["TXXX:K123456"].toString(), "123456");
    EXPECT_EQ(json["TXXX:K7"].toArray().size(), 2);
}

}  // namespace
