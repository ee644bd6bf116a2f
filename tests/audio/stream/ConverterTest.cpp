// Converters: format queries from the input, the cut-off at Size, re-wiring
// while running, and links dropped when an input goes away.

#include "StreamTestComponents.h"

#include <gtest/gtest.h>

using namespace dw;
using dwtest::GenIn;
using dwtest::PassConverter;

TEST(Converter, FormatQueriesComeFromTheInput)
{
    PassConverter conv;
    EXPECT_EQ(conv.GetChannels(), 0u);
    EXPECT_EQ(conv.GetSampleRate(), 0u);
    EXPECT_EQ(conv.GetBitsPerSample(), 0u);
    GenIn in;
    conv.SetInput(&in);
    EXPECT_EQ(conv.GetChannels(), 2u);
    EXPECT_EQ(conv.GetSampleRate(), 44100u);
    EXPECT_EQ(conv.GetBitsPerSample(), 16u);  // flag bit cleared
    conv.SetKeepFlagBit(true);
    EXPECT_EQ(conv.GetBitsPerSample(), 16u | 128u);

    conv.SetInput(&conv);  // a converter cannot feed itself
    EXPECT_EQ(conv.GetInput(), &in);

    // Pause and Resume go to the input.
    conv.Pause();
    conv.Resume();
    EXPECT_EQ(in.pauses, 1);
    EXPECT_EQ(in.resumes, 1);
}

TEST(Converter, DataBeyondSizeIsCutOff)
{
    GenIn in;
    in.total = 10000;
    in.chunk = 700;
    PassConverter conv;
    conv.sizeLimit = 1000;
    conv.SetInput(&in);
    conv.Init();
    int64_t total = 0;
    for (;;) {
        void* p = nullptr;
        uint32_t n = 4096;
        conv.GetData(p, n);
        if (n == 0)
            break;
        total += n;
    }
    EXPECT_EQ(total, 1000);
    EXPECT_TRUE(conv.IsEndOfData());
    EXPECT_GE(conv.GetPosition(), 1000);  // not pulled back to Size
    conv.Flush();
    EXPECT_EQ(in.flushes, 1);

    // A failing Init of the input is raised by the converter's Init with the
    // same message, and the converter then gives nothing.
    in.failInitWith = 2;
    try {
        conv.Init();
        FAIL() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), "plain failure");
    }
    EXPECT_TRUE(conv.IsEndOfData());
    void* p = nullptr;
    uint32_t n = 10;
    conv.GetData(p, n);
    EXPECT_EQ(n, 0u);
}

TEST(Converter, RewiringWhileRunningFlushesTheOldInputAndInitsTheNew)
{
    GenIn a, b;
    PassConverter conv;
    conv.SetInput(&a);
    conv.Init();
    EXPECT_EQ(a.inits, 1);
    conv.SetInput(&b);
    EXPECT_EQ(a.flushes, 1);
    EXPECT_EQ(b.inits, 1);
    EXPECT_TRUE(b.IsBusy());
    conv.Flush();
    EXPECT_EQ(b.flushes, 1);
    EXPECT_EQ(a.flushes, 1);

    // Idle: only the link changes.
    conv.SetInput(&a);
    EXPECT_EQ(a.inits, 1);
    EXPECT_EQ(b.flushes, 1);
}

TEST(Converter, DestroyedInputIsUnlinked)
{
    PassConverter conv;
    dwtest::CountingOut out;
    {
        GenIn in;
        conv.SetInput(&in);
        out.SetInput(&in);
        EXPECT_EQ(conv.GetInput(), &in);
    }
    EXPECT_EQ(conv.GetInput(), nullptr);
    EXPECT_EQ(out.GetInput(), nullptr);
    EXPECT_EQ(conv.GetChannels(), 0u);

    // A converter destroyed before its input leaves no dangling link behind.
    GenIn in2;
    {
        PassConverter c2;
        c2.SetInput(&in2);
    }
    PassConverter c3;
    c3.SetInput(&in2);
}

TEST(PlainInput, PrefetchAndResetOfAnInputThatCountsItself)
{
    GenIn in;
    in.total = 3000;
    in.chunk = 400;
    in.Init();
    in.Prefetch(1000);
    EXPECT_EQ(in.GetPosition(), 0);
    uint8_t buf[3000];
    bool end = false;
    EXPECT_EQ(in.FillBuffer(buf, 3000, end), 3000u);
    EXPECT_EQ(in.GetPosition(), 3000);
    for (int i = 0; i < 3000; ++i)
        ASSERT_EQ(buf[i], i & 0xFF);
    EXPECT_EQ(in.CopyData(buf, 10), 0u);
    // Reset brings a running input back to idle.
    in.Reset();
    EXPECT_FALSE(in.IsBusy());
    EXPECT_EQ(in.flushes, 1);
}
