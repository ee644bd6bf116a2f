// The recorder's time texts and the header of its empty WAV file.
#include "record/RecordFiles.h"
#include "record/RecordTexts.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace dw;

TEST(RecordTexts, ClockAndLengthTexts)
{
    EXPECT_EQ(RecordTimeText(0), "00:00:00.0");
    EXPECT_EQ(RecordTimeText(67499), "00:01:07.4");
    EXPECT_EQ(RecordTimeText(3600000 + 2 * 60000 + 3999), "01:02:03.9");

    EXPECT_EQ(LengthText(1500), "1.5 Sec");
    EXPECT_EQ(LengthText(12345), "12.3 Sec");
    EXPECT_EQ(LengthText(0), "0 Sec");
    EXPECT_EQ(LengthText(59999), "60 Sec");  // still below a minute: 3 significant digits
    EXPECT_EQ(LengthText(61000), "1 Min1 Sec");
    EXPECT_EQ(LengthText(3723000), "1Hour2 Min3 Sec");
    EXPECT_EQ(LengthText(60000), "1 Min");
    EXPECT_EQ(LengthText(3600000 + 5000), "1Hour5 Sec");
}

// New with Mono, 8bit and 11025: channels 1, rate 11025, 11025 bytes a
// second, block align 1, 8 bits, data size 0, RIFF size 36.
TEST(RecordTexts, EmptyWaveHeader)
{
    dwtest::Sandbox box;
    ASSERT_TRUE(WriteEmptyWave(box.file("n.wav"), {1, 11025, 8}, nullptr));
    const QByteArray h = box.read("n.wav");
    const QByteArray expected = QByteArray("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x11\x2b\0\0\x11\x2b\0\0\x01\0\x08\0data\0\0\0\0",
                                           44);
    EXPECT_EQ(h, expected);
    ASSERT_TRUE(WriteEmptyWave(box.file("s.wav"), {2, 44100, 16}, nullptr));
    EXPECT_EQ(box.read("s.wav").mid(22, 14),
              QByteArray("\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0", 14));
    QString error;
    EXPECT_FALSE(WriteEmptyWave(box.file("no/such/folder/x.wav"), {2, 44100, 16}, &error));
    EXPECT_TRUE(error.contains("no/such/folder")) << error.toStdString();
}

}  // namespace
