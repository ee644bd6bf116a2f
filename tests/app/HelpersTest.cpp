#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "app/Genres.h"
#include "app/Helpers.h"
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
    EXPECT_EQ(OutputFormatName(4), "");
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
