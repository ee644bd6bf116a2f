// discwright-cli play through SDL's disk driver, as a black box: the device
// gets exactly oggdec's PCM (or the WAV's own), --start and --balance act on
// what is played, wrong arguments and failing devices end with a message,
// and SIGINT or SIGTERM stops playback with status 130.

#include "player/PlayerTestUtil.h"
#include "support/TestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

using namespace dwtest;

TEST(CliPlay, DeviceGetsTheDecodedFileFromTheStartOrFromWhereAsked)
{
    Sandbox box;
    const QString ogg = box.file("tone.ogg");
    ASSERT_TRUE(makeToneOgg(ogg, 1.5));
    const std::vector<int16_t> reference = trimSilence(samplesOf(oggdecPcm(ogg)));
    {
        DiskAudio disk(box.file("whole.raw"));
        const CliResult r = runCli({"play", ogg, "--quiet"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains("played 0:01 of 0:01")) << r.out.toStdString();
        EXPECT_TRUE(trimSilence(samplesOf(readAll(box.file("whole.raw")))) == reference);
    }
    {
        // From 1 s on, the right channel silenced (balance -100).
        DiskAudio disk(box.file("late.raw"));
        const CliResult r = runCli({"play", ogg, "--start", "1", "--balance", "-100", "--quiet"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const std::vector<int16_t> played = trimSilence(samplesOf(readAll(box.file("late.raw"))));
        const std::vector<int16_t> full = samplesOf(oggdecPcm(ogg));
        ASSERT_EQ(played.size(), full.size() - 2 * 44100) << "playback should begin at sample frame 44100";
        int wrong = 0;
        for (size_t i = 0; i < played.size(); i += 2)
            wrong += played[i] != full[2 * 44100 + i] || played[i + 1] != 0;
        EXPECT_EQ(wrong, 0);
    }
    {
        // A WAV file plays as it is, sample for sample.
        const std::vector<int16_t> frames = counterFrames(20000);
        ASSERT_TRUE(writeWav(box.file("counter.wav"), frames));
        DiskAudio disk(box.file("wav.raw"));
        const CliResult r = runCli({"play", box.file("counter.wav"), "--quiet"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(trimSilence(samplesOf(readAll(box.file("wav.raw")))) == frames);
    }
}

TEST(CliPlay, WrongArgumentsAndFailingDevicesEndWithAMessage)
{
    Sandbox box;
    const QString ogg = box.file("tone.ogg");
    ASSERT_TRUE(makeToneOgg(ogg, 1));
    box.write("not.ogg", "no ogg here");
    DiskAudio disk(box.file("out.raw"));
    struct Case {
        QStringList args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{"play"}, 2, "usage"},
        {{"play", ogg, "--balance", "101"}, 2, "--balance"},
        {{"play", ogg, "--start", "-1"}, 2, "--start"},
        {{"play", ogg, "--start", "5"}, 2, "beyond the end"},
        {{"play", box.file("song.mp3")}, 1, "only .ogg and .wav"},
        {{"play", box.file("missing.ogg")}, 1, "missing.ogg: No such file or directory"},
        {{"play", box.file("not.ogg")}, 1, "not a playable Ogg Vorbis file"},
    };
    for (const Case& c : cases) {
        const CliResult r = runCli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    }
    {
        DiskAudio unopenable(box.file("no/such/dir/out.raw"));
        const CliResult r = runCli({"play", ogg});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains("Failed to create DirectSound buffer")) << r.err.toStdString();
    }
    {
        DiskAudio hung(box.file("hung.raw"), 1500);  // the device stops taking data
        const CliResult r = runCli({"play", ogg}, 20000);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains("Audio output error")) << r.err.toStdString();
    }
}

// Either stop signal, once the device has taken half a second, ends the
// run long before the minute the file lasts: status 130, the place reached
// on stdout and the signal named on stderr.
TEST(CliPlay, ASignalStopsPlaybackWithStatus130)
{
    Sandbox box;
    const QString ogg = box.file("long.ogg");
    ASSERT_TRUE(makeToneOgg(ogg, 60));
    for (const int sig : {SIGINT, SIGTERM}) {
        const char* name = sig == SIGINT ? "SIGINT" : "SIGTERM";
        const QString raw = box.file(QString("out-%1.raw").arg(name));
        DiskAudio disk(raw);
        QProcess p;
        p.start(binDir() + "/discwright-cli", {"play", ogg, "--quiet"});
        ASSERT_TRUE(p.waitForStarted());
        ASSERT_TRUE(waitFor([&] { return QFileInfo(raw).size() > 44100 * 4 / 2 || p.state() == QProcess::NotRunning; }));
        ASSERT_EQ(p.state(), QProcess::Running) << name << " " << p.readAllStandardError().toStdString();
        ::kill(pid_t(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(60000)) << name;
        EXPECT_EQ(p.exitCode(), 130) << name;
        // SDL's disk driver warns on stderr first.
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_TRUE(err.endsWith(QString("\ndiscwright-cli: stopped by %1\n").arg(name))) << err.toStdString();
        const QString said = QString::fromUtf8(p.readAllStandardOutput());
        EXPECT_TRUE(said.startsWith(ogg + ": played 0:") && said.endsWith(" of 1:00\n")) << said.toStdString();
        EXPECT_LT(QFileInfo(raw).size(), 44100 * 4 * 50) << name;
    }
}
