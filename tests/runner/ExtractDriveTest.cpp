// The extract command in drive mode: the rip engine reading through the
// drive library gives the same files, byte for byte, as the job runner that
// rips and encodes one track after the other; a drive that cannot be used
// tells so once and ends or holds the job.

#include "app/ResourceText.h"
#include "app/Settings.h"
#include "cd/DiscListing.h"
#include "cd/DriveLibrary.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"
#include "runner/Extract.h"
#include "runner/RunJob.h"
#include "support/CdImages.h"
#include "support/JobWait.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

using namespace dw;
using Outcome = TJobItemResult::Outcome;

namespace {

class ExtractDriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetExplicitCdDevices({dwtest::makeCdImage(box.path(), {2, 1, 2})});
        ASSERT_EQ(disc.Open(TRipModeChoice::Drive, 0), TDiscProblem::None) << disc.Message().toStdString();
        ASSERT_TRUE(disc.DriveMode());
        ASSERT_EQ(disc.Rows().size(), 3u);
        ASSERT_TRUE(QDir().mkpath(box.file("pipe")));
        ASSERT_TRUE(QDir().mkpath(box.file("seq")));
        config.Options.OutputFolder = box.file("pipe") + "/";
    }
    void TearDown() override { SetExplicitCdDevices({}); }

    QStringList files(const QString& folder) const
    {
        return QDir(box.file(folder)).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    dwtest::Sandbox box;
    TExtractDisc disc{AppSettings};
    TJobConfig config;
    TJobView view;
    ScriptedDialogs dialogs;
    ScopedDialogs scoped{dialogs};
};

// Normalised, measured for ReplayGain (track and album values), tagged, WAVs
// kept: every file of the overlapped rip equals the sequential one.
TEST_F(ExtractDriveTest, TheOverlappedRipWritesTheSameBytesAsTheSequentialJob)
{
    config.Options.IsNormalize = true;
    config.Options.NormalizePercent = 90;
    config.Options.ReplayGainUse = true;
    config.Options.IsKeepWav = true;
    config.Disc.DiscArtist = "Artist";
    config.Disc.DiscAlbum = "Album";
    for (const TrackRow& row : disc.Rows())
        config.Disc.DiscTitles[std::size_t(row.track)] = row.title;
    const QStringList items = BuildJobList(disc.Rows());
    // MP3 with and without the ID3v1 trailer option, and FLAC.
    for (const auto& [format, id3v1] : {std::pair{TOutputFormat::Mp3, false}, std::pair{TOutputFormat::Mp3, true},
                                        std::pair{TOutputFormat::Flac, false}}) {
        SCOPED_TRACE(int(format) * 10 + int(id3v1));
        config.Options.Use = id3v1;
        for (const QString& folder : {QStringLiteral("pipe"), QStringLiteral("seq")})
            for (const QString& name : files(folder))
                ASSERT_TRUE(QFile::remove(box.file(folder + "/" + name)));
        config.Options.OutputFormat = int(format);

        TExtract extract(disc, view);
        const TExtractResult r = dwtest::runExtract(extract, config);
        ASSERT_TRUE(r.AllDone()) << r.Message.toStdString();
        ASSERT_EQ(r.Items.size(), 3u);

        TJobConfig sequential = config;
        sequential.Options.OutputFolder = box.file("seq") + "/";
        const TJobSummary s = dwtest::runJob(jkRipTracks, disc.Listing().CDHandle, items, sequential, view);
        for (const TJobItemResult& item : s.items)
            ASSERT_EQ(item.outcome, Outcome::Done) << item.message.toStdString();

        const QStringList made = files("pipe");
        EXPECT_EQ(made.size(), 6) << made.join(' ').toStdString();
        EXPECT_EQ(made, files("seq"));
        for (const QString& name : made)
            EXPECT_EQ(box.read("pipe/" + name), box.read("seq/" + name)) << name.toStdString();
    }
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('\n').toStdString();
}

// The drive cannot be set up: its item fails, the notice is shown once and
// nothing is written. Without a Stop button the job ends by itself (not as
// stopped); with one it waits for the Stop.
TEST_F(ExtractDriveTest, AnUnusableDriveFailsItsItemAndEndsOrHoldsTheJob)
{
    config.Options.OutputFormat = int(TOutputFormat::Mp3);
    CloseCDHandle(disc.Listing().CDHandle);  // the drive can no longer be set up

    TExtract ending(disc, view);
    ending.SetEndOnStall(true);
    const TExtractResult r = dwtest::runExtract(ending, config);
    ASSERT_TRUE(r.Ran);
    EXPECT_FALSE(r.Stopped);
    ASSERT_EQ(r.Items.size(), 3u);
    EXPECT_EQ(r.Items[0].Result.outcome, Outcome::Failed);
    EXPECT_EQ(r.Items[1].Result.outcome, Outcome::Stopped);
    EXPECT_EQ(r.Items[2].Result.outcome, Outcome::Stopped);
    EXPECT_EQ(dialogs.texts(), QStringList{ResourceText(res::ModifyCDParmsError)});
    EXPECT_TRUE(files("pipe").isEmpty());

    dialogs.clear();
    TExtract holding(disc, view);
    bool ended = false;
    TExtractResult held;
    holding.Start(config, [&](const TExtractResult& result) {
        held = result;
        ended = true;
    });
    ASSERT_TRUE(dwtest::waitFor([&] { return !dialogs.texts().isEmpty(); }));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_FALSE(ended) << "the job ended without being stopped";
    holding.Stop();
    ASSERT_TRUE(dwtest::waitFor([&] { return ended; }));
    EXPECT_EQ(held.Items[0].Result.outcome, Outcome::Failed);
    EXPECT_FALSE(held.AllDone());
    EXPECT_EQ(dialogs.texts(), QStringList{ResourceText(res::ModifyCDParmsError)});
    EXPECT_TRUE(files("pipe").isEmpty());
}

// A file that may not be replaced fails its item before the track is read,
// with the refusal in a message box as well; the other items go on.
TEST_F(ExtractDriveTest, ARefusedFileIsShownInABoxAndTheOtherTracksAreRipped)
{
    config.Options.OutputFormat = int(TOutputFormat::Wav);
    config.Overwrite = false;
    box.write("pipe/Track02.wav", "older");
    const TExtractResult r = [&] {
        TExtract extract(disc, view);
        return dwtest::runExtract(extract, config);
    }();
    ASSERT_EQ(r.Items.size(), 3u);
    EXPECT_EQ(r.Items[0].Result.outcome, Outcome::Done);
    EXPECT_EQ(r.Items[1].Result.outcome, Outcome::Failed);
    EXPECT_EQ(r.Items[2].Result.outcome, Outcome::Done);
    const QString refusal = box.file("pipe") + "/Track02.wav: File exists";
    EXPECT_EQ(r.Items[1].Result.message, refusal);
    EXPECT_EQ(dialogs.texts(), QStringList{refusal});
    EXPECT_EQ(box.read("pipe/Track02.wav"), "older");
    EXPECT_EQ(files("pipe"), (QStringList{"Track01.wav", "Track02.wav", "Track03.wav"}));
}

// Without lame every MP3 encoding fails: each track's failure is told in a
// box of its own, after the handler that found it, and its ripped WAV stays.
TEST_F(ExtractDriveTest, AFailedEncodingIsShownInABoxAndItsWavStays)
{
    config.Options.OutputFormat = int(TOutputFormat::Mp3);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", box.file("no-tools").toLocal8Bit());
    const TExtractResult r = [&] {
        TExtract extract(disc, view);
        return dwtest::runExtract(extract, config);
    }();
    qputenv("PATH", path);
    ASSERT_EQ(r.Items.size(), 3u);
    QStringList messages;
    for (const TCDRipItem& item : r.Items) {
        EXPECT_EQ(item.Result.outcome, Outcome::Failed);
        EXPECT_FALSE(item.Result.message.isEmpty());
        messages << item.Result.message;
    }
    EXPECT_EQ(dialogs.texts(), messages);
    EXPECT_EQ(files("pipe"), (QStringList{"Track01.wav", "Track02.wav", "Track03.wav"}));
}


}  // namespace
