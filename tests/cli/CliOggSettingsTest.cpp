// The Ogg settings of options.ini give one stream whichever way an Ogg Vorbis
// file is made: encode ogg, convert ogg, a drive-mode rip and a ripper-mode
// rip, judged by the bit-rate lines ogginfo prints.

#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

using dwtest::runCli;

namespace {

// The nominal, upper and lower bit-rate lines of ogginfo for the file.
QString bitRateLines(const QString& ogg)
{
    const auto info = dwtest::runTool("ogginfo", {ogg}, 120000);
    if (!info.ok)
        return "ogginfo refuses " + ogg;
    QStringList lines;
    for (const QString& line : info.out.split('\n'))
        if (line.contains("bitrate", Qt::CaseInsensitive) && !line.contains("Average", Qt::CaseInsensitive))
            lines << line.trimmed();
    return lines.join('\n');
}

// The one file of the folder with the suffix; empty when there is not exactly one.
QString onlyFile(const QString& folder, const QString& suffix)
{
    const QStringList files = QDir(folder).entryList({"*" + suffix}, QDir::Files);
    return files.size() == 1 ? folder + "/" + files[0] : QString();
}

}  // namespace

TEST(CliOggSettings, OneSettingGivesTheSameStreamInEveryPath)
{
    dwtest::Sandbox box;
    const QString cue = dwtest::makeCdImage(box.path(), {2});
    struct Case {
        QStringList config;
        QString expected;  // ogginfo's bit-rate lines
    };
    // Bit-rate mode: positions 8, 10 and 6 are the dialog's 128, 160 and
    // 96 kbit/s. Quality mode: position 50 is quality 0.4.
    const std::vector<Case> cases = {
        {{"OggOptions.IsUseCompress=0", "OggOptions.NomalBitRate=8", "OggOptions.MaxBitRate=10",
          "OggOptions.MinBitRate=6"},
         "Nominal bitrate: 128.000000 kb/s\nUpper bitrate: 160.000000 kb/s\nLower bitrate: 96.000000 kb/s"},
        {{"OggOptions.IsUseCompress=1", "OggOptions.CompressPosition=50"},
         "Nominal bitrate: 128.000000 kb/s\nUpper bitrate not set\nLower bitrate not set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config.join(' ').toStdString());
        for (const QString& value : c.config)
            ASSERT_EQ(runCli({"config", value}).status, 0);
        const QString drive = box.file("drive"), ripper = box.file("ripper"), converted = box.file("converted");
        for (const QString& folder : {drive, ripper, converted})
            QDir(folder).removeRecursively();

        auto r = runCli({"rip", "--device", cue, "--output", drive, "--format", "ogg", "--mode", "drive", "--keep-wav"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        r = runCli({"rip", "--device", cue, "--output", ripper, "--format", "ogg", "--mode", "ripper"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QString wav = onlyFile(drive, ".wav");
        ASSERT_FALSE(wav.isEmpty());
        const QString encoded = box.file("encoded.ogg");
        r = runCli({"encode", "ogg", wav, encoded, "--overwrite"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        r = runCli({"convert", "ogg", wav, "--output", converted, "--quiet"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();

        EXPECT_EQ(bitRateLines(onlyFile(drive, ".ogg")), c.expected) << "drive-mode rip";
        EXPECT_EQ(bitRateLines(onlyFile(ripper, ".ogg")), c.expected) << "ripper-mode rip";
        EXPECT_EQ(bitRateLines(encoded), c.expected) << "encode ogg";
        EXPECT_EQ(bitRateLines(onlyFile(converted, ".ogg")), c.expected) << "convert ogg";
    }
}
