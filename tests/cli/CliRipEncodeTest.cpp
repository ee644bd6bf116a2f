// discwright-cli rip with encoding in both modes, as a black box: the
// format and keep-WAV flags over options.ini, the JSON event lines, kept
// files, and a cut that runs on past the end of its track.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "support/CdImages.h"
#include "support/TestSupport.h"

using dwtest::runCli;

namespace {

constexpr int kSector = 2352;

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(CliRipEncode, FormatsKeepWavJsonEventsAndACutPastTheTrack)
{
    dwtest::Sandbox box;
    const QString cue = dwtest::makeCdImageFrom(box.path(), {"0:01", "0:03"});
    const QByteArray bin = box.read("disc.bin");
    const QString out = box.file("out");

    for (const QString mode : {"drive", "ripper"}) {
        const std::string m = mode.toStdString();
        QDir(out).removeRecursively();
        // MP3 with the WAVs kept: every event is one JSON object per line.
        auto r = runCli({"rip", "--device", cue, "--output", out, "--mode", mode, "--format", "mp3", "--keep-wav",
                         "--json"});
        ASSERT_EQ(r.status, 0) << m << r.err.toStdString();
        EXPECT_EQ(filesIn(out), (QStringList{"Track01.mp3", "Track01.wav", "Track02.mp3", "Track02.wav"})) << m;
        QStringList stages;
        int lastPercent = -1;
        QJsonObject summary;
        for (const QString& line : r.out.split('\n', Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            ASSERT_FALSE(o.isEmpty()) << line.toStdString();
            if (o["event"] == "stage")
                stages << o["stage"].toString();
            if (o["event"] == "progress" && o["item"] == 2)
                lastPercent = o["percent"].toInt();
            summary = o;
        }
        EXPECT_EQ(stages, (QStringList{"Extracting(01/02): Track01", "Encoding(01/02): Track01",
                                       "Extracting(02/02): Track02", "Encoding(02/02): Track02"}))
            << m;
        EXPECT_EQ(lastPercent, 100) << m;
        EXPECT_EQ(summary["event"], "summary");
        EXPECT_EQ(summary["mode"], mode);
        EXPECT_EQ(summary["format"], "mp3");
        EXPECT_EQ(summary["tracks"].toArray()[1].toObject()["outputs"].toArray().size(), 2) << m;
        // With the default settings (no ID3 option) each MP3 still carries an
        // ID3v2.4 tag naming the track, as mutagen reads it.
        QProcess mutagen;
        mutagen.start("/usr/bin/python3", {"-c",
                                           "import sys\nfrom mutagen.id3 import ID3\nt = ID3(sys.argv[1])\n"
                                           "print(t.version[1], t['TIT2'].text[0], t['TRCK'].text[0])",
                                           out + "/Track02.mp3"});
        ASSERT_TRUE(mutagen.waitForFinished(30000));
        EXPECT_EQ(QString::fromUtf8(mutagen.readAllStandardOutput()).trimmed(), "4 Track02 2/2") << m;

        // Without --overwrite the files of that rip are kept, and every track
        // says so once, in one line.
        r = runCli({"rip", "--device", cue, "--output", out, "--mode", mode, "--format", "mp3"});
        EXPECT_EQ(r.status, 1) << m;
        EXPECT_EQ(r.err, "discwright-cli: " + out + "/Track01.wav: File exists\ndiscwright-cli: " + out
                             + "/Track02.wav: File exists\n")
            << m;
        // An encoded file alone is kept as well, before the track is read.
        QFile::remove(out + "/Track02.wav");
        r = runCli({"rip", "--device", cue, "--output", out, "--mode", mode, "--format", "mp3", "--tracks", "2"});
        EXPECT_EQ(r.status, 1) << m;
        EXPECT_EQ(r.err, "discwright-cli: " + out + "/Track02.mp3: File exists\n") << m;
        EXPECT_EQ(filesIn(out), (QStringList{"Track01.mp3", "Track01.wav", "Track02.mp3"})) << m;
    }

    // Drive mode encodes to Ogg Vorbis and WMA as well; the WAV goes once encoded.
    ASSERT_TRUE(QFile::link(dwtest::binDir() + "/WM8EUTIL", box.programDir() + "/WM8EUTIL"));
    for (const QString format : {"ogg", "wma"}) {
        QDir(out).removeRecursively();
        const auto r = runCli({"rip", "--device", cue, "--output", out, "--mode", "drive", "--format", format});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, out + "/Track01." + format + "\n" + out + "/Track02." + format + "\n");
        EXPECT_EQ(filesIn(out), (QStringList{"Track01." + format, "Track02." + format}));
    }

    // The format from options.ini; a cut of 2 s on a 1 s track runs on into
    // the next track; the WAV goes once encoded.
    QDir(out).removeRecursively();
    ASSERT_EQ(runCli({"config", "CommonOptions.OutputFormat=1"}).status, 0);
    auto r = runCli({"rip", "--device", cue, "--output", out, "--mode", "ripper", "--tracks", "1", "--rip-time", "2"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, out + "/Track01.wav\n");
    EXPECT_TRUE(box.read("out/Track01.wav").mid(44) == bin.left(150 * kSector));
    r = runCli({"rip", "--device", cue, "--output", out, "--mode", "ripper", "--tracks", "2", "--format", "ogg"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesIn(out), (QStringList{"Track01.wav", "Track02.ogg"}));
}

}  // namespace
