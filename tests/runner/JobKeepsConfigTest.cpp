// A job runs with the configuration it was started with: the settings
// record changed in the window and options.ini rewritten and reloaded while
// the job runs reach neither the items still to come nor the end of the job.
// A drive-mode rip of a CD image and a conversion run over several runners,
// judged by the files made and by peers (metaflac, sox).

#include "app/JobConfig.h"
#include "app/Settings.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"
#include "runner/RunJob.h"
#include "support/SineWav.h"
#include "support/CdImages.h"
#include "support/ImageDrive.h"
#include "support/JobWait.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace dw;
using Outcome = TJobItemResult::Outcome;

namespace {

class StageHook : public TJobView {
public:
    explicit StageHook(std::function<void(const TJobStage&)> onStage = {}) : onStage_(std::move(onStage)) {}
    void StageStarted(const TJobStage& stage) override
    {
        if (onStage_)
            onStage_(stage);
    }

private:
    std::function<void(const TJobStage&)> onStage_;
};

// A 16-bit stereo 44100 Hz sine WAV.
void writeWav(const QString& path, double seconds)
{
    writeSineWav(path, 44100, seconds);
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// The Vorbis comments of a FLAC file, "NAME=value" each.
QStringList flacTags(const QString& file)
{
    return dwtest::peer("metaflac", {"--export-tags-to=-", file}).split('\n', Qt::SkipEmptyParts);
}

// The largest sample of a file as a fraction of full scale (sox), -1 when unknown.
double peakOf(const QString& file)
{
    const dwtest::ToolResult r = dwtest::runTool("sox", {file, "-n", "stat"});
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Maximum amplitude:\\s*([0-9.]+)")).match(QString::fromUtf8(r.err));
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

class JobKeepsConfig : public ::testing::Test {
protected:
    void SetUp() override
    {
        AppSettings = TAppSettings{};
        out = box.file("out");
        other = box.file("other");
        QDir().mkpath(out);
        QDir().mkpath(other);
    }
    void TearDown() override
    {
        if (handle)
            CloseCDHandle(handle);
        SetExplicitCdDevices({});
        AppSettings = TAppSettings{};
    }
    void openDisc(const std::vector<int>& seconds)
    {
        handle = dwtest::openImageDrive(dwtest::makeCdImage(box.path(), seconds));
        ASSERT_NE(handle, 0);
    }
    // What another part of the program does while a job runs: the window
    // changes the record, and options.ini is rewritten and read back.
    void changeSettingsElsewhere()
    {
        AppSettings.OutputFolder = other + "/";
        AppSettings.IsNormalize = false;
        AppSettings.ReplayGainUse = false;
        AppSettings.DiscArtist = "Someone Else";
        AppSettings.DiscAlbum = "Another Album";
        AppSettings.DiscTitles[2] = "Renamed";
        AppSettings.OutputFormat = int(TOutputFormat::Ogg);
        QString error;
        ASSERT_TRUE(SaveSettings(&error)) << error.toStdString();
        ASSERT_TRUE(StoreSetting(SettingsFilePath(), "CommonOptions", "OutputFormat",
                                 QString::number(int(TOutputFormat::Mp3)), &error))
            << error.toStdString();
        LoadSettings();
        ++changes;
    }

    dwtest::Sandbox box;
    ScriptedDialogs dialogs;
    QString out, other;
    int handle = 0;
    int changes = 0;
};

}  // namespace

TEST_F(JobKeepsConfig, DriveRipKeepsFormatFolderNormalisingAndTagsItStartedWith)
{
    openDisc({2, 2});
    AppSettings.OutputFormat = int(TOutputFormat::Flac);
    AppSettings.OutputFolder = out + "/";
    AppSettings.IsNormalize = true;
    AppSettings.NormalizePercent = 40;
    AppSettings.DiscArtist = "The Artist";
    AppSettings.DiscAlbum = "The Album";
    AppSettings.DiscTrackCount = 2;
    AppSettings.DiscTitles[1] = "One";
    AppSettings.DiscTitles[2] = "Two";
    const TJobConfig config = TJobConfig::FromSettings(AppSettings);

    // The change lands once the first track is being read.
    StageHook view([&](const TJobStage& stage) {
        if (stage.number == 1 && changes == 0)
            changeSettingsElsewhere();
    });
    ScopedDialogs scoped(dialogs);
    const TJobSummary s = dwtest::runJob(jkRipTracks, handle, {"01One", "02Two"}, config, view);

    ASSERT_EQ(changes, 1);
    EXPECT_EQ(AppSettings.OutputFormat, int(TOutputFormat::Mp3));  // the reload did happen
    ASSERT_EQ(s.items.size(), 2u);
    for (const TJobItemResult& r : s.items)
        EXPECT_EQ(r.outcome, Outcome::Done) << r.message.toStdString();
    // FLAC in the first folder, the ripped WAVs gone as the job's options say.
    EXPECT_EQ(filesIn(out), (QStringList{"One.flac", "Two.flac"}));
    EXPECT_TRUE(filesIn(other).isEmpty()) << filesIn(other).join(',').toStdString();
    // The second track carries the disc as the job started.
    const QStringList tags = flacTags(out + "/Two.flac");
    EXPECT_TRUE(tags.contains("ARTIST=The Artist", Qt::CaseInsensitive)) << tags.join(';').toStdString();
    EXPECT_TRUE(tags.contains("ALBUM=The Album", Qt::CaseInsensitive)) << tags.join(';').toStdString();
    EXPECT_TRUE(tags.contains("TITLE=Two", Qt::CaseInsensitive)) << tags.join(';').toStdString();

    // Both tracks scaled to the job's 40 %: against the same tracks ripped
    // as they are.
    TJobConfig plain = config;
    plain.Options.IsNormalize = false;
    plain.Options.OutputFolder = box.file("plain") + "/";
    ASSERT_TRUE(QDir().mkpath(box.file("plain")));
    StageHook quiet;
    const TJobSummary p = dwtest::runJob(jkRipTracks, handle, {"01One", "02Two"}, plain, quiet);
    ASSERT_TRUE(p.allDone());
    for (const char* name : {"/One.flac", "/Two.flac"}) {
        const double full = peakOf(box.file("plain") + name);
        ASSERT_GT(full, 0.05) << name;
        EXPECT_NEAR(peakOf(out + name) / full, 0.40, 0.01) << name;
    }
}

TEST_F(JobKeepsConfig, ConversionRunnersStartedLaterKeepTheFolderAndReplayGainOfTheRun)
{
    QStringList inputs;
    for (const char* name : {"a", "b", "c"}) {
        inputs << box.file(QString::fromLatin1(name) + ".wav");
        writeWav(inputs.back(), 1.0);
    }
    AppSettings.OutputFolder = out + "/";
    AppSettings.ReplayGainUse = true;
    const TJobConfig config = TJobConfig::FromSettings(AppSettings);

    // Two runners at a time: the third item's runner is made only after the
    // change, so it too must be given the run's configuration.
    ScopedDialogs scoped(dialogs);
    const TJobSummary s = dwtest::runConversionJobs(jkToFlac, inputs, 2, config, [this] {
        return std::make_unique<StageHook>([this](const TJobStage&) {
            if (changes == 0)
                changeSettingsElsewhere();
        });
    });

    ASSERT_EQ(changes, 1);
    ASSERT_EQ(s.items.size(), 3u);
    for (const TJobItemResult& r : s.items)
        EXPECT_EQ(r.outcome, Outcome::Done) << r.message.toStdString();
    EXPECT_EQ(filesIn(out), (QStringList{"a.flac", "b.flac", "c.flac"}));
    EXPECT_TRUE(filesIn(other).isEmpty()) << filesIn(other).join(',').toStdString();
    for (const char* name : {"/a.flac", "/b.flac", "/c.flac"}) {
        const QStringList tags = flacTags(out + name);
        EXPECT_FALSE(tags.filter(QRegularExpression("^REPLAYGAIN_TRACK_GAIN=", QRegularExpression::CaseInsensitiveOption))
                         .isEmpty())
            << name << " " << tags.join(';').toStdString();
    }
}
