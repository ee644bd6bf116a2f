#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "app/FileNames.h"
#include "app/Genres.h"
#include "app/Helpers.h"
#include "platform/NativePath.h"
#include "support/TestSupport.h"

using namespace dw;

TEST(Helpers, TextHelpers)
{
    EXPECT_EQ(FormatTwoDigits(0), "00");
    EXPECT_EQ(FormatTwoDigits(9), "09");
    EXPECT_EQ(FormatTwoDigits(10), "10");
    EXPECT_EQ(FormatTwoDigits(100), "100");
    EXPECT_EQ(StripFileNameChars("Side A/B: Live?"), "Side AB Live");
    EXPECT_EQ(StripFileNameChars("a*b<c>d\\e|f\"g"), "abcdef\"g");
    EXPECT_EQ(WithTrailingBackslash(""), "");
    EXPECT_EQ(WithTrailingBackslash("/tmp"), "/tmp/");
    EXPECT_EQ(WithTrailingBackslash("/tmp/"), "/tmp/");
    EXPECT_EQ(OutputFormatName(0), "MP3");
    EXPECT_EQ(OutputFormatName(3), "WMA");
    EXPECT_EQ(OutputFormatName(4), "FLAC");
    EXPECT_EQ(OutputFormatName(5), "Opus");
    EXPECT_EQ(OutputFormatName(6), "");
    EXPECT_EQ(OutputFormatName(-1), "");
}

TEST(Helpers, FileSizeAndWait)
{
    dwtest::Sandbox box;
    box.write("f.bin", QByteArray(1234, 'x'));
    EXPECT_EQ(FileSizeOrMinusOne(box.file("f.bin")), 1234);
    EXPECT_EQ(FileSizeOrMinusOne(box.file("missing")), -1);
    EXPECT_EQ(FileSizeOrMinusOne(""), -1);

    auto t0 = std::chrono::steady_clock::now();
    WaitMs(30);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(30));
    WaitMs(0);
    WaitMs(-5);
}

TEST(FileNames, TitlesBecomeSaneVisibleStems)
{
    EXPECT_EQ(SafeFileStem("Side A/B: Live?", 1), "Side AB Live");
    EXPECT_EQ(SafeFileStem("Say \"Hi\"", 1), "Say \"Hi\"");
    // Nothing usable left: the track's default name.
    for (const QString& title : {QString(), QString("/:*?"), QString("."), QString(".."), QString(" ... "),
                                 QString("\x01\x1f\x7f"), QString("   ")})
        EXPECT_EQ(SafeFileStem(title, 7), "Track07") << title.toStdString();
    // Never hidden, never a control character inside.
    EXPECT_EQ(SafeFileStem("..hidden", 1), "hidden");
    EXPECT_EQ(SafeFileStem(". x", 1), "x");
    EXPECT_EQ(SafeFileStem(QString("a\tb\nc") + QChar(0) + "d" + QChar(0x7f), 1), "abcd");
    EXPECT_EQ(SafeFileStem("a.b.", 1), "a.b.");

    // Long titles are cut at a character boundary to fit 255 bytes with ".wav".
    const QString ascii(400, 'x');
    EXPECT_EQ(SafeFileStem(ascii, 1), QString(251, 'x'));
    const QString wide = QString(300, QChar(0x00E9));  // two bytes each
    const QString cutWide = SafeFileStem(wide, 1);
    EXPECT_EQ(NativePath(cutWide).size(), 250);
    EXPECT_EQ(cutWide, QString(125, QChar(0x00E9)));
    QString emoji;
    for (int i = 0; i < 100; ++i)
        emoji += QString::fromUcs4(U"\U0001F3B5");  // four bytes, a surrogate pair each
    const QString cutEmoji = SafeFileStem(emoji, 1);
    EXPECT_EQ(NativePath(cutEmoji).size(), 248);
    EXPECT_FALSE(cutEmoji.back().isHighSurrogate());
    // A name that is not UTF-8 survives as the same bytes.
    const QString raw = PathFromNative(QByteArray("caf\xe9 \xff", 6));
    EXPECT_EQ(NativePath(SafeFileStem(raw, 1)), QByteArray("caf\xe9 \xff", 6));
}

TEST(FileNames, EveryTrackOfAJobGetsItsOwnName)
{
    const QStringList stems = UniqueFileStems({{1, "Same"},
                                               {2, "Sa/me"},
                                               {3, "same"},
                                               {4, "Track05"},
                                               {5, ""},
                                               {6, "Same (2)"},
                                               {7, "Other"}});
    EXPECT_EQ(stems, (QStringList{"Same", "Same (2)", "same (3)", "Track05", "Track05 (2)", "Same (2) (2)", "Other"}));

    // The number still fits when the title fills the name.
    const QStringList longOnes = UniqueFileStems({{1, QString(300, 'y')}, {2, QString(300, 'y')}});
    EXPECT_EQ(longOnes[0], QString(251, 'y'));
    EXPECT_EQ(longOnes[1], QString(247, 'y') + " (2)");
    // Names that are already unique and sane come back unchanged.
    EXPECT_EQ(UniqueFileStems({{1, "Same"}, {2, "Same (2)"}}), (QStringList{"Same", "Same (2)"}));
}

TEST(Genres, TablesAreConsistentInverses)
{
    EXPECT_EQ(GenreListToId3(0), 255);
    EXPECT_EQ(GenreListToId3(149), 255);
    EXPECT_EQ(GenreListToId3(-3), 255);
    EXPECT_EQ(GenreListToId3(1), 123);  // A Cappella
    EXPECT_EQ(Id3ToGenreList(12), 96);  // Other
    EXPECT_STREQ(GenreNames[95], "Other");
    EXPECT_EQ(Id3ToGenreList(148), 0);
    EXPECT_EQ(Id3ToGenreList(255), 0);
    EXPECT_EQ(FindGenreName("rock"), -1);
    EXPECT_EQ(FindGenreName("Rock"), Id3ToGenreList(17) - 1);
    EXPECT_EQ(FindGenreName("Vocal"), 147);

    std::set<int> bytes;
    for (int pos = 1; pos <= 148; ++pos) {
        int b = GenreListToId3(pos);
        bytes.insert(b);
        EXPECT_EQ(Id3ToGenreList(b), pos);
    }
    EXPECT_EQ(bytes.size(), 148u);
    EXPECT_EQ(*bytes.rbegin(), 147);
}
