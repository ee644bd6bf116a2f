// File inputs: whole-file reads, sample ranges, looping, seeking, jumping,
// prefetching and the format queries.

#include "StreamTestComponents.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace dw;
using dwtest::makeFrames;
using dwtest::RawFileIn;

namespace {

// Reads everything the input gives, at most `limit` bytes.
QByteArray drain(TAuInput& in, uint32_t request = 4096, int64_t limit = 1 << 24)
{
    QByteArray all;
    for (;;) {
        void* p = nullptr;
        uint32_t n = request;
        in.GetData(p, n);
        if (n == 0)
            break;
        EXPECT_LE(n, request);
        all.append(static_cast<const char*>(p), n);
        if (all.size() >= limit)
            break;
    }
    return all;
}

struct MemoryFileIn {
    TMemoryStream stream;
    RawFileIn in;
    explicit MemoryFileIn(int64_t frames) : stream(makeFrames(0, frames)) { in.SetStream(&stream); }
};

}  // namespace

TEST(FileInput, WholeFileIsDeliveredAndCounted)
{
    MemoryFileIn f(4000);
    f.in.Init();
    EXPECT_TRUE(f.in.IsBusy());
    EXPECT_EQ(f.in.GetSize(), 16000);
    EXPECT_EQ(f.in.GetSampleSize(), 4);
    EXPECT_EQ(f.in.totalSamplesField(), 4000);
    const QByteArray got = drain(f.in, 3000);
    EXPECT_EQ(got, makeFrames(0, 4000));
    EXPECT_EQ(f.in.GetPosition(), 16000);
    EXPECT_TRUE(f.in.IsEndOfData());
    // Further reads keep answering "no more data".
    void* p = nullptr;
    uint32_t n = 100;
    f.in.GetData(p, n);
    EXPECT_EQ(n, 0u);
    f.in.Flush();
    EXPECT_FALSE(f.in.IsBusy());
}

TEST(FileInput, SampleRangeDeliversExactlyTheRangeForOneRunOnly)
{
    MemoryFileIn f(4000);
    f.in.SetStartSample(1000);
    f.in.SetEndSample(1999);
    f.in.Init();
    EXPECT_EQ(f.in.GetSize(), 1000 * 4);
    EXPECT_EQ(f.in.GetPosition(), 0);
    EXPECT_EQ(drain(f.in, 1234), makeFrames(1000, 1000));
    EXPECT_EQ(f.in.GetPosition(), 4000);
    f.in.Flush();
    EXPECT_EQ(f.in.GetStartSample(), 0);
    EXPECT_EQ(f.in.GetEndSample(), -1);

    // Next run without a range: the whole file again.
    f.in.Init();
    EXPECT_EQ(drain(f.in).size(), 16000);
    f.in.Flush();

    // An end beyond the file runs to the end of the file.
    f.in.SetStartSample(3500);
    f.in.SetEndSample(9000);
    f.in.Init();
    EXPECT_EQ(f.in.GetSize(), 500 * 4);
    EXPECT_EQ(drain(f.in), makeFrames(3500, 500));
    f.in.Flush();

    // The last frame of the file as the end of the range is the whole rest.
    f.in.SetStartSample(3990);
    f.in.SetEndSample(3999);
    f.in.Init();
    EXPECT_EQ(drain(f.in), makeFrames(3990, 10));
    f.in.Flush();

    // An empty (reversed) range delivers nothing rather than the rest of the file.
    f.in.SetStartSample(2000);
    f.in.SetEndSample(1000);
    f.in.Init();
    EXPECT_EQ(f.in.GetSize(), 0);
    EXPECT_TRUE(drain(f.in).isEmpty());
    f.in.Flush();
}

TEST(FileInput, InitFailuresAndInvalidFiles)
{
    RawFileIn noName;
    try {
        noName.Init();
        FAIL() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), "The file name is not assigned");
    }
    EXPECT_TRUE(noName.IsEndOfData());

    MemoryFileIn f(100);
    f.in.Init();
    try {
        f.in.Init();
        FAIL() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), "The component is Busy");
    }
    f.in.Flush();

    // A file that is not recognised gives no data and a neutral format.
    MemoryFileIn bad(100);
    bad.in.valid = false;
    EXPECT_FALSE(bad.in.IsValid());
    bad.in.Init();
    EXPECT_EQ(bad.in.GetSize(), 0);
    EXPECT_EQ(bad.in.GetSampleSize(), 8);
    EXPECT_TRUE(drain(bad.in).isEmpty());
    bad.in.Flush();

    // A file-backed input whose file is missing is not valid; Init raises the file and the system text.
    RawFileIn missing;
    missing.SetFileName("/nonexistent-dir/none.raw");
    EXPECT_FALSE(missing.IsValid());
    try {
        missing.Init();
        FAIL() << "no exception";
    } catch (const EAuException& e) {
        EXPECT_EQ(e.Message(), "/nonexistent-dir/none.raw: " + QString::fromLocal8Bit(strerror(ENOENT)));
    }
    missing.Reset();
    EXPECT_FALSE(missing.IsBusy());
}

TEST(FileInput, FormatQueriesOpenTheFileLazily)
{
    MemoryFileIn f(44100 * 3 + 22050);  // 3.5 s
    EXPECT_EQ(f.in.openCalls, 0);
    EXPECT_EQ(f.in.GetChannels(), 2u);
    EXPECT_EQ(f.in.openCalls, 1);
    EXPECT_EQ(f.in.GetTotalSamples(), 44100 * 3 + 22050);
    EXPECT_EQ(f.in.GetTotalTime(), 4u);  // 3.5 rounds to even
    MemoryFileIn g(44100 * 2 + 22050);   // 2.5 s
    EXPECT_EQ(g.in.GetTotalTime(), 2u);

    TMemoryStream empty;
    RawFileIn e;
    e.SetStream(&empty);
    EXPECT_EQ(e.GetTotalSamples(), -1);
    EXPECT_EQ(e.GetTotalTime(), 0u);
}

TEST(FileInput, LoopRestartsAtTheStartWithoutLosingTheTail)
{
    MemoryFileIn f(100);
    f.in.chunk = 120;  // not a divisor of the range: reads end mid-chunk
    f.in.SetLoop(true);
    f.in.SetStartSample(10);
    f.in.SetEndSample(59);  // 50 frames = 200 bytes
    f.in.Init();
    const QByteArray got = drain(f.in, 120, 1000);
    QByteArray expected;
    while (expected.size() < got.size())
        expected += makeFrames(10, 50);
    expected.truncate(got.size());
    EXPECT_EQ(got.size(), 1000);
    EXPECT_EQ(got, expected);
    EXPECT_LE(f.in.GetPosition(), 200);
    f.in.Flush();

    // A looping input with nothing in it reports the end.
    TMemoryStream empty;
    RawFileIn e;
    e.SetStream(&empty);
    e.SetLoop(true);
    e.Init();
    EXPECT_TRUE(drain(e).isEmpty());
    e.Flush();
}

TEST(FileInput, SeekAndJump)
{
    MemoryFileIn f(1000);
    // Idle: the seek moves the start of the next run.
    EXPECT_TRUE(f.in.Seek(900));
    f.in.Init();
    EXPECT_EQ(drain(f.in), makeFrames(900, 100));
    f.in.Flush();

    f.in.Init();
    EXPECT_FALSE(f.in.Seek(1001));  // beyond the end: refused, nothing moves
    EXPECT_FALSE(f.in.Seek(-1));
    EXPECT_EQ(f.in.GetPosition(), 0);
    EXPECT_TRUE(f.in.Seek(250));
    EXPECT_EQ(f.in.GetPosition(), 1000);
    void* p = nullptr;
    uint32_t n = 8;
    f.in.GetData(p, n);
    EXPECT_EQ(QByteArray(static_cast<const char*>(p), n), makeFrames(250, 2));

    EXPECT_TRUE(f.in.Jump(-1000));  // to the start
    EXPECT_EQ(f.in.GetPosition(), 0);
    n = 4;
    f.in.GetData(p, n);
    EXPECT_EQ(QByteArray(static_cast<const char*>(p), n), makeFrames(0, 1));

    EXPECT_TRUE(f.in.Jump(500));  // half way on
    EXPECT_EQ(f.in.GetPosition(), 501 * 4);  // 4/4000 + 0.5 of 1000 frames
    EXPECT_TRUE(f.in.Jump(1000));  // to the end
    EXPECT_EQ(f.in.GetPosition(), 4000);
    EXPECT_TRUE(drain(f.in).isEmpty());

    // Back from the end: data flows again.
    EXPECT_TRUE(f.in.Seek(998));
    EXPECT_EQ(drain(f.in), makeFrames(998, 2));
    f.in.Flush();

    // Within a range, seeks are relative to its start.
    f.in.SetStartSample(100);
    f.in.SetEndSample(199);
    f.in.Init();
    EXPECT_TRUE(f.in.Seek(90));
    EXPECT_EQ(drain(f.in), makeFrames(190, 10));
    f.in.Flush();
}

TEST(FileInput, PrefetchServesLaterReadsAndCountsOnHandOut)
{
    MemoryFileIn f(1000);  // 4000 bytes
    f.in.chunk = 300;
    f.in.Init();
    f.in.Prefetch(2000);
    EXPECT_EQ(f.in.GetPosition(), 0);  // not counted until handed out
    void* p = nullptr;
    uint32_t n = 600;
    f.in.GetData(p, n);
    EXPECT_EQ(QByteArray(static_cast<const char*>(p), n), makeFrames(0, 150));
    EXPECT_EQ(f.in.GetPosition(), 600);
    f.in.Prefetch(2000);  // buffer still full: nothing happens
    EXPECT_EQ(drain(f.in, 5000, 1400), makeFrames(150, 350));
    EXPECT_EQ(f.in.GetPosition(), 2000);

    // A smaller read-ahead into the larger buffer, then a top-up behind the
    // unread rest.
    f.in.Prefetch(500);
    n = 200;
    f.in.GetData(p, n);
    EXPECT_EQ(QByteArray(static_cast<const char*>(p), n), makeFrames(500, 50));
    f.in.Prefetch(9999);
    EXPECT_EQ(f.in.GetPosition(), 2200);
    EXPECT_EQ(drain(f.in, 5000), makeFrames(550, 450));
    EXPECT_EQ(f.in.GetPosition(), 4000);
    EXPECT_TRUE(f.in.IsEndOfData());
    f.in.Flush();

    // With a range, read-ahead stops at the end of the range.
    f.in.SetEndSample(99);
    f.in.Init();
    f.in.Prefetch(2000);
    EXPECT_EQ(drain(f.in, 5000), makeFrames(0, 100));
    EXPECT_EQ(f.in.GetPosition(), 400);

    // Silence: the whole buffer is handed out as zeros.
    f.in.FillWithSilence();
    n = 5000;
    f.in.GetData(p, n);
    EXPECT_EQ(n, 2000u);
    EXPECT_EQ(QByteArray(static_cast<const char*>(p), n), QByteArray(2000, '\0'));
    f.in.Flush();
}

TEST(FileInput, CopyDataAndFillBuffer)
{
    MemoryFileIn f(100);
    f.in.chunk = 30;
    f.in.Init();
    char buf[400];
    EXPECT_EQ(f.in.CopyData(buf, 100), 30u);  // one read, any amount
    bool end = true;
    EXPECT_EQ(f.in.FillBuffer(buf, 100, end), 100u);
    EXPECT_FALSE(end);
    EXPECT_EQ(QByteArray(buf, 100), makeFrames(0, 100).mid(30, 100));
    EXPECT_EQ(f.in.FillBuffer(buf, 400, end), 270u);
    EXPECT_TRUE(end);
    EXPECT_EQ(f.in.CopyData(buf, 100), 0u);
    f.in.Flush();
}

TEST(FileInput, ReadsARealFileAndClosesItAtFlush)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("a.raw");
    {
        TAuFileStream s(name, fmCreate);
        const QByteArray data = makeFrames(0, 500);
        s.WriteBuffer(data.constData(), data.size());
    }
    RawFileIn in;
    in.SetFileName(name);
    EXPECT_TRUE(in.IsValid());
    // Reading denies others writing until the file is closed again.
    EXPECT_THROW(TAuFileStream(name, fmOpenReadWrite | fmShareDenyNone), EAuException);
    in.Init();
    EXPECT_EQ(drain(in), makeFrames(0, 500));
    in.Flush();
    EXPECT_NO_THROW(TAuFileStream(name, fmOpenReadWrite | fmShareDenyNone));
}
