#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/Settings.h"
#include "platform/IniFile.h"
#include "support/TestSupport.h"

using namespace dw;

namespace {
QString folderOf(const dwtest::Sandbox& box) { return box.configHome() + "/Quobel/Discwright/"; }
}  // namespace

TEST(Settings, DefaultsWhenNoFile)
{
    dwtest::Sandbox box;
    AppSettings = TAppSettings{};
    AppSettings.DiscArtist = "kept";
    LoadSettings();
    EXPECT_EQ(AppSettings.OutputFolder, folderOf(box));
    EXPECT_TRUE(QDir(folderOf(box)).exists());
    EXPECT_EQ(AppSettings.OutputFormat, 0);
    EXPECT_EQ(AppSettings.NormalizePercent, 95);
    EXPECT_EQ(AppSettings.BitRate, 128);
    EXPECT_EQ(AppSettings.MaxBitRate, 320);
    EXPECT_EQ(AppSettings.VBRQuality, 4);
    EXPECT_EQ(AppSettings.StereoMode, 1);
    EXPECT_TRUE(AppSettings.IsUseCompress);
    EXPECT_EQ(AppSettings.CompressPosition, 30);
    EXPECT_EQ(AppSettings.WmaBitRate, 8);
    EXPECT_EQ(AppSettings.Index, -1);
    EXPECT_EQ(AppSettings.Server, DefaultCddbServer);
    EXPECT_EQ(AppSettings.Script, "/~cddb/cddb.cgi");
    EXPECT_EQ(AppSettings.Port, "80");
    EXPECT_EQ(AppSettings.Lan, "English");
    EXPECT_EQ(AppSettings.DiscArtist, "kept");  // disc fields are not settings
}

TEST(Settings, ClampingAndTolerantParsing)
{
    dwtest::Sandbox box;
    QDir().mkpath(folderOf(box));
    box.write(folderOf(box) + "options.ini",
              "[CommonOptions]\nIsKeepWav=7\n[Mp3Options]\nBitRate=abc\n[OggOptions]\nCompressPosition=5\n");
    LoadSettings();
    EXPECT_TRUE(AppSettings.IsKeepWav);
    EXPECT_EQ(AppSettings.BitRate, 128);
    EXPECT_EQ(AppSettings.CompressPosition, 30);

    box.write(folderOf(box) + "options.ini", "[OggOptions]\nCompressPosition=250\n");
    LoadSettings();
    EXPECT_EQ(AppSettings.CompressPosition, 100);
}

TEST(Settings, SaveWritesEveryKeyInOrderAndRoundTrips)
{
    dwtest::Sandbox box;
    LoadSettings();
    AppSettings.OutputFormat = 2;
    AppSettings.OggMaxBitRate = 3;
    AppSettings.WmaBitRate = 12;
    AppSettings.ProxyAddress = "proxy.example";
    AppSettings.Lan = "German";
    ASSERT_TRUE(SaveSettings());

    const QString text = QString::fromUtf8(box.read(folderOf(box) + "options.ini"));
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    QStringList sections;
    for (const QString& l : lines)
        if (l.startsWith('['))
            sections << l;
    EXPECT_EQ(sections, (QStringList{"[CommonOptions]", "[Mp3Options]", "[OggOptions]", "[WMAOptions]", "[CDOptions]",
                                     "[RecordOptions]", "[QueryCDDB]", "[ID3]", "[Options]"}));
    EXPECT_EQ(lines.size(), 30 + 9);
    // Same key names in different sections stay apart.
    IniFile ini(folderOf(box) + "options.ini");
    EXPECT_EQ(ini.readInteger("OggOptions", "MaxBitRate", -1), 3);
    EXPECT_EQ(ini.readInteger("Mp3Options", "MaxBitRate", -1), 320);
    EXPECT_EQ(ini.readInteger("WMAOptions", "BitRate", -1), 12);
    EXPECT_EQ(ini.readString("CommonOptions", "IsKeepWav", ""), "0");

    TAppSettings saved = AppSettings;
    AppSettings = TAppSettings{};
    LoadSettings();
    for (const SettingDescriptor& d : SettingDescriptors())
        EXPECT_EQ(SettingValue(AppSettings, d.section, d.key), SettingValue(saved, d.section, d.key))
            << d.section << "." << d.key;
}

TEST(Settings, FallsBackToProgramFolderWhenAppDataCannotBeCreated)
{
    dwtest::Sandbox box;
    // A file where the configuration folder should be makes creation fail.
    box.write("blocked", "x");
    qputenv("XDG_CONFIG_HOME", box.file("blocked").toUtf8());
    LoadSettings();
    EXPECT_EQ(AppSettings.OutputFolder, box.programDir() + "/");
    ASSERT_TRUE(SaveSettings());
    EXPECT_TRUE(QFile::exists(box.programDir() + "/options.ini"));
}

TEST(Settings, SetSettingValueChecksTypes)
{
    TAppSettings s;
    EXPECT_TRUE(SetSettingValue(s, "mp3options", "bitrate", "192"));
    EXPECT_EQ(s.BitRate, 192);
    EXPECT_FALSE(SetSettingValue(s, "Mp3Options", "BitRate", "fast"));
    EXPECT_TRUE(SetSettingValue(s, "ID3", "Use", "yes"));
    EXPECT_TRUE(s.Use);
    EXPECT_FALSE(SetSettingValue(s, "ID3", "Use", "maybe"));
    EXPECT_TRUE(SetSettingValue(s, "OggOptions", "CompressPosition", "1000"));
    EXPECT_EQ(s.CompressPosition, 100);
    EXPECT_FALSE(SetSettingValue(s, "Nope", "Key", "1"));
    bool ok = true;
    SettingValue(s, "Options", "Missing", &ok);
    EXPECT_FALSE(ok);
}
