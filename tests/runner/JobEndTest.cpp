// A job started by the core returns at once and reports its end through its
// callback: once, from the event loop, after the job's view was told it
// closed and after the handler that closed it has returned - for a job that
// ran to its end, one stopped before it started and one stopped on its way.

#include "app/JobConfig.h"
#include "platform/Dialogs.h"
#include "runner/RunJob.h"
#include "support/SineWav.h"
#include "support/JobWait.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <chrono>
#include <cstdint>
#include <thread>

using namespace dw;
using Outcome = TJobItemResult::Outcome;

namespace {

// Notes when it is told the job closed, and, through a posted call, when the
// handler that told it has returned to the event loop.
class EndView : public TJobView {
public:
    std::function<void()> onStage;
    int closed = 0;
    bool handlerLeft = false;

    void StageStarted(const TJobStage&) override
    {
        if (onStage)
            onStage();
    }
    void Closed() override
    {
        ++closed;
        QTimer::singleShot(0, [left = &handlerLeft] { *left = true; });
    }
};

// A 16-bit stereo 44100 Hz sine WAV of the given length.
void writeWav(const QString& path, double seconds)
{
    writeSineWav(path, 44100, seconds);
}

class JobEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        out = box.file("out");
        ASSERT_TRUE(QDir().mkpath(out));
        config.Options.OutputFolder = out + "/";
        for (const char* name : {"a", "b", "c"}) {
            inputs << box.file(QString::fromLatin1(name) + ".wav");
            writeWav(inputs.back(), 2.0);
        }
    }
    QStringList outputs() const { return QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot); }

    // RunJob through the helper, noting the view's state when the end came.
    TJobSummary run(const QStringList& items, EndView& view, const TJobRunOptions& options, bool& closedBefore)
    {
        return dwtest::waitForEnd<TJobSummary>([&](TJobEnd onEnd) {
            RunJob(jkToFlac, 0, items, config, view,
                   [&view, &closedBefore, onEnd](const TJobSummary& s) {
                       closedBefore = view.closed == 1 && view.handlerLeft;
                       onEnd(s);
                   },
                   options);
        });
    }

    dwtest::Sandbox box;
    QString out;
    QStringList inputs;
    TJobConfig config;
    ScriptedDialogs dialogs;
    ScopedDialogs scoped{dialogs};
};

TEST_F(JobEnd, RunJobEndsOnceAfterTheJobClosedWhetherItRanOrWasStoppedBeforeItStarted)
{
    // A job that runs to its end.
    EndView view;
    bool closedBefore = false;
    const TJobSummary done = run({inputs[0]}, view, {}, closedBefore);
    EXPECT_TRUE(closedBefore) << "the end came before the job's close had been handled";
    ASSERT_EQ(done.items.size(), 1u);
    EXPECT_EQ(done.items[0].outcome, Outcome::Done) << done.items[0].message.toStdString();
    EXPECT_FALSE(done.stopped);
    EXPECT_EQ(outputs(), QStringList{"a.flac"});

    // A token cancelled before the call: the job ends at once, nothing written.
    EndView stoppedView;
    TJobRunOptions options;
    options.cancel.Cancel();
    closedBefore = false;
    const TJobSummary stopped = run({inputs[1], inputs[2]}, stoppedView, options, closedBefore);
    EXPECT_TRUE(closedBefore);
    EXPECT_TRUE(stopped.stopped);
    ASSERT_EQ(stopped.items.size(), 2u);
    for (const TJobItemResult& r : stopped.items)
        EXPECT_EQ(r.outcome, Outcome::Stopped) << r.name.toStdString();
    EXPECT_EQ(outputs(), QStringList{"a.flac"});

    // Nothing to do ends too, from the event loop, with no items.
    EndView idle;
    const TJobSummary empty = dwtest::waitForEnd<TJobSummary>(
        [&](TJobEnd onEnd) { RunJob(jkToFlac, 0, {}, config, idle, std::move(onEnd)); });
    EXPECT_TRUE(empty.items.empty());
    EXPECT_FALSE(empty.stopped);
}

TEST_F(JobEnd, ConversionsStoppedBeforeOrDuringTheRunEndOnceWithEveryItemAccountedFor)
{
    // Cancelled before the call: no item is converted.
    const auto makeView = [] { return std::make_unique<EndView>(); };
    TJobRunOptions before;
    before.cancel.Cancel();
    const TJobSummary s = dwtest::runConversionJobs(jkToFlac, inputs, 2, config, makeView, before);
    EXPECT_TRUE(s.stopped);
    ASSERT_EQ(s.items.size(), 3u);
    for (const TJobItemResult& r : s.items)
        EXPECT_EQ(r.outcome, Outcome::Stopped) << r.name.toStdString();
    EXPECT_TRUE(outputs().isEmpty()) << outputs().join(',').toStdString();

    // Cancelled from inside the first stage handler, one runner at a time:
    // the stop is carried out after that handler has returned, the job ends
    // once, and no item is left half-written.
    TJobRunOptions during;
    int ends = 0;
    bool endedInside = false;
    bool inStage = false;
    const TJobSummary t = dwtest::waitForEnd<TJobSummary>([&](TJobEnd onEnd) {
        RunConversionJobs(
            jkToFlac, inputs, 1, config,
            [&] {
                auto v = std::make_unique<EndView>();
                v->onStage = [&] {
                    inStage = true;
                    during.cancel.Cancel();
                    inStage = false;
                };
                return v;
            },
            [&, onEnd](const TJobSummary& r) {
                ++ends;
                endedInside = inStage;
                onEnd(r);
            },
            during);
    });
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(endedInside);
    EXPECT_TRUE(t.stopped);
    ASSERT_EQ(t.items.size(), 3u);
    EXPECT_NE(t.items[2].outcome, Outcome::Done);
    for (const TJobItemResult& r : t.items) {
        const QString flac = QFileInfo(r.name).completeBaseName() + ".flac";
        EXPECT_EQ(outputs().contains(flac), r.outcome == Outcome::Done) << r.name.toStdString();
    }
}

}  // namespace

namespace {

TEST_F(JobEnd, AStopAfterAParallelEncoderPutItsFileInPlaceReportsThatItemDone)
{
    // Two runners side by side. The short second item's encoder is let run
    // until its file is in place while the event loop is held, so its end is
    // still on the way when the stop comes; the long first one is stopped
    // on its way (or, on a fast machine, has ended too).
    writeWav(inputs[0], 30.0);
    writeWav(inputs[1], 0.05);
    const QString second = out + "/b.flac";
    TJobRunOptions options;
    bool inPlace = false;
    const TJobSummary s = dwtest::waitForEnd<TJobSummary>([&](TJobEnd onEnd) {
        RunConversionJobs(
            jkToFlac, {inputs[0], inputs[1]}, 2, config, [] { return std::make_unique<EndView>(); },
            std::move(onEnd), options);
        // The encoders run on their own threads; nothing of their ends can
        // reach the runners before this returns to the event loop.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!(inPlace = QFileInfo::exists(second)) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        options.cancel.Cancel();
    });
    ASSERT_TRUE(inPlace) << "the second encoder never put its file in place";
    EXPECT_TRUE(s.stopped);
    ASSERT_EQ(s.items.size(), 2u);
    EXPECT_EQ(s.items[1].outcome, Outcome::Done) << s.items[1].message.toStdString();
    EXPECT_EQ(s.items[1].outputs, QStringList{second});
    EXPECT_TRUE(dwtest::runTool("flac", {"-t", "-s", second}).ok);
    // Whatever the first item's fate, the results and the folder agree, and
    // no temporary file is left.
    QStringList expected;
    for (const TJobItemResult& r : s.items)
        if (r.outcome == Outcome::Done)
            expected << QFileInfo(r.name).completeBaseName() + ".flac";
        else
            EXPECT_EQ(r.outcome, Outcome::Stopped) << r.name.toStdString() << ": " << r.message.toStdString();
    expected.sort();
    EXPECT_EQ(outputs(), expected);
}

}  // namespace
