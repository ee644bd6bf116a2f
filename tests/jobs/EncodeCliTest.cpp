// discwright-cli encode as a black box: exit status, error line, result file.

#include "JobsTestSupport.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using dwtest::runCli;

TEST(EncodeCommand, EncodesRefusesToOverwriteAndReportsFailures)
{
    if (!QFileInfo(dwtest::binDir() + "/discwright-cli").isExecutable())
        GTEST_SKIP() << "discwright-cli not built";
    dwtest::Sandbox box;
    // The command finds WM8EUTIL in its own folder, like an installed program.
    qunsetenv("DISCWRIGHT_PROGRAM_DIR");
    jobstest::writeWav(box.file("in.wav"), 44100, 2, 1.0);

    auto r = runCli({"encode", "mp3", box.file("in.wav"), box.file("out.mp3"), "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(jobstest::probe(box.file("out.mp3")).value("codec_name"), "mp3");

    r = runCli({"encode", "mp3", box.file("in.wav"), box.file("out.mp3"), "--quiet"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("--overwrite")) << r.err.toStdString();
    EXPECT_EQ(r.err.count('\n'), 1);

    r = runCli({"encode", "wma", box.file("in.wav"), box.file("out.wma"), "--quiet", "--json"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("\"result\": 2"));
    EXPECT_EQ(jobstest::probe(box.file("out.wma")).value("codec_name"), "wmav2");

    // A WAV header over nothing the tool can read: its ERROR line is the message.
    box.write("noise.wav", QByteArray("RIFF\x24\0\0\0WAVE", 12) + "not sound at all");
    r = runCli({"encode", "wma", box.file("noise.wav"), box.file("noise.wma"), "--quiet"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("discwright-cli: ERROR: " + box.file("noise.wav"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(box.file("noise.wma")));

    r = runCli({"encode", "flac", box.file("in.wav"), box.file("x.flac")});
    EXPECT_EQ(r.status, 2);
}
