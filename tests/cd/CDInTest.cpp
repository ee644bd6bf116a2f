// TCDIn over CD images: drive and disc queries, the range arithmetic, runs
// that deliver exactly the track's audio, and the refusals of DoInit.

#include "audio/stream/AuException.h"
#include "cd/CDIn.h"
#include "cd/RipperLibrary.h"
#include "platform/CdDrives.h"
#include "support/TestSupport.h"

#include "RipTestDisc.h"

#include <QFile>

#include <gtest/gtest.h>

#include <memory>

using namespace dw;

namespace {

// Runs the message of an expected EAuException through a matcher-free check.
template <class F>
QString raised(F&& f)
{
    try {
        f();
    } catch (const EAuException& e) {
        return e.Message();
    }
    return QStringLiteral("<nothing raised>");
}

class CDInTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Track 2 is 113 sectors (1.51 s), track 3 a data track.
        disc = riptest::MakeTestDisc(sandbox.path(), "disc", {300, 113, 90}, {3});
        other = riptest::MakeTestDisc(sandbox.path(), "other", {80, 80}, {}, 99);
        SetExplicitCdDevices({disc.cue, other.cue});
        in = std::make_unique<TCDIn>();
    }
    void TearDown() override
    {
        in.reset();
        SetExplicitCdDevices({});
        CR_DeInit();
    }
    // Reads a whole run with requests of `request` bytes.
    QByteArray readRun(uint32_t request = 10000)
    {
        in->Init();
        QByteArray all;
        for (int guard = 0; guard < 1000000; ++guard) {
            void* data = nullptr;
            uint32_t bytes = request;
            in->GetData(data, bytes);
            if (bytes == 0)
                break;
            EXPECT_LE(bytes, request);
            all.append(static_cast<const char*>(data), bytes);
        }
        EXPECT_TRUE(in->IsBusy());
        EXPECT_EQ(in->GetSize(), all.size());
        in->Flush();
        EXPECT_FALSE(in->IsBusy());
        EXPECT_EQ(in->GetSize(), 0);
        return all;
    }

    dwtest::Sandbox sandbox;
    riptest::TestDisc disc, other;
    std::unique_ptr<TCDIn> in;
};

TEST_F(CDInTest, AnswersDriveAndDiscQuestions)
{
    EXPECT_EQ(in->GetBitsPerSample(), 16u);
    EXPECT_EQ(in->GetChannels(), 2u);
    EXPECT_EQ(in->GetSampleRate(), 44100u);
    EXPECT_EQ(in->DrivesCount(), 2);
    EXPECT_EQ(in->GetCurrentDrive(), 0);
    EXPECT_TRUE(in->MediaPresent());
    EXPECT_EQ(in->TrackCount(), 3);

    const TCDTrackInfo t1 = in->TrackInfo(1);
    EXPECT_EQ(t1.Minute, 0);
    EXPECT_EQ(t1.Second, 4);
    EXPECT_EQ(t1.Frame, 0);
    EXPECT_FALSE(t1.DataTrack);
    const TCDTrackInfo t2 = in->TrackInfo(2);
    EXPECT_EQ(t2.Second, 1);
    EXPECT_EQ(t2.Frame, 38);
    EXPECT_TRUE(in->TrackInfo(3).DataTrack);
    EXPECT_EQ(raised([&] { in->TrackInfo(0); }), "Track out of range.");
    EXPECT_EQ(raised([&] { in->TrackInfo(4); }), "Track out of range.");

    // The drive name reads the library's block and picks up its jitter setting.
    EXPECT_FALSE(in->EnableJitterCorrection);
    EXPECT_FALSE(in->DriveName().isEmpty());
    EXPECT_TRUE(in->EnableJitterCorrection);

    // Drive selection: only 0..DrivesCount-1 is taken.
    in->SetCurrentDrive(1);
    EXPECT_EQ(in->GetCurrentDrive(), 1);
    EXPECT_EQ(in->TrackCount(), 2);
    in->SetCurrentDrive(-1);
    EXPECT_EQ(in->GetCurrentDrive(), 1);
    in->SetCurrentDrive(2);
    EXPECT_EQ(in->GetCurrentDrive(), 1);
    in->SetCurrentDrive(0);
    EXPECT_EQ(in->TrackCount(), 3);

    // A disc that goes away.
    ASSERT_TRUE(QFile::remove(disc.cue));
    EXPECT_FALSE(in->MediaPresent());
    EXPECT_EQ(in->TrackCount(), -1);
    EXPECT_EQ(raised([&] { in->TrackInfo(1); }), "Track out of range.");
}

TEST_F(CDInTest, RangeArithmeticCountsExactlyTheSectorsOfTheRange)
{
    FramesToTrackLength(0);
    const TCDTrackInfo len = FramesToTrackLength(4500 * 3 + 75 * 7 + 12);
    EXPECT_EQ(len.Minute, 3);
    EXPECT_EQ(len.Second, 7);
    EXPECT_EQ(len.Frame, 12);

    in->SetStartTrack(2);
    in->SetEndTrack(2);
    EXPECT_EQ(in->GetStartPos(), (TCDPosition{2, 0, 0, 0}));
    EXPECT_EQ(in->GetEndPos(), (TCDPosition{3, 0, 0, 0}));
    EXPECT_EQ(in->RangeSize(), 113 * 2352);
    EXPECT_EQ(in->GetTotalSamples(), 113 * 588);
    EXPECT_EQ(in->GetTotalTime(), 2u);  // 1.507 s
    in->SetEndPos({2, 0, 1, 37});
    EXPECT_EQ(in->RangeSize(), 112 * 2352);
    EXPECT_EQ(in->GetTotalTime(), 1u);  // 1.493 s

    // The last track ends at the lead-out, by EndTrack and by EndOfDisc.
    in->SetStartTrack(1);
    in->SetEndTrack(3);
    EXPECT_EQ(in->GetEndPos().Track, 4);
    EXPECT_EQ(in->RangeSize(), qint64(disc.bin_bytes.size()));
    in->SetEndPos(EndOfDisc);
    EXPECT_EQ(in->GetEndPos(), (TCDPosition{4, 0, 0, 0}));
    EXPECT_EQ(in->RangeSize(), qint64(disc.bin_bytes.size()));

    // A cut into the track, and one that reaches past the disc's end.
    in->SetStartPos({1, 0, 0, 0});
    in->SetEndPos({1, 0, 2, 10});
    EXPECT_EQ(in->RangeSize(), 160 * 2352);
    in->SetEndPos({1, 1, 0, 0});
    EXPECT_EQ(in->RangeSize(), qint64(disc.bin_bytes.size()));
}

TEST_F(CDInTest, RunsDeliverExactlyTheAudioOfTheRange)
{
    for (bool jitter : {false, true}) {
        in->EnableJitterCorrection = jitter;
        in->SetStartTrack(1);
        in->SetEndTrack(1);
        const qint64 before = in->RangeSize();
        EXPECT_EQ(before, 300 * 2352);
        EXPECT_TRUE(readRun() == disc.track(1)) << "jitter " << jitter;

        in->SetStartTrack(1);
        in->SetEndTrack(2);
        EXPECT_TRUE(readRun(176400) == disc.bin_bytes.left(413 * 2352)) << "jitter " << jitter;
    }

    // During a run: the size holds, the range setters refuse, RangeSize and
    // the sample count answer from the run.
    in->SetStartTrack(2);
    in->SetEndTrack(2);
    in->SetEndPos({2, 0, 1, 0});
    in->Init();
    EXPECT_EQ(in->GetSize(), 75 * 2352);
    EXPECT_EQ(in->RangeSize(), 75 * 2352);
    EXPECT_EQ(in->GetRipBytes(), 75 * 2352);
    EXPECT_EQ(raised([&] { in->SetStartTrack(1); }), "The component is busy");
    EXPECT_EQ(raised([&] { in->SetEndTrack(1); }), "The component is busy");
    EXPECT_EQ(raised([&] { in->SetStartPos({1, 0, 0, 0}); }), "The component is busy");
    EXPECT_EQ(raised([&] { in->SetEndPos({1, 0, 0, 0}); }), "The component is busy");
    EXPECT_EQ(raised([&] { in->Init(); }), "The component is busy");
    void* data = nullptr;
    uint32_t bytes = 1000;
    in->GetData(data, bytes);
    EXPECT_EQ(bytes, 1000u);
    EXPECT_EQ(QByteArray(static_cast<const char*>(data), 1000), disc.track(2).left(1000));
    EXPECT_EQ(in->GetPosition(), 1000);
    // Reset brings a component left running back to idle.
    in->Reset();
    EXPECT_FALSE(in->IsBusy());
    EXPECT_EQ(raised([&] {
                  void* d = nullptr;
                  uint32_t b = 10;
                  in->GetData(d, b);
              }),
              "The Stream is not opened");
    in->SetStartTrack(1);  // idle again: setters work

    // The other drive.
    in->SetCurrentDrive(1);
    in->SetStartTrack(2);
    in->SetEndTrack(2);
    EXPECT_TRUE(readRun() == other.track(2));
}

TEST_F(CDInTest, InitRefusesWhatCannotBeRippedAndStaysIdle)
{
    in->SetStartTrack(3);
    in->SetEndTrack(3);
    EXPECT_EQ(raised([&] { in->Init(); }), "Trying to rip a data track");
    EXPECT_FALSE(in->IsBusy());
    in->SetStartTrack(0);
    EXPECT_EQ(raised([&] { in->Init(); }), "The start track out of range");
    in->SetStartTrack(4);
    EXPECT_EQ(raised([&] { in->Init(); }), "The start track out of range");
    in->SetStartTrack(1);
    in->SetEndPos({5, 0, 0, 0});
    EXPECT_EQ(raised([&] { in->Init(); }), "The end track out of range");
    in->SetEndPos({0, 0, 0, 0});
    EXPECT_EQ(raised([&] { in->Init(); }), "The end track out of range");
    EXPECT_FALSE(in->IsBusy());

    // Still usable after the refusals.
    in->SetEndTrack(1);
    EXPECT_TRUE(readRun() == disc.track(1));

    ASSERT_TRUE(QFile::remove(disc.cue));
    EXPECT_EQ(raised([&] { in->Init(); }), "The drive is not ready");
    EXPECT_FALSE(in->IsBusy());
}

TEST_F(CDInTest, ADiscThatFailsDuringTheRunRaisesInsteadOfEndingEarly)
{
    in->EnableJitterCorrection = false;
    in->SetStartTrack(1);
    in->SetEndTrack(1);
    in->Init();
    void* data = nullptr;
    uint32_t bytes = 176400;
    in->GetData(data, bytes);
    ASSERT_EQ(bytes, 176400u);
    // The image loses everything after sector 100 while the run is at 75.
    ASSERT_TRUE(QFile::resize(disc.bin, qint64(100) * 2352));
    qint64 got = bytes;
    const QString message = raised([&] {
        for (int i = 0; i < 100; ++i) {
            uint32_t b = 176400;
            in->GetData(data, b);
            got += b;
        }
    });
    EXPECT_EQ(message, "The CD could not be read");
    EXPECT_LT(got, 300 * 2352);
    in->Reset();
    EXPECT_FALSE(in->IsBusy());
}

TEST_F(CDInTest, InitHandsTheReadingParametersToTheLibrary)
{
    in->SetCurrentDrive(1);
    in->SetStartTrack(1);
    in->SetEndTrack(1);
    in->EnableJitterCorrection = true;
    in->OverlapSectors = 3;
    in->MultiReadCount = 2;
    in->Paranoid = true;
    in->ParanoiaMode = 1;
    in->LockTray = true;
    EXPECT_TRUE(readRun() == other.track(1));
    CR_SetActiveCDROM(1);
    TRipperDriveParams p;
    CR_GetCDROMParameters(&p);
    EXPECT_TRUE(p.JitterCorrection);
    EXPECT_EQ(p.ReadSectors, TRipperDriveParams{}.ReadSectors);  // 0 left the library's value
    EXPECT_EQ(p.OverlapSectors, 3);
    EXPECT_TRUE(p.EnableMultiRead);
    EXPECT_EQ(p.MultiReadCount, 2);
    EXPECT_TRUE(p.Paranoid);
    EXPECT_EQ(p.ParanoiaMode, 1);
    EXPECT_TRUE(p.LockTray);
    // Drive 0 kept its own block.
    CR_SetActiveCDROM(0);
    CR_GetCDROMParameters(&p);
    EXPECT_EQ(p.MultiReadCount, 0);
}

}  // namespace
