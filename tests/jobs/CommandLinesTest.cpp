// Argument vectors of the encoders and where their programs are found.

#include "JobsTestSupport.h"

#include "app/Settings.h"
#include "jobs/EncoderCommandLines.h"
#include "jobs/WmaProfiles.h"
#include "support/TestSupport.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace dw;

TEST(LameCommandLine, FollowsTheMp3Settings)
{
    TAppSettings s;
    EXPECT_EQ(LameArguments(s, true, "/a b/in.wav", "/a b/\"out\".mp3"),
              QStringList({"-b", "128", "-m", "j", "/a b/in.wav", "/a b/\"out\".mp3"}));

    s.BitRate = 96;
    s.StereoMode = 4;
    s.MpegQuality = 2;
    s.IsSelectVBR = true;
    s.VBRQuality = 2;
    s.MaxBitRate = 256;
    s.IsVBRHead = true;
    EXPECT_EQ(LameArguments(s, true, "i", "o"),
              QStringList({"-b", "96", "-m", "m", "-h", "-V", "2", "-B", "256", "-t", "i", "o"}));

    s.StereoMode = 7;
    s.MpegQuality = 1;
    s.IsVBRHead = false;
    EXPECT_EQ(LameArguments(s, true, "i", "o"), QStringList({"-b", "96", "-f", "-V", "2", "-B", "256", "i", "o"}));
    s.IsVBRHead = true;
    s.IsSelectVBR = false;  // the VBR tag switch only counts under VBR
    EXPECT_EQ(LameArguments(s, true, "i", "o"), QStringList({"-b", "96", "-f", "i", "o"}));

    EXPECT_EQ(LameArguments(s, false, "i.mp3", "o.wav"), QStringList({"--decode", "i.mp3", "o.wav"}));

    // Names that lame would take for switches (or for standard input and output).
    EXPECT_EQ(LameArguments(s, false, "-", "-b.wav"), QStringList({"--decode", "./-", "./-b.wav"}));
    EXPECT_EQ(LameArguments(s, true, "-V0.wav", "/x/-o.mp3").mid(3), QStringList({"./-V0.wav", "/x/-o.mp3"}));
}

TEST(WmaCommandLine, ProfileAndTags)
{
    TAppSettings s;
    EXPECT_EQ(WmaArguments(s, "in.wav", "out.wma"),
              QStringList({"-input", "in.wav", "-output", "out.wma", "-a_setting", "64_44_2"}));

    s.DiscArtist = "The Blank Spaces";
    s.DiscComment = "Live at \"the\" hall";
    EXPECT_EQ(WmaArguments(s, "i", "o").size(), 6);  // tags only when tagging is on
    s.Use = true;
    EXPECT_EQ(WmaArguments(s, "i", "o").mid(6),
              QStringList({"-author", "The Blank Spaces", "-description", "Live at \"the\" hall"}));
    s.DiscArtist.clear();
    EXPECT_EQ(WmaArguments(s, "i", "o").mid(6), QStringList({"-description", "Live at \"the\" hall"}));

    for (int bad : {33, -1}) {
        s.WmaBitRate = bad;
        EXPECT_EQ(WmaArguments(s, "i", "o")[5], "64_44_2");
        EXPECT_EQ(s.WmaBitRate, 8);
    }
    s.WmaBitRate = 0;
    EXPECT_EQ(WmaArguments(s, "i", "o")[5], "192_48_2");
    s.WmaBitRate = 32;
    EXPECT_EQ(WmaArguments(s, "i", "o")[5], "5_8_1");

    EXPECT_EQ(WmaProfileLabel(8), "44.100 kHz,  64 kbit/s, Stereo");
    EXPECT_EQ(WmaProfileSetting(27), "10_11_1");
    EXPECT_EQ(WmaProfileLabel(29), " 8.000 kHz,  12 kbit/s, Stereo");
    EXPECT_TRUE(WmaProfileSetting(33).isEmpty());
}

TEST(EncoderPrograms, ProgramFolderFirstThenPath)
{
    dwtest::Sandbox box;
    // No tool in the program folder: lame comes from PATH, WM8EUTIL is missing.
    EXPECT_EQ(LameProgram(), QStandardPaths::findExecutable("lame"));
    EXPECT_TRUE(WmaProgram().isEmpty());

    // A non-executable file does not count.
    box.write("program/WM8EUTIL", "not a program");
    EXPECT_TRUE(WmaProgram().isEmpty());

    jobstest::writeScript(box.programDir() + "/lame", "exit 0\n");
    jobstest::writeScript(box.programDir() + "/WM8EUTIL", "exit 0\n");
    EXPECT_EQ(LameProgram(), box.programDir() + "/lame");
    EXPECT_EQ(WmaProgram(), box.programDir() + "/WM8EUTIL");
}
