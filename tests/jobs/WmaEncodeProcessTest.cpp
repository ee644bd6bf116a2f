// The WMA wrapper with the real WM8EUTIL tool, and the tool itself.

#include "JobsTestSupport.h"

#include "app/ResourceText.h"
#include "app/Settings.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/Dialogs.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace dw;

namespace {

class WmaProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        AppSettings = TAppSettings{};
        ASSERT_TRUE(QFile::link(dwtest::binDir() + "/WM8EUTIL", box.programDir() + "/WM8EUTIL"));
        in = box.file("in put.wav");
        jobstest::writeWav(in, 44100, 2, 3.0);
    }
    void TearDown() override { AppSettings = TAppSettings{}; }

    void prepare(const QString& out, TJobKind kind = jkWavToWma)
    {
        wma.Running = true;
        wma.InputFile = in;
        wma.OutputFile = out;
        wma.JobKind = kind;
        wma.EncodeMode = true;
        wma.NotifyWindow = &log;
        wma.SetOptions(AppSettings, AppSettings);
    }

    dwtest::Sandbox box;
    ScriptedDialogs dialogs;
    ScopedDialogs scoped{dialogs};
    jobstest::EventLog log;
    TWMAEncodeProcess wma;
    QString in;
};

}  // namespace

TEST_F(WmaProcess, EncodesProfilesWithTagsEndToEnd)
{
    AppSettings.Use = true;
    AppSettings.DiscArtist = "The Blank Spaces";
    AppSettings.DiscComment = "Live at the hall, 1999";
    struct Case {
        int profile;
        const char* rate;
        const char* channels;
        const char* bitRate;
    };
    // Profiles below 24 kbit/s, which the encoder refuses, come out at 24
    // kbit/s with the profile's own rate and channels.
    const Case cases[] = {{8, "44100", "2", "64000"},  {11, "44100", "1", "48000"}, {0, "48000", "2", "192000"},
                          {17, "22050", "2", "32000"}, {31, "8000", "1", "24000"},  {21, "22050", "1", "24000"},
                          {29, "8000", "2", "24000"}};
    size_t n = 0;
    for (const Case& c : cases) {
        AppSettings.WmaBitRate = c.profile;
        const QString out = box.file(QString("out %1.wma").arg(c.profile));
        prepare(out);
        wma.Start();
        ASSERT_TRUE(log.waitCompletions(++n)) << c.profile;
        const auto done = log.completions().back();
        EXPECT_EQ(done.Code, JOB_WMA_DONE);
        EXPECT_EQ(done.Result, ENC_RESULT_ENDED) << c.profile << " " << done.Elapsed.toStdString();
        const auto info = jobstest::probe(out);
        EXPECT_EQ(info.value("codec_name"), "wmav2") << c.profile;
        EXPECT_EQ(info.value("sample_rate"), c.rate) << c.profile;
        EXPECT_EQ(info.value("channels"), c.channels) << c.profile;
        EXPECT_EQ(info.value("bit_rate"), c.bitRate) << c.profile;
        EXPECT_NEAR(info.value("duration").toDouble(), 3.0, 0.1) << c.profile;
        EXPECT_EQ(info.value("TAG:artist"), "The Blank Spaces");
        EXPECT_EQ(info.value("TAG:comment"), "Live at the hall, 1999");
    }
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
    // The tool's "100%" line gave a progress event per item, never 00:00.
    QCoreApplication::processEvents();
    const auto progress = log.progress();
    ASSERT_EQ(progress.size(), std::size(cases));
    for (const auto& p : progress) {
        EXPECT_EQ(p.Code, 100);
        EXPECT_NE(p.Elapsed, "00:00");
        EXPECT_EQ(p.Elapsed, p.Estimated);
    }
}

TEST_F(WmaProcess, ErrorLineCompletesAndTheNextItemCanStartAtOnce)
{
    // A WAV header with nothing readable behind it passes the wrapper's look
    // at the first bytes; the tool cannot read it and says so.
    const QString good_in = in;
    box.write("hollow.wav", QByteArray("RIFF\x24\0\0\0WAVE", 12) + "junk that is no fmt chunk at all");
    in = box.file("hollow.wav");
    const QString bad = box.file("bad.wma");
    const QString good = box.file("good.wma");
    bool startedNext = false;
    log.onEvent = [&](const TProcessInfo& e) {
        if (e.Code == JOB_WMA_DONE && e.Result == ENC_RESULT_ERROR_LINE && !startedNext) {
            // Inside the sent completion, as a job window would.
            startedNext = true;
            in = good_in;
            prepare(good);
            wma.Start();
        }
    };
    prepare(bad);
    wma.Start();
    ASSERT_TRUE(log.waitCompletions(2));
    const auto done = log.completions();
    EXPECT_EQ(done[0].Result, ENC_RESULT_ERROR_LINE);
    EXPECT_TRUE(done[0].Elapsed.startsWith("ERROR: ")) << done[0].Elapsed.toStdString();
    EXPECT_TRUE(done[0].Elapsed.contains("hollow.wav")) << done[0].Elapsed.toStdString();
    EXPECT_EQ(done[1].Result, ENC_RESULT_ENDED);
    EXPECT_FALSE(QFileInfo::exists(bad));
    EXPECT_EQ(jobstest::probe(good).value("codec_name"), "wmav2");

    // An input that is no WAV at all, or the output itself, is refused by the
    // wrapper before the tool starts; the existing file stays as it was.
    box.write("garbage.wav", "this is not sound");
    in = box.file("garbage.wav");
    prepare(box.file("garbage.wma"));
    wma.Start();
    ASSERT_EQ(log.completions().size(), 3u);  // sent before Start returned
    EXPECT_EQ(log.completions()[2].Result, ENC_RESULT_FAILED);
    EXPECT_EQ(log.completions()[2].Elapsed, in + ": not a WAV file (no RIFF/WAVE header)");
    EXPECT_FALSE(QFileInfo::exists(box.file("garbage.wma")));
    in = good_in;
    const QByteArray original = box.read("in put.wav");
    prepare(box.path() + "/./in put.wav", jkRipTracks);
    wma.Start();
    ASSERT_EQ(log.completions().size(), 4u);
    EXPECT_EQ(log.completions()[3].Result, ENC_RESULT_FAILED);
    EXPECT_TRUE(log.completions()[3].Elapsed.endsWith(": is the input file itself; the input is never overwritten"));
    EXPECT_EQ(box.read("in put.wav"), original);
    // Exactly one completion per item, and no temporary file left.
    QCoreApplication::processEvents();
    EXPECT_EQ(log.completions().size(), 4u);
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
}

TEST_F(WmaProcess, MissingToolAndOverwriteAreSentBeforeStartReturns)
{
    QFile::remove(box.programDir() + "/WM8EUTIL");
    // The box is not opened inside the receiver's handling: it follows once
    // the handler has returned, once for items that missed the tool before.
    std::vector<size_t> boxesDuringHandler;
    log.onEvent = [&](const TProcessInfo&) { boxesDuringHandler.push_back(dialogs.shown().size()); };
    prepare(box.file("o.wma"));
    wma.Start();
    ASSERT_EQ(log.completions().size(), 1u);  // sent, not posted
    EXPECT_EQ(log.completions()[0].Result, ENC_RESULT_SKIPPED);
    EXPECT_EQ(log.completions()[0].Failure.Text(), ResourceText(res::NoWmaEncoder));
    prepare(box.file("p.wma"));
    wma.Start();
    ASSERT_EQ(log.completions().size(), 2u);
    EXPECT_EQ(boxesDuringHandler, (std::vector<size_t>{0, 0}));
    ASSERT_TRUE(dwtest::waitFor([&] { return !dialogs.shown().empty(); }));
    QCoreApplication::processEvents();
    log.onEvent = nullptr;
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, ResourceText(res::NoWmaEncoder));
    EXPECT_EQ(dialogs.shown()[0].icon, MessageIcon::Information);

    // The WMA wrapper keeps an existing output of a recording too unless
    // allowed; only CD jobs overwrite regardless. No box is opened for it.
    box.write("exists.wma", "old");
    prepare(box.file("exists.wma"), jkRecordingToMp3);
    EXPECT_TRUE(wma.OutputAwaitsOverwriteAnswer());
    wma.Start();
    ASSERT_EQ(log.completions().size(), 3u);
    EXPECT_EQ(log.completions()[2].Result, ENC_RESULT_SKIPPED);
    EXPECT_FALSE(log.completions()[2].Failure.Failed());
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(box.read("exists.wma"), "old");
}

TEST(Wm8eutilTool, ReportsBadCommandLinesAndInputs)
{
    dwtest::Sandbox box;
    const QString tool = dwtest::binDir() + "/WM8EUTIL";
    jobstest::writeWav(box.file("in.wav"), 22050, 1, 1.0);
    auto run = [&](const QStringList& args, QString& out) {
        QProcess p;
        p.start(tool, args);
        EXPECT_TRUE(p.waitForFinished(60000));
        out = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitCode();
    };
    QString out;
    EXPECT_EQ(run({"-input", box.file("in.wav")}, out), 2);
    EXPECT_TRUE(out.contains("ERROR"));
    for (const char* bad : {"64_44", "64_44_3", "x_44_2", "64__2", "64_44_2_1"}) {
        EXPECT_EQ(run({"-input", box.file("in.wav"), "-output", box.file("o.wma"), "-a_setting", bad}, out), 2) << bad;
        EXPECT_TRUE(out.startsWith("ERROR")) << bad;
    }
    EXPECT_EQ(run({"-input", box.file("missing.wav"), "-output", box.file("o.wma"), "-a_setting", "64_44_2"}, out), 1);
    EXPECT_TRUE(out.contains("ERROR"));
    EXPECT_FALSE(out.contains("100%"));
    EXPECT_FALSE(QFileInfo::exists(box.file("o.wma")));

    // An input that is the output too, here through a symbolic link, is refused and stays whole.
    ASSERT_TRUE(QFile::link(box.file("in.wav"), box.file("same.wma")));
    const QByteArray original = box.read("in.wav");
    EXPECT_EQ(run({"-input", box.file("in.wav"), "-output", box.file("same.wma"), "-a_setting", "64_44_2"}, out), 1);
    EXPECT_TRUE(out.contains("ERROR: " + box.file("same.wma") + ": is the input file itself")) << out.toStdString();
    EXPECT_EQ(box.read("in.wav"), original);

    // Mono 22.05 kHz input up to 48 kHz stereo: resampled and remixed.
    EXPECT_EQ(run({"-input", box.file("in.wav"), "-output", box.file("o.wma"), "-a_setting", "128_48_2"}, out), 0);
    EXPECT_TRUE(out.trimmed().endsWith("100% done"));
    EXPECT_EQ(out.count("100%"), 1);
    auto info = jobstest::probe(box.file("o.wma"));
    EXPECT_EQ(info.value("sample_rate"), "48000");
    EXPECT_EQ(info.value("channels"), "2");

    // A bit rate below what the encoder takes: raised, said in one line that is no error.
    EXPECT_EQ(run({"-input", box.file("in.wav"), "-output", box.file("o.wma"), "-a_setting", "10_11_1"}, out), 0);
    EXPECT_FALSE(out.contains("ERROR")) << out.toStdString();
    EXPECT_EQ(out.count("encoding at 24 kbit/s"), 1) << out.toStdString();
    info = jobstest::probe(box.file("o.wma"));
    EXPECT_EQ(info.value("sample_rate"), "11025");
    EXPECT_EQ(info.value("channels"), "1");
    EXPECT_EQ(info.value("bit_rate"), "24000");
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
}

TEST(Wm8eutilTool, AStoppedRunLeavesNoFileAndKeepsTheOldOne)
{
    dwtest::Sandbox box;
    const QString tool = dwtest::binDir() + "/WM8EUTIL";
    jobstest::writeWav(box.file("long.wav"), 44100, 2, 120.0);
    box.write("old.wma", "old");

    // SIGTERM while it encodes: an ERROR line, status 1, nothing left behind.
    QProcess p;
    p.start(tool, {"-input", box.file("long.wav"), "-output", box.file("old.wma"), "-a_setting", "192_44_2"});
    QByteArray out;
    ASSERT_TRUE(dwtest::waitFor([&] {
        p.waitForReadyRead(10);
        out += p.readAllStandardOutput();
        return out.contains("Progress: 1%");
    }));
    EXPECT_FALSE(jobstest::hiddenFiles(box.path()).isEmpty());  // the tool's own temporary file
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(30000));
    out += p.readAllStandardOutput();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(out.contains("ERROR")) << out.toStdString();
    EXPECT_FALSE(out.contains("100%"));
    EXPECT_EQ(box.read("old.wma"), "old");
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
}
