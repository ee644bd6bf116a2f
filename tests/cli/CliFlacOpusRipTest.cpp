// Ripping a CD image to FLAC (drive and ripper mode) and to Opus, judged by the
// reference tools: the FLAC tracks pass `flac -t` and decode to the disc's
// samples; the Opus tracks pass opusinfo; both carry the track title and
// number as comments when the ID3 option is on, and no WAV is left.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include "support/CdImages.h"
#include "support/TestSupport.h"

using dwtest::runCli;

namespace {

constexpr int kSector = 2352;

dwtest::ToolResult run(const QString& program, const QStringList& args)
{
    return dwtest::runTool(program, args);
}

TEST(CliFlacOpusRip, RipperModeWritesFlacAndOpusWithTheTrackComments)
{
    dwtest::Sandbox box;
    const QString cue = dwtest::makeCdImageFrom(box.path(), {"0:01", "0:03"});
    const QByteArray bin = box.read("disc.bin");
    const QString out = box.file("out");
    // No ID3 option: FLAC and Opus tracks carry their comments regardless.
    ASSERT_EQ(runCli({"config", "FlacOptions.CompressionLevel=8"}).status, 0);
    ASSERT_EQ(runCli({"config", "OpusOptions.BitRate=96"}).status, 0);
    ASSERT_EQ(runCli({"title", "--device", cue, "2", "Second"}).status, 0);

    // Drive mode (a CD image by default) encodes FLAC after the rip as well:
    // the disc's samples, the track's comments, the level's block size, and
    // no WAV left.
    auto r = runCli({"rip", "--device", cue, "--output", out, "--format", "flac", "--tracks", "2"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QStringList files = QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
    ASSERT_TRUE(files[0].endsWith(".flac") && files[0].contains("Second")) << files[0].toStdString();
    const QString driveFlac = out + "/" + files[0];
    EXPECT_TRUE(run("flac", {"-t", "-s", driveFlac}).ok);
    const auto driveTags = run("metaflac", {"--export-tags-to=-", driveFlac});
    EXPECT_TRUE(driveTags.out.contains("title=Second\n")) << driveTags.out.toStdString();
    EXPECT_TRUE(driveTags.out.contains("tracknumber=2\n")) << driveTags.out.toStdString();
    EXPECT_TRUE(driveTags.out.contains("tracktotal=2\n")) << driveTags.out.toStdString();
    EXPECT_EQ(run("metaflac", {"--show-max-blocksize", driveFlac}).out.trimmed(), "4096");  // level 8
    ASSERT_TRUE(run("flac", {"-s", "-d", "--force-raw-format", "--endian=little", "--sign=signed", "-o",
                             box.file("drive.raw"), driveFlac})
                    .ok);
    EXPECT_TRUE(box.read("drive.raw") == bin.mid(75 * kSector, 225 * kSector));
    QDir(out).removeRecursively();

    r = runCli({"rip", "--device", cue, "--output", out, "--mode", "ripper", "--format", "flac"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList flacs = QDir(out).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(flacs.size(), 2) << flacs.join(' ').toStdString();
    const QString second = out + "/" + flacs.filter("Second").value(0);
    ASSERT_TRUE(second.endsWith(".flac")) << flacs.join(' ').toStdString();
    EXPECT_EQ(r.out, out + "/" + flacs.filter("Track01").value(0) + "\n" + second + "\n");
    EXPECT_TRUE(run("flac", {"-t", "-s", second}).ok);
    const auto tags = run("metaflac", {"--export-tags-to=-", second});
    EXPECT_TRUE(tags.out.contains("title=Second\n")) << tags.out.toStdString();
    EXPECT_TRUE(tags.out.contains("tracknumber=2\n")) << tags.out.toStdString();
    EXPECT_EQ(run("metaflac", {"--show-total-samples", second}).out.trimmed(), "132300");
    EXPECT_EQ(run("metaflac", {"--show-max-blocksize", second}).out.trimmed(), "4096");  // level 8
    ASSERT_TRUE(run("flac", {"-s", "-d", "--force-raw-format", "--endian=little", "--sign=signed", "-o",
                             box.file("t2.raw"), second})
                    .ok);
    EXPECT_TRUE(box.read("t2.raw") == bin.mid(75 * kSector, 225 * kSector));

    QDir(out).removeRecursively();
    r = runCli({"rip", "--device", cue, "--output", out, "--mode", "ripper", "--format", "opus", "--tracks", "2"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList opus = QDir(out).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(opus.size(), 1) << opus.join(' ').toStdString();
    ASSERT_TRUE(opus[0].endsWith(".opus"));
    const auto info = run("opusinfo", {out + "/" + opus[0]});
    EXPECT_TRUE(info.ok);
    EXPECT_FALSE(info.out.contains("WARNING") || info.out.contains("ERROR")) << info.out.toStdString();
    EXPECT_TRUE(info.out.contains("title=Second")) << info.out.toStdString();
    EXPECT_TRUE(info.out.contains("tracknumber=2"));
    EXPECT_TRUE(info.out.contains("Original sample rate: 44100 Hz"));
    EXPECT_TRUE(info.out.contains("Playback length: 0m:03.000s")) << info.out.toStdString();

    // The format is named in the refusal of an unknown one.
    r = runCli({"rip", "--device", cue, "--output", out, "--format", "ape"});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.err.contains("flac or opus")) << r.err.toStdString();
}

}  // namespace
