// Both track sources over one CD image of pseudo-random sectors: the same
// track read through the CD input component (ripper mode) and through the
// drive library (drive mode) gives the track's bytes behind a WAV header,
// handed over uncommitted; every byte passes the taps once and in order; a
// cancelled read ends stopped and leaves nothing; a track the disc lacks
// fails as a read of the disc.

#include "cd/CDIn.h"
#include "cd/CDInTrackSource.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "cd/DriveTrackSource.h"
#include "cd/RipperLibrary.h"
#include "platform/CdDrives.h"
#include "platform/OutputFile.h"
#include "support/TestSupport.h"

#include "RipTestDisc.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <optional>

using namespace dw;

namespace {

// Keeps what passes, and checks that Begin, Block and End come in order.
class RecordingTap : public TPcmTap {
public:
    void Begin(int t) override
    {
        track = t;
        bytes.clear();
        open = true;
        whole.reset();
    }
    void Block(const uint8_t* data, size_t n) override
    {
        if (!open)
            outOfOrder = true;
        bytes.append(reinterpret_cast<const char*>(data), qsizetype(n));
    }
    void End(bool w) override
    {
        open = false;
        whole = w;
    }
    int track = 0;
    QByteArray bytes;
    bool open = false;
    bool outOfOrder = false;
    std::optional<bool> whole;
};

class TrackSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        disc = riptest::MakeTestDisc(box.path(), "disc", {300, 25, 130});
        out = box.file("out");
        QDir().mkpath(out);
        SetExplicitCdDevices({disc.cue});
    }
    void TearDown() override
    {
        if (handle)
            CloseCDHandle(handle);
        SetExplicitCdDevices({});
        CR_DeInit();
    }
    int driveHandle()
    {
        CdListRecord list{};
        list[0] = 8;
        EXPECT_EQ(GetCDList(list), 1);
        OpenRequestRecord request{};
        EncodeOpenRequest(OpenRequest{}, request);
        handle = GetCDHandle(request);
        return handle;
    }
    // Reads track into out/name.wav; cancels on the first progress when asked.
    TTrackReadEnd read(TTrackSource& source, int track, bool cancelEarly = false)
    {
        std::optional<TTrackReadEnd> end;
        TCancelToken cancel;
        source.OnEnd = [&](TTrackReadEnd e) { end = std::move(e); };
        source.OnProgress = [&](const TTrackReadProgress&) {
            if (cancelEarly)
                cancel.Cancel();
        };
        source.Read(TTrackRead{track, out + "/Track.wav"}, cancel);
        EXPECT_TRUE(source.Reading());
        EXPECT_TRUE(dwtest::waitFor([&] { return end.has_value(); }));
        EXPECT_FALSE(source.Reading());
        return end ? std::move(*end) : TTrackReadEnd{};
    }
    QStringList files() const
    {
        return QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    dwtest::Sandbox box;
    riptest::TestDisc disc;
    QString out;
    int handle = 0;
};

TEST_F(TrackSourceTest, BothReadersHandOverTheTracksBytesSeenByTheirTapsOrNothing)
{
    TCDIn cdIn;
    std::unique_ptr<TTrackSource> sources[] = {std::make_unique<TCDInTrackSource>(cdIn),
                                               std::make_unique<TDriveTrackSource>(driveHandle())};
    for (auto& source : sources) {
        const bool ripper = source.get() == sources[0].get();
        SCOPED_TRACE(ripper ? "ripper mode" : "drive mode");
        RecordingTap tap;
        source->AddTap(tap);

        // Track 3, whole: under a temporary name, not yet in place.
        TTrackReadEnd end = read(*source, 3);
        ASSERT_EQ(end.outcome, TTrackReadEnd::Outcome::Ripped) << end.failure.Text().toStdString();
        ASSERT_TRUE(end.wav);
        EXPECT_FALSE(end.wav->Committed());
        EXPECT_FALSE(QFile::exists(out + "/Track.wav"));
        QFile temp(end.wav->TempPath());
        ASSERT_TRUE(temp.open(QIODevice::ReadOnly));
        const QByteArray written = temp.readAll();
        temp.close();
        ASSERT_EQ(written.size(), 44 + disc.track(3).size());
        EXPECT_TRUE(written.mid(44) == disc.track(3));
        EXPECT_EQ(tap.track, 3);
        EXPECT_TRUE(tap.bytes == disc.track(3));
        EXPECT_EQ(tap.whole, std::optional<bool>(true));
        EXPECT_FALSE(tap.outOfOrder);
        ASSERT_TRUE(end.wav->Commit());
        EXPECT_EQ(files(), QStringList{"Track.wav"});
        QFile::remove(out + "/Track.wav");

        // Stopped at the first progress: no file, hidden or not.
        end = read(*source, 1, true);
        EXPECT_EQ(end.outcome, TTrackReadEnd::Outcome::Stopped);
        EXPECT_FALSE(end.wav);
        EXPECT_EQ(tap.whole, std::optional<bool>(false));
        EXPECT_EQ(files(), QStringList());

        // A track the disc does not have: a failure of the disc side.
        end = read(*source, 9);
        EXPECT_EQ(end.outcome, TTrackReadEnd::Outcome::Failed);
        EXPECT_EQ(end.failure.kind, TJobFailure::Kind::Read);
        EXPECT_TRUE(end.failure.Text().startsWith("Error while reading CD information! ("))
            << end.failure.Text().toStdString();
        EXPECT_EQ(tap.whole, std::optional<bool>(false));
        EXPECT_EQ(files(), QStringList());
    }
}

}  // namespace
