// The main window's file conversions and `discwright-cli convert` make the
// same checks before a job and refuse with the same words; a refusal is
// shown, never swallowed.
#include "MainFormFixture.h"

#include "record/RecordTestAudio.h"

#include <QDir>

namespace {

using dwtest::MainFormFixture;

TEST_F(MainFormFixture, ConversionRefusalsAreTheSameInTheWindowAndTheCommandLine)
{
    insertDisc({10});
    start();
    const QString wav = sandbox_.path() + "/in.wav";
    dwtest::writeWave(wav, dw::TWaveAudioFormat{2, 44100, 16}, dwtest::noiseBytes(44100 * 4, 3));

    // A file where the output folder should be.
    const QString plain = sandbox_.path() + "/plain";
    sandbox_.write("plain", "not a folder");
    dw::AppSettings.OutputFolder = plain + "/";
    dialogs_.queueFiles({wav});
    choose("miWavToOgg");
    const QString notFolder = plain + ": Not a directory";
    EXPECT_EQ(dialogs_.texts(), QStringList{notFolder});
    const auto cli = dwtest::runCli({"convert", "ogg", wav, "--output", plain});
    EXPECT_EQ(cli.status, 1);
    EXPECT_EQ(cli.err, "discwright-cli: " + notFolder + "\n");
    EXPECT_EQ(sandbox_.read("plain"), "not a folder");

    // No lame for MP3: the window says so instead of ending silently.
    const QByteArray path = qgetenv("PATH");
    const QString empty = sandbox_.path() + "/no-programs";
    ASSERT_TRUE(QDir().mkpath(empty));
    qputenv("PATH", empty.toUtf8());
    dw::AppSettings.OutputFolder = outputFolder() + "/";
    dialogs_.clear();
    dialogs_.queueFiles({wav});
    choose("miWavToMp3");
    const QStringList shown = dialogs_.texts();
    const auto noLame = dwtest::runCli({"convert", "mp3", wav, "--output", outputFolder()});
    qputenv("PATH", path);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown.front().startsWith("lame was not found")) << shown.front().toStdString();
    EXPECT_EQ(noLame.status, 1);
    EXPECT_EQ(noLame.err, "discwright-cli: " + shown.front() + "\n");
    EXPECT_FALSE(QFile::exists(outputFolder() + "/in.mp3"));

}

}  // namespace
