// CD playback through SDL's disk audio driver: what the device received is
// compared with the sectors of a CD image written at run time.
#include "platform/CdAudioPlayer.h"

#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace {

using namespace dw;
constexpr int Sector = 2352;

class CdAudioPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", box.file("played.raw").toUtf8().constData(), 1);
        // Tracks of 1, 2 and 1 seconds, each its own tone.
        cue = dwtest::makeCdImage(box.path(), {1, 2, 1});
        bin = box.read("disc.bin");
        ASSERT_EQ(bin.size(), 4 * 75 * Sector);
    }
    void TearDown() override
    {
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
    }
    QByteArray played() const { return box.read("played.raw"); }
    static QByteArray withoutZeroBytes(QByteArray b) { return b.replace(QByteArray(1, '\0'), QByteArray()); }

    dwtest::Sandbox box;
    QString cue;
    QByteArray bin;
};

// Track 2 up to the start of track 3 reaches the device whole and alone: the
// device got silence, the track's sectors in one piece, then silence.
TEST_F(CdAudioPlayerTest, PlaysExactlyTheTrackRange)
{
    TCdAudioPlayer player;
    int finished = 0;
    QObject::connect(&player, &TCdAudioPlayer::finished, [&] { ++finished; });
    ASSERT_TRUE(player.Play(cue, 2, 3)) << player.Error().toStdString();
    EXPECT_TRUE(player.IsPlaying());
    ASSERT_TRUE(dwtest::waitFor([&] { return finished == 1; }));
    EXPECT_FALSE(player.IsPlaying());

    const QByteArray track2 = bin.mid(75 * Sector, 150 * Sector);
    const QByteArray out = played();
    const qsizetype at = out.indexOf(track2);
    ASSERT_GE(at, 0) << "the track's sectors are not in the device's output as one piece";
    EXPECT_EQ(at % 4, 0);
    EXPECT_EQ(out.left(at).count('\0'), at);
    const QByteArray after = out.mid(at + track2.size());
    EXPECT_EQ(after.count('\0'), after.size()) << "more than the range was played";
}

// The last track plays to the end of the disc; a pause holds the reading back
// and the end notice until Resume, and nothing is lost or repeated.
TEST_F(CdAudioPlayerTest, PauseHoldsPlaybackUntilResume)
{
    TCdAudioPlayer player;
    int finished = 0;
    QObject::connect(&player, &TCdAudioPlayer::finished, [&] { ++finished; });
    ASSERT_TRUE(player.Play(cue, 2));
    ASSERT_TRUE(dwtest::waitFor([&] { return player.QueuedBytes() > 0; }));
    player.Pause();
    EXPECT_TRUE(player.IsPaused());
    const qint64 held = player.QueuedBytes();
    // Three times the whole range's length: had the pause not held, it would have ended.
    EXPECT_FALSE(dwtest::waitFor([&] { return finished > 0; }, std::chrono::seconds(3)));
    EXPECT_LT(player.QueuedBytes(), 225 * Sector);
    EXPECT_LE(player.QueuedBytes() - held, 2 * 25 * Sector);
    player.Resume();
    EXPECT_FALSE(player.IsPaused());
    ASSERT_TRUE(dwtest::waitFor([&] { return finished == 1; }));
    EXPECT_EQ(withoutZeroBytes(played()), withoutZeroBytes(bin.mid(75 * Sector)));
}

TEST_F(CdAudioPlayerTest, StopEndsWithoutNoticeAndBadRequestsAreRefused)
{
    TCdAudioPlayer player;
    int finished = 0;
    QObject::connect(&player, &TCdAudioPlayer::finished, [&] { ++finished; });
    ASSERT_TRUE(player.Play(cue, 1));
    player.Stop();
    EXPECT_FALSE(player.IsPlaying());
    // Playing again replaces nothing but the stopped one; it ends with one notice.
    ASSERT_TRUE(player.Play(cue, 3));
    ASSERT_TRUE(dwtest::waitFor([&] { return finished == 1; }));
    EXPECT_FALSE(dwtest::waitFor([&] { return finished > 1; }, std::chrono::milliseconds(300)));

    EXPECT_FALSE(player.Play(cue, 4));
    EXPECT_FALSE(player.Play(cue, 0));
    EXPECT_FALSE(player.Play(box.file("none.cue"), 1));
    EXPECT_FALSE(player.Error().isEmpty());
    const QString enhanced =
        dwtest::makeCdImage(box.path(), {1}, dwtest::CdImageOptions().named("enhanced").withDataTrack("0:02"));
    EXPECT_FALSE(player.Play(enhanced, 2)) << "a data track is not played";
    // An image has no tray.
    EXPECT_TRUE(SetCdDoorOpen(cue, true));
    EXPECT_TRUE(SetCdDoorOpen(cue, false));
}

// A stop while the reading thread is stuck in a read (a drive retrying a
// sector) returns without waiting for it; a Play meanwhile waits for that
// thread to let go of the drive and the audio device, then plays whole, and
// nothing of the stopped playback reaches the device after it.
TEST_F(CdAudioPlayerTest, StopDuringASlowReadReturnsAtOnceAndTheNextPlayWaitsForTheDevice)
{
    std::mutex mutex;
    std::condition_variable wake;
    int reads = 0;
    bool inSlowRead = false, release = false, leftSlowRead = false;
    TCdAudioPlayer::SetReadHookForTests([&] {
        std::unique_lock lock(mutex);
        if (++reads != 2)
            return;
        inSlowRead = true;
        wake.notify_all();
        wake.wait_for(lock, std::chrono::seconds(20), [&] { return release; });
        leftSlowRead = true;
    });
    struct ClearHook {
        ~ClearHook() { TCdAudioPlayer::SetReadHookForTests({}); }
    } clearHook;

    TCdAudioPlayer player;
    int finished = 0;
    QObject::connect(&player, &TCdAudioPlayer::finished, [&] { ++finished; });
    ASSERT_TRUE(player.Play(cue, 1));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(wake.wait_for(lock, std::chrono::seconds(20), [&] { return inSlowRead; }));
    }
    player.Stop();
    EXPECT_FALSE(player.IsPlaying());
    ASSERT_TRUE(player.Play(cue, 3)) << player.Error().toStdString();
    EXPECT_TRUE(player.IsPlaying());
    {
        std::lock_guard lock(mutex);
        EXPECT_FALSE(leftSlowRead) << "Stop or Play waited for the blocked read";
        EXPECT_EQ(reads, 2) << "the second playback read while the first still held the drive";
        release = true;
    }
    wake.notify_all();
    ASSERT_TRUE(dwtest::waitFor([&] { return finished == 1; }));
    EXPECT_FALSE(player.IsPlaying());
    // The device file was opened anew by the second playback: only track 3.
    EXPECT_EQ(withoutZeroBytes(played()), withoutZeroBytes(bin.mid(3 * 75 * Sector)));
}

// To the end of an Enhanced CD: the audio stops where the data track begins.
TEST_F(CdAudioPlayerTest, PlayingToTheEndStopsBeforeADataTrack)
{
    const QString enhanced =
        dwtest::makeCdImage(box.path(), {1}, dwtest::CdImageOptions().named("enhanced").withDataTrack("0:01"));
    const QByteArray audio = box.read("enhanced.bin").left(75 * Sector);
    TCdAudioPlayer player;
    int finished = 0;
    QObject::connect(&player, &TCdAudioPlayer::finished, [&] { ++finished; });
    ASSERT_TRUE(player.Play(enhanced, 1));
    ASSERT_TRUE(dwtest::waitFor([&] { return finished == 1; }));
    EXPECT_EQ(withoutZeroBytes(played()), withoutZeroBytes(audio));
}

}  // namespace
