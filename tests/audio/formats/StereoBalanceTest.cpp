// Stereo balance: mono spreading, one-channel attenuation at every width, and
// the component's contract.

#include "ConvertTestInput.h"

#include "audio/formats/ConvertBalance.h"
#include "audio/formats/StereoBalance.h"
#include "audio/stream/AuException.h"

#include <gtest/gtest.h>

using namespace dw;
using namespace dwtest;

TEST(ConvertBalanceTest, SpreadAndScaleEveryWidth)
{
    std::vector<uint8_t> b{1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(SpreadMonoToStereo(b.data(), 6, 3), 12u);
    EXPECT_EQ(b, (std::vector<uint8_t>{1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6}));
    std::vector<uint8_t> odd{9, 8, 7, 0, 0, 0};
    EXPECT_EQ(SpreadMonoToStereo(odd.data(), 3, 2), 4u);  // the half sample is dropped
    EXPECT_EQ(odd[0], 9);
    EXPECT_EQ(odd[3], 8);

    // 8-bit samples are scaled about 128: full attenuation is silence.
    std::vector<uint8_t> u8{255, 0, 1, 200};
    ApplyStereoBalance(u8.data(), u8.size(), 1, 1.0f);  // left silenced
    EXPECT_EQ(u8, (std::vector<uint8_t>{128, 0, 128, 200}));
    ApplyStereoBalance(u8.data(), u8.size(), 1, 0.5f);  // right halved: -128 -> -64, 72 -> 36
    EXPECT_EQ(u8, (std::vector<uint8_t>{128, 64, 128, 164}));

    // 24-bit and 32-bit are signed; rounding is to nearest, ties to even.
    std::vector<uint8_t> s24{0, 0, 0, 0x03, 0x00, 0x80};  // right = -8388605
    ApplyStereoBalance(s24.data(), s24.size(), 3, 0.5f);
    EXPECT_EQ(s24, (std::vector<uint8_t>{0, 0, 0, 0x02, 0x00, 0xc0}));  // -4194302.5 -> -4194302
    std::vector<uint8_t> s32{0, 0, 0, 0x80, 5, 0, 0, 0};
    ApplyStereoBalance(s32.data(), s32.size(), 4, 0.75f);  // left * 0.25
    EXPECT_EQ(s32, (std::vector<uint8_t>{0, 0, 0, 0xe0, 5, 0, 0, 0}));
}

TEST(StereoBalanceTest, BalanceSilencesOrHalvesOneChannel)
{
    const std::vector<int16_t> in{1000, 1000, -3001, 3001, 32767, -32768};
    MemoryPcmInput src(fromS16(in), 44100, 2, 16);
    TStereoBalance bal;
    bal.SetInput(&src);
    EXPECT_EQ(bal.GetChannels(), 2u);
    EXPECT_FLOAT_EQ(bal.GetBalance(), 0.5f);
    EXPECT_EQ(toS16(drain(bal)), (std::vector<int16_t>{1000, 500, -3001, 1500, 32767, -16384}));

    bal.SetBalance(1.0f);
    EXPECT_EQ(toS16(drain(bal)), (std::vector<int16_t>{0, 1000, 0, 3001, 0, -32768}));
    bal.SetBalance(0.0f);
    EXPECT_EQ(toS16(drain(bal)), (std::vector<int16_t>{1000, 0, -3001, 0, 32767, 0}));
    bal.SetBalance(1.5f);
    bal.SetBalance(-0.1f);
    EXPECT_FLOAT_EQ(bal.GetBalance(), 0.0f);
    bal.SetBalance(0.75f);
    EXPECT_EQ(toS16(drain(bal)), (std::vector<int16_t>{250, 1000, -750, 3001, 8192, -32768}));
}

TEST(StereoBalanceTest, MonoBecomesStereoWithDoubledSize)
{
    std::vector<int16_t> mono(20000);
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = int16_t(int(i % 2000) * 16 - 16000);
    MemoryPcmInput src(fromS16(mono), 22050, 1, 16, 999);  // chunks that split samples
    TStereoBalance bal;
    bal.SetInput(&src);
    bal.SetBalance(0.0f);
    EXPECT_EQ(bal.GetChannels(), 2u);
    bal.Init();
    EXPECT_EQ(bal.GetSize(), int64_t(mono.size()) * 4);
    bal.Flush();
    const auto out = toS16(drain(bal, 5001));  // odd requests
    ASSERT_EQ(out.size(), mono.size() * 2);
    for (size_t i = 0; i < mono.size(); ++i) {
        ASSERT_EQ(out[2 * i], mono[i]) << i;
        ASSERT_EQ(out[2 * i + 1], 0) << i;
    }

    // Reads smaller than a frame still move forward.
    MemoryPcmInput tiny(std::vector<uint8_t>{10, 20, 30}, 8000, 1, 8);
    TStereoBalance b8;
    b8.SetInput(&tiny);
    b8.SetBalance(1.0f);
    EXPECT_EQ(drain(b8, 1), (std::vector<uint8_t>{128, 10, 128, 20, 128, 30}));
}

TEST(StereoBalanceTest, SplitStereoFramesKeepTheirChannelsAndManyChannelsPassThrough)
{
    std::vector<int16_t> st;
    for (int i = 0; i < 5000; ++i) {
        st.push_back(int16_t(i));
        st.push_back(int16_t(-i));
    }
    MemoryPcmInput src(fromS16(st), 44100, 2, 16, 1023);  // odd chunks split frames
    TStereoBalance bal;
    bal.SetInput(&src);
    bal.SetBalance(0.0f);
    const auto out = toS16(drain(bal, 4097));
    ASSERT_EQ(out.size(), st.size());
    for (int i = 0; i < 5000; ++i) {
        ASSERT_EQ(out[2 * i], i);
        ASSERT_EQ(out[2 * i + 1], 0);
    }

    const std::vector<uint8_t> six(6 * 2 * 10, 0x33);
    MemoryPcmInput many(six, 48000, 6, 16);
    bal.SetInput(&many);
    EXPECT_EQ(bal.GetChannels(), 6u);
    EXPECT_EQ(drain(bal), six);
}

TEST(StereoBalanceTest, Errors)
{
    TStereoBalance bal;
    try {
        bal.GetChannels();
        ADD_FAILURE() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), "Input not assigned");
    }
    TStereoBalance unlinked;
    EXPECT_THROW(unlinked.Init(), EAuException);

    MemoryPcmInput src(std::vector<uint8_t>(8), 44100, 2, 16);
    bal.SetInput(&src);
    void* buf = nullptr;
    uint32_t n = 8;
    try {
        bal.GetData(buf, n);
        ADD_FAILURE() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), "The Stream is not opened");
    }
}
