// Sample-width and channel conversion: the integer/float kernels and the
// TAudioConverter component.

#include "ConvertTestInput.h"

#include "audio/formats/AudioConverter.h"
#include "audio/formats/ConvertSamples.h"
#include "audio/stream/AuException.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

TEST(ConvertSamplesTest, FloatToIntegerRoundsAtFullScaleTwoToTheBitsLessOneAndClips)
{
    // 8-bit: unsigned, 128 + nearest of v * 128, 255 from 1 up, 0 from -1 down.
    EXPECT_EQ(pcm(1.0f, 1)[0], 255);
    EXPECT_EQ(pcm(3.0f, 1)[0], 255);
    EXPECT_EQ(pcm(-1.0f, 1)[0], 0);
    EXPECT_EQ(pcm(0.0f, 1)[0], 128);
    EXPECT_EQ(pcm(0.5f, 1)[0], 192);
    EXPECT_EQ(pcm(-0.001f, 1)[0], 128);
    EXPECT_EQ(pcm(-0.005f, 1)[0], 127);
    // 16-bit: nearest, ties to even, of v * 32768; 1.0 clips to 32767.
    EXPECT_EQ(signedOf(pcm(1.0f, 2)), 32767);
    EXPECT_EQ(signedOf(pcm(-7.0f, 2)), -32768);
    EXPECT_EQ(signedOf(pcm(0.4f / 32768, 2)), 0);
    EXPECT_EQ(signedOf(pcm(0.6f / 32768, 2)), 1);
    EXPECT_EQ(signedOf(pcm(1.5f / 32768, 2)), 2);  // ties to even
    EXPECT_EQ(signedOf(pcm(2.5f / 32768, 2)), 2);
    EXPECT_EQ(signedOf(pcm(-2.5f / 32768, 2)), -2);
    // 24-bit: nearest of v * 8388608, three bytes little-endian.
    EXPECT_EQ(pcm(1.0f, 3), (std::vector<uint8_t>{0xff, 0xff, 0x7f}));
    EXPECT_EQ(signedOf(pcm(-1e-9f, 3)), 0);
    EXPECT_EQ(signedOf(pcm(-0.6f / 8388608, 3)), -1);
    EXPECT_EQ(signedOf(pcm(-1.0f, 3)), -8388608);
    // 32-bit: nearest of v * 2147483648.
    EXPECT_EQ(signedOf(pcm(1.0f, 4)), 2147483647);
    EXPECT_EQ(signedOf(pcm(-1.0f, 4)), -2147483647 - 1);
    EXPECT_EQ(signedOf(pcm(0.5f, 4)), 1073741824);
    // Not a number is silence.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(signedOf(pcm(nan, 2)), 0);
    EXPECT_EQ(signedOf(pcm(nan, 4)), 0);
    EXPECT_EQ(pcm(nan, 1)[0], 128);

    // Every 8- and 16-bit value, and 24-bit values across the range, come back
    // from their floats unchanged, in blocks and one by one.
    for (int w = 1; w <= 3; ++w) {
        std::vector<uint8_t> in;
        const int64_t count = int64_t{1} << (8 * std::min(w, 2));
        for (int64_t k = 0; k < count; ++k) {
            const uint32_t u = w == 3 ? uint32_t(k * 255 + 7) : uint32_t(k);  // 24 bits: a spread of values
            for (int b = 0; b < w; ++b)
                in.push_back(uint8_t(u >> (8 * b)));
        }
        if (w == 3)
            in.insert(in.end(), {0xff, 0xff, 0x7f, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00, 0xff, 0xff, 0xff});
        std::vector<float> f(in.size() / w);
        PcmToFloat(in.data(), f.data(), f.size(), w);
        std::vector<uint8_t> back(in.size());
        FloatToPcm(f.data(), back.data(), f.size(), w);
        EXPECT_EQ(back, in) << w;
        FloatToPcmSample(f.back(), back.data(), w);
        EXPECT_TRUE(std::equal(back.begin(), back.begin() + w, in.end() - w)) << w;
    }
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
    // The exact mean, rounded once: 100.5 goes to the even 100.
    EXPECT_EQ(mono, (std::vector<int16_t>{2000, -32768, 0, 100}));

    conv.SetOutChannels(0);
    conv.SetOutBitsPerSample(8);
    conv.SetDither(TDitherMode::Never);
    const auto eight = drain(conv);
    ASSERT_EQ(eight.size(), in.size());
    EXPECT_EQ(eight[0], 128 + 4);  // 1000 / 256 = 3.9 rounds to 4
    EXPECT_EQ(eight[2], 0);
    EXPECT_EQ(eight[4], 255);  // 127.996 rounds to 128, clipped to 127
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
        EXPECT_EQ(signedOf(l), (int32_t(mono8[i]) - 128) * 65536);
    }

    // Back to 8-bit mono, dithered as 8-bit output is by default: the samples
    // lie on 8-bit steps, so they come back as they were.
    MemoryPcmInput src24(out, 22050, 2, 24);
    TAudioConverter back;
    back.SetInput(&src24);
    back.SetOutBitsPerSample(8);
    back.SetOutChannels(1);
    EXPECT_EQ(back.GetChannels(), 1u);
    EXPECT_EQ(drain(back), mono8);
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
    std::vector<double> expect;
    for (int i = 0; i < 300; ++i) {
        const float l = float(i) / 300.0f - 0.5f, r = -l / 2;
        for (float v : {l, r}) {
            const auto b = pcm(v, 3);
            bytes.insert(bytes.end(), b.begin(), b.end());
        }
        // The mean of the two 24-bit values at 16 bits: (l + r) / 512, to nearest, ties to even.
        const std::vector<uint8_t> lb(bytes.end() - 6, bytes.end() - 3), rb(bytes.end() - 3, bytes.end());
        expect.push_back(std::nearbyint((double(signedOf(lb)) + signedOf(rb)) / 512.0));
    }
    MemoryPcmInput src(bytes, 44100, 2, 24, 5);
    TAudioConverter conv;
    conv.SetInput(&src);
    conv.SetOutChannels(1);
    conv.SetOutBitsPerSample(16);
    const auto out = toS16(drain(conv, 7));
    ASSERT_EQ(out.size(), expect.size());
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_EQ(out[i], expect[i]) << i;
}
