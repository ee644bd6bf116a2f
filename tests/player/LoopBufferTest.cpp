// The looping buffer as the device callback sees it: data where it was
// written, silence (never stale data) where nothing was, cursors that only
// move while playing, 24-bit samples widened, the volume gain.

#include "player/LoopBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using dw::TLoopBuffer;

namespace {

std::vector<uint8_t> pull(TLoopBuffer& b, int bytes)
{
    std::vector<uint8_t> out(size_t(bytes), 0xAA);
    TLoopBuffer::Callback(&b, out.data(), bytes);
    return out;
}

}  // namespace

TEST(LoopBuffer, CallbackPlaysWrittenDataThenSilenceAndMovesOnlyWhilePlaying)
{
    TLoopBuffer b(64, 2, 16);  // 16 frames
    std::vector<int16_t> first(2 * 16);
    for (size_t i = 0; i < first.size(); ++i)
        first[i] = int16_t(100 + i);
    b.Store(0, first.data(), 64);
    b.Publish(64);

    // Stopped: silence, the cursors stay.
    EXPECT_EQ(pull(b, 32), std::vector<uint8_t>(32, 0));
    EXPECT_EQ(b.Consumed(), 0u);

    b.SetPlaying(true);
    std::vector<uint8_t> got = pull(b, 48);  // 12 frames
    EXPECT_EQ(std::memcmp(got.data(), first.data(), 48), 0);
    EXPECT_EQ(b.Consumed(), 48u);
    EXPECT_EQ(b.Reading(), 48u);

    // The next pass wraps: 4 frames are left, the other 8 were never written
    // again and play as silence although old data lies there.
    got = pull(b, 48);
    EXPECT_EQ(std::memcmp(got.data(), first.data() + 24, 16), 0);
    EXPECT_EQ(std::vector<uint8_t>(got.begin() + 16, got.end()), std::vector<uint8_t>(32, 0));
    EXPECT_EQ(b.StarvedBytes(), 32u);
    EXPECT_EQ(b.Consumed(), 96u);

    // New data written across the wrap plays in order; the gain scales it.
    std::vector<int16_t> second{1000, -1000, 2000, -2000, 3000, -3000};
    b.Store(96, second.data(), 12);
    b.Publish(108);
    b.SetGain(0.5f);
    got = pull(b, 12);
    std::vector<int16_t> halved(6);
    std::memcpy(halved.data(), got.data(), 12);
    EXPECT_EQ(halved, (std::vector<int16_t>{500, -500, 1000, -1000, 1500, -1500}));
}

TEST(LoopBuffer, WidensTwentyFourBitSamplesAndKeepsEightBitSilence)
{
    TLoopBuffer wide(12, 2, 24);  // 2 frames of 3-byte samples
    EXPECT_EQ(wide.DeviceFormat(), AUDIO_S32LSB);
    const uint8_t pcm[12] = {0x01, 0x02, 0x03, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0x10, 0x20, 0x30};
    wide.Store(0, pcm, 12);
    wide.Publish(12);
    wide.SetPlaying(true);
    const std::vector<uint8_t> got = pull(wide, 16);
    const std::vector<uint8_t> expected{0, 0x01, 0x02, 0x03, 0, 0xFF, 0xFF, 0xFF, 0, 0x00, 0x00, 0x80, 0, 0x10, 0x20, 0x30};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(wide.Consumed(), 12u);

    TLoopBuffer narrow(8, 1, 8);
    EXPECT_EQ(narrow.SilenceByte(), 128);
    narrow.SetPlaying(true);
    EXPECT_EQ(pull(narrow, 4), std::vector<uint8_t>(4, 128));  // nothing written yet
}
