// Parsing what lame and the WMA tool print.

#include "jobs/EncoderOutput.h"

#include <gtest/gtest.h>

using namespace dw;

namespace {
// A lame progress line: frame counters, the percentage in columns 15..19,
// elapsed and estimated texts right-aligned in 21..28 and 30..37.
QString lameLine(const char* frames, const char* pct, const char* el, const char* est)
{
    return QString::asprintf("%-13s%6s|%8s/%8s|    0:00/    0:00|   10.00x|    0:00 ", frames, pct, el, est);
}
}  // namespace

TEST(LineSplitting, BreaksBlankLinesAndSplitChunks)
{
    LineSplitter s;
    EXPECT_EQ(s.feed("one\rtwo\nthree\r\n\r\n   \nfo"), QStringList({"one", "two", "three"}));
    EXPECT_EQ(s.feed("ur\r"), QStringList({"four"}));
    EXPECT_EQ(s.feed("\nfive"), QStringList());  // LF completing CR LF ends nothing new
    EXPECT_EQ(s.flush(), QStringList({"five"}));
    EXPECT_EQ(s.flush(), QStringList());
    // Output without line breaks is not held back forever.
    const QByteArray endless(LineSplitter::MaxHeldLine + 1, 'x');
    ASSERT_EQ(s.feed(endless).size(), 1);
    EXPECT_EQ(s.flush(), QStringList());

    EXPECT_EQ(TakeColumns("abcdefgh", 3, 2), "bcd");
    EXPECT_EQ(TakeColumns("ab  \x1b", 5, 2), "b");
    EXPECT_EQ(TakeColumns("abc", 8, 3), "c");
    EXPECT_EQ(TakeColumns("abc", 2, 9), "");
    EXPECT_EQ(TakeColumns("abc", 2, 0), "");
}

TEST(LameEncodeParsing, ColumnFixedByFirstPercentLine)
{
    LameEncodeParser p;
    auto u = p.parse({"LAME 3.100 64bits", "     0/767    ( 0%)|    0:00/    0:00|    0:00/    0:00|   0.0000x|    0:00 "});
    EXPECT_TRUE(u.empty());  // 0 % gives no event
    EXPECT_EQ(p.progressColumn(), 15);

    u = p.parse({lameLine("   230/767", "(30%)", "0:03", "0:10"), "   kbps      %     %",
                 lameLine("   767/767", "(100%)", "0:09", "0:09")});
    ASSERT_EQ(u.size(), 2u);
    EXPECT_EQ(u[0].code, 30);
    EXPECT_EQ(u[0].elapsed, "0:03");
    EXPECT_EQ(u[0].estimated, "0:10");
    EXPECT_EQ(u[1].code, 100);

    // "(", "5", "%" in the three columns gives 5; above 100 gives nothing.
    u = p.parse({QString(14, ' ') + "(5%)|", QString(13, ' ') + "(250%)|"});
    ASSERT_EQ(u.size(), 1u);
    EXPECT_EQ(u[0].code, 5);

    p.reset();
    EXPECT_EQ(p.progressColumn(), 0);
}

TEST(LameDecodeParsing, FramesGiveProgressAndTimes)
{
    LameDecodeParser p;
    EXPECT_TRUE(p.parse({"input:  t.mp3  (44.1 kHz, 2 channels, MPEG-1 Layer III)"}, 5).empty());
    auto u = p.parse({"Frame#   192/767    128 kbps   MS   ", "Frame#   384/767    128 kbps"}, 6);
    EXPECT_EQ(p.progressColumn(), 7);
    ASSERT_EQ(u.size(), 2u);
    EXPECT_EQ(u[0].code, 25);
    EXPECT_EQ(u[0].elapsed, "00:06");
    EXPECT_EQ(u[0].estimated, "00:24");
    EXPECT_EQ(u[1].code, 50);

    // A total of 0 or not a number, or a counter below 1 %, gives nothing.
    EXPECT_TRUE(p.parse({"Frame#   192/0      ", "Frame#   192/abc   ", "Frame#     1/767   "}, 6).empty());
}

TEST(WmaParsing, ErrorStopsTheChunkAndElapsedIsAtLeastOneSecond)
{
    auto r = ParseWmaOutput({"Progress: 40%", "Progress: 100% done"}, 0);
    ASSERT_EQ(r.progress.size(), 1u);
    EXPECT_EQ(r.progress[0].code, 100);
    EXPECT_EQ(r.progress[0].elapsed, "00:01");
    EXPECT_EQ(r.progress[0].estimated, "00:01");
    EXPECT_FALSE(r.errorLine);

    r = ParseWmaOutput({"ERROR: the encoder cannot produce this profile", "Progress: 100% done"}, 7);
    EXPECT_TRUE(r.progress.empty());
    ASSERT_TRUE(r.errorLine);
    EXPECT_EQ(*r.errorLine, "ERROR: the encoder cannot produce this profile");

    // Case matters.
    EXPECT_FALSE(ParseWmaOutput({"error: something"}, 1).errorLine);
}
