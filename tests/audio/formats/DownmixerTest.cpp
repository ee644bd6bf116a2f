// TDownmixer: the BS.775 matrix scaled against clipping, mono as the average
// of the stereo mix, frames split across reads, and pass-through for counts
// it does not mix.

#include "audio/formats/Downmixer.h"
#include "ConvertTestInput.h"
#include "WaveTestUtil.h"

#include <gtest/gtest.h>

using namespace dw;
using namespace dwtest;

namespace {

std::vector<uint8_t> frames16(const std::vector<std::vector<int16_t>>& frames)
{
    std::vector<uint8_t> b;
    for (const auto& f : frames)
        for (int16_t v : f) {
            b.push_back(uint8_t(v & 0xFF));
            b.push_back(uint8_t(uint16_t(v) >> 8));
        }
    return b;
}

TEST(Downmixer, FiveOneToStereoAndMono)
{
    // Frames: FL alone, FC alone, LFE alone, everything at full scale.
    const std::vector<std::vector<int16_t>> in = {
        {16384, 0, 0, 0, 0, 0}, {0, 0, 16384, 0, 0, 0}, {0, 0, 0, 32767, 0, 0},
        {32767, 32767, 32767, 32767, 32767, 32767}};
    const float scale = 1.0f / (1.0f + 2 * 0.70710678f);  // 1 / (FL + FC + BL)
    for (uint32_t outChannels : {2u, 1u}) {
        SCOPED_TRACE(outChannels);
        MemoryPcmInput src(frames16(in), 48000, 6, 16, 7);  // 7-byte reads split frames
        TDownmixer mix;
        mix.SetInput(&src);
        mix.SetOutChannels(outChannels);
        EXPECT_EQ(mix.GetChannels(), outChannels);
        const std::vector<int16_t> out = s16(readInput(mix, 6));
        ASSERT_EQ(out.size(), 4 * outChannels);
        EXPECT_EQ(mix.GetSize(), int64_t(4 * outChannels * 2));
        const double fl = 16384 * scale / 32768.0 * 32767, fc = 16384 * 0.70710678 * scale / 32768.0 * 32767;
        if (outChannels == 2) {
            EXPECT_NEAR(out[0], fl, 1.5);
            EXPECT_EQ(out[1], 0);
            EXPECT_NEAR(out[2], fc, 1.5);
            EXPECT_EQ(out[2], out[3]);
            EXPECT_EQ(out[4], 0);  // LFE left out
            EXPECT_EQ(out[5], 0);
            EXPECT_NEAR(out[6], 32767, 2);  // full scale everywhere: no clipping beyond
            EXPECT_NEAR(out[7], 32767, 2);
        } else {
            EXPECT_NEAR(out[0], fl / 2, 1.5);
            EXPECT_NEAR(out[1], fc, 1.5);
            EXPECT_EQ(out[2], 0);
            EXPECT_NEAR(out[3], 32767, 2);
        }
    }
    // Stereo input is not its business: it passes through untouched.
    MemoryPcmInput stereo(frames16({{1, 2}, {3, 4}}), 48000, 2, 16, 64);
    TDownmixer pass;
    pass.SetInput(&stereo);
    pass.SetOutChannels(1);
    EXPECT_EQ(pass.GetChannels(), 2u);
    EXPECT_EQ(s16(readInput(pass)), (std::vector<int16_t>{1, 2, 3, 4}));
}

}  // namespace
