// One-file Ogg Vorbis conversions run while the caller's event loop runs and
// report their end once, through the callback, also when they are refused or
// their worker fails, and stop when their cancellation token is cancelled.

#include "WaveTestUtil.h"

#include "audio/formats/VorbisConvert.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace dw;
using namespace dwtest;

namespace {

// A stereo 16-bit WAV of a tone, seconds long.
void writeTone(const QString& path, double seconds)
{
    const int rate = 44100;
    const int frames = int(seconds * rate);
    QByteArray pcm;
    pcm.reserve(frames * 4);
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(8000 * std::sin(2 * 3.14159265 * 440 * i / rate));
        pcm += le16(uint16_t(v)) + le16(uint16_t(v));
    }
    writeAll(path, riff(chunk("fmt ", fmtBody(1, 2, rate, 4, 16)) + chunk("data", pcm)));
}

struct Outcome {
    int calls = 0;
    TConversionResult result;
    TConversionDone callback()
    {
        return [this](const TConversionResult& r) {
            ++calls;
            result = r;
        };
    }
};

}  // namespace

TEST(OggConversion, EndsOnceThroughTheCallbackForEveryOutcome)
{
    dwtest::Sandbox box;
    writeTone(box.file("in.wav"), 2.0);

    // A good run: nothing is reported before the caller's loop runs, then
    // progress up to 100 and one completion; the output decodes again.
    Outcome good;
    int lastPercent = -2;
    TConversionControl control;
    control.progress = [&](int p) { lastPercent = p; };
    TOggEncodeRequest encode{box.file("in.wav"), box.file("out.ogg"), {}, {{"title", "Tone"}}, false};
    auto conversion = StartWaveToOgg(encode, control, good.callback());
    EXPECT_EQ(good.calls, 0);
    ASSERT_TRUE(dwtest::waitFor([&] { return good.calls > 0; }));
    EXPECT_TRUE(good.result.ok) << good.result.error.toStdString();
    EXPECT_EQ(lastPercent, 100);
    EXPECT_TRUE(conversion->Finished());
    TOggInfo info;
    QString error;
    ASSERT_TRUE(ReadOggInfo(box.file("out.ogg"), &info, &error)) << error.toStdString();
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(info.seconds, 2.0, 0.01);

    // The way back, and the object destroyed from inside its own callback.
    Outcome back;
    std::unique_ptr<TOggConversion> decoding;
    decoding = StartOggToWave({box.file("out.ogg"), box.file("back.wav"), false}, {},
                              [&](const TConversionResult& r) {
                                  ++back.calls;
                                  back.result = r;
                                  decoding.reset();
                              });
    ASSERT_TRUE(dwtest::waitFor([&] { return back.calls > 0; }));
    EXPECT_TRUE(back.result.ok) << back.result.error.toStdString();
    EXPECT_EQ(decoding, nullptr);
    EXPECT_NEAR(double(QFileInfo(box.file("back.wav")).size()), 44 + 2.0 * 44100 * 4, 4096);

    // Refused before anything started (an existing output, not to be
    // replaced): reported from the loop too, the file untouched.
    Outcome refused;
    box.write("taken.ogg", "old");
    auto refusal = StartWaveToOgg({box.file("in.wav"), box.file("taken.ogg"), {}, {}, false}, {}, refused.callback());
    EXPECT_EQ(refused.calls, 0);
    ASSERT_TRUE(dwtest::waitFor([&] { return refused.calls > 0; }));
    EXPECT_FALSE(refused.result.ok);
    EXPECT_TRUE(refused.result.error.contains("already exists")) << refused.result.error.toStdString();
    EXPECT_EQ(box.read("taken.ogg"), "old");

    // The worker fails (the output's folder is missing): the failure comes
    // once, as the result's error.
    Outcome failing;
    auto broken = StartWaveToOgg({box.file("in.wav"), box.file("missing/out.ogg"), {}, {}, false}, {},
                                 failing.callback());
    ASSERT_TRUE(dwtest::waitFor([&] { return failing.calls > 0; }));
    EXPECT_FALSE(failing.result.ok);
    EXPECT_FALSE(failing.result.stopped);
    EXPECT_FALSE(failing.result.error.isEmpty());

    // Destroyed while it runs: no completion afterwards.
    Outcome dropped;
    writeTone(box.file("long.wav"), 30.0);
    auto running = StartWaveToOgg({box.file("long.wav"), box.file("dropped.ogg"), {}, {}, false}, {},
                                  dropped.callback());
    running.reset();

    // Every callback ran exactly once, the destroyed one never: whatever
    // was posted before this marker has been handled when it runs.
    bool flushed = false;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { flushed = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(dwtest::waitFor([&] { return flushed; }));
    EXPECT_EQ(good.calls, 1);
    EXPECT_EQ(back.calls, 1);
    EXPECT_EQ(refused.calls, 1);
    EXPECT_EQ(failing.calls, 1);
    EXPECT_EQ(dropped.calls, 0);
}

// The cancellation token stops a conversion however it comes: cancelled on
// another thread while the worker encodes (the output keeps what was done,
// decodable and shorter than the input), cancelled before the conversion was
// made, or cancelled on another thread just before the conversion is
// destroyed (nothing is reported then).
TEST(OggConversion, ACancelledTokenStopsItFromAnyThreadAndBeforeItStarts)
{
    dwtest::Sandbox box;
    const double seconds = 120.0;
    writeTone(box.file("long.wav"), seconds);
    const auto cancelElsewhere = [](const TCancelToken& token) { std::thread([token] { token.Cancel(); }).join(); };

    Outcome running;
    int lastPercent = -1;
    TConversionControl control;
    control.progress = [&](int p) { lastPercent = p; };
    auto conversion =
        StartWaveToOgg({box.file("long.wav"), box.file("part.ogg"), {}, {}, false}, control, running.callback());
    ASSERT_TRUE(dwtest::waitFor([&] { return lastPercent >= 10 || running.calls > 0; }));
    ASSERT_EQ(running.calls, 0) << "the conversion ended before it could be cancelled";
    cancelElsewhere(control.cancel);
    ASSERT_TRUE(dwtest::waitFor([&] { return running.calls > 0; }, std::chrono::seconds(60)));
    EXPECT_TRUE(running.result.stopped);
    EXPECT_FALSE(running.result.ok);
    EXPECT_TRUE(running.result.error.isEmpty()) << running.result.error.toStdString();
    TOggInfo info;
    QString error;
    ASSERT_TRUE(ReadOggInfo(box.file("part.ogg"), &info, &error)) << error.toStdString();
    EXPECT_GT(info.seconds, 0.0);
    EXPECT_LT(info.seconds, seconds - 1);

    Outcome early;
    TConversionControl cancelled;
    cancelled.cancel.Cancel();
    auto stoppedEarly = StartOggToWave({box.file("part.ogg"), box.file("early.wav"), false}, cancelled,
                                       early.callback());
    ASSERT_TRUE(dwtest::waitFor([&] { return early.calls > 0; }));
    EXPECT_TRUE(early.result.stopped);
    EXPECT_FALSE(early.result.ok);

    Outcome dropped;
    TConversionControl late;
    auto droppedConversion =
        StartWaveToOgg({box.file("long.wav"), box.file("dropped.ogg"), {}, {}, false}, late, dropped.callback());
    cancelElsewhere(late.cancel);
    droppedConversion.reset();
    bool flushed = false;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { flushed = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(dwtest::waitFor([&] { return flushed; }));
    EXPECT_EQ(dropped.calls, 0);
    EXPECT_EQ(running.calls, 1);
    EXPECT_EQ(early.calls, 1);
}
