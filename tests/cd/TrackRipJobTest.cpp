// The rip job in both modes over CD images: the names it gives the tracks'
// files, what a stop leaves behind, and the policy for existing files.

#include "cd/CDIn.h"
#include "cd/DriveLibrary.h"
#include "cd/RipperLibrary.h"
#include "cd/TrackRipJob.h"
#include "platform/CdDrives.h"
#include "platform/NativePath.h"
#include "support/TestSupport.h"

#include "RipTestDisc.h"

#include <QDir>

#include <gtest/gtest.h>

#include <memory>

using namespace dw;

namespace {

// Stops the job at the first progress of the given track.
class StoppingView : public TRipJobView {
public:
    TTrackRipJob* job = nullptr;
    int stopAtTrack = 0;
    int current = 0;
    void TrackStarted(int, int, const TRipTrackResult& track) override { current = track.Track; }
    void Progress(int, const QString&, const QString&) override
    {
        if (current == stopAtTrack && job)
            job->Stop();
    }
};

class TrackRipJobTest : public ::testing::TestWithParam<TRipMode> {
protected:
    void SetUp() override
    {
        disc = riptest::MakeTestDisc(sandbox.path(), "disc", {40, 20000, 30}, {}, 4321, 2);
        out = sandbox.file("out");
        QDir().mkpath(out);
        SetExplicitCdDevices({disc.cue});
        if (GetParam() == TRipMode::Drive) {
            CdListRecord list{};
            list[0] = 8;
            ASSERT_EQ(GetCDList(list), 1);
            OpenRequestRecord request{};
            EncodeOpenRequest(OpenRequest{}, request);
            handle = GetCDHandle(request);
            ASSERT_NE(handle, 0);
        } else {
            cdIn = std::make_unique<TCDIn>();
        }
        settings.OutputFolder = out;
    }
    void TearDown() override
    {
        if (handle)
            CloseCDHandle(handle);
        cdIn.reset();
        SetExplicitCdDevices({});
        CR_DeInit();
    }
    std::vector<TRipTrackResult> run(const QStringList& items, TRipJobView* view = nullptr,
                                     StoppingView* stopper = nullptr)
    {
        TTrackRipJob job(GetParam(), handle, cdIn.get(), settings, view);
        if (stopper)
            stopper->job = &job;
        return job.Run(items);
    }
    QStringList files() const
    {
        return QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QByteArray wavAudio(const QString& name) const
    {
        const QByteArray wav = sandbox.read("out/" + name);
        return wav.size() >= 44 ? wav.mid(44) : QByteArray("<none>");
    }

    dwtest::Sandbox sandbox;
    riptest::TestDisc disc;  // tracks 2, 3, 4
    QString out;
    int handle = 0;
    std::unique_ptr<TCDIn> cdIn;
    TRipSettings settings;
};

TEST_P(TrackRipJobTest, EveryTrackGetsItsOwnFileEvenWhenTitlesCollide)
{
    // Two titles alike, one that is not UTF-8, one that strips to nothing.
    const QString latin = PathFromNative(QByteArray("caf\xe9", 4));
    const auto results = run({"02Same", "04" + latin, "03Same", "02..."});
    ASSERT_EQ(results.size(), 4u);
    for (const TRipTrackResult& r : results)
        EXPECT_TRUE(r.Ripped) << r.Track << " " << r.Message.toStdString();
    EXPECT_EQ(results[2].FileName, out + "/Same (2).wav");
    EXPECT_EQ(results[3].FileName, out + "/Track02.wav");
    EXPECT_TRUE(wavAudio("Same.wav") == disc.track(1));
    EXPECT_TRUE(wavAudio("Same (2).wav") == disc.track(2));
    EXPECT_TRUE(wavAudio("Track02.wav") == disc.track(1));
    // Qt's own folder listing cannot name that file; the system's calls can.
    EXPECT_TRUE(IsRegularFile(out + "/" + latin + ".wav"));
    EXPECT_EQ(StatPath(out + "/" + latin + ".wav").size, 44 + disc.track(3).size());
    EXPECT_TRUE(RemoveFile(out + "/" + latin + ".wav"));
    EXPECT_EQ(files(), (QStringList{"Same (2).wav", "Same.wav", "Track02.wav"}));
}

TEST_P(TrackRipJobTest, AStopMidTrackLeavesNoFileAndEndsTheJob)
{
    StoppingView view;
    view.stopAtTrack = 3;
    const auto results = run({"02First", "03Long", "04Last"}, &view, &view);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].Ripped);
    EXPECT_FALSE(results[1].Ripped);
    EXPECT_TRUE(results[1].Stopped);
    EXPECT_TRUE(results[2].Stopped);
    EXPECT_EQ(files(), QStringList{"First.wav"});
    EXPECT_TRUE(wavAudio("First.wav") == disc.track(1));
}

TEST_P(TrackRipJobTest, ExistingFilesGiveWayOnlyWhenOverwriteIsSet)
{
    sandbox.write("out/Kept.wav", "older");
    settings.Overwrite = false;
    settings.IsNormalize = true;
    settings.NormalizePercent = 100;
    auto results = run({"04Kept"});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].Ripped);
    EXPECT_EQ(results[0].Message, out + "/Kept.wav: File exists");
    EXPECT_EQ(sandbox.read("out/Kept.wav"), "older");

    settings.Overwrite = true;
    results = run({"04Kept"});
    EXPECT_TRUE(results[0].Ripped) << results[0].Message.toStdString();
    EXPECT_TRUE(wavAudio("Kept.wav") == disc.track(3));
    EXPECT_EQ(files(), QStringList{"Kept.wav"});
}

INSTANTIATE_TEST_SUITE_P(BothModes, TrackRipJobTest, ::testing::Values(TRipMode::Drive, TRipMode::Ripper),
                         [](const auto& info) { return info.param == TRipMode::Drive ? "Drive" : "Ripper"; });

}  // namespace
