// The jobs front ends start: CD jobs over images in drive mode (the real rip
// thread, lame, WM8EUTIL and our Ogg Vorbis writer) and conversions of WAV
// files written at run time; results judged by peers (mutagen,
// vorbiscomment, ogginfo, ffprobe).

#include "app/Genres.h"
#include "app/ResourceText.h"
#include "app/Settings.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"
#include "platform/NativePath.h"
#include "runner/ConversionChecks.h"
#include "runner/JobWmaEstimate.h"
#include "runner/RunJob.h"
#include "support/SineWav.h"
#include "support/CdImages.h"
#include "support/ImageDrive.h"
#include "support/JobWait.h"
#include "support/TestSupport.h"
#include "tags/Id3Tag.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <thread>

using namespace dw;
using Outcome = TJobItemResult::Outcome;

using dwtest::peer;

namespace {

class RecordingView : public TJobView {
public:
    void StageStarted(const TJobStage& stage) override
    {
        captions << stage.Caption();
        if (onStage)
            onStage(stage);
    }
    void ItemFinished(const TJobItemResult& result) override { finished.push_back(result); }
    void Closed() override { ++closed; }

    QStringList captions;
    std::vector<TJobItemResult> finished;
    int closed = 0;
    std::function<void(const TJobStage&)> onStage;
};


// A 16-bit stereo sine WAV at the given rate.
void writeWav(const QString& path, int rate, double seconds)
{
    writeSineWav(path, rate, seconds);
}

class RunJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AppSettings = TAppSettings{};
        out = box.file("out");
        QDir().mkpath(out);
        AppSettings.OutputFolder = out;
        ASSERT_TRUE(QFile::link(dwtest::binDir() + "/WM8EUTIL", box.programDir() + "/WM8EUTIL"));
    }
    void TearDown() override
    {
        if (handle)
            CloseCDHandle(handle);
        SetExplicitCdDevices({});
        AppSettings = TAppSettings{};
    }
    // A disc of tones with the given lengths in seconds; a negative length is
    // a data track of that many seconds (its rip fails).
    void openDisc(const std::vector<int>& seconds, const QString& dataTrack = {})
    {
        dwtest::CdImageOptions o;
        if (!dataTrack.isEmpty())
            o.withDataTrack(dataTrack);
        const QString cue = dwtest::makeCdImage(box.path(), seconds, o);
        handle = dwtest::openImageDrive(cue);
        ASSERT_NE(handle, 0);
    }
    TJobSummary rip(const QStringList& items)
    {
        ScopedDialogs scoped(dialogs);
        return dwtest::runJob(jkRipTracks, handle, items, TJobConfig::FromSettings(AppSettings), view);
    }
    QStringList files() const
    {
        return QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    static std::vector<Outcome> outcomes(const TJobSummary& s)
    {
        std::vector<Outcome> r;
        for (const TJobItemResult& i : s.items)
            r.push_back(i.outcome);
        return r;
    }

    dwtest::Sandbox box;
    QString out;
    int handle = 0;
    ScriptedDialogs dialogs;
    RecordingView view;
};

TEST_F(RunJobTest, CdJobWithWavOutputRipsEveryTrackAndStartsNoEncoder)
{
    openDisc({2, 1, 2});
    AppSettings.OutputFormat = 1;
    const TJobSummary s = rip({"01One", "02Two", "03Three"});
    EXPECT_EQ(outcomes(s), std::vector<Outcome>(3, Outcome::Done));
    EXPECT_EQ(files(), (QStringList{"One.wav", "Three.wav", "Two.wav"}));
    EXPECT_EQ(view.captions, (QStringList{"Extracting(01/03): One", "Extracting(02/03): Two",
                                          "Extracting(03/03): Three"}));
    EXPECT_EQ(view.closed, 1);
    EXPECT_EQ(s.items[1].outputs, QStringList{out + "/Two.wav"});
    // 1 s of CD audio plus the 44-byte header.
    EXPECT_EQ(QFileInfo(out + "/Two.wav").size(), 44 + 75 * 2352);
}

// A failed rip in the middle of an encoding job: reported once, no encoded
// file and no tag for it, and the next track is still ripped; the WAVs go
// unless kept, and only those this job ripped.
class FailedRipInEncodingJob : public RunJobTest, public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(FailedRipInEncodingJob, IsReportedOnceAndTheNextTrackIsEncoded)
{
    const auto [format, keepWav] = GetParam();
    openDisc({2, 2}, "0:02");  // tracks 1 and 2 audio, 3 data
    AppSettings.OutputFormat = format;
    AppSettings.IsKeepWav = keepWav;
    AppSettings.Use = true;
    AppSettings.DiscArtist = "The Artist";
    AppSettings.DiscAlbum = "The Album";
    AppSettings.DiscYear = "2001";
    AppSettings.DiscGenre = -1;
    const QString ext = format == 0 ? ".mp3" : format == 2 ? ".ogg" : ".wma";
    // The data track is asked for between the two audio tracks.
    const TJobSummary s = rip({"01First", "03Data", "02Second"});

    EXPECT_EQ(outcomes(s), (std::vector<Outcome>{Outcome::Done, Outcome::Failed, Outcome::Done}));
    EXPECT_TRUE(s.items[1].message.contains("data track")) << s.items[1].message.toStdString();
    EXPECT_EQ(dialogs.texts().filter(ResourceText(res::ReadCDAudioError)).size(), 1) << dialogs.texts().join('|').toStdString();
    EXPECT_EQ(dialogs.texts().size(), 1) << dialogs.texts().join('|').toStdString();
    QStringList expected{"First" + ext, "Second" + ext};
    if (keepWav)
        expected << "First.wav" << "Second.wav";
    expected.sort();
    EXPECT_EQ(files(), expected);
    EXPECT_EQ(view.closed, 1);
    EXPECT_TRUE(view.captions.contains("Extracting(03/03): Second"));

    if (format == 0) {
        // The disc has no genre: the tag's genre byte is 255.
        Tid3tag tag;
        ASSERT_EQ(tag.ReadTag(out + "/Second.mp3"), Tid3tag::Done);
        EXPECT_EQ(tag.Genre(), 255);
        const QString tags = peer("/usr/bin/python3",
                                  {"-c",
                                   "import sys\nfrom mutagen.id3 import ParseID3v1\n"
                                   "t=ParseID3v1(open(sys.argv[1],'rb').read()[-128:])\n"
                                   "print('|'.join(str(t.get(k,'')) for k in ('TIT2','TPE1','TALB','TDRC','TRCK')))",
                                   out + "/Second.mp3"});
        EXPECT_EQ(tags.trimmed(), "Second|The Artist|The Album|2001|2");
    } else if (format == 2) {
        EXPECT_FALSE(peer("ogginfo", {out + "/First.ogg"}).isEmpty());
        const QStringList c = peer("vorbiscomment", {"-l", out + "/Second.ogg"}).split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(c, (QStringList{"album=The Album", "artist=The Artist", "date=2001", "title=Second",
                                  "tracknumber=2"}))
            << c.join(';').toStdString();
    } else {
        const QString codec = peer("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries", "stream=codec_name",
                                               "-of", "default=nw=1:nk=1", out + "/First.wma"});
        EXPECT_EQ(codec.trimmed(), "wmav2");
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FailedRipInEncodingJob,
                         ::testing::Combine(::testing::Values(0, 2, 3), ::testing::Bool()));

// Stopped as the second track's read starts: the first track, read,
// encoded and tagged before it (one track at a time), stays whole (its WAV,
// not kept, went once the track was done); nothing of the others is left.
TEST_F(RunJobTest, StopBeforeEveryTrackIsRippedKeepsTheRippedWavs)
{
    openDisc({2, 2, 2});
    AppSettings.OutputFormat = 0;
    AppSettings.IsKeepWav = false;
    ScopedDialogs scoped(dialogs);
    TJobRunOptions options;
    options.overlap = false;
    view.onStage = [&](const TJobStage& stage) {
        if (stage.word == "Extracting" && stage.number == 2)
            options.cancel.Cancel();
    };
    const TJobSummary s =
        dwtest::runJob(jkRipTracks, handle, {"01A", "02B", "03C"}, TJobConfig::FromSettings(AppSettings), view, options);
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(files(), QStringList{"A.mp3"});
    EXPECT_EQ(outcomes(s), (std::vector<Outcome>{Outcome::Done, Outcome::Stopped, Outcome::Stopped}));
    EXPECT_EQ(view.closed, 1);
}

TEST_F(RunJobTest, AStalledRipEndsTheJobWithAFailureInsteadOfWaiting)
{
    openDisc({1, 1});
    AppSettings.OutputFormat = 0;
    CloseCDHandle(handle);  // the drive can no longer be set up
    const int stale = handle;
    handle = 0;
    ScopedDialogs scoped(dialogs);
    const TJobSummary s = dwtest::runJob(jkRipTracks, stale, {"01A", "02B"}, TJobConfig::FromSettings(AppSettings), view);
    EXPECT_TRUE(s.stalled);
    EXPECT_FALSE(s.stopped);
    EXPECT_EQ(outcomes(s), (std::vector<Outcome>{Outcome::Failed, Outcome::Stopped}));
    EXPECT_EQ(dialogs.texts(), QStringList{ResourceText(res::ModifyCDParmsError)});
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(RunJobTest, EveryTrackGetsItsOwnFileEvenWhenTitlesCollide)
{
    openDisc({1, 2, 3});
    AppSettings.OutputFormat = 1;
    // Two titles alike, one that is not UTF-8, one that strips to nothing.
    const QString latin = PathFromNative(QByteArray("caf\xe9", 4));
    const TJobSummary s = rip({"01Same", "03" + latin, "02Same", "01..."});
    EXPECT_EQ(outcomes(s), std::vector<Outcome>(4, Outcome::Done));
    EXPECT_EQ(s.items[2].outputs, QStringList{out + "/Same (2).wav"});
    EXPECT_EQ(s.items[3].outputs, QStringList{out + "/Track01.wav"});
    // Each file holds its own track: 1, 2 and 3 s of audio after the header.
    EXPECT_EQ(StatPath(out + "/Same.wav").size, 44 + 75 * 2352);
    EXPECT_EQ(StatPath(out + "/Same (2).wav").size, 44 + 150 * 2352);
    EXPECT_EQ(StatPath(out + "/Track01.wav").size, 44 + 75 * 2352);
    // Qt's own folder listing cannot name that file; the system's calls can.
    EXPECT_EQ(StatPath(out + "/" + latin + ".wav").size, 44 + 225 * 2352);
    EXPECT_TRUE(RemoveFile(out + "/" + latin + ".wav"));
    EXPECT_EQ(files(), (QStringList{"Same (2).wav", "Same.wav", "Track01.wav"}));
}

// Without overwriting, an existing WAV or encoded file fails its item before
// the track is read, and stays as it was; with it, the rip replaces both.
TEST_F(RunJobTest, ExistingFilesGiveWayOnlyWhenOverwriteIsSet)
{
    openDisc({1, 1});
    AppSettings.OutputFormat = 2;
    AppSettings.IsNormalize = true;
    AppSettings.NormalizePercent = 100;
    box.write("out/A.wav", "older wav");
    box.write("out/B.ogg", "older ogg");
    ScopedDialogs scoped(dialogs);
    TJobConfig keep = TJobConfig::FromSettings(AppSettings);
    keep.Overwrite = false;
    TJobSummary s = dwtest::runJob(jkRipTracks, handle, {"01A", "02B"}, keep, view);
    EXPECT_EQ(outcomes(s), (std::vector<Outcome>{Outcome::Failed, Outcome::Failed}));
    EXPECT_EQ(s.items[0].message, out + "/A.wav: File exists");
    EXPECT_EQ(s.items[1].message, out + "/B.ogg: File exists");
    EXPECT_EQ(box.read("out/A.wav"), "older wav");
    EXPECT_EQ(box.read("out/B.ogg"), "older ogg");
    EXPECT_EQ(files(), (QStringList{"A.wav", "B.ogg"}));
    EXPECT_EQ(view.closed, 1);

    s = dwtest::runJob(jkRipTracks, handle, {"01A", "02B"}, TJobConfig::FromSettings(AppSettings), view);
    EXPECT_EQ(outcomes(s), std::vector<Outcome>(2, Outcome::Done));
    EXPECT_FALSE(peer("ogginfo", {out + "/B.ogg"}).isEmpty());
    EXPECT_EQ(files(), (QStringList{"A.ogg", "B.ogg"}));
}

// Sources below 44100 Hz are resampled into the buffer file first; the
// buffer is gone when the job ends; 44100 Hz sources are encoded directly.
TEST_F(RunJobTest, LowRateSourcesAreResampledThroughTheBufferForMp3AndOgg)
{
    const QString low = box.file("low.wav"), cd = box.file("cd.wav");
    writeWav(low, 22050, 1.5);
    writeWav(cd, 44100, 1.0);
    ScopedDialogs scoped(dialogs);
    for (const TJobKind kind : {jkWavToMp3, jkWavToOgg}) {
        RecordingView v;
        const TJobSummary s = dwtest::runJob(kind, 0, {low, cd}, TJobConfig::FromSettings(AppSettings), v);
        const QString ext = kind == jkWavToMp3 ? ".mp3" : ".ogg";
        EXPECT_EQ(outcomes(s), std::vector<Outcome>(2, Outcome::Done));
        EXPECT_EQ(v.captions, (QStringList{"Resampling(01/02): " + low, "Encoding(01/02): " + low,
                                           "Encoding(02/02): " + cd}));
        const QString rate = peer("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries", "stream=sample_rate", "-of", "default=nw=1:nk=1",
                                              out + "/low" + ext});
        EXPECT_EQ(rate.trimmed(), "44100");
        const double seconds = peer("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "default=nw=1:nk=1",
                                                out + "/low" + ext})
                                   .trimmed()
                                   .toDouble();
        EXPECT_NEAR(seconds, 1.5, 0.1);
    }
    EXPECT_EQ(files(), (QStringList{"cd.mp3", "cd.ogg", "low.mp3", "low.ogg"}));
}

TEST_F(RunJobTest, AFileThatIsNoWavIsAFailedItemAndTheJobGoesOn)
{
    const QString bad = box.file("bad.wav"), good = box.file("good.wav");
    box.write("bad.wav", QByteArray("RIFF not really a wave file at all", 34));
    writeWav(good, 44100, 0.5);
    ScopedDialogs scoped(dialogs);
    for (const TJobKind kind : {jkWavToMp3, jkWavToOgg}) {
        RecordingView v;
        const TJobSummary s = dwtest::runJob(kind, 0, {bad, good}, TJobConfig::FromSettings(AppSettings), v);
        EXPECT_EQ(outcomes(s), (std::vector<Outcome>{Outcome::Failed, Outcome::Done}));
        EXPECT_TRUE(s.items[0].message.contains(bad)) << s.items[0].message.toStdString();
        EXPECT_EQ(v.closed, 1);
    }
    EXPECT_EQ(files(), (QStringList{"good.mp3", "good.ogg"}));
}

TEST(JobWmaEstimate, SmallInputsTakeTwoSecondsAndEstimatesStayAheadOfTheClock)
{
    // 1999999 bytes: 2 s while fewer have passed, then one more than elapsed.
    EXPECT_EQ(JobWmaEstimatedSeconds(0, 1999999, -1, 8), 2);
    EXPECT_EQ(JobWmaEstimatedSeconds(1, 1999999, -1, 8), 2);
    EXPECT_EQ(JobWmaEstimatedSeconds(2, 1999999, 10, 8), 3);
    EXPECT_EQ(JobWmaEstimatedSeconds(7, 1999999, 10, 8), 8);
    // Large inputs: nothing to say before output appears.
    EXPECT_EQ(JobWmaEstimatedSeconds(3, 2000000, 0, 8), std::nullopt);
    EXPECT_EQ(JobWmaEstimatedSeconds(3, 2000000, -1, 8), std::nullopt);
    // 21790000 bytes at profile 8 expect 1000000 output bytes; a quarter of
    // them in 5 s gives 20 s.
    EXPECT_EQ(JobWmaEstimatedSeconds(5, 21790000, 250000, 8), 20);
    // An output already larger than expected counts as the expected size.
    EXPECT_EQ(JobWmaEstimatedSeconds(5, 21790000, 2000000, 8), 6);
    // Profiles out of range use profile 8.
    EXPECT_EQ(JobWmaEstimatedSeconds(5, 21790000, 250000, 40), 20);
    EXPECT_EQ(JobWmaGaugePercent(5, 20), 25);
}

}  // namespace

namespace {

// A conversion as the window runs it: the whole list in one job, one view.
TJobSummary runAsTheWindow(TJobKind kind, const QStringList& items)
{
    RecordingView v;
    return dwtest::runJob(kind, 0, items, TJobConfig::FromSettings(AppSettings), v);
}

}  // namespace

// The window's conversions: the resampling buffer is a file of the job's own
// (a user's file of the buffer's name stays untouched), and an output that
// is an input of the job, under its own name or through a link, is refused
// before anything is written.
TEST_F(RunJobTest, WindowJobsKeepUsersFilesOfTheBufferNameAndNeverReplaceAnInput)
{
    ScopedDialogs scoped(dialogs);
    const QString low = box.file("low.wav");
    writeWav(low, 22050, 1.0);
    box.write("out/MyReTemp.wav", "the user's own take");
    box.write("out/MyMP3ReTemp.wav", "another take");
    for (const TJobKind kind : {jkWavToOgg, jkWavToMp3}) {
        const TJobSummary s = runAsTheWindow(kind, {low});
        EXPECT_EQ(outcomes(s), std::vector<Outcome>{Outcome::Done}) << (s.items.empty() ? "" : s.items[0].message.toStdString());
    }
    EXPECT_EQ(box.read("out/MyReTemp.wav"), QByteArray("the user's own take"));
    EXPECT_EQ(box.read("out/MyMP3ReTemp.wav"), QByteArray("another take"));
    EXPECT_EQ(files(), (QStringList{"MyMP3ReTemp.wav", "MyReTemp.wav", "low.mp3", "low.ogg"}));

    // x.wav would become out/x.flac, which is the second item; that item
    // would replace itself. A symbolic link makes y.wav's output another input.
    const QString x = out + "/x.wav", xFlac = out + "/x.flac", y = box.file("y.wav"), z = box.file("z.flac");
    writeWav(x, 44100, 0.5);
    writeWav(y, 44100, 0.5);
    box.write("out/x.flac", "a FLAC of the user's");
    box.write("z.flac", "the link's target");
    ASSERT_TRUE(QFile::link(z, out + "/y.flac"));
    const TJobSummary s = runAsTheWindow(jkToFlac, {x, xFlac, y, z});
    EXPECT_EQ(outcomes(s), std::vector<Outcome>(4, Outcome::Failed));
    ASSERT_EQ(s.items.size(), 4u);
    EXPECT_EQ(s.items[0].message, xFlac + ": is also an input of this job (" + xFlac + "); an input is never overwritten");
    EXPECT_EQ(s.items[1].message, InputAsOutputMessage(xFlac));
    EXPECT_EQ(s.items[2].message, out + "/y.flac: is also an input of this job (" + z + "); an input is never overwritten");
    EXPECT_EQ(box.read("out/x.flac"), QByteArray("a FLAC of the user's"));
    EXPECT_EQ(box.read("z.flac"), QByteArray("the link's target"));
    EXPECT_EQ(QFileInfo(out + "/y.flac").symLinkTarget(), z);
}

// A stop that arrives once the encoder has put its whole file in place, but
// before its completion was handled, finds the item done: it is reported so
// (the old file is gone for good), not as stopped.
TEST_F(RunJobTest, AStopAfterTheEncodingEndedReportsTheItemDone)
{
    ScopedDialogs scoped(dialogs);
    const QString in = box.file("short.wav");
    writeWav(in, 44100, 0.5);
    box.write("out/short.flac", "old");
    RecordingView v;
    TJobRunOptions options;
    const TJobSummary s = dwtest::waitForEnd<TJobSummary>([&](TJobEnd onEnd) {
        RunJob(jkToFlac, 0, {in}, TJobConfig::FromSettings(AppSettings), v, std::move(onEnd), options);
        // No events are served while waiting, so the completion cannot be handled first.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (box.read("out/short.flac") == "old" && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        options.cancel.Cancel();
    });
    ASSERT_EQ(s.items.size(), 1u);
    EXPECT_EQ(s.items[0].outcome, Outcome::Done) << s.items[0].message.toStdString();
    EXPECT_EQ(s.items[0].outputs, QStringList{out + "/short.flac"});
    EXPECT_TRUE(dwtest::runTool("flac", {"-t", "-s", out + "/short.flac"}).ok);
    EXPECT_EQ(files(), QStringList{"short.flac"});
}

// Whether an existing output is replaced is decided before the job: the
// outputs the front end would ask about (each once, never an input, never
// the recording's MP3), then only those the user agreed to are replaced by
// the lame and the in-process encoders alike; nothing is asked during the job.
TEST_F(RunJobTest, ExistingOutputsAreReplacedOnlyAsDecidedBeforeTheJob)
{
    const QString a = box.file("a.wav"), b = box.file("b.wav");
    writeWav(a, 44100, 0.5);
    writeWav(b, 44100, 0.5);
    EXPECT_EQ(ExistingConversionOutputs(jkWavToMp3, out, {a, b}), QStringList{});
    for (const QString ext : {".mp3", ".flac"}) {
        box.write("out/a" + ext, "old a");
        box.write("out/b" + ext, "old b");
    }
    box.write("out/c.wav", "an input");
    EXPECT_EQ(ExistingConversionOutputs(jkWavToMp3, out, {a, b, a, out + "/c.wav"}),
              (QStringList{out + "/a.mp3", out + "/b.mp3"}));
    EXPECT_EQ(ExistingConversionOutputs(jkMp3ToWav, out, {box.file("c.mp3"), out + "/c.wav"}), QStringList{});
    EXPECT_EQ(ExistingConversionOutputs(jkRecordingToMp3, out, {a}), QStringList{});

    ScopedDialogs scoped(dialogs);
    for (const TJobKind kind : {jkWavToMp3, jkToFlac}) {
        const QString ext = kind == jkWavToMp3 ? ".mp3" : ".flac";
        TJobConfig config = TJobConfig::FromSettings(AppSettings);
        config.Overwrite = false;
        config.ReplaceOutputs = ExistingConversionOutputs(kind, out, {a, b}).mid(1);
        RecordingView v;
        const TJobSummary s = dwtest::runJob(kind, 0, {a, b}, config, v);
        EXPECT_EQ(outcomes(s), (std::vector<Outcome>{Outcome::Skipped, Outcome::Done}));
        EXPECT_EQ(s.items[0].message, out + "/a" + ext + ": exists and was not replaced");
        EXPECT_EQ(box.read("out/a" + ext), "old a");
        EXPECT_GT(QFileInfo(out + "/b" + ext).size(), 1000);
    }
    EXPECT_EQ(dialogs.texts(), QStringList{});
}
