#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "platform/IniFile.h"
#include "support/TestSupport.h"

using dwtest::runCli;

namespace {

// HOME for the runs of one test, so the default output folder is the sandbox's.
struct HomeIn {
    explicit HomeIn(const QString& home) : old(qgetenv("HOME")) { qputenv("HOME", home.toUtf8()); }
    ~HomeIn() { qputenv("HOME", old); }
    QByteArray old;
};

}  // namespace

TEST(CliConfig, PrintsSetsAndSaves)
{
    dwtest::Sandbox box;
    HomeIn home(box.path());
    const QString ini = box.configHome() + "/Quobel/Discwright/options.ini";
    box.write(ini, "[OggOptions]\nCompressPosition=5\n");

    auto all = runCli({"config"});
    ASSERT_EQ(all.status, 0) << all.err.toStdString();
    const QStringList lines = all.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 37);
    EXPECT_EQ(lines.front(), "CommonOptions.OutputFolder=" + box.path() + "/Music/");
    EXPECT_TRUE(lines.contains("OggOptions.CompressPosition=30"));
    EXPECT_TRUE(lines.contains("FlacOptions.CompressionLevel=5") && lines.contains("FlacOptions.Verify=1"));
    EXPECT_TRUE(lines.contains("OpusOptions.BitRate=160") && lines.contains("OpusOptions.IsVBR=1"));
    EXPECT_TRUE(lines.contains("ReplayGain.Use=0"));
    EXPECT_TRUE(lines.contains("WaveConvert.Dither=0"));
    EXPECT_EQ(lines.back(), "Options.Lan=English");

    auto one = runCli({"config", "mp3options.bitrate"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, "128\n");

    auto set = runCli({"config", "Mp3Options.BitRate=256"});
    ASSERT_EQ(set.status, 0) << set.err.toStdString();
    EXPECT_EQ(dw::IniFile(ini).readInteger("Mp3Options", "BitRate", 0), 256);
    EXPECT_EQ(runCli({"config", "Mp3Options.BitRate"}).out, "256\n");
    // Only the key set is written; the file's other lines stay as they were.
    EXPECT_EQ(box.read(ini), "[OggOptions]\nCompressPosition=5\n[Mp3Options]\nBitRate=256\n");

    auto json = runCli({"config", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_TRUE(json.out.contains("\"BitRate\": 256"));
}

TEST(CliConfig, ValuesOutsideTheOptionsRangesAreRefused)
{
    dwtest::Sandbox box;
    const QString ini = box.configHome() + "/Quobel/Discwright/options.ini";
    const QByteArray before = "[Mp3Options]\nVBRQuality=4\n";
    box.write(ini, before);
    const struct {
        const char* arg;
        const char* allowed;
    } cases[] = {
        {"OggOptions.CompressPosition=5", "OggOptions.CompressPosition (a whole number from 30 to 100)"},
        {"CommonOptions.OutputFormat=6", "CommonOptions.OutputFormat (a whole number from 0 to 5)"},
        {"FlacOptions.CompressionLevel=9", "FlacOptions.CompressionLevel (a whole number from 0 to 8)"},
        {"OpusOptions.BitRate=5", "OpusOptions.BitRate (a whole number from 6 to 510)"},
        {"CommonOptions.NormalizePercent=101", "CommonOptions.NormalizePercent (a whole number from 0 to 100)"},
        {"CommonOptions.RipTime=-1", "CommonOptions.RipTime (a whole number from 0 to"},
        {"Mp3Options.VBRQuality=-1", "Mp3Options.VBRQuality (a whole number from 0 to 9)"},
        {"WMAOptions.BitRate=33", "WMAOptions.BitRate (a whole number from 0 to 32)"},
        {"OggOptions.MinBitRate=15", "OggOptions.MinBitRate (a whole number from 0 to 14)"},
        {"QueryCDDB.Port=65536", "QueryCDDB.Port (a whole number from 1 to 65535)"},
        {"ID3.Use=2", "ID3.Use (0 or 1)"},
    };
    for (const auto& c : cases) {
        auto r = runCli({"config", c.arg});
        EXPECT_EQ(r.status, 1) << c.arg;
        const QString value = QString(c.arg).section('=', 1);
        EXPECT_TRUE(r.err.startsWith("discwright-cli: '" + value + "' is not a valid value for " + c.allowed))
            << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1);
    }
    EXPECT_EQ(box.read(ini), before);
    EXPECT_EQ(runCli({"config", "QueryCDDB.Port=65535"}).status, 0);
    EXPECT_EQ(dw::IniFile(ini).readString("QueryCDDB", "Port", ""), "65535");
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

    // A settings file that cannot be read is reported and left alone.
    const QString ini = box.configHome() + "/Quobel/Discwright/options.ini";
    QDir().mkpath(ini);
    auto r = runCli({"config", "Mp3Options.BitRate=192"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "discwright-cli: " + ini + ": Is a directory\n");
}
