// The IMA/DVI and Microsoft ADPCM block codecs on their own: hand-computed
// codes, clamping, block layouts, and encoder/decoder agreement.

#include "audio/formats/ImaAdpcm.h"
#include "audio/formats/MsAdpcm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace dw;

namespace {

TEST(ImaAdpcm, CodesStepAndClampAsTheFormatDefines)
{
    ima::ChannelState st;
    // step 7: 7>>3 + 7 + 7>>1 + 7>>2 = 11; index 0 + 8.
    EXPECT_EQ(ima::decodeCode(st, 7), 11);
    EXPECT_EQ(st.index, 8);
    // step 16: 2 + 16 + 8 + 4 = 30, negative.
    EXPECT_EQ(ima::decodeCode(st, 15), -19);
    EXPECT_EQ(st.index, 16);
    // Index never leaves 0 ... 88; predictor stays within -32767 ... 32767.
    ima::ChannelState hi{32760, 88};
    EXPECT_EQ(ima::decodeCode(hi, 7), 32767);
    EXPECT_EQ(hi.index, 88);
    ima::ChannelState lo{-32760, 88};
    EXPECT_EQ(ima::decodeCode(lo, 15), -32767);
    ima::ChannelState zero{0, 0};
    ima::decodeCode(zero, 0);
    EXPECT_EQ(zero.index, 0);
}

TEST(ImaAdpcm, BlockGeometry)
{
    EXPECT_EQ(ima::framesPerBlock(512, 1), 1017);
    EXPECT_EQ(ima::framesPerBlock(512, 2), 505);
    EXPECT_EQ(ima::framesPerBlock(4, 1), 0);
    EXPECT_EQ(ima::framesPerBlock(512, 3), 0);
    EXPECT_TRUE(ima::blockLayoutOk(8, 1));
    EXPECT_TRUE(ima::blockLayoutOk(16, 2));
    EXPECT_FALSE(ima::blockLayoutOk(12, 2));  // half a pair of 4-byte groups
    EXPECT_FALSE(ima::blockLayoutOk(8, 2));
    EXPECT_FALSE(ima::blockLayoutOk(512, 6));
}

class ImaRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(ImaRoundTrip, DecoderReproducesTheEncodersPredictions)
{
    const int channels = GetParam();
    const int blockAlign = 256;
    const int frames = ima::framesPerBlock(blockAlign, channels);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 300);
    std::vector<ima::ChannelState> state(channels);
    double err = 0, sig = 0;
    for (int b = 0; b < 4; ++b) {
        std::vector<int16_t> in(size_t(frames) * channels);
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c) {
                const double v = 12000 * std::sin((b * frames + i) * (0.03 + 0.02 * c)) + noise(rng);
                in[size_t(i) * channels + c] = int16_t(std::lround(v));
            }
        std::vector<uint8_t> block(blockAlign);
        const auto before = state;
        ima::encodeBlock(in, channels, state, block);
        // Header: the first frame exactly, and the carried step index.
        for (int c = 0; c < channels; ++c) {
            EXPECT_EQ(int16_t(block[4 * c] | (block[4 * c + 1] << 8)), in[c]);
            EXPECT_EQ(block[4 * c + 2], before[c].index);
            EXPECT_EQ(block[4 * c + 3], 0);
        }
        std::vector<int16_t> out(in.size());
        ASSERT_EQ(ima::decodeBlock(block, channels, out), size_t(frames));
        // The decoder ends in exactly the encoder's state.
        for (int c = 0; c < channels; ++c)
            EXPECT_EQ(out[size_t(frames - 1) * channels + c], state[c].predictor);
        for (size_t i = 0; i < in.size(); ++i) {
            err += double(out[i] - in[i]) * (out[i] - in[i]);
            sig += double(in[i]) * in[i];
        }
    }
    EXPECT_GT(10 * std::log10(sig / err), 25.0);
}

INSTANTIATE_TEST_SUITE_P(Channels, ImaRoundTrip, ::testing::Values(1, 2));

TEST(ImaAdpcm, ShortBlocksDecodeOnlyWhatTheyHold)
{
    std::vector<uint8_t> block = {0x10, 0x00, 0x00, 0x00, 0x11, 0x11};
    std::vector<int16_t> out(ima::framesPerBlock(512, 1));
    EXPECT_EQ(ima::decodeBlock(block, 1, out), 5u);
    EXPECT_EQ(ima::decodeBlock(std::vector<uint8_t>(3), 1, out), 0u);
    // Step index bytes past 88 in a damaged header are held at 88.
    std::vector<uint8_t> bad = {0, 0, 200, 0, 0x77};
    EXPECT_EQ(ima::decodeBlock(bad, 1, out), 3u);
}

const std::vector<msadpcm::Coef> kCoefs = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};

TEST(MsAdpcm, DecodesAMonoBlockByHand)
{
    // predictor 0 (256, 0), delta 16, sample1 100, sample2 50; codes 1 then -1.
    const std::vector<uint8_t> block = {0, 16, 0, 100, 0, 50, 0, 0x1F};
    std::vector<int16_t> out(16);
    size_t frames = 0;
    ASSERT_EQ(msadpcm::decodeBlock(block, 1, 4, kCoefs, out, frames), msadpcm::DecodeResult::Ok);
    ASSERT_EQ(frames, 4u);
    EXPECT_EQ(out[0], 50);   // sample2 first
    EXPECT_EQ(out[1], 100);  // then sample1
    EXPECT_EQ(out[2], 116);  // 100 + 1 x 16
    EXPECT_EQ(out[3], 100);  // 116 - 16 (delta stays at its floor of 16)
}

TEST(MsAdpcm, StereoOrderTruncationAndDamage)
{
    // Left: predictor 4 (240, 0), sample1 -1 -> (-240) / 256 truncates to 0.
    // Right: predictor 0, sample1 1000, delta 100, code 7 -> 1000 + 700.
    const std::vector<uint8_t> block = {4,    0,    16, 0, 100, 0, 0xFF, 0xFF, 0xE8, 0x03,
                                        0x05, 0x00, 0x06, 0x00, 0x07};
    std::vector<int16_t> out(16);
    size_t frames = 0;
    ASSERT_EQ(msadpcm::decodeBlock(block, 2, 3, kCoefs, out, frames), msadpcm::DecodeResult::Ok);
    ASSERT_EQ(frames, 3u);
    EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 6), (std::vector<int16_t>{5, 6, -1, 1000, 0, 1700}));

    // A predictor index outside the file's pairs is refused.
    std::vector<uint8_t> bad = block;
    bad[1] = 7;
    EXPECT_EQ(msadpcm::decodeBlock(bad, 2, 3, kCoefs, out, frames), msadpcm::DecodeResult::BadPredictor);
    // Samples per block larger than the block holds: only the codes present.
    EXPECT_EQ(msadpcm::framesInBlock(block.size(), 2, 5000), 3u);
    EXPECT_EQ(msadpcm::framesInBlock(10, 2, 500), 0u);
    EXPECT_EQ(msadpcm::decodeBlock(std::vector<uint8_t>(10), 2, 500, kCoefs, out, frames),
              msadpcm::DecodeResult::ShortBlock);
}

}  // namespace
