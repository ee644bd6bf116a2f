// TDXAudioOut playing through SDL's disk driver: what reaches the device is
// exactly the decoded file (through a balance as the balance asks), a jump
// lands where asked and the rest plays to the end, a pause stops the flow
// and loses nothing, an under-run is reported and recovered from without
// stale data, and every way a run can fail ends it with its message.

#include "PlayerTestUtil.h"
#include "support/TestSupport.h"

#include "audio/formats/StereoBalance.h"
#include "audio/formats/VorbisIn.h"
#include "audio/formats/WaveIn.h"
#include "audio/stream/AuConverter.h"
#include "platform/MainThread.h"
#include "player/DXAudioOut.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using namespace dwtest;
using dw::TAuOutput;
using dw::TDXAudioOut;

namespace {

constexpr int kRate = 44100;
constexpr uint32_t kFrameBytes = 4;

// Counts the events of one output.
struct Events {
    int done = 0, exceptions = 0, underruns = 0;
    QString message;
    void attach(TDXAudioOut& out)
    {
        out.OnDone = [this](TAuOutput*) { ++done; };
        out.OnThreadException = [this](TAuOutput* o) {
            ++exceptions;
            message = o->GetExceptionMessage();
        };
        out.OnUnderrun = [this](TDXAudioOut*) { ++underruns; };
    }
};

bool playedAtLeast(TDXAudioOut& out, double seconds)
{
    return waitFor([&] { return out.PlayedBytes() >= uint64_t(seconds * kRate) * kFrameBytes || !out.IsBusy(); },
                   std::chrono::seconds(20));
}

// Places of the counter frames in the order they sounded.
std::vector<int> placesOf(const QByteArray& raw, int rightUnit)
{
    const std::vector<int16_t> s = soundOnly(samplesOf(raw));
    std::vector<int> places;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        places.push_back(frameIndex(s[i], s[i + 1], rightUnit));
    return places;
}

// Indexes i where places[i + 1] does not follow places[i].
std::vector<size_t> breaks(const std::vector<int>& places)
{
    std::vector<size_t> at;
    for (size_t i = 0; i + 1 < places.size(); ++i)
        if (places[i + 1] != places[i] + 1)
            at.push_back(i);
    return at;
}

// Reads once through a given input, stalling for `stall` once the given
// number of bytes has passed (a decoder that falls behind).
class StallingConverter : public dw::TAuConverter {
public:
    StallingConverter(int64_t after, std::chrono::milliseconds stall) : after_(after), stall_(stall) {}

protected:
    void DoInit() override
    {
        Input->Init();
        Busy = true;
        Size = Input->GetSize();
        Position = 0;
    }
    void DoFlush() override
    {
        Input->Flush();
        Busy = false;
    }
    void DoGetData(void*& buffer, uint32_t& bytes) override
    {
        if (!stalled_ && Position >= after_) {
            stalled_ = true;
            std::this_thread::sleep_for(stall_);
        }
        Input->GetData(buffer, bytes);
    }

private:
    int64_t after_;
    std::chrono::milliseconds stall_;
    bool stalled_ = false;
};

// Passes its input on up to `limit` bytes; the read that finds the end
// first waits for the main thread (Synchronize), so a test can have a pause
// asked for exactly while the end of the input is being found.
class MainThreadEnd : public dw::TAuConverter {
public:
    explicit MainThreadEnd(int64_t limit) : limit_(limit) {}
    std::atomic<bool> atEnd{false};

protected:
    void DoInit() override
    {
        Input->Init();
        Busy = true;
        Size = Input->GetSize();
        Position = 0;
    }
    void DoFlush() override
    {
        Input->Flush();
        Busy = false;
    }
    void DoGetData(void*& buffer, uint32_t& bytes) override
    {
        if (Position >= limit_) {
            if (!atEnd.exchange(true))
                dw::Synchronize([] {});
            bytes = 0;
            return;
        }
        bytes = uint32_t(std::min<int64_t>(bytes, limit_ - Position));
        Input->GetData(buffer, bytes);
        Position += bytes;
    }

private:
    int64_t limit_;
};

}  // namespace

TEST(DXAudioOut, DeviceReceivesExactlyTheDecodedFileAndTheBalancedChannel)
{
    Sandbox box;
    const QString ogg = box.file("tone.ogg");
    ASSERT_TRUE(makeToneOgg(ogg, 1.2));
    const std::vector<int16_t> reference = trimSilence(samplesOf(oggdecPcm(ogg)));
    ASSERT_GT(reference.size(), size_t(kRate));

    struct Case {
        bool prefetch;
        float balance;  // < 0: no balance stage
    };
    for (const Case c : {Case{true, -1}, Case{false, -1}, Case{true, 0.3f}}) {
        SCOPED_TRACE(testing::Message() << "prefetch " << c.prefetch << " balance " << c.balance);
        const QString raw = box.file(QString("out-%1-%2.raw").arg(c.prefetch).arg(c.balance));
        DiskAudio disk(raw);
        dw::TVorbisIn in;
        in.SetFileName(ogg);
        dw::TStereoBalance balance;
        balance.SetInput(&in);
        balance.SetBalance(c.balance);
        TDXAudioOut out;
        Events ev;
        ev.attach(out);
        out.SetInput(c.balance < 0 ? static_cast<dw::TAuInput*>(&in) : &balance);
        out.SetLatency(300);  // roomy: a loaded machine must not under-run
        out.SetPrefetchData(c.prefetch);
        out.Run();
        ASSERT_TRUE(waitFor([&] { return ev.done == 1; }, std::chrono::seconds(30)));
        EXPECT_EQ(ev.exceptions, 0) << ev.message.toStdString();
        EXPECT_EQ(out.GetPollingInterval(), 100u);
        EXPECT_EQ(out.GetFramesInBuffer(), uint32_t(0.3 * kRate));

        const std::vector<int16_t> played = trimSilence(samplesOf(readAll(raw)));
        if (c.balance < 0) {
            EXPECT_TRUE(played == reference) << played.size() << " samples played, " << reference.size() << " decoded";
            continue;
        }
        // Left untouched; right scaled by the balance, rounded.
        ASSERT_EQ(played.size(), reference.size());
        int off = 0;
        for (size_t i = 0; i < played.size(); i += 2) {
            off += played[i] != reference[i];
            off += std::abs(played[i + 1] - int(std::lround(reference[i + 1] * 0.3))) > 1;
        }
        EXPECT_EQ(off, 0);
    }
}

TEST(DXAudioOut, JumpLandsWhereAskedThroughTheBalanceAndPlaybackRunsToTheEnd)
{
    Sandbox box;
    constexpr int kFrames = 4 * kRate;
    const QString wav = box.file("counter.wav");
    ASSERT_TRUE(writeWav(wav, counterFrames(kFrames)));
    DiskAudio disk(box.file("out.raw"));

    dw::TWaveIn in;
    in.SetFileName(wav);
    dw::TStereoBalance balance;  // 0.5 halves the right channel: places stay readable
    balance.SetInput(&in);
    TDXAudioOut out;
    Events ev;
    ev.attach(out);
    out.SetInput(&balance);
    out.SetLatency(200);
    out.Run();

    // Progress follows each jump (the balance stage counts from the new place).
    ASSERT_TRUE(playedAtLeast(out, 0.5));
    int before = out.Progress();
    out.Jump(+300);
    EXPECT_EQ(out.Status(), 0);
    EXPECT_NEAR(out.Progress() - before, 30, 3);
    ASSERT_TRUE(playedAtLeast(out, 1.2));
    before = out.Progress();
    out.Jump(-500);
    EXPECT_NEAR(out.Progress() - before, -50, 3);
    ASSERT_TRUE(waitFor([&] { return ev.done == 1; }, std::chrono::seconds(30)));
    EXPECT_EQ(ev.exceptions, 0) << ev.message.toStdString();

    const std::vector<int> places = placesOf(readAll(box.file("out.raw")), 1);
    ASSERT_FALSE(places.empty());
    EXPECT_EQ(places.front(), 0);
    EXPECT_EQ(places.back(), kFrames - 1) << "playback must go on to the end of the file after jumping back";
    const std::vector<size_t> at = breaks(places);
    ASSERT_EQ(at.size(), 2u);
    // Each jump starts from what the file input had given out: the frames
    // written to the device plus at most what was read ahead (a quarter more
    // than one 66 ms polling interval) and then dropped for silence.
    const int readAhead = 200 / 3 * kRate / 1000 * 5 / 4 + 1;
    const int forward = places[at[0] + 1] - (places[at[0]] + 1) - int(0.3 * kFrames);
    EXPECT_GE(forward, -1);
    EXPECT_LE(forward, readAhead);
    const int back = places[at[1] + 1] - (places[at[1]] + 1) + int(0.5 * kFrames);
    EXPECT_GE(back, -1);
    EXPECT_LE(back, readAhead);
}

TEST(DXAudioOut, PauseStopsTheFlowAndResumeLosesNothing)
{
    Sandbox box;
    constexpr int kFrames = 2 * kRate;
    const QString wav = box.file("counter.wav");
    ASSERT_TRUE(writeWav(wav, counterFrames(kFrames)));
    const QString raw = box.file("out.raw");
    DiskAudio disk(raw);

    dw::TWaveIn in;
    in.SetFileName(wav);
    TDXAudioOut out;
    Events ev;
    ev.attach(out);
    out.SetInput(&in);
    out.SetLatency(200);
    out.Run();
    ASSERT_TRUE(playedAtLeast(out, 0.3));

    out.Pause();
    EXPECT_EQ(out.Status(), 1);
    const uint64_t played = out.PlayedBytes();
    const qint64 sizeAtPause = QFileInfo(raw).size();
    // The driver goes on writing (silence) while paused: wait for 0.4 s of it.
    ASSERT_TRUE(waitFor([&] { return QFileInfo(raw).size() >= sizeAtPause + qint64(0.4 * kRate * kFrameBytes); }));
    EXPECT_EQ(out.PlayedBytes(), played);
    // Allow for one device period in flight at the pause.
    const QByteArray whilePaused = readAll(raw).mid(int(sizeAtPause) + 8192);
    EXPECT_EQ(whilePaused.count('\0'), whilePaused.size()) << "sound reached the device while paused";

    out.Resume();
    EXPECT_EQ(out.Status(), 0);
    ASSERT_TRUE(waitFor([&] { return ev.done == 1; }, std::chrono::seconds(30)));
    EXPECT_EQ(ev.exceptions, 0) << ev.message.toStdString();
    const std::vector<int> places = placesOf(readAll(raw), 2);
    EXPECT_EQ(places.size(), size_t(kFrames));
    EXPECT_TRUE(breaks(places).empty()) << "frames lost or repeated around the pause";
}

TEST(DXAudioOut, UnderrunIsReportedAndPlaybackRecoversWithoutStaleData)
{
    Sandbox box;
    constexpr int kFrames = 2 * kRate;
    const QString wav = box.file("counter.wav");
    ASSERT_TRUE(writeWav(wav, counterFrames(kFrames)));
    const QString raw = box.file("out.raw");
    DiskAudio disk(raw);

    dw::TWaveIn in;
    in.SetFileName(wav);
    StallingConverter stall(int64_t(kRate / 2) * kFrameBytes, std::chrono::milliseconds(400));
    stall.SetInput(&in);
    TDXAudioOut out;
    Events ev;
    ev.attach(out);
    out.SetInput(&stall);
    out.SetLatency(100);
    out.Run();
    ASSERT_TRUE(waitFor([&] { return ev.done == 1; }, std::chrono::seconds(30)));
    EXPECT_EQ(ev.exceptions, 0) << ev.message.toStdString();
    EXPECT_GE(out.Underruns(), 1u);
    ASSERT_TRUE(waitFor([&] { return ev.underruns >= 1; }, std::chrono::seconds(5)));
    // The gap is silence: every frame sounded once, in order.
    const std::vector<int> places = placesOf(readAll(raw), 2);
    EXPECT_EQ(places.size(), size_t(kFrames));
    EXPECT_TRUE(breaks(places).empty());
}

TEST(DXAudioOut, RunsEndWithTheirMessageWhenTheDeviceCannotPlayOrIsStopped)
{
    Sandbox box;
    const QString wav = box.file("counter.wav");
    ASSERT_TRUE(writeWav(wav, counterFrames(3 * kRate)));
    struct Case {
        const char* name;
        QString diskFile;
        int device;  // -1: one past the list
        bool stop;
        QString message;
    };
    const Case cases[] = {
        {"no such device", box.file("a.raw"), -1, false, "Invalid device number"},
        {"device cannot open", box.file("missing/dir/a.raw"), 0, false, "Failed to create DirectSound buffer80004005"},
        {"device stops taking data", box.file("c.raw"), 0, false, "Audio output error"},
        {"stopped by the owner", box.file("b.raw"), 0, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DiskAudio disk(c.diskFile, c.message == "Audio output error" ? 2500 : -1);
        dw::TWaveIn in;
        in.SetFileName(wav);
        TDXAudioOut out;
        ASSERT_GE(out.Devices().Count, 1);
        EXPECT_TRUE(out.Devices().Devices[0].Id.isEmpty());  // the primary device comes first
        out.SetDeviceNumber(c.device < 0 ? out.Devices().Count : c.device);
        Events ev;
        ev.attach(out);
        out.SetInput(&in);
        out.SetLatency(80);
        const auto started = std::chrono::steady_clock::now();
        out.Run();
        if (c.stop) {
            ASSERT_TRUE(playedAtLeast(out, 0.2));
            out.Stop(true);
        }
        // The failure is known within 17 polling intervals; the end of the run
        // may wait for a hung device to let go.
        ASSERT_TRUE(waitFor([&] { return ev.done >= 1 || ev.exceptions >= 1; }, std::chrono::seconds(20)));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << "the run should end soon";
        ASSERT_TRUE(waitFor([&] { return ev.done >= 1; }, std::chrono::seconds(20)));
        EXPECT_EQ(ev.done, 1);
        EXPECT_EQ(ev.exceptions, c.message.isEmpty() ? 0 : 1);
        EXPECT_EQ(out.GetExceptionMessage(), c.message);
        EXPECT_EQ(out.Status(), 2);
    }
}

TEST(DXAudioOut, APauseThatLandsAtTheEndOfTheInputIsResumedToTheEnd)
{
    Sandbox box;
    const QString wav = box.file("counter.wav");
    ASSERT_TRUE(writeWav(wav, counterFrames(kRate)));
    DiskAudio disk(box.file("out.raw"));

    dw::TWaveIn in;
    in.SetFileName(wav);
    MainThreadEnd end(int64_t(kRate / 2) * kFrameBytes);
    end.SetInput(&in);
    TDXAudioOut out;
    Events ev;
    ev.attach(out);
    out.SetInput(&end);
    out.SetLatency(100);
    out.SetPrefetchData(true);  // one read per portion: the end is found by a read of its own
    out.Run();
    // The worker is held in the read that finds the end until this thread
    // serves it, which Pause does while it waits for the worker to park; so
    // this wait must not run the event loop.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!end.atEnd.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(end.atEnd.load());
    out.Pause();
    EXPECT_EQ(out.Status(), 1);
    // Resuming wakes the worker, which plays out what it has and ends the run.
    out.Resume();
    ASSERT_TRUE(waitFor([&] { return ev.done == 1; }, std::chrono::seconds(30)));
    EXPECT_EQ(ev.exceptions, 0) << ev.message.toStdString();
    EXPECT_EQ(out.Status(), 2);
}
