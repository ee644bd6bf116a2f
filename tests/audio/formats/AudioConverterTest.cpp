// Sample-width and channel conversion: the integer/float kernels and the
// TAudioConverter component.

#include "ConvertTestInput.h"

#include "audio/formats/AudioConverter.h"
#include "audio/formats/ConvertSamples.h"
#include "audio/stream/AuException.h"

#include <gtest/gtest.h>

#include <limits>

using namespace dw;
using namespace dwtest;

namespace {

std::vector<uint8_t> pcm(float v, int w)
{
    std::vector<uint8_t> b(static_cast<size_t>(w));
    FloatToPcmSample(v, b.data(), w);
    return b;
}

int32_t signedOf(const std::vector<uint8_t>& b)
{
    uint32_t u = 0;
    for (size_t i = 0; i < b.size(); ++i)
        u |= uint32_t(b[i]) << (8 * i);
    const int shift = 32 - 8 * int(b.size());
    return int32_t(u << shift) >> shift;
}

}  // namespace

TEST(ConvertSamplesTest, IntegerToFloatByWidth)
{
    const uint8_t u8[] = {0, 128, 255};
    EXPECT_FLOAT_EQ(PcmSampleToFloat(u8 + 0, 1), -1.0f);
    EXPECT_FLOAT_EQ(PcmSampleToFloat(u8 + 1, 1), 0.0f);
    EXPECT_FLOAT_EQ(PcmSampleToFloat(u8 + 2, 1), 127.0f / 128);
    const uint8_t s16[] = {0x00, 0x80, 0xff, 0x7f};
    EXPECT_FLOAT_EQ(PcmSampleToFloat(s16, 2), -1.0f);
    EXPECT_FLOAT_EQ(PcmSampleToFloat(s16 + 2, 2), 32767.0f / 32768);
    const uint8_t s24[] = {0xff, 0xff, 0xff, 0x00, 0x00, 0x80};
    EXPECT_FLOAT_EQ(PcmSampleToFloat(s24, 3), -1.0f / 8388608);
    EXPECT_FLOAT_EQ(PcmSampleToFloat(s24 + 3, 3), -1.0f);
    const uint8_t s32[] = {0x00, 0x00, 0x00, 0x40};
    EXPECT_FLOAT_EQ(PcmSampleToFloat(s32, 4), 0.5f);
}

TEST(ConvertSamplesTest, FloatToIntegerClampsAndRoundsAsEachWidthRequires)
{
    // 8-bit: unsigned, floor((v + 1) * 128), 255 from 1 up, 0 from -1 down.
    EXPECT_EQ(pcm(1.0f, 1)[0], 255);
    EXPECT_EQ(pcm(3.0f, 1)[0], 255);
    EXPECT_EQ(pcm(-1.0f, 1)[0], 0);
    EXPECT_EQ(pcm(0.0f, 1)[0], 128);
    EXPECT_EQ(pcm(0.5f, 1)[0], 192);
    EXPECT_EQ(pcm(-0.001f, 1)[0], 127);
    // 16-bit: nearest, ties to even, of v * 32767.
    EXPECT_EQ(signedOf(pcm(1.0f, 2)), 32767);
    EXPECT_EQ(signedOf(pcm(-7.0f, 2)), -32767);
    EXPECT_EQ(signedOf(pcm(0.4f / 32767, 2)), 0);
    EXPECT_EQ(signedOf(pcm(0.6f / 32767, 2)), 1);
    EXPECT_EQ(signedOf(pcm(0.5f, 2)), 16384);  // 16383.5 rounds to even
    EXPECT_EQ(signedOf(pcm(-0.5f, 2)), -16384);
    // 24-bit: floor of v * 8388607, three bytes little-endian.
    EXPECT_EQ(pcm(1.0f, 3), (std::vector<uint8_t>{0xff, 0xff, 0x7f}));
    EXPECT_EQ(signedOf(pcm(-1e-9f, 3)), -1);
    EXPECT_EQ(signedOf(pcm(-1.0f, 3)), -8388607);
    // 32-bit: nearest of v * 2147483647.
    EXPECT_EQ(signedOf(pcm(1.0f, 4)), 2147483647);
    EXPECT_EQ(signedOf(pcm(-1.0f, 4)), -2147483647);
    EXPECT_EQ(signedOf(pcm(0.5f, 4)), 1073741824);  // 1073741823.5 rounds to even
    // Not a number never becomes full scale.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(signedOf(pcm(nan, 2)), 0);
    EXPECT_EQ(signedOf(pcm(nan, 4)), 0);
    EXPECT_EQ(pcm(nan, 1)[0], 0);
}

TEST(ConvertSamplesTest, BlockConversionMatchesSampleBySampleConversion)
{
    // Blocks take a vectorised path where the CPU allows; single samples do not.
    std::vector<float> v{1.0f, -1.0f, 0.0f, -0.0f, 0.5f, -0.5f, 2.0f, -2.0f,
                         std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), 1e-9f, -1e-9f, 0.99999994f, -0.99999994f,
                         1.0f / 65534, 3.0f / 65534, -1.0f / 256};
    uint32_t seed = 5;
    for (int i = 0; i < 1001; ++i) {
        seed = seed * 1664525u + 1013904223u;
        v.push_back(float(int32_t(seed)) / 2147483648.0f * 1.1f);
    }
    for (int w = 1; w <= 4; ++w) {
        std::vector<uint8_t> block(v.size() * w), single(v.size() * w);
        FloatToPcm(v.data(), block.data(), v.size(), w);
        for (size_t i = 0; i < v.size(); ++i)
            FloatToPcmSample(v[i], single.data() + i * w, w);
        EXPECT_EQ(block, single) << w;
    }
}

TEST(ConvertSamplesTest, ChannelMixingInPlace)
{
    std::vector<float> v{0.5f, -0.25f, 1.0f, 1.0f, 0, 0};
    StereoToMono(v.data(), v.data(), 2);
    EXPECT_FLOAT_EQ(v[0], 0.125f);
    EXPECT_FLOAT_EQ(v[1], 1.0f);
    MonoToStereo(v.data(), v.data(), 3);
    EXPECT_EQ(v, (std::vector<float>{0.125f, 0.125f, 1.0f, 1.0f, 1.0f, 1.0f}));
}

TEST(AudioConverterTest, StereoToMonoAveragesAndSixteenToEightBitGivesUnsigned)
{
    const std::vector<int16_t> in{1000, 3000, -32768, -32768, 32767, -32767, 100, 101};
    MemoryPcmInput src(fromS16(in), 44100, 2, 16);
    TAudioConverter conv;
    conv.SetInput(&src);
    conv.SetOutChannels(1);
    EXPECT_EQ(conv.GetChannels(), 1u);
    EXPECT_EQ(conv.GetBitsPerSample(), 16u);
    EXPECT_EQ(conv.GetSampleRate(), 44100u);
    const auto mono = toS16(drain(conv));
    // (l + r) / 2 in float, back with 32767 full scale.
    EXPECT_EQ(mono, (std::vector<int16_t>{int16_t(std::lrint(2000 / 32768.0 * 32767)), -32767, 0,
                                           int16_t(std::lrint(100.5 / 32768.0 * 32767))}));

    conv.SetOutChannels(0);
    conv.SetOutBitsPerSample(8);
    const auto eight = drain(conv);
    ASSERT_EQ(eight.size(), in.size());
    EXPECT_EQ(eight[0], 128 + 3);  // floor((1000/32768 + 1) * 128)
    EXPECT_EQ(eight[2], 0);
    EXPECT_EQ(eight[4], 255);
    EXPECT_EQ(eight[6], 128);

    conv.SetOutBitsPerSample(0);
    EXPECT_EQ(toS16(drain(conv)), in);  // both 0: untouched
}

TEST(AudioConverterTest, MonoToStereoAndWidthRoundTrips)
{
    std::vector<uint8_t> mono8{0, 64, 128, 200, 255};
    MemoryPcmInput src(mono8, 22050, 1, 8);
    TAudioConverter conv;
    conv.SetInput(&src);
    conv.SetOutChannels(2);
    conv.SetOutBitsPerSample(24);
    const auto out = drain(conv);
    ASSERT_EQ(out.size(), mono8.size() * 2 * 3);
    for (size_t i = 0; i < mono8.size(); ++i) {
        const std::vector<uint8_t> l(out.begin() + 6 * i, out.begin() + 6 * i + 3);
        const std::vector<uint8_t> r(out.begin() + 6 * i + 3, out.begin() + 6 * i + 6);
        EXPECT_EQ(l, r);
        EXPECT_NEAR(signedOf(l) / 8388608.0, mono8[i] / 128.0 - 1, 1e-6);
    }

    // 24 -> 8 -> back comes within one 8-bit step.
    MemoryPcmInput src24(out, 22050, 2, 24);
    TAudioConverter back;
    back.SetInput(&src24);
    back.SetOutBitsPerSample(8);
    back.SetOutChannels(1);
    EXPECT_EQ(back.GetChannels(), 1u);
    const auto again = drain(back);
    ASSERT_EQ(again.size(), mono8.size());
    for (size_t i = 0; i < mono8.size(); ++i)
        EXPECT_NEAR(int(again[i]), int(mono8[i]), 1) << i;
}

TEST(AudioConverterTest, SizeQueriesAndMultichannel)
{
    MemoryPcmInput src(std::vector<uint8_t>(6 * 1001), 48000, 3, 16);
    TAudioConverter conv;
    EXPECT_EQ(conv.GetBitsPerSample(), 0u);
    EXPECT_EQ(conv.GetChannels(), 0u);
    EXPECT_THROW(conv.Init(), EAuException);

    conv.SetInput(&src);
    conv.SetOutChannels(1);  // three channels stay three
    conv.SetOutBitsPerSample(24);
    EXPECT_EQ(conv.GetChannels(), 3u);
    conv.Init();
    EXPECT_EQ(conv.GetSize(), 9 * 1001);
    conv.Flush();
    EXPECT_EQ(drain(conv).size(), 9u * 1001);

    MemoryPcmInput odd(std::vector<uint8_t>(4 * 7 + 1), 44100, 2, 16);  // a stray byte at the end
    TAudioConverter toMono;
    toMono.SetInput(&odd);
    toMono.SetOutChannels(1);
    toMono.SetOutBitsPerSample(8);
    toMono.Init();
    EXPECT_EQ(toMono.GetSize(), 7);  // round(29 / 4) = 7, a whole number of frames
    toMono.Flush();
    EXPECT_EQ(drain(toMono).size(), 7u);

    MemoryPcmInput unknown(std::vector<uint8_t>(400), 44100, 2, 16, 64, false);
    toMono.SetInput(&unknown);
    toMono.Init();
    EXPECT_EQ(toMono.GetSize(), -1);
    toMono.Flush();

    toMono.SetOutBitsPerSample(12);
    EXPECT_THROW(toMono.Init(), EAuException);
}

TEST(AudioConverterTest, SplitFramesAndTinyRequestsKeepTheSamplesAligned)
{
    // 24-bit stereo delivered 5 bytes at a time, read 7 bytes at a time.
    std::vector<uint8_t> bytes;
    std::vector<float> expect;
    for (int i = 0; i < 300; ++i) {
        const float l = float(i) / 300.0f - 0.5f, r = -l / 2;
        for (float v : {l, r}) {
            const auto b = pcm(v, 3);
            bytes.insert(bytes.end(), b.begin(), b.end());
        }
        expect.push_back(float((double(PcmSampleToFloat(bytes.data() + bytes.size() - 6, 3))
                               + PcmSampleToFloat(bytes.data() + bytes.size() - 3, 3)) * 0.5));
    }
    MemoryPcmInput src(bytes, 44100, 2, 24, 5);
    TAudioConverter conv;
    conv.SetInput(&src);
    conv.SetOutChannels(1);
    conv.SetOutBitsPerSample(16);
    const auto out = toS16(drain(conv, 7));
    ASSERT_EQ(out.size(), expect.size());
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_NEAR(out[i], expect[i] * 32767, 0.51) << i;
}
