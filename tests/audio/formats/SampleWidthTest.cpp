// Exact sample widths and TPDF dither, through the TAudioConverter component:
// widening and back is bit-exact for every value, narrowing rounds to nearest
// (ties to even) and clips, and dither is bounded, unbiased and reproducible.

#include "ConvertTestInput.h"

#include "audio/formats/AudioConverter.h"
#include "audio/formats/Dither.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

using namespace dw;
using namespace dwtest;

namespace {

// Signed samples of `bits` as PCM bytes (8 bits: unsigned, offset 128).
std::vector<uint8_t> encode(const std::vector<int64_t>& v, int bits)
{
    std::vector<uint8_t> b;
    for (int64_t x : v) {
        const auto u = uint32_t(bits == 8 ? x + 128 : x);
        for (int i = 0; i < bits / 8; ++i)
            b.push_back(uint8_t(u >> (8 * i)));
    }
    return b;
}

std::vector<int64_t> decode(const std::vector<uint8_t>& b, int bits)
{
    const int w = bits / 8;
    std::vector<int64_t> v;
    for (size_t k = 0; k + w <= b.size(); k += w) {
        uint32_t u = 0;
        for (int i = 0; i < w; ++i)
            u |= uint32_t(b[k + i]) << (8 * i);
        v.push_back(bits == 8 ? int64_t(u) - 128 : int64_t(int32_t(u << (32 - bits)) >> (32 - bits)));
    }
    return v;
}

struct Conversion {
    TDitherMode dither = TDitherMode::Never;
    uint64_t seed = TTpdfDither::kDefaultSeed;
    uint32_t inChannels = 1, outChannels = 0;
};

std::vector<int64_t> convert(const std::vector<int64_t>& in, int fromBits, int toBits, const Conversion& c = {})
{
    MemoryPcmInput src(encode(in, fromBits), 44100, c.inChannels, uint32_t(fromBits), 4099);  // frames split across reads
    TAudioConverter conv;
    conv.SetInput(&src);
    conv.SetOutBitsPerSample(uint32_t(toBits));
    conv.SetOutChannels(c.outChannels);
    conv.SetDither(c.dither);
    conv.SetDitherSeed(c.seed);
    return decode(drain(conv, 10007), toBits);
}

std::vector<int64_t> allValues(int bits)
{
    std::vector<int64_t> v;
    for (int64_t x = -(int64_t{1} << (bits - 1)); x < (int64_t{1} << (bits - 1)); ++x)
        v.push_back(x);
    return v;
}

}  // namespace

// Every 8- and 16-bit value, and a spread of 24-bit values with the
// extremes, through every widening: x * 2^(to - from) exactly, and back to
// the input unchanged, even with dither asked for on every narrowing.
TEST(SampleWidth, EveryWideningIsExactAndNarrowsBackBitExact)
{
    std::vector<int64_t> some24;
    for (int64_t x = -(1 << 23); x < (1 << 23); x += 251)
        some24.push_back(x);
    some24.insert(some24.end(), {(1 << 23) - 1, -1, 0, 1});
    for (const int from : {8, 16, 24}) {
        const std::vector<int64_t> in = from == 24 ? some24 : allValues(from);
        for (const int to : {16, 24, 32}) {
            if (to <= from)
                continue;
            SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
            const std::vector<int64_t> wide = convert(in, from, to);
            ASSERT_EQ(wide.size(), in.size());
            for (size_t i = 0; i < in.size(); ++i)
                ASSERT_EQ(wide[i], in[i] * (int64_t{1} << (to - from))) << in[i];
            EXPECT_EQ(convert(wide, to, from, {TDitherMode::WhenNarrowing}), in);
            EXPECT_EQ(convert(wide, to, from, {TDitherMode::Never}), in);
        }
    }
    // Mono to stereo and back keeps every 16-bit value too.
    const std::vector<int64_t> in = allValues(16);
    const std::vector<int64_t> stereo = convert(in, 16, 24, {TDitherMode::Never, 1, 1, 2});
    ASSERT_EQ(stereo.size(), 2 * in.size());
    EXPECT_EQ(convert(stereo, 24, 16, {TDitherMode::WhenNarrowing, 1, 2, 1}), in);
}

// Without dither, narrowing rounds to the nearest step with halfway cases to
// the even step, clips at both ends, and a mono mix is the exact mean of
// both channels, rounded once.
TEST(SampleWidth, NarrowingRoundsToNearestEvenAndClips)
{
    const std::vector<int64_t> from24{5 * 256 + 127, 5 * 256 + 128, 5 * 256 + 129, 6 * 256 + 128,
                                      -(5 * 256 + 128), -(6 * 256 + 128), -(5 * 256 + 129), -128, 128, 127,
                                      (1 << 23) - 1, 32767 * 256 + 128, 32767 * 256 + 127, -(1 << 23)};
    EXPECT_EQ(convert(from24, 24, 16),
              (std::vector<int64_t>{5, 6, 6, 6, -6, -6, -6, 0, 0, 0, 32767, 32767, 32767, -32768}));

    EXPECT_EQ(convert({32767, -32768, 127, 128, 384, -128, -129, 32639, 32640}, 16, 8),
              (std::vector<int64_t>{127, -128, 0, 0, 2, 0, -1, 127, 127}));
    EXPECT_EQ(convert({2147483647, -2147483647 - 1, 65536 + 32768, 32767, -32768, -32769}, 32, 16),
              (std::vector<int64_t>{32767, -32768, 2, 0, 0, -1}));

    // Stereo pairs to mono at the same width: (l + r) / 2, ties to even.
    const Conversion mono{TDitherMode::Never, 1, 2, 1};
    EXPECT_EQ(convert({1, 2, 1, 0, -1, 0, -3, 0, 32767, 32767, -32768, -32767}, 16, 16, mono),
              (std::vector<int64_t>{2, 0, 0, -2, 32767, -32768}));
    // The mean of two 32-bit samples is exact before it is rounded.
    EXPECT_EQ(convert({2147483647, 2147483645, 2147483647, 2147483646, -2147483647 - 1, -2147483647}, 32, 32, mono),
              (std::vector<int64_t>{2147483646, 2147483646, -2147483647 - 1}));
}

// With dither, a long constant signal between two steps comes out spread
// over the steps around it, never more than the noise's one step plus half
// a step of rounding away, with a mean error near 0 and the error power of
// TPDF plus rounding (1/6 + 1/12 = 1/4 step squared); plain rounding is off
// by the same amount every time. The same seed gives the same output, another
// seed another.
TEST(SampleWidth, TpdfDitherIsBoundedUnbiasedAndReproducible)
{
    constexpr size_t kSamples = 200000;
    for (const double offset : {0.3, 0.5, 0.85}) {
        SCOPED_TRACE(offset);
        const int64_t step = 1234;  // even: the halfway level rounds down to it
        const int64_t level = step * 256 + int64_t(std::lround(offset * 256));
        const std::vector<int64_t> in(kSamples, level);
        const double exact = double(level) / 256;

        const std::vector<int64_t> out = convert(in, 24, 16, {TDitherMode::WhenNarrowing});
        ASSERT_EQ(out.size(), kSamples);
        double sum = 0, squares = 0;
        size_t below = 0, above = 0;
        for (int64_t v : out) {
            const double e = double(v) - exact;
            ASSERT_LT(std::fabs(e), 1.5) << v;
            sum += e;
            squares += e * e;
            below += v <= step ? 1 : 0;
            above += v > step ? 1 : 0;
        }
        EXPECT_LT(std::fabs(sum / kSamples), 0.01);
        EXPECT_NEAR(squares / kSamples, 0.25, 0.02);
        // Spread over both sides, where plain rounding puts every sample on one.
        EXPECT_GT(below, kSamples / 10);
        EXPECT_GT(above, kSamples / 10);

        const std::vector<int64_t> plain = convert(in, 24, 16, {TDitherMode::Never});
        EXPECT_EQ(plain, std::vector<int64_t>(kSamples, offset <= 0.5 ? step : step + 1));

        EXPECT_EQ(convert(in, 24, 16, {TDitherMode::WhenNarrowing}), out);
        EXPECT_NE(convert(in, 24, 16, {TDitherMode::WhenNarrowing, 42}), out);
    }
}
