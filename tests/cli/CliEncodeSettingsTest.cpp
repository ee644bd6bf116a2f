// encode mp3 and encode wma take the stored MP3 and WMA options of
// options.ini, as set with config: judged by what ffprobe reads from the
// files lame and the WMA tool write.

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

using dwtest::runCli;

namespace {

// One value of the first audio stream (or of the format, for tags) as ffprobe gives it.
QString probe(const QString& file, const QString& entry)
{
    return dwtest::peer("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries", entry, "-of",
                                    "default=nw=1:nk=1", file})
        .trimmed();
}

}  // namespace

TEST(CliEncodeSettings, Mp3AndWmaFollowTheStoredOptions)
{
    dwtest::Sandbox box;
    ASSERT_TRUE(QFile::link(dwtest::binDir() + "/WM8EUTIL", box.programDir() + "/WM8EUTIL"));
    const QString wav = box.file("in.wav");
    ASSERT_TRUE(dwtest::runTool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "2", "sine", "440"})
                    .ok);

    // The defaults first: joint stereo at 128 kbit/s.
    ASSERT_EQ(runCli({"encode", "mp3", wav, box.file("default.mp3"), "--quiet"}).status, 0);
    EXPECT_EQ(probe(box.file("default.mp3"), "stream=channels"), "2");
    EXPECT_EQ(probe(box.file("default.mp3"), "stream=bit_rate"), "128000");

    // Mono at 64 kbit/s as stored.
    for (const char* value : {"Mp3Options.StereoMode=4", "Mp3Options.BitRate=64"})
        ASSERT_EQ(runCli({"config", value}).status, 0) << value;
    ASSERT_EQ(runCli({"encode", "mp3", wav, box.file("mono.mp3"), "--quiet"}).status, 0);
    EXPECT_EQ(probe(box.file("mono.mp3"), "stream=channels"), "1");
    EXPECT_EQ(probe(box.file("mono.mp3"), "stream=bit_rate"), "64000");

    // WMA profile 11 is 44.1 kHz mono at 48 kbit/s.
    ASSERT_EQ(runCli({"config", "WMAOptions.BitRate=11"}).status, 0);
    const auto r = runCli({"encode", "wma", wav, box.file("out.wma"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(probe(box.file("out.wma"), "stream=channels"), "1");
    EXPECT_EQ(probe(box.file("out.wma"), "stream=bit_rate"), "48000");
}
