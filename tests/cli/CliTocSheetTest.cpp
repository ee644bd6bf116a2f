// CD images described by .toc sheets, and cue sheets, opened from another
// folder than the sheet's: the data files are found beside the sheet, sheets
// of silence alone are discs, and a track with a pregap is as long as its
// index 1 says. The lengths `list --json` shows are the judge, and a rip of
// a sheet whose audio has to be put together is compared with the image.

#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using dwtest::runCli;

namespace {

constexpr int kSector = 2352;

// Runs the tests from another folder, and goes back afterwards.
class TCurrentFolder {
public:
    explicit TCurrentFolder(const QString& path) : old_(QDir::currentPath()) { QDir::setCurrent(path); }
    ~TCurrentFolder() { QDir::setCurrent(old_); }

private:
    QString old_;
};

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The track lengths `list` shows for a device, or the error output.
QStringList lengths(const QString& device)
{
    const auto r = runCli({"list", "--device", device, "--json"});
    if (r.status != 0)
        return {"exit " + QString::number(r.status) + ": " + r.err};
    QStringList list;
    for (const QJsonValue& t : QJsonDocument::fromJson(r.out.toUtf8()).object()["tracks"].toArray())
        list << t.toObject()["length"].toString();
    return list;
}

}  // namespace

TEST(CliTocSheet, SheetsOpenedFromAnotherFolderListTheirTracks)
{
    dwtest::Sandbox box;
    ASSERT_TRUE(QDir().mkpath(box.file("img")) && QDir().mkpath(box.file("elsewhere")));
    // Tracks of 63 s and 2 s: a 65-second bin of 4875 sectors.
    const QString cue = dwtest::makeCdImage(box.file("img"), {63, 2});
    const QString img = box.file("img");
    const struct {
        const char* name;
        const char* sheet;
        QStringList expected;
    } sheets[] = {
        {"plain.toc",
         "CD_DA\n// made by hand\nTRACK AUDIO\nFILE \"disc.bin\" 0 01:03:00\nTRACK AUDIO\nFILE \"disc.bin\" 01:03:00 "
         "00:02:00\n",
         {"01:03", "00:02"}},
        {"silence.toc", "CD_DA\nTRACK AUDIO\nSILENCE 00:04:00\nTRACK AUDIO\nZERO 01:30:00\n", {"00:04", "01:30"}},
        // Index 1 of track 2 lies a second into its audio: track 1 runs up to it.
        {"start.toc",
         "CD_DA\nCD_TEXT { LANGUAGE_MAP { 0 : EN } }\nTRACK AUDIO\nNO COPY\nFILE \"disc.bin\" 0 01:00:00\n"
         "TRACK AUDIO\nISRC \"DEXX00000001\"\nFILE \"disc.bin\" 01:00:00 00:05:00\nSTART 00:03:00\n",
         {"01:03", "00:02"}},
        // Silence before index 1 that is in no file, and a file named by an
        // absolute path with an offset in bytes and a length in samples.
        {"pregap.toc",
         "CD_DA\nTRACK AUDIO\nFILE \"disc.bin\" 0 01:03:00\nTRACK AUDIO\nPREGAP 00:05:00\n"
         "FILE \"IMG/disc.bin\" #11113200 88200\n",
         {"01:08", "00:02"}},
        {"mixed.toc",
         "CD_DA\nTRACK AUDIO\nFILE \"disc.bin\" 0 01:03:00\nTRACK AUDIO\nSILENCE 00:07:00\nSTART\nFILE \"disc.bin\" 01:03:00 "
         "00:02:00\nTRACK AUDIO\nZERO AUDIO 00:01:00\n",
         {"01:10", "00:02", "00:01"}},
    };
    for (const auto& s : sheets) {
        QFile f(img + "/" + s.name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(s.sheet).replace("IMG", img.toUtf8()));
    }

    TCurrentFolder elsewhere(box.file("elsewhere"));
    for (const auto& s : sheets) {
        EXPECT_EQ(lengths(img + "/" + s.name), s.expected) << s.name;
        EXPECT_EQ(lengths(QString("../img/") + s.name), s.expected) << s.name;
    }
    EXPECT_EQ(lengths(cue), (QStringList{"01:03", "00:02"}));
    EXPECT_EQ(lengths("../img/disc.cue"), (QStringList{"01:03", "00:02"}));

    // A sheet with a data track is libcdio's to read, its file found all the same.
    QFile data(img + "/data.toc");
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write("CD_ROM\nTRACK MODE1\nDATAFILE \"disc.bin\" 00:03:00\nTRACK AUDIO\nFILE \"disc.bin\" 00:03:00 00:02:00\n");
    data.close();
    const auto listed = runCli({"list", "--device", "../img/data.toc", "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    const QJsonArray tracks = QJsonDocument::fromJson(listed.out.toUtf8()).object()["tracks"].toArray();
    ASSERT_EQ(tracks.size(), 2);
    EXPECT_TRUE(tracks[0].toObject()["data"].toBool());
    EXPECT_FALSE(tracks[1].toObject()["data"].toBool());

    // Sheets that name what is not there say which file and line.
    QFile bad(img + "/bad.toc");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("CD_DA\nTRACK AUDIO\nFILE \"disc.bin\" 0 01:03:00\nTRACK AUDIO\nFILE \"gone.bin\" 0\n");
    bad.close();
    const QStringList missing = lengths(img + "/bad.toc");
    EXPECT_TRUE(missing.value(0).contains(img + "/bad.toc: line 5: " + img + "/gone.bin: No such file or directory"))
        << missing.join(' ').toStdString();
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
    bad.write("CD_DA\nTRACK AUDIO\nFILE \"disc.bin\" 01:03:00 00:03:00\n");
    bad.close();
    EXPECT_TRUE(lengths(img + "/bad.toc").value(0).contains("lies past its 11466000 bytes of audio"));
}

// Track 2 of a sheet with silence before its index 1 and audio from two
// places: the rip holds exactly the image's bytes from index 1 on.
TEST(CliTocSheet, RipOfAnAssembledSheetHoldsTheSheetsAudio)
{
    dwtest::Sandbox box;
    const QString cue = dwtest::makeCdImage(box.path(), {3, 2});
    const QByteArray bin = readFile(dwtest::binPathOf(cue));
    ASSERT_EQ(bin.size(), 375 * kSector);
    QFile sheet(box.file("two.toc"));
    ASSERT_TRUE(sheet.open(QIODevice::WriteOnly));
    // Track 2: a second of silence, then the second track, then the first
    // second of the first track.
    sheet.write("CD_DA\nTRACK AUDIO\nFILE \"disc.bin\" 0 00:03:00\nTRACK AUDIO\nSILENCE 00:01:00\nSTART\n"
                "FILE \"disc.bin\" 00:03:00 00:02:00\nFILE \"disc.bin\" 0 00:01:00\n");
    sheet.close();
    ASSERT_EQ(runCli({"config", "CommonOptions.OutputFormat=1"}).status, 0);
    TCurrentFolder elsewhere(QDir::rootPath());
    const QString out = box.file("out");
    const auto r = runCli({"rip", "--device", box.file("two.toc"), "--output", out, "--tracks", "1-2"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QByteArray one = readFile(out + "/Track01.wav"), two = readFile(out + "/Track02.wav");
    // Track 1 runs on through the silence before track 2's index 1.
    EXPECT_TRUE(one.mid(44) == bin.left(225 * kSector) + QByteArray(75 * kSector, '\0'));
    EXPECT_TRUE(two.mid(44) == bin.mid(225 * kSector) + bin.left(75 * kSector));
}

// Cue sheets whose data is not "<sheet name>.bin": one file of another name,
// and a WAVE file per track with track 2's pregap at the end of the first.
// They list from another folder and rip the files' audio.
TEST(CliTocSheet, CueSheetsNamingOtherFilesAreReadFromThem)
{
    dwtest::Sandbox box;
    ASSERT_TRUE(QDir().mkpath(box.file("img")));
    const QString cue = dwtest::makeCdImage(box.file("img"), {3, 2});
    const QByteArray bin = readFile(dwtest::binPathOf(cue));
    ASSERT_EQ(bin.size(), 375 * kSector);
    const auto wave = [](const QByteArray& pcm) {
        const auto le32 = [](uint32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
        return "RIFF" + le32(uint32_t(36 + pcm.size())) + "WAVEfmt " + le32(16) + QByteArray("\1\0\2\0", 4) +
               le32(44100) + le32(176400) + QByteArray("\4\0\20\0", 4) + "data" + le32(uint32_t(pcm.size())) + pcm;
    };
    box.write("img/Album.raw", bin);
    box.write("img/t1.wav", wave(bin.left(225 * kSector)));
    box.write("img/t2.wav", wave(bin.mid(225 * kSector)));
    box.write("img/one.cue", "FILE \"Album.raw\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                             " TRACK 02 AUDIO\n  INDEX 00 00:02:00\n  INDEX 01 00:03:00\n");
    box.write("img/wavs.cue", "FILE \"t1.wav\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                              " TRACK 02 AUDIO\n  INDEX 00 00:02:00\nFILE \"t2.wav\" WAVE\n  INDEX 01 00:00:00\n");
    box.write("img/bad.cue", "FILE \"t1.wav\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:04:00\n");
    ASSERT_EQ(runCli({"config", "CommonOptions.OutputFormat=1"}).status, 0);

    TCurrentFolder elsewhere(QDir::rootPath());
    for (const char* name : {"one.cue", "wavs.cue"}) {
        EXPECT_EQ(lengths(box.file("img/") + name), (QStringList{"00:03", "00:02"})) << name;
        const QString out = box.file(QString("out-") + name);
        const auto r = runCli({"rip", "--device", box.file("img/") + name, "--output", out, "--tracks", "1-2"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(readFile(out + "/Track01.wav").mid(44) == bin.left(225 * kSector)) << name;
        EXPECT_TRUE(readFile(out + "/Track02.wav").mid(44) == bin.mid(225 * kSector)) << name;
    }
    EXPECT_TRUE(lengths(box.file("img/bad.cue")).value(0).contains("line 3: the index lies past the 529200 bytes"))
        << lengths(box.file("img/bad.cue")).join(' ').toStdString();
}
