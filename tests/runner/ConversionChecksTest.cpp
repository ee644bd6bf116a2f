// The rules every front end applies before a conversion or a rip: which
// outputs carry ReplayGain values (and the words that say which), and the
// output folder a conversion writes into.
#include "runner/ConversionChecks.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

using namespace dw;

TEST(ConversionChecks, ReplayGainGoesWithTheFormatAJobWrites)
{
    for (TJobKind kind : {jkWavToMp3, jkRecordingToMp3, jkWavToOgg, jkToFlac, jkToOpus}) {
        EXPECT_TRUE(JobWritesReplayGain(kind, TOutputFormat::Wav, true)) << int(kind);
        EXPECT_FALSE(JobWritesReplayGain(kind, TOutputFormat::Mp3, false)) << int(kind);
    }
    EXPECT_FALSE(JobWritesReplayGain(jkMp3ToWav, TOutputFormat::Mp3, true));
    EXPECT_FALSE(JobWritesReplayGain(jkWavToWma, TOutputFormat::Mp3, true));
    // A rip writes the format it is given.
    for (TOutputFormat f : {TOutputFormat::Mp3, TOutputFormat::Ogg, TOutputFormat::Flac, TOutputFormat::Opus})
        EXPECT_TRUE(JobWritesReplayGain(jkRipTracks, f, true)) << FormatName(f).toStdString();
    EXPECT_FALSE(JobWritesReplayGain(jkRipTracks, TOutputFormat::Wav, true));
    EXPECT_FALSE(JobWritesReplayGain(jkRipTracks, TOutputFormat::Wma, true));
    EXPECT_EQ(ReplayGainFormatNames(" or "), "mp3, ogg, flac or opus");
    EXPECT_EQ(NoReplayGainReason(), "WAV and WMA files carry no ReplayGain values");
    for (TOutputFormat f : {TOutputFormat::Mp3, TOutputFormat::Wav, TOutputFormat::Ogg, TOutputFormat::Wma,
                            TOutputFormat::Flac, TOutputFormat::Opus})
        EXPECT_EQ(JobOutputFormat(ConversionKindFor(f), TOutputFormat::Wav), f) << FormatName(f).toStdString();
}

// A missing folder is made one level deep when the front end asks for it
// and refused otherwise; a file in its place is named as such in both.
TEST(ConversionChecks, TheOutputFolderIsMadeOrRefusedAsTheFrontEndChooses)
{
    dwtest::Sandbox box;
    const QString made = box.file("made");
    EXPECT_EQ(CheckConversion(jkToFlac, made + "/", TMissingFolder::Create), std::nullopt);
    EXPECT_TRUE(QFileInfo(made).isDir());

    const std::optional<TJobFailure> refused = CheckConversion(jkToFlac, box.file("other"), TMissingFolder::Refuse);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind, TJobFailure::Kind::Refused);
    EXPECT_EQ(refused->Text(), "The output directory does not exist.Please check the output directory setting.");
    EXPECT_FALSE(QFile::exists(box.file("other")));

    const std::optional<TJobFailure> deep = CheckConversion(jkToFlac, box.file("a/b"), TMissingFolder::Create);
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->Text(), "Cannot create " + box.file("a/b") + ": No such file or directory");

    box.write("plain", "x");
    for (TMissingFolder missing : {TMissingFolder::Create, TMissingFolder::Refuse}) {
        const std::optional<TJobFailure> file = CheckConversion(jkToOpus, box.file("plain") + "/", missing);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->kind, TJobFailure::Kind::Write);
        EXPECT_EQ(file->Text(), box.file("plain") + ": Not a directory");
    }
}

}  // namespace
