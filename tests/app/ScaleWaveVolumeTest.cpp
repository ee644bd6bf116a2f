#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <vector>

#include "app/ScaleWaveVolume.h"
#include "support/TestSupport.h"

using namespace dw;

namespace {

QByteArray wavWith(const std::vector<int16_t>& samples, QByteArray header = QByteArray(44, 'H'))
{
    QByteArray b = header;
    for (int16_t s : samples) {
        b.append(char(uint16_t(s) & 0xFF));
        b.append(char(uint16_t(s) >> 8));
    }
    return b;
}

std::vector<int16_t> samplesOf(const QByteArray& b)
{
    std::vector<int16_t> out;
    for (int i = 44; i + 1 < b.size(); i += 2)
        out.push_back(int16_t(uint16_t(uint8_t(b[i]) | (uint8_t(b[i + 1]) << 8))));
    return out;
}

}  // namespace

TEST(ScaleWaveVolume, FixedGainWithHalvesToEven)
{
    dwtest::Sandbox box;
    const std::vector<int16_t> in{-3, 3, 5, -5, 1, -1, 32767, -32768, 0, 100};
    box.write("t.wav", wavWith(in));
    ASSERT_TRUE(ScaleWaveVolume(50, box.file("t.wav")));
    const QByteArray out = box.read("t.wav");
    EXPECT_EQ(out.left(44), QByteArray(44, 'H'));
    EXPECT_EQ(samplesOf(out), (std::vector<int16_t>{-2, 2, 2, -2, 0, 0, 16384, -16384, 0, 50}));
    EXPECT_FALSE(QFile::exists(box.file("t.nor")));

    box.write("u.wav", wavWith(in));
    ASSERT_TRUE(ScaleWaveVolume(100, box.file("u.wav")));
    EXPECT_EQ(samplesOf(box.read("u.wav")), in);
}

TEST(ScaleWaveVolume, LargeFilesOddTailsAndOverdrive)
{
    dwtest::Sandbox box;
    std::vector<int16_t> in(5000);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = int16_t((i * 37) % 20000 - 10000);
    QByteArray bytes = wavWith(in);
    bytes.append('\x7f');  // a trailing odd byte is copied as it is
    box.write("big.wav", bytes);
    ASSERT_TRUE(ScaleWaveVolume(95, box.file("big.wav")));
    QByteArray out = box.read("big.wav");
    ASSERT_EQ(out.size(), bytes.size());
    EXPECT_EQ(out.back(), '\x7f');
    std::vector<int16_t> got = samplesOf(out.left(out.size() - 1));
    ASSERT_EQ(got.size(), in.size());
    for (size_t i = 0; i < in.size(); ++i)
        ASSERT_NEAR(got[i], in[i] * 0.95, 0.5001) << i;

    // Gains above 100 % saturate rather than wrap around.
    box.write("loud.wav", wavWith({30000, -30000, 100}));
    ASSERT_TRUE(ScaleWaveVolume(200, box.file("loud.wav")));
    EXPECT_EQ(samplesOf(box.read("loud.wav")), (std::vector<int16_t>{32767, -32768, 200}));
}

TEST(ScaleWaveVolume, FailuresLeaveTheSourceAlone)
{
    dwtest::Sandbox box;
    EXPECT_THROW(ScaleWaveVolume(50, box.file("missing.wav")), IoError);

    // The temporary file cannot be created: a folder stands in its place.
    box.write("x.wav", wavWith({1000, 2000}));
    QDir().mkpath(box.file("x.nor"));
    EXPECT_THROW(ScaleWaveVolume(50, box.file("x.wav")), IoError);
    EXPECT_EQ(samplesOf(box.read("x.wav")), (std::vector<int16_t>{1000, 2000}));

    // A header-only file is copied unchanged.
    box.write("h.wav", QByteArray(44, 'H'));
    ASSERT_TRUE(ScaleWaveVolume(50, box.file("h.wav")));
    EXPECT_EQ(box.read("h.wav"), QByteArray(44, 'H'));
}

TEST(ScaleWaveVolume, ReportsProgressAndStopsOnRequest)
{
    dwtest::Sandbox box;
    std::vector<int16_t> in(3000, 1000);
    box.write("p.wav", wavWith(in));
    const int64_t size = 44 + 2 * 3000;
    int64_t lastDone = -1;
    int calls = 0;
    ASSERT_TRUE(ScaleWaveVolume(50, box.file("p.wav"), [&](int64_t done, int64_t total) {
        EXPECT_EQ(total, size);
        EXPECT_GT(done, lastDone);
        lastDone = done;
        ++calls;
        return true;
    }));
    EXPECT_EQ(calls, 4);  // before each 2048-byte block and before the final empty read
    EXPECT_EQ(lastDone, size);

    // Stopping removes the partial copy and leaves the source as it was.
    box.write("s.wav", wavWith(in));
    EXPECT_FALSE(ScaleWaveVolume(50, box.file("s.wav"), [&](int64_t done, int64_t) { return done < 2000; }));
    EXPECT_EQ(samplesOf(box.read("s.wav")), in);
    EXPECT_FALSE(QFile::exists(box.file("s.nor")));
}
