// The track rip thread over the drive library and CD images: the WAV file it
// writes, the events it posts, rip time, normalising, stopping, and the
// failures that must end a track as failed.

#include "cd/CDRipThread.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "app/JobEvents.h"
#include "platform/CdDrives.h"
#include "support/TestSupport.h"

#include "RipTestDisc.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <memory>
#include <vector>

using namespace dw;

namespace {

struct Seen {
    int code;
    int result;
    QString elapsed, estimated;
};

class Collector : public JobEventReceiver {
public:
    std::vector<Seen> events;
    std::vector<int> ripErrors;
    bool finished() const
    {
        return !ripErrors.empty() || (!events.empty() && events.back().code == JOB_RIP_DONE);
    }

protected:
    void jobEvent(std::unique_ptr<TProcessInfo> info) override
    {
        events.push_back({info->Code, info->Result, info->Elapsed, info->Estimated});
    }
    void ripError(int code) override { ripErrors.push_back(code); }
};

uint32_t le32(const QByteArray& b, int at)
{
    return uint8_t(b[at]) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16
           | uint32_t(uint8_t(b[at + 3])) << 24;
}

class CDRipThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        disc = riptest::MakeTestDisc(sandbox.path(), "disc", {300, 25, 130, 60}, {4});
        out = sandbox.file("out");
        QDir().mkpath(out);
        openHandle();
    }
    void TearDown() override
    {
        if (handle)
            CloseCDHandle(handle);
        SetExplicitCdDevices({});
    }
    void openHandle()
    {
        SetExplicitCdDevices({disc.cue});
        CdListRecord list{};
        list[0] = 8;
        ASSERT_EQ(GetCDList(list), 1);
        OpenRequestRecord request{};
        EncodeOpenRequest(OpenRequest{}, request);
        handle = GetCDHandle(request);
        ASSERT_NE(handle, 0);
    }
    // Rips one track and waits for its completion (or a rip error).
    std::unique_ptr<TCDRipThread> rip(int track, const QString& title, TRipSettings settings = {})
    {
        if (settings.OutputFolder.isEmpty())
            settings.OutputFolder = out;
        auto t = std::make_unique<TCDRipThread>(track, title, settings);
        t->CDHandle = handle;
        t->NotifyWindow = &collector;
        t->Resume();
        EXPECT_TRUE(dwtest::waitFor([&] { return collector.finished(); }));
        return t;
    }
    // Everything in the output folder, hidden temporary files included.
    QStringList outputFiles() const
    {
        return QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    std::vector<int> progressCodes() const
    {
        std::vector<int> codes;
        for (const Seen& s : collector.events)
            if (s.code >= 0 && s.code <= 100)
                codes.push_back(s.code);
        return codes;
    }

    dwtest::Sandbox sandbox;
    riptest::TestDisc disc;
    QString out;
    int handle = 0;
    Collector collector;
};

TEST_F(CDRipThreadTest, RipsATrackBitIdenticalWithItsHeaderAndProgress)
{
    auto t = rip(2, "Short one");
    EXPECT_EQ(t->FileName(), out + "/Short one.wav");
    const QByteArray file = sandbox.read(t->FileName());
    ASSERT_EQ(file.size(), 44 + 25 * 2352);
    EXPECT_TRUE(file.mid(44) == disc.track(2));
    // The header, field by field.
    EXPECT_EQ(file.left(4), "RIFF");
    EXPECT_EQ(le32(file, 4), 25u * 2352 + 36);
    EXPECT_EQ(file.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(file, 16), 16u);
    EXPECT_EQ(le32(file, 20), 1u | 2u << 16);   // PCM, 2 channels
    EXPECT_EQ(le32(file, 24), 44100u);
    EXPECT_EQ(le32(file, 28), 176400u);
    EXPECT_EQ(le32(file, 32), 4u | 16u << 16);  // block align 4, 16 bits
    EXPECT_EQ(file.mid(36, 4), "data");
    EXPECT_EQ(le32(file, 40), 25u * 2352);
    EXPECT_EQ(outputFiles(), QStringList{"Short one.wav"});

    // An image's 25 sectors are read at once; then exactly one completion.
    EXPECT_EQ(progressCodes(), (std::vector<int>{100}));
    ASSERT_EQ(collector.events.size(), 2u);
    EXPECT_EQ(collector.events.back().code, JOB_RIP_DONE);
    EXPECT_EQ(collector.events.back().result, 0);
    for (size_t i = 0; i + 1 < collector.events.size(); ++i) {
        EXPECT_EQ(collector.events[i].elapsed, "00:00");
        EXPECT_EQ(collector.events[i].estimated, "00:00");
    }

    // A longer track, and the first track of the disc.
    collector.events.clear();
    rip(1, "First");
    EXPECT_TRUE(sandbox.read("out/First.wav").mid(44) == disc.track(1));
    // 300 sectors in reads of 100: a new percentage at most every 50 ms,
    // the last always.
    const std::vector<int> codes = progressCodes();
    ASSERT_FALSE(codes.empty());
    EXPECT_LE(codes.size(), 3u);
    EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
    EXPECT_EQ(codes.back(), 100);
    EXPECT_EQ(collector.events.back().result, 0);
}

TEST_F(CDRipThreadTest, AnImageReplacedOrRewrittenBetweenTracksIsReadAsItNowIs)
{
    rip(1, "Before");
    ASSERT_TRUE(sandbox.read("out/Before.wav").mid(44) == disc.track(1));

    // A new .bin put in place under the same name (another file), then the
    // same file rewritten in place: every rip reads the image as it is then.
    for (const uint32_t seed : {777u, 999u}) {
        const QString folder = sandbox.file(QString::number(seed));
        QDir().mkpath(folder);
        const riptest::TestDisc other = riptest::MakeTestDisc(folder, "disc", {300, 25, 130, 60}, {4}, seed);
        if (seed == 777u) {
            ASSERT_TRUE(QFile::remove(disc.bin));
            ASSERT_TRUE(QFile::rename(other.bin, disc.bin));
        } else {
            QFile bin(disc.bin);
            ASSERT_TRUE(bin.open(QIODevice::ReadWrite));
            ASSERT_EQ(bin.write(other.bin_bytes), other.bin_bytes.size());
        }
        collector.events.clear();
        const QString title = QStringLiteral("After %1").arg(seed);
        rip(3, title);
        const QByteArray got = sandbox.read("out/" + title + ".wav").mid(44);
        EXPECT_TRUE(got == other.track(3)) << seed;
        EXPECT_FALSE(got == disc.track(3)) << seed;
    }
}

TEST_F(CDRipThreadTest, RipTimeCutsTheTrackAndNormalisingScalesEverySample)
{
    TRipSettings settings;
    settings.EnableRipTime = true;
    settings.RipTime = 1;
    rip(3, "Cut", settings);
    EXPECT_TRUE(sandbox.read("out/Cut.wav").mid(44) == disc.track(3).left(75 * 2352));
    EXPECT_EQ(progressCodes().back(), 100);

    collector.events.clear();
    settings = {};
    settings.IsNormalize = true;
    settings.NormalizePercent = 50;
    rip(3, "Quiet", settings);
    const QByteArray file = sandbox.read("out/Quiet.wav");
    const QByteArray original = disc.track(3);
    ASSERT_EQ(file.size(), 44 + original.size());
    EXPECT_EQ(le32(file, 40), uint32_t(original.size()));
    for (int i = 0; i < original.size(); i += 2) {
        const int16_t in = int16_t(uint8_t(original[i]) | uint8_t(original[i + 1]) << 8);
        const int16_t got = int16_t(uint8_t(file[44 + i]) | uint8_t(file[44 + i + 1]) << 8);
        ASSERT_EQ(got, int16_t(std::nearbyint(float(in) * 0.5f))) << "sample at byte " << i;
    }
    EXPECT_FALSE(QFile::exists(sandbox.file("out/Quiet.nor")));
    // JOB_NORMALIZING comes after the rip's progress, then the normalise's
    // own progress, then the completion.
    int normalizing = -1;
    for (size_t i = 0; i < collector.events.size(); ++i)
        if (collector.events[i].code == JOB_NORMALIZING)
            normalizing = int(i);
    ASSERT_GT(normalizing, 0);
    EXPECT_EQ(collector.events[size_t(normalizing) - 1].code, 100);
    EXPECT_LT(size_t(normalizing) + 1, collector.events.size() - 1);
    EXPECT_EQ(collector.events.back().code, JOB_RIP_DONE);
    EXPECT_EQ(collector.events.back().result, 0);
}

TEST_F(CDRipThreadTest, FailuresEndTheTrackAsFailedAndLeaveNoFile)
{
    // A folder that does not exist: the file cannot be created, and the
    // message names the file and the system's reason.
    TRipSettings settings;
    settings.OutputFolder = sandbox.file("missing");
    auto t = rip(1, "Nowhere", settings);
    ASSERT_EQ(collector.events.size(), 1u);
    EXPECT_EQ(collector.events[0].code, JOB_RIP_DONE);
    EXPECT_EQ(collector.events[0].result, 5);
    EXPECT_EQ(t->ErrorText(), sandbox.file("missing/Nowhere.wav") + ": No such file or directory");

    // A data track and a track the disc does not have are not read as audio.
    for (int track : {4, 5, 0}) {
        collector.events.clear();
        t = rip(track, "Data");
        ASSERT_EQ(collector.events.size(), 1u);
        EXPECT_EQ(collector.events[0].result, 3) << "track " << track;
        EXPECT_EQ(t->ErrorText(), track == 4 ? QString("track 4 is a data track")
                                             : QString("the disc has no track %1").arg(track));
    }
    // A cut of zero seconds rips nothing and is no ripped track.
    collector.events.clear();
    settings = {};
    settings.EnableRipTime = true;
    settings.RipTime = 0;
    rip(1, "Empty", settings);
    ASSERT_EQ(collector.events.size(), 1u);
    EXPECT_EQ(collector.events[0].result, 3);
    EXPECT_TRUE(outputFiles().isEmpty()) << outputFiles().join(' ').toStdString();

    // A disc that goes away after the drive was opened: its table of
    // contents can no longer be read, and nothing is written.
    collector.events.clear();
    ASSERT_TRUE(QFile::remove(disc.cue));
    ASSERT_TRUE(QFile::remove(disc.bin));
    rip(1, "Gone");
    EXPECT_EQ(collector.ripErrors, std::vector<int>{2});
    EXPECT_TRUE(collector.events.empty());
    EXPECT_TRUE(outputFiles().isEmpty()) << outputFiles().join(' ').toStdString();

    // A handle that is not open: setting the drive parameters fails.
    collector.ripErrors.clear();
    collector.events.clear();
    CloseCDHandle(handle);
    rip(1, "Closed");
    EXPECT_EQ(collector.ripErrors, std::vector<int>{1});
    handle = 0;
}

TEST_F(CDRipThreadTest, AnExistingFileIsReplacedOnlyWhenTheSettingsSaySo)
{
    sandbox.write("out/Kept.wav", "an older rip");
    TRipSettings keep;
    keep.Overwrite = false;
    auto t = rip(2, "Kept", keep);
    EXPECT_EQ(collector.events.back().code, JOB_RIP_DONE);
    EXPECT_EQ(collector.events.back().result, 5);
    EXPECT_EQ(t->ErrorText(), sandbox.file("out/Kept.wav") + ": File exists");
    EXPECT_EQ(sandbox.read("out/Kept.wav"), "an older rip");

    collector.events.clear();
    rip(2, "Kept");  // the window's setting: replace
    EXPECT_EQ(collector.events.back().result, 0);
    EXPECT_TRUE(sandbox.read("out/Kept.wav").mid(44) == disc.track(2));
    EXPECT_EQ(outputFiles(), QStringList{"Kept.wav"});
}

TEST_F(CDRipThreadTest, ADiscWhoseFirstTrackIsNotOneRipsByTrackNumber)
{
    CloseCDHandle(handle);
    disc = riptest::MakeTestDisc(sandbox.path(), "late", {40, 30, 20}, {}, 777, 3);
    openHandle();
    for (int track : {3, 5}) {
        collector.events.clear();
        rip(track, QString("T%1").arg(track));
        EXPECT_EQ(collector.events.back().result, 0) << track;
        EXPECT_TRUE(sandbox.read(QString("out/T%1.wav").arg(track)).mid(44) == disc.track(track - 2)) << track;
    }
    collector.events.clear();
    rip(1, "One");
    EXPECT_EQ(collector.events.back().result, 3);
    EXPECT_FALSE(QFile::exists(sandbox.file("out/One.wav")));
}

TEST_F(CDRipThreadTest, AFullDiskEndsTheTrackAsFailedAndLeavesNoFile)
{
    // Writes beyond 100 kB fail as on a full disk.
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    auto t = rip(1, "Full");
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);

    ASSERT_FALSE(collector.events.empty());
    EXPECT_EQ(collector.events.back().code, JOB_RIP_DONE);
    EXPECT_EQ(collector.events.back().result, 5);
    EXPECT_TRUE(outputFiles().isEmpty()) << outputFiles().join(' ').toStdString();
    EXPECT_EQ(t->ErrorText(), sandbox.file("out/Full.wav") + ": File too large");
}

TEST_F(CDRipThreadTest, AStoppedThreadPostsNothingAndLeavesNoCompleteFile)
{
    auto t = std::make_unique<TCDRipThread>(1, "Stopped", TRipSettings{});
    t->Settings.OutputFolder = out;
    t->CDHandle = handle;
    t->NotifyWindow = &collector;
    t->Stopped = true;
    t->Resume();
    ASSERT_TRUE(dwtest::waitFor([&] { return t->IsFinished(); }));
    t.reset();
    QCoreApplication::sendPostedEvents(&collector);
    EXPECT_TRUE(collector.events.empty());
    EXPECT_TRUE(collector.ripErrors.empty());
    EXPECT_TRUE(outputFiles().isEmpty()) << outputFiles().join(' ').toStdString();

    // Freeing a running thread after setting the stop flag waits for it. The
    // track is long (400 s) and the flag is set as soon as the first progress
    // has arrived, so the thread is in the middle of it: a completion would
    // mean the flag was missed.
    const riptest::TestDisc big = riptest::MakeTestDisc(sandbox.path(), "long", {30000}, {}, 77);
    CloseCDHandle(handle);
    disc = big;
    openHandle();
    auto running = std::make_unique<TCDRipThread>(1, "Freed", TRipSettings{});
    running->Settings.OutputFolder = out;
    running->CDHandle = handle;
    running->NotifyWindow = &collector;
    running->Resume();
    ASSERT_TRUE(dwtest::waitFor([&] { return !collector.events.empty(); }));
    running->Stopped = true;
    running.reset();
    QCoreApplication::sendPostedEvents(&collector);
    ASSERT_FALSE(collector.events.empty());
    for (const Seen& s : collector.events)
        EXPECT_NE(s.code, JOB_RIP_DONE) << "a completion would mean the stop flag was missed";
    EXPECT_TRUE(collector.ripErrors.empty());
    EXPECT_TRUE(outputFiles().isEmpty()) << outputFiles().join(' ').toStdString();
}

TEST_F(CDRipThreadTest, ADiscCutShortDuringTheRipLeavesNoFile)
{
    // A long track; its image loses every sector when the first progress
    // arrives, long before the rip could have read to the end.
    const riptest::TestDisc big = riptest::MakeTestDisc(sandbox.path(), "big", {30000}, {}, 4242);
    CloseCDHandle(handle);
    disc = big;
    openHandle();
    sandbox.write("out/Big.wav", "an older rip");
    auto t = std::make_unique<TCDRipThread>(1, "Big", TRipSettings{});
    t->Settings.OutputFolder = out;
    t->CDHandle = handle;
    t->NotifyWindow = &collector;
    t->Resume();
    ASSERT_TRUE(dwtest::waitFor([&] { return !collector.events.empty(); }));
    ASSERT_TRUE(QFile::resize(big.bin, 0));
    ASSERT_TRUE(dwtest::waitFor([&] { return collector.finished(); }));
    EXPECT_EQ(collector.events.back().code, JOB_RIP_DONE);
    EXPECT_EQ(collector.events.back().result, 3);
    EXPECT_FALSE(t->ErrorText().isEmpty());
    t.reset();
    // The old file stays as it was, and no temporary file is left beside it.
    EXPECT_EQ(sandbox.read("out/Big.wav"), "an older rip");
    EXPECT_EQ(outputFiles(), QStringList{"Big.wav"});
}

}  // namespace
