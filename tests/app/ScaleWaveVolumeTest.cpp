#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
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

// The reference: sample x percent / 100 on the magnitude, with the sign put
// back afterwards; a remainder of exactly one half goes to the even quotient.
int16_t reference(int sample, int percent)
{
    const long long product = (long long)sample * percent;
    const long long magnitude = std::llabs(product);
    long long q = magnitude / 100;
    const long long twiceRest = (magnitude % 100) * 2;
    if (twiceRest > 100 || (twiceRest == 100 && q % 2 == 1))
        ++q;
    long long v = product < 0 ? -q : q;
    if (v > 32767)
        v = 32767;
    if (v < -32768)
        v = -32768;
    return int16_t(v);
}

std::vector<int16_t> everySample()
{
    std::vector<int16_t> all;
    for (int s = -32768; s <= 32767; ++s)
        all.push_back(int16_t(s));
    return all;
}

// Names in the folder, hidden ones included, without . and ..
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

TEST(ScaleWaveVolume, EverySampleAtEveryGainMatchesTheExactProduct)
{
    for (int percent : {1, 33, 50, 99, 100, 101, 150, 1000, 0, -50})
        for (int s = -32768; s <= 32767; ++s)
            ASSERT_EQ(ScaleSample(int16_t(s), percent), reference(s, percent)) << s << " at " << percent << " %";
    // The cases the rounding rule is about.
    EXPECT_EQ(ScaleSample(-3, 50), -2);
    EXPECT_EQ(ScaleSample(3, 50), 2);
    EXPECT_EQ(ScaleSample(5, 50), 2);
    EXPECT_EQ(ScaleSample(7, 50), 4);
    EXPECT_EQ(ScaleSample(50, 99), 50);    // 49.5 goes to the even 50
    EXPECT_EQ(ScaleSample(150, 33), 50);   // 49.5 again
    EXPECT_EQ(ScaleSample(250, 33), 82);   // 82.5 goes to 82
    EXPECT_EQ(ScaleSample(32767, 150), 32767);
    EXPECT_EQ(ScaleSample(-32768, 150), -32768);
}

TEST(ScaleWaveVolume, TheFileStepScalesEverySampleAndKeepsHeaderAndOddTail)
{
    dwtest::Sandbox box;
    const std::vector<int16_t> all = everySample();
    for (int percent : {33, 100, 150}) {
        QByteArray bytes = wavWith(all);
        bytes.append('\x7f');  // a trailing odd byte is copied as it is
        box.write("all.wav", bytes);
        ASSERT_TRUE(ScaleWaveVolume(percent, box.file("all.wav")));
        const QByteArray out = box.read("all.wav");
        ASSERT_EQ(out.size(), bytes.size());
        EXPECT_EQ(out.left(44), QByteArray(44, 'H'));
        EXPECT_EQ(out.back(), '\x7f');
        const std::vector<int16_t> got = samplesOf(out.left(out.size() - 1));
        ASSERT_EQ(got.size(), all.size());
        for (size_t i = 0; i < all.size(); ++i)
            ASSERT_EQ(got[i], reference(all[i], percent)) << all[i] << " at " << percent << " %";
        EXPECT_EQ(entries(box.path()).filter("all").size(), 1) << entries(box.path()).join(' ').toStdString();
    }

    // A header-only file is copied unchanged.
    box.write("h.wav", QByteArray(44, 'H'));
    ASSERT_TRUE(ScaleWaveVolume(50, box.file("h.wav")));
    EXPECT_EQ(box.read("h.wav"), QByteArray(44, 'H'));
}

TEST(ScaleWaveVolume, FailuresNameTheFileAndLeaveTheSourceAlone)
{
    dwtest::Sandbox box;
    try {
        ScaleWaveVolume(50, box.file("missing.wav"));
        ADD_FAILURE() << "a missing source must fail";
    } catch (const IoError& e) {
        EXPECT_EQ(QString(e.what()), box.file("missing.wav") + ": No such file or directory");
    }

    // The ".nor" name is taken by a folder: the scaled copy cannot be put there.
    const QByteArray original = wavWith({1000, 2000});
    box.write("x.wav", original);
    QDir().mkpath(box.file("x.nor"));
    EXPECT_THROW(ScaleWaveVolume(50, box.file("x.wav")), IoError);
    EXPECT_EQ(box.read("x.wav"), original);

    // A full disk (simulated by a file size limit) part-way through the copy.
    QDir().mkpath(box.file("full"));
    std::vector<int16_t> many(200000, 1000);
    const QByteArray big = wavWith(many);
    box.write("full/big.wav", big);
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    QString message;
    try {
        ScaleWaveVolume(50, box.file("full/big.wav"));
    } catch (const IoError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_EQ(message, box.file("full/big.nor") + ": File too large");
    EXPECT_EQ(entries(box.file("full")), QStringList{"big.wav"});
    EXPECT_TRUE(box.read("full/big.wav") == big);
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
    EXPECT_EQ(samplesOf(box.read("p.wav")), std::vector<int16_t>(3000, 500));

    // Stopping leaves the source as it was and nothing beside it.
    box.write("s.wav", wavWith(in));
    EXPECT_FALSE(ScaleWaveVolume(50, box.file("s.wav"), [&](int64_t done, int64_t) { return done < 2000; }));
    EXPECT_EQ(samplesOf(box.read("s.wav")), in);
    EXPECT_EQ(entries(box.path()).filter(QRegularExpression("^\\.?s\\.")), QStringList{"s.wav"});
}
