// The output-format table against what the windows, the command line and the
// file names used before it existed: names, extensions, dialog entries,
// stored values (and values out of range), and the per-format rules.

#include "app/OutputFormats.h"

#include <gtest/gtest.h>

#include <climits>

using namespace dw;

TEST(OutputFormats, TableKeepsTheStoredValuesNamesAndRules)
{
    using E = TFormatEncoder;
    using T = TFormatTags;
    struct Row {
        int stored;
        const char* name;
        const char* cliName;
        const char* extension;
        const char* dialogItem;
        E encoder;
        const char* program;
        T tags;
        bool replayGain;
    };
    const Row rows[] = {
        {0, "MP3", "mp3", ".mp3", "MP3 file(*.MP3)", E::External, "lame", T::Id3, true},
        {1, "WAV", "wav", ".wav", "WAV file(*.WAV)", E::None, nullptr, T::None, false},
        {2, "OGG", "ogg", ".ogg", "OGG file(*.OGG)", E::InProcess, nullptr, T::VorbisComments, true},
        {3, "WMA", "wma", ".wma", "WMA file(*.WMA)", E::External, "WM8EUTIL", T::WmaFields, false},
        {4, "FLAC", "flac", ".flac", "FLAC file(*.FLAC)", E::InProcess, nullptr, T::VorbisComments, true},
        {5, "Opus", "opus", ".opus", "Opus file(*.OPUS)", E::InProcess, nullptr, T::VorbisComments, true},
    };
    ASSERT_EQ(OutputFormats().size(), std::size(rows));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<TOutputFormat> format = OutputFormatFromStored(row.stored);
        ASSERT_TRUE(format.has_value());
        EXPECT_EQ(static_cast<int>(*format), row.stored);
        EXPECT_EQ(StoredOutputFormat(row.stored), *format);
        EXPECT_EQ(OutputFormatFromName(row.cliName), format);
        EXPECT_EQ(FormatName(*format), row.name);
        EXPECT_EQ(FormatExtension(*format), row.extension);
        const TOutputFormatInfo& info = FormatInfo(*format);
        EXPECT_EQ(&OutputFormats()[std::size_t(row.stored)], &info);
        EXPECT_STREQ(info.dialogItem, row.dialogItem);
        EXPECT_EQ(info.encoder, row.encoder);
        EXPECT_EQ(info.program == nullptr, row.program == nullptr);
        EXPECT_EQ(QString::fromLatin1(info.program), QString::fromLatin1(row.program));
        EXPECT_EQ(info.tags, row.tags);
        EXPECT_EQ(info.replayGain, row.replayGain);
    }

    // Values out of range are no format; the engines take them as WAV (the
    // ripped file is kept as it is), as they always did.
    for (int stored : {-1, 6, 7, INT_MIN, INT_MAX}) {
        EXPECT_FALSE(OutputFormatFromStored(stored).has_value()) << stored;
        EXPECT_EQ(StoredOutputFormat(stored), TOutputFormat::Wav) << stored;
    }
    // The command line takes the lower-case names only.
    for (const char* name : {"MP3", "Ogg", "wave", "", "mp3 ", "vorbis"})
        EXPECT_FALSE(OutputFormatFromName(name).has_value()) << name;
}
