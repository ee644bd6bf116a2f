#include <gtest/gtest.h>


#include "platform/IniFile.h"
#include "support/TestSupport.h"

using dwtest::runCli;

TEST(CliConfig, PrintsSetsAndSaves)
{
    dwtest::Sandbox box;
    const QString ini = box.configHome() + "/Quobel/Discwright/options.ini";
    box.write(ini, "[OggOptions]\nCompressPosition=5\n");

    auto all = runCli({"config"});
    ASSERT_EQ(all.status, 0) << all.err.toStdString();
    const QStringList lines = all.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 30);
    EXPECT_EQ(lines.front(), "CommonOptions.OutputFolder=" + box.configHome() + "/Quobel/Discwright/");
    EXPECT_TRUE(lines.contains("OggOptions.CompressPosition=30"));
    EXPECT_EQ(lines.back(), "Options.Lan=English");

    auto one = runCli({"config", "mp3options.bitrate"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, "128\n");

    auto set = runCli({"config", "Mp3Options.BitRate=256"});
    ASSERT_EQ(set.status, 0) << set.err.toStdString();
    EXPECT_EQ(dw::IniFile(ini).readInteger("Mp3Options", "BitRate", 0), 256);
    EXPECT_EQ(runCli({"config", "Mp3Options.BitRate"}).out, "256\n");

    auto json = runCli({"config", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_TRUE(json.out.contains("\"BitRate\": 256"));
}

TEST(CliConfig, ErrorsAreOneLineAndNonZero)
{
    dwtest::Sandbox box;
    for (const QStringList& args : {QStringList{"config", "Nope.Key"}, QStringList{"config", "Mp3Options.BitRate=fast"},
                                    QStringList{"config", "justtext"}, QStringList{"config", "--bogus"},
                                    QStringList{"no-such-command"}}) {
        auto r = runCli(args);
        EXPECT_NE(r.status, 0) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("discwright-cli: ")) << r.err.toStdString();
    }
}
