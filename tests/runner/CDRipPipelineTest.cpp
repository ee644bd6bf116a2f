// The ripper-mode rip with reading overlapped with encoding, over CD images
// of a music-like signal: the files of an overlapped rip on several workers
// are byte for byte those of a rip of one item after the other; the reader
// stays within its workers; a stop while reading, while encoding and while
// both run ends the job at once, leaves no temporary file and keeps what
// was finished.

#include "cd/CDIn.h"
#include "cd/RipperLibrary.h"
#include "cd/TrackSource.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/CdDrives.h"
#include "runner/CDRipEngine.h"
#include "support/RecordingJobView.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <map>

using namespace dw;
using Outcome = TJobItemResult::Outcome;

namespace {

// Sweeping, beating tones over noise, in place of the image writer's plain
// tones: encoders and the loudness measurement get real work.
void fillWithMusic(const QString& bin)
{
    QFile f(bin);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 frames = f.size() / 4;
    QByteArray pcm(frames * 4, Qt::Uninitialized);
    uint32_t noise = 2463534242u;
    double phaseA = 0, phaseB = 0;
    for (qint64 n = 0; n < frames; ++n) {
        const double t = double(n) / 44100.0;
        phaseA += 2 * M_PI * (110 + 40 * t) / 44100.0;
        phaseB += 2 * M_PI * (165 + 55 * std::sin(t)) / 44100.0;
        noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
        const double hiss = (double(noise % 2001) - 1000.0) / 1000.0;
        const double left = 0.45 * std::sin(phaseA) * (0.6 + 0.4 * std::sin(2 * M_PI * 2.5 * t)) + 0.1 * hiss;
        const double right = 0.45 * std::sin(phaseB) + 0.1 * hiss;
        const auto put = [&](qint64 at, double v) {
            const int16_t s = int16_t(std::lround(v * 32000));
            pcm[at] = char(s & 0xff);
            pcm[at + 1] = char((s >> 8) & 0xff);
        };
        put(n * 4, left);
        put(n * 4 + 2, right);
    }
    ASSERT_EQ(f.write(pcm), pcm.size());
}

using dwtest::RecordingView;

// How far the reader ran ahead: at each track it begins, the tracks begun
// before it less the items reported done.
class AheadTap : public TPcmTap {
public:
    explicit AheadTap(const RecordingView& view) : view_(view) {}
    void Begin(int) override
    {
        maxAhead = std::max(maxAhead, begun++ - int(view_.finished.size()));
    }
    void Block(const uint8_t*, size_t) override {}
    void End(bool) override {}
    int begun = 0;
    int maxAhead = 0;

private:
    const RecordingView& view_;
};

class CDRipPipelineTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        engine.reset();
        cdIn.reset();
        SetExplicitCdDevices({});
        CR_DeInit();
    }
    void image(const std::vector<int>& seconds)
    {
        const QString cue = dwtest::makeCdImage(box.path(), seconds);
        fillWithMusic(dwtest::binPathOf(cue));
        SetExplicitCdDevices({cue});
        cdIn = std::make_unique<TCDIn>();
    }
    // Starts a job into folder; the view and the engine are fresh.
    void start(const QString& folder, int workers, bool overlap, const QStringList& items)
    {
        QDir().mkpath(folder);
        settings.Rip.OutputFolder = folder + "/";
        engine.reset();
        view = std::make_unique<RecordingView>();
        tap = std::make_unique<AheadTap>(*view);
        engine = std::make_unique<TCDRipEngine>(*cdIn, settings, *view, lame, wma);
        engine->SetEncodeWorkers(workers);
        engine->SetOverlap(overlap);
        engine->AddTap(*tap);
        engine->Start(items);
    }
    void waitClosed()
    {
        ASSERT_TRUE(dwtest::waitFor([&] { return view->closed > 0; }, std::chrono::seconds(180)));
        EXPECT_EQ(view->closed, 1);
        EXPECT_TRUE(engine->IsClosed());
    }
    static std::map<QString, QByteArray> contents(const QString& folder)
    {
        std::map<QString, QByteArray> r;
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
            QFile f(folder + "/" + name);
            r[name] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
        return r;
    }
    std::vector<Outcome> outcomes() const
    {
        std::vector<Outcome> r;
        for (const TCDRipItem& item : engine->Items())
            r.push_back(item.Result.outcome);
        return r;
    }

    dwtest::Sandbox box;
    std::unique_ptr<TCDIn> cdIn;
    TCDRipSettings settings;
    TMp3EncodeProcess lame;
    TWMAEncodeProcess wma;
    std::unique_ptr<RecordingView> view;
    std::unique_ptr<AheadTap> tap;
    std::unique_ptr<TCDRipEngine> engine;
};

TEST_F(CDRipPipelineTest, AnOverlappedRipWritesTheSameBytesAsOneItemAfterTheOtherAndStaysWithinItsWorkers)
{
    image({4, 3, 5, 2, 3});
    const QStringList items{"01One", "02Two", "03Three", "04Four", "05Five"};
    settings.ReplayGain = true;  // track and album values in every file
    settings.DiscArtist = "The Artist";
    settings.DiscAlbum = "The Album";
    for (const TOutputFormat format : {TOutputFormat::Flac, TOutputFormat::Mp3}) {
        settings.OutputFormat = format;
        const QString ext = format == TOutputFormat::Flac ? "flac" : "mp3";
        SCOPED_TRACE(ext.toStdString());

        start(box.file("one-" + ext), 1, false, items);
        waitClosed();
        EXPECT_EQ(tap->maxAhead, 0);
        const QStringList sequential = view->captions;
        const auto reference = contents(box.file("one-" + ext));
        ASSERT_EQ(reference.size(), 5u);

        start(box.file("three-" + ext), 3, true, items);
        waitClosed();
        EXPECT_EQ(outcomes(), std::vector<Outcome>(5, Outcome::Done));
        // The reader ran ahead, but never more than three tracks.
        EXPECT_GE(tap->maxAhead, 1);
        EXPECT_LE(tap->maxAhead, 3);
        EXPECT_EQ(tap->begun, 5);
        // Reported in item order; every item's stages told in order.
        ASSERT_EQ(view->finished.size(), 5u);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(view->finished[size_t(i)].index, i);
        EXPECT_EQ(view->captions, sequential);
        const auto overlapped = contents(box.file("three-" + ext));
        ASSERT_EQ(overlapped.size(), reference.size());
        for (const auto& [name, bytes] : reference) {
            ASSERT_TRUE(overlapped.count(name)) << name.toStdString();
            EXPECT_TRUE(overlapped.at(name) == bytes) << name.toStdString() << " differs";
        }
    }
}

TEST_F(CDRipPipelineTest, AStopWhileReadingEncodingOrBothEndsEveryStageAndKeepsOnlyFinishedFiles)
{
    // Two seconds, then two ten-minute tracks: reading one takes a moment,
    // encoding it to Opus far longer.
    image({2, 600, 600});
    settings.OutputFormat = TOutputFormat::Opus;
    enum class Moment { Reading, Encoding, Both };
    for (const Moment moment : {Moment::Reading, Moment::Encoding, Moment::Both}) {
        const QString folder = box.file(QString("stop%1").arg(int(moment)));
        QStringList items{"01Short", "02Long", "03Longer"};
        // What is under way when the stop comes: reading track 2 alone (a
        // WAV rip encodes nothing), encoding track 2 alone (the last item),
        // or encoding track 2 while track 3 is read.
        int stopItem = 2;
        QString stopWord = "Extracting";
        if (moment == Moment::Reading) {
            settings.OutputFormat = TOutputFormat::Wav;
        } else {
            settings.OutputFormat = TOutputFormat::Opus;
            if (moment == Moment::Encoding) {
                items.removeLast();
                stopWord = "Encoding";
            } else {
                stopItem = 3;
            }
        }
        std::chrono::steady_clock::time_point stoppedAt{};
        size_t finishedBeforeStop = 0;
        // Reading or encoding alone: one item after the other; both at once:
        // the next track read while one is encoded.
        start(folder, 1, moment == Moment::Both, items);
        QString shown;
        view->onStage = [&](const TJobStage& stage) { shown = stage.Caption(); };
        view->onGauge = [&](int percent) {
            if (percent > 0 && shown.startsWith(QString("%1(0%2").arg(stopWord).arg(stopItem)) && !engine->WasStopped()) {
                finishedBeforeStop = view->finished.size();
                stoppedAt = std::chrono::steady_clock::now();
                engine->Stop();
            }
        };
        waitClosed();
        ASSERT_TRUE(engine->WasStopped()) << int(moment);
        EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt, std::chrono::seconds(5)) << int(moment);
        // The short track was finished before and stays.
        EXPECT_EQ(finishedBeforeStop, 1u) << int(moment);
        const QString first = moment == Moment::Reading ? "Short.wav" : "Short.opus";
        QStringList expected{first};
        // A track ripped whole whose encoding was stopped keeps its WAV; a
        // track whose reading was stopped leaves nothing.
        if (moment != Moment::Reading)
            expected << "Long.wav";
        expected.sort();
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name), expected)
            << int(moment);
        std::vector<Outcome> want{Outcome::Done, Outcome::Stopped};
        if (items.size() == 3)
            want.push_back(Outcome::Stopped);
        EXPECT_EQ(outcomes(), want) << int(moment);
        // Every item under way is told, in order; nothing after the stop.
        ASSERT_EQ(view->finished.size(), size_t(stopItem)) << int(moment);
        EXPECT_EQ(view->finished.back().outcome, Outcome::Stopped);
    }

    // Stopped by the view as a normalised track's encoding is shown: the
    // encoder never starts, the job still closes, the normalised WAV stays.
    settings.OutputFormat = TOutputFormat::Mp3;
    settings.Rip.IsNormalize = true;
    settings.Rip.NormalizePercent = 50;
    const QString folder = box.file("stopShown");
    start(folder, 1, true, {"01Short", "03Longer"});
    view->onStage = [&](const TJobStage& stage) {
        if (stage.Caption().startsWith("Encoding(02"))
            engine->Stop();
    };
    waitClosed();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{"Longer.wav", "Short.mp3"}));
    EXPECT_EQ(outcomes(), (std::vector<Outcome>{Outcome::Done, Outcome::Stopped}));
}

}  // namespace
