// discwright-cli record as a black box over SDL's disk audio driver: the
// recording holds exactly the captured samples, a stop by signal and a full
// disk each leave a WAV whose header states the data that follows it.
#include "record/RecordTestAudio.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <csignal>

namespace {

using dwtest::runCli;
using dwtest::waveData;

class CliRecord : public ::testing::Test {
protected:
    CliRecord() : input(dwtest::noiseBytes(40 * 16000, 3)), disk(box.file("in.raw"), "/dev/null")
    {
        box.write("in.raw", input);
    }
    QString out() const { return box.file("out.wav"); }

    dwtest::Sandbox box;
    QByteArray input;
    dwtest::DiskAudio disk;
};

// One second of 8000 Hz mono 16-bit is the first 16000 bytes of the input,
// as sox reads the file too; the options are checked before anything is
// recorded, and an existing file is kept without --overwrite.
TEST_F(CliRecord, RecordsExactlyTheSecondsAskedFor)
{
    auto r = runCli({"record", out(), "--seconds", "1", "--rate", "8000", "--channels", "1", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(waveData(out()), input.left(16000));
    QProcess sox;
    sox.start("sox", {out(), "-t", "raw", "-"});
    ASSERT_TRUE(sox.waitForFinished(30000));
    EXPECT_EQ(sox.exitCode(), 0);
    EXPECT_EQ(sox.readAllStandardOutput(), input.left(16000));

    r = runCli({"record", out(), "--seconds", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("--overwrite")) << r.err.toStdString();
    EXPECT_EQ(waveData(out()).size(), 16000);
    for (const QStringList& bad : {QStringList{"--bits", "24"}, QStringList{"--channels", "3"},
                                   QStringList{"--rate", "12"}, QStringList{"--seconds", "0"}}) {
        QStringList args{"record", box.file("bad.wav"), "--seconds", "1"};
        args << bad;
        r = runCli(args);
        EXPECT_EQ(r.status, 2) << bad.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(box.file("bad.wav")));
    }
    EXPECT_EQ(runCli({"record", box.file("x.mp3"), "--seconds", "1"}).status, 2);

    // Without the sound library the message names it, and no file is made.
    qputenv("DISCWRIGHT_SDL_LIBDIR", box.file("no-libs").toLocal8Bit());
    r = runCli({"record", box.file("nolib.wav"), "--seconds", "1"});
    qunsetenv("DISCWRIGHT_SDL_LIBDIR");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("libSDL2-2.0.so.0 library could not be loaded.")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(box.file("nolib.wav")));
}

// SIGTERM a moment into a 30-second recording: status 130, and the file
// holds whole frames of what was captured with a header that says so.
TEST_F(CliRecord, StopBySignalLeavesAWholeFile)
{
    QProcess p;
    p.start(dwtest::binDir() + "/discwright-cli",
            {"record", out(), "--seconds", "30", "--rate", "8000", "--channels", "2", "--quiet"});
    ASSERT_TRUE(p.waitForStarted());
    // The hidden work file grows once audio arrives.
    const QString work = box.file(".out.wav.recording.wav");
    ASSERT_TRUE(dwtest::waitFor([&] {
        QDir dir(box.path());
        for (const QString& name : dir.entryList(QDir::Hidden | QDir::Files))
            if (name.contains(".out.wav.recording") && QFileInfo(dir.filePath(name)).size() > 44 + 4000)
                return true;
        return p.state() == QProcess::NotRunning;
    }));
    ASSERT_EQ(p.state(), QProcess::Running);
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 130) << p.readAllStandardError().toStdString();
    const QByteArray data = waveData(out());
    EXPECT_GE(data.size(), 4000);
    EXPECT_EQ(data.size() % 4, 0);
    EXPECT_EQ(data, input.left(data.size()));
    EXPECT_FALSE(QFile::exists(work));
}

// A disk that fills up (a file-size limit) ends the recording with the
// reason, keeping every whole frame that fit and a header that matches.
TEST_F(CliRecord, FullDiskKeepsWhatFitWithAMatchingHeader)
{
    dwtest::CliRunOptions options;
    options.fileSizeLimit = 44 + 6001;
    const auto r = dwtest::runCliRaw({"record", out().toUtf8(), "--seconds", "2", "--rate", "8000", "--channels", "1"},
                                     options);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("File too large")) << r.err.toStdString();
    EXPECT_EQ(waveData(out()), input.left(6000));
}

}  // namespace
