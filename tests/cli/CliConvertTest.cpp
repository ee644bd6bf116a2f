// discwright-cli convert run as a black box on WAV files made by sox: the
// same files whatever --jobs says, one JSON object per event, the exit
// status of failed items, refused clashes, the overwrite question and a stop
// by signal.

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>

using dwtest::runCli;

namespace {

bool sox(const QStringList& args)
{
    QProcess p;
    p.start("sox", args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class CliConvert : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::link(dwtest::binDir() + "/WM8EUTIL", box.programDir() + "/WM8EUTIL"));
        for (int i = 0; i < 4; ++i) {
            const QString f = box.file(QString("in%1.wav").arg(i));
            // Rates below and at 44100 Hz; mono and stereo.
            const QString rate = i % 2 ? "22050" : "44100";
            ASSERT_TRUE(sox({"-n", "-r", rate, "-c", QString::number(1 + i % 2), "-b", "16", f, "synth",
                             QString::number(1 + i), "sine", QString::number(300 + 100 * i)}));
            inputs << f;
        }
    }
    QStringList files(const QString& dir) const
    {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    static std::vector<QJsonObject> jsonLines(const QString& text)
    {
        std::vector<QJsonObject> lines;
        for (const QString& l : text.split('\n', Qt::SkipEmptyParts))
            lines.push_back(QJsonDocument::fromJson(l.toUtf8()).object());
        return lines;
    }

    dwtest::Sandbox box;
    QStringList inputs;
};

TEST_F(CliConvert, ParallelItemsGiveTheSameFilesAsOneAfterAnother)
{
    for (const QString format : {"mp3", "ogg", "wma"}) {
        const QString one = box.file("one-" + format), two = box.file("two-" + format);
        QDir().mkpath(one);
        QDir().mkpath(two);
        const auto a = runCli(QStringList{"convert", format} + inputs + QStringList{"--output", one, "--jobs", "1"});
        const auto b = runCli(QStringList{"convert", format} + inputs + QStringList{"--output", two, "--jobs", "2"});
        ASSERT_EQ(a.status, 0) << a.err.toStdString();
        ASSERT_EQ(b.status, 0) << b.err.toStdString();
        const QStringList names = files(one);
        EXPECT_EQ(names.size(), 4) << names.join(',').toStdString();
        EXPECT_EQ(files(two), names) << "buffers or temporary files left behind";
        // lame and WM8EUTIL are deterministic; the Ogg writer's serial is fixed.
        for (const QString& n : names)
            EXPECT_EQ(readFile(one + "/" + n), readFile(two + "/" + n)) << n.toStdString();
    }
}

TEST_F(CliConvert, JsonReportsStagesProgressItemsAndASummary)
{
    const QString outDir = box.file("out");
    QDir().mkpath(outDir);
    box.write("broken.wav", "RIFF....WAVEjunk");
    const auto r = runCli({"convert", "mp3", inputs[1], box.file("broken.wav"), "--output", outDir, "--json",
                           "--jobs", "1"});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    const auto lines = jsonLines(r.out);
    ASSERT_FALSE(lines.empty());
    QStringList stages;
    int progress = 0;
    for (const QJsonObject& o : lines) {
        if (o["event"] == "stage")
            stages << o["stage"].toString();
        if (o["event"] == "progress") {
            ++progress;
            EXPECT_TRUE(o.contains("elapsed") && o.contains("estimated"));
        }
    }
    EXPECT_EQ(stages, (QStringList{"Resampling(01/02): " + inputs[1], "Encoding(01/02): " + inputs[1],
                                   "Encoding(02/02): " + box.file("broken.wav")}));
    EXPECT_GT(progress, 0);
    const QJsonObject& summary = lines.back();
    EXPECT_EQ(summary["event"], "summary");
    EXPECT_EQ(summary["done"].toInt(), 1);
    EXPECT_EQ(summary["failed"].toInt(), 1);
    EXPECT_TRUE(r.err.contains(box.file("broken.wav"))) << r.err.toStdString();
    EXPECT_EQ(files(outDir), QStringList{"in1.mp3"});
}

TEST_F(CliConvert, ClashingOutputsAndExistingFilesAreNotOverwrittenUnlessAsked)
{
    const QString outDir = box.file("out");
    QDir().mkpath(outDir + "/sub");
    // Same file name in two folders: both would write out/in0.ogg.
    QFile::copy(inputs[0], outDir + "/sub/in0.wav");
    const auto clash = runCli({"convert", "ogg", inputs[0], outDir + "/sub/in0.wav", "--output", outDir});
    EXPECT_EQ(clash.status, 1);
    EXPECT_TRUE(clash.err.contains("is also the output of")) << clash.err.toStdString();
    const QByteArray first = readFile(outDir + "/in0.ogg");
    ASSERT_FALSE(first.isEmpty());

    // An existing output stays without --overwrite and is replaced with it.
    box.write("out/in2.ogg", "keep me");
    box.write("out/in2.mp3", "keep me");
    for (const QString format : {"ogg", "mp3"}) {
        const auto kept = runCli({"convert", format, inputs[2], "--output", outDir});
        EXPECT_EQ(kept.status, 1);
        EXPECT_EQ(readFile(outDir + "/in2." + format), "keep me");
        const auto replaced = runCli({"convert", format, inputs[2], "--output", outDir, "--overwrite"});
        EXPECT_EQ(replaced.status, 0) << replaced.err.toStdString();
        EXPECT_NE(readFile(outDir + "/in2." + format), "keep me");
    }
}

TEST_F(CliConvert, ASignalStopsTheJobWithStatus130AndLeavesNoBuffer)
{
    const QString outDir = box.file("out");
    QDir().mkpath(outDir);
    const QString longWav = box.file("long.wav");
    ASSERT_TRUE(sox({"-n", "-r", "22050", "-c", "2", "-b", "16", longWav, "synth", "600", "sine", "440"}));
    QProcess p;
    p.start(dwtest::binDir() + "/discwright-cli",
            {"convert", "mp3", longWav, inputs[0], "--output", outDir, "--json", "--jobs", "1"});
    ASSERT_TRUE(p.waitForStarted(10000));
    // Wait for the resampling to have begun.
    ASSERT_TRUE(dwtest::waitFor([&] {
        p.waitForReadyRead(100);
        return p.peek(1 << 16).contains("\"progress\"");
    }));
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 130);
    EXPECT_TRUE(files(outDir).isEmpty()) << files(outDir).join(',').toStdString();
}

}  // namespace
