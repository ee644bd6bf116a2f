// The recorder's wave-audio device over SDL's disk audio driver: what it
// records is compared with the file the driver captured from, what it plays
// with the file the driver played into.
#include "platform/WaveAudioCapture.h"
#include "platform/WaveAudioDevice.h"
#include "platform/WaveAudioPlayback.h"
#include "record/RecordFiles.h"
#include "record/RecordTestAudio.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace dw;
using dwtest::noiseBytes;
using dwtest::waveData;

const TWaveAudioFormat kMono8k{1, 8000, 16};  // 16000 bytes a second

class WaveAudioDeviceTest : public ::testing::Test {
protected:
    WaveAudioDeviceTest() : input(noiseBytes(3 * 16000, 7)), disk(box.file("in.raw"), box.file("played.raw"))
    {
        box.write("in.raw", input);
    }
    dwtest::Sandbox box;
    QByteArray input;
    dwtest::DiskAudio disk;
};

// Recording into the empty file of a new recording gives exactly the
// captured samples; a second recording from a position is inserted there,
// and the file's header always states the data that follows it.
TEST_F(WaveAudioDeviceTest, RecordsTheCapturedSamplesAndInsertsAtThePosition)
{
    const QString path = box.file("rec.wav");
    ASSERT_TRUE(WriteEmptyWave(path, kMono8k, nullptr));
    EXPECT_EQ(box.read("rec.wav").size(), 44);

    TWaveAudioDevice dev;
    ASSERT_TRUE(dev.Open(path)) << dev.Error().toStdString();
    EXPECT_EQ(dev.Length(), 0);
    int limit = 0;
    QObject::connect(&dev, &TWaveAudioDevice::recordingLimitReached, [&] { ++limit; });
    ASSERT_TRUE(dev.Record(0, 500)) << dev.Error().toStdString();
    EXPECT_EQ(dev.GetMode(), TWaveAudioDevice::Mode::Recording);
    ASSERT_TRUE(dwtest::waitFor([&] { return limit == 1; }, std::chrono::seconds(10)));
    EXPECT_TRUE(dev.Pending());
    EXPECT_EQ(waveData(path), QByteArray()) << "the file changes only when saved";
    ASSERT_TRUE(dev.Save()) << dev.Error().toStdString();
    EXPECT_EQ(dev.Length(), 500);
    const QByteArray first = waveData(path);
    EXPECT_EQ(first, input.left(8000));

    // 250 ms more, inserted 100 ms into the recording (the driver reads its
    // input afresh for every capture).
    ASSERT_TRUE(dev.Record(100, 250));
    ASSERT_TRUE(dwtest::waitFor([&] { return limit == 2; }, std::chrono::seconds(10)));
    dev.Close();  // a pending recording is saved on closing
    const QByteArray second = waveData(path);
    ASSERT_EQ(second.size(), 8000 + 4000);
    EXPECT_EQ(second.left(1600), first.left(1600));
    EXPECT_EQ(second.mid(5600), first.mid(1600));
    EXPECT_EQ(second.mid(1600, 4000), input.left(4000));
}

// Stopping by hand keeps whole frames of what was captured; playing from a
// position sends exactly the file's audio from there to the device, in one
// piece after nothing but silence, then tells that it ended.
TEST_F(WaveAudioDeviceTest, StopKeepsWholeFramesAndPlaysFromAPosition)
{
    const QString path = box.file("rec.wav");
    const TWaveAudioFormat stereo8bit{2, 8000, 8};
    ASSERT_TRUE(WriteEmptyWave(path, stereo8bit, nullptr));
    TWaveAudioDevice dev;
    ASSERT_TRUE(dev.Open(path));
    ASSERT_TRUE(dev.Record(0));
    ASSERT_TRUE(dwtest::waitFor([&] { return dev.Length() >= 300; }, std::chrono::seconds(10)));
    dev.Stop();
    ASSERT_TRUE(dev.Save());
    const QByteArray recorded = waveData(path);
    ASSERT_GE(recorded.size(), 300 * 16);
    EXPECT_EQ(recorded.size() % 2, 0);
    EXPECT_EQ(recorded, input.left(recorded.size()));

    int ended = 0;
    QObject::connect(&dev, &TWaveAudioDevice::playbackEnded, [&] { ++ended; });
    ASSERT_TRUE(dev.Play(100)) << dev.Error().toStdString();
    EXPECT_EQ(dev.GetMode(), TWaveAudioDevice::Mode::Playing);
    ASSERT_TRUE(dwtest::waitFor([&] { return ended == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(dev.GetMode(), TWaveAudioDevice::Mode::Stopped);
    EXPECT_EQ(dev.Position(), dev.Length());
    // The driver writes silence (0x80 for 8-bit) while the device waits.
    const QByteArray played = box.read("played.raw");
    const qsizetype at = played.indexOf(recorded.mid(100 * 16));
    ASSERT_GE(at, 0) << "the audio from 100 ms on is not in the device's output as one piece";
    EXPECT_EQ(played.left(at).count('\x80'), at);
}

// A stop while the playback's worker sits in a slow read of the file returns
// without waiting for it; the next playback plays the whole file, and the
// stopped worker, once its read returns, sends nothing to any device.
TEST_F(WaveAudioDeviceTest, StopDuringASlowReadReturnsAtOnceAndTheNextPlayIsWhole)
{
    const QString path = box.file("tone.wav");
    dwtest::writeWave(path, kMono8k, input);
    std::mutex mutex;
    std::condition_variable wake;
    int reads = 0;
    bool inSlowRead = false, release = false, leftSlowRead = false;
    TWavePlayback::SetReadHookForTests([&] {
        std::unique_lock lock(mutex);
        if (++reads != 2)
            return;
        inSlowRead = true;
        wake.notify_all();
        wake.wait_for(lock, std::chrono::seconds(20), [&] { return release; });
        leftSlowRead = true;
        wake.notify_all();
    });
    struct ClearHook {
        ~ClearHook() { TWavePlayback::SetReadHookForTests({}); }
    } clearHook;

    TWaveAudioDevice dev;
    ASSERT_TRUE(dev.Open(path));
    int ended = 0, failed = 0;
    QObject::connect(&dev, &TWaveAudioDevice::playbackEnded, [&] { ++ended; });
    QObject::connect(&dev, &TWaveAudioDevice::deviceFailed, [&] { ++failed; });
    ASSERT_TRUE(dev.Play(0));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(wake.wait_for(lock, std::chrono::seconds(20), [&] { return inSlowRead; }));
    }
    dev.Stop();
    EXPECT_EQ(dev.GetMode(), TWaveAudioDevice::Mode::Stopped);
    ASSERT_TRUE(dev.Play(0)) << dev.Error().toStdString();
    {
        std::unique_lock lock(mutex);
        EXPECT_FALSE(leftSlowRead) << "Stop or Play waited for the blocked read";
        release = true;
        wake.notify_all();
        ASSERT_TRUE(wake.wait_for(lock, std::chrono::seconds(20), [&] { return leftSlowRead; }));
    }
    ASSERT_TRUE(dwtest::waitFor([&] { return ended == 1; }, std::chrono::seconds(20)));
    EXPECT_EQ(failed, 0);
    const QByteArray played = box.read("played.raw");
    const qsizetype at = played.indexOf(input);
    ASSERT_GE(at, 0) << "the file is not in the device's output as one piece";
    EXPECT_EQ(played.left(at).count('\0'), at);
    const QByteArray after = played.mid(at + input.size());
    EXPECT_EQ(after.count('\0'), after.size()) << "the stopped worker's audio reached the device";
}

// Stop returns while the capture's worker still has its last audio to write
// (held here where it has seen the stop); only once the worker has ended is
// the recording pending and recordingStopped told, once, from the event
// loop, and the saved file holds all of it. A Close right after a Stop saves
// it whole without a late notice, and a Stop that comes as the capture ends
// at its limit by itself is told as the stop it was asked to be.
TEST_F(WaveAudioDeviceTest, StopReturnsAtOnceAndTheEndFollowsOnceTheWorkerHasWrittenAll)
{
    const QString path = box.file("rec.wav");
    ASSERT_TRUE(WriteEmptyWave(path, kMono8k, nullptr));
    std::mutex mutex;
    std::condition_variable wake;
    bool held = false, release = false, heldTooLong = false;
    TWaveCapture::SetStopHookForTests([&] {
        std::unique_lock lock(mutex);
        held = true;
        wake.notify_all();
        heldTooLong = !wake.wait_for(lock, std::chrono::seconds(20), [&] { return release; });
    });
    struct ClearHook {
        ~ClearHook() { TWaveCapture::SetStopHookForTests({}); }
    } clearHook;

    TWaveAudioDevice dev;
    ASSERT_TRUE(dev.Open(path));
    int stopped = 0, limit = 0, failed = 0;
    QObject::connect(&dev, &TWaveAudioDevice::recordingStopped, [&] { ++stopped; });
    QObject::connect(&dev, &TWaveAudioDevice::recordingLimitReached, [&] { ++limit; });
    QObject::connect(&dev, &TWaveAudioDevice::deviceFailed, [&] { ++failed; });
    ASSERT_TRUE(dev.Record(0)) << dev.Error().toStdString();
    ASSERT_TRUE(dwtest::waitFor([&] { return dev.Length() >= 200; }, std::chrono::seconds(10)));
    dev.Stop();
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(wake.wait_for(lock, std::chrono::seconds(20), [&] { return held; }));
        EXPECT_FALSE(release);
    }
    EXPECT_TRUE(dev.Stopping());
    EXPECT_FALSE(dev.Pending());
    EXPECT_EQ(dev.GetMode(), TWaveAudioDevice::Mode::Stopped);
    QCoreApplication::processEvents();
    EXPECT_EQ(stopped, 0) << "the end was told while the worker still had audio to write";
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    wake.notify_all();
    ASSERT_TRUE(dwtest::waitFor([&] { return stopped == 1; }, std::chrono::seconds(20)));
    EXPECT_FALSE(heldTooLong) << "Stop waited for the held worker";
    EXPECT_FALSE(dev.Stopping());
    EXPECT_TRUE(dev.Pending());
    ASSERT_TRUE(dev.Save()) << dev.Error().toStdString();
    const QByteArray first = waveData(path);
    ASSERT_GE(first.size(), 200 * 16);
    EXPECT_EQ(first, input.left(first.size()));
    EXPECT_EQ(dev.Length(), first.size() / 16);
    TWaveCapture::SetStopHookForTests({});

    // Close at once after Stop: the recording (appended at the end) is saved whole, quietly.
    ASSERT_TRUE(dev.Record(int64_t(1) << 40));
    ASSERT_TRUE(dwtest::waitFor([&] { return dev.Length() * 16 >= first.size() + 1600; }, std::chrono::seconds(10)));
    dev.Stop();
    dev.Close();
    QCoreApplication::sendPostedEvents();
    const QByteArray second = waveData(path);
    ASSERT_GE(second.size(), first.size() + 1600);
    EXPECT_EQ(second, first + input.left(second.size() - first.size()));

    // A capture that reaches its limit while nobody handles events, then a Stop.
    ASSERT_TRUE(dev.Open(path));
    ASSERT_TRUE(dev.Record(0, 100));
    const QDeadlineTimer deadline(std::chrono::seconds(10));
    while (dev.Length() < second.size() / 16 + 100 && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    dev.Stop();
    ASSERT_TRUE(dwtest::waitFor([&] { return stopped + limit + failed > 1; }, std::chrono::seconds(10)));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(stopped, 2);
    EXPECT_EQ(limit + failed, 0);
    dev.Close();
    EXPECT_EQ(waveData(path), input.left(1600) + second);
}

// Files the device cannot record into or play are refused when opened, by name.
TEST_F(WaveAudioDeviceTest, RefusesWhatIsNotEightOrSixteenBitPcm)
{
    TWaveAudioDevice dev;
    box.write("text.wav", "not a sound file at all, just text");
    EXPECT_FALSE(dev.Open(box.file("text.wav")));
    EXPECT_TRUE(dev.Error().startsWith(box.file("text.wav"))) << dev.Error().toStdString();
    dwtest::writeWave(box.file("24.wav"), {2, 44100, 24}, QByteArray(600, '\1'));
    EXPECT_FALSE(dev.Open(box.file("24.wav")));
    EXPECT_FALSE(dev.IsOpen());
    EXPECT_FALSE(dev.Record(0));
    EXPECT_FALSE(dev.Open(box.file("missing.wav")));
    dwtest::writeWave(box.file("ok.wav"), kMono8k, QByteArray(1600, '\1'));
    ASSERT_TRUE(dev.Open(box.file("ok.wav")));
    EXPECT_EQ(dev.Length(), 100);
}

}  // namespace
