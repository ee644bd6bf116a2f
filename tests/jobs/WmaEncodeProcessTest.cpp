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
    const Case cases[] = {{8, "44100", "2", "64000"},
                          {11, "44100", "1", "48000"},
                          {0, "48000", "2", "192000"},
                          {17, "22050", "2", "32000"}};
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
        EXPECT_FALSE(QFileInfo::exists(out + ".part"));
    }
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
    AppSettings.WmaBitRate = 31;  // 6 kbit/s: more than the encoder can squeeze
    const QString bad = box.file("bad.wma");
    const QString good = box.file("good.wma");
    bool startedNext = false;
    log.onEvent = [&](const TProcessInfo& e) {
        if (e.Code == JOB_WMA_DONE && e.Result == ENC_RESULT_ERROR_LINE && !startedNext) {
            // Inside the sent completion, as a job window would.
            startedNext = true;
            AppSettings.WmaBitRate = 8;
            prepare(good);
            wma.Start();
        }
    };
    prepare(bad);
    wma.Start();
    ASSERT_TRUE(log.waitCompletions(2));
    const auto done = log.completions();
    EXPECT_EQ(done[0].Result, ENC_RESULT_ERROR_LINE);
    EXPECT_TRUE(done[0].Elapsed.contains("ERROR")) << done[0].Elapsed.toStdString();
    EXPECT_EQ(done[1].Result, ENC_RESULT_ENDED);
    EXPECT_FALSE(QFileInfo::exists(bad));
    EXPECT_FALSE(QFileInfo::exists(bad + ".part"));
    EXPECT_EQ(jobstest::probe(good).value("codec_name"), "wmav2");

    // An input the tool cannot read is an error line too.
    box.write("garbage.wav", "this is not sound");
    in = box.file("garbage.wav");
    prepare(box.file("garbage.wma"));
    wma.Start();
    ASSERT_TRUE(log.waitCompletions(3));
    EXPECT_EQ(log.completions()[2].Result, ENC_RESULT_ERROR_LINE);
    EXPECT_FALSE(QFileInfo::exists(box.file("garbage.wma")));
    // Exactly one completion per item.
    QCoreApplication::processEvents();
    EXPECT_EQ(log.completions().size(), 3u);
}

TEST_F(WmaProcess, MissingToolAndOverwriteAreSentBeforeStartReturns)
{
    QFile::remove(box.programDir() + "/WM8EUTIL");
    prepare(box.file("o.wma"));
    wma.Start();
    ASSERT_EQ(log.completions().size(), 1u);  // sent, not posted
    EXPECT_EQ(log.completions()[0].Result, ENC_RESULT_SKIPPED);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, ResourceText(res::NoWmaEncoder));
    EXPECT_EQ(dialogs.shown()[0].icon, MessageIcon::Information);

    // The WMA wrapper asks for recordings too; only CD jobs overwrite silently.
    box.write("exists.wma", "old");
    dialogs.queueAnswer(Answer::No);
    prepare(box.file("exists.wma"), jkRecordingToMp3);
    wma.Start();
    ASSERT_EQ(log.completions().size(), 2u);
    EXPECT_EQ(log.completions()[1].Result, ENC_RESULT_SKIPPED);
    EXPECT_EQ(dialogs.shown().size(), 2u);
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

    // Mono 22.05 kHz input up to 48 kHz stereo: resampled and remixed.
    EXPECT_EQ(run({"-input", box.file("in.wav"), "-output", box.file("o.wma"), "-a_setting", "128_48_2"}, out), 0);
    EXPECT_TRUE(out.trimmed().endsWith("100% done"));
    EXPECT_EQ(out.count("100%"), 1);
    const auto info = jobstest::probe(box.file("o.wma"));
    EXPECT_EQ(info.value("sample_rate"), "48000");
    EXPECT_EQ(info.value("channels"), "2");
}
