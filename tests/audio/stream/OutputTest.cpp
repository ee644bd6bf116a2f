// Outputs and their worker threads: runs, progress, stopping (both ways),
// pausing, failures on the worker, re-wiring, destruction, and the
// dispatcher's lifetime.

#include "StreamTestComponents.h"
#include "audio/stream/EventHandler.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace dw;
using dwtest::CountingOut;
using dwtest::EventLog;
using dwtest::GenIn;

namespace {

QString raisedBy(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const EAuException& e) {
        return e.Message();
    }
    return QString();
}

// Runs a short second output to completion. Events are dispatched in order,
// so anything still queued from before has been delivered once it is done.
void flushDispatcher()
{
    GenIn in;
    in.total = 10;
    CountingOut out;
    out.SetInput(&in);
    bool done = false;
    out.OnDone = [&](TAuOutput*) { done = true; };
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return done; }));
}

}  // namespace

TEST(Output, RunDeliversAllDataThenProgressAndDoneOnTheMainThread)
{
    GenIn in;
    in.total = 200000;
    CountingOut out;
    out.keep = true;
    EventLog log;
    log.attach(out);
    EXPECT_EQ(out.Status(), 2);
    out.SetInput(&in);
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') == 1; }));
    EXPECT_FALSE(log.offMainThread);
    EXPECT_EQ(out.bytes, 200000);
    ASSERT_EQ(out.kept.size(), 200000);
    for (int i = 0; i < out.kept.size(); i += 997)
        ASSERT_EQ(static_cast<uint8_t>(out.kept[i]), i & 0xFF);
    EXPECT_EQ(out.prepares, 1);
    EXPECT_EQ(out.dones, 1);
    EXPECT_EQ(in.flushes, 1);
    EXPECT_FALSE(out.IsBusy());
    EXPECT_EQ(out.Status(), 2);
    EXPECT_EQ(out.Progress(), 100);
    // Progress events come before OnDone, only on change, rising.
    ASSERT_FALSE(log.progress.empty());
    EXPECT_EQ(log.kinds.back(), 'd');
    EXPECT_LE(log.count('p'), 101);
    EXPECT_TRUE(std::is_sorted(log.progress.begin(), log.progress.end()));
    EXPECT_TRUE(out.GetExceptionMessage().isEmpty());

    // The same output runs again.
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') == 2; }));
    EXPECT_EQ(out.bytes, 400000);
}

TEST(Output, RunIsRefusedWithoutInputAndWhileBusy)
{
    CountingOut out;
    EXPECT_EQ(raisedBy([&] { out.Run(); }), "Input is not assigned");
    EXPECT_EQ(out.Status(), 2);
    EXPECT_FALSE(out.IsBusy());
    EXPECT_EQ(raisedBy([&] { out.Pause(); }), "Input is not assigned.");

    GenIn in;
    in.total = -1;  // endless
    out.SetInput(&in);
    EventLog log;
    log.attach(out);
    out.Run();
    EXPECT_EQ(out.Status(), 0);
    EXPECT_EQ(raisedBy([&] { out.Run(); }), "Component is Busy");
    out.Stop(true);
    ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') == 1; }));
    EXPECT_EQ(out.Status(), 2);
    EXPECT_FALSE(out.IsStopped());  // cleared when the run was wound up
}

TEST(Output, UnknownSizeGivesProgressMinusOneOnce)
{
    GenIn in;
    in.total = 300000;
    in.known = false;
    CountingOut out;
    out.SetInput(&in);
    EventLog log;
    log.attach(out);
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') == 1; }));
    EXPECT_EQ(out.bytes, 300000);
    EXPECT_EQ(log.count('p'), 1);
    EXPECT_EQ(log.progress.front(), -1);
    EXPECT_EQ(out.Progress(), -1);
}

TEST(Output, AsyncStopIsFollowedByExactlyOneDone)
{
    GenIn in;
    in.total = -1;
    CountingOut out;
    out.SetInput(&in);
    EventLog log;
    log.attach(out);
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return out.bytes > 10000; }));
    out.Stop(true);
    ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') == 1; }));
    EXPECT_EQ(out.dones, 1);
    flushDispatcher();
    EXPECT_EQ(log.count('d'), 1);
    EXPECT_EQ(log.kinds.back(), 'd');  // nothing of the run after OnDone
}

TEST(Output, SyncStopReturnsParkedAndSilencesTheRun)
{
    GenIn in;
    in.total = -1;
    in.known = false;
    CountingOut out;
    out.SetInput(&in);
    EventLog log;
    log.attach(out);
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return out.bytes > 10000 && !log.kinds.empty(); }));
    const size_t before = log.kinds.size();
    out.Stop(false);
    EXPECT_EQ(out.dones, 1);  // wound up before Stop returned
    EXPECT_EQ(out.Status(), 2);
    EXPECT_FALSE(out.IsBusy());
    const int64_t bytes = out.bytes;
    flushDispatcher();
    EXPECT_EQ(log.kinds.size(), before);  // no OnDone, no progress afterwards
    EXPECT_EQ(out.bytes, bytes);

    // The output runs normally afterwards, with its events delivered again.
    in.total = 5000;
    in.known = true;
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') == 1; }));
    EXPECT_EQ(out.bytes, bytes + 5000);
}

TEST(Output, SyncStopServicesAWorkerWaitingOnTheMainThread)
{
    GenIn in;
    in.total = -1;
    CountingOut out;
    out.syncEachCall = true;  // every DoOutput waits for the main thread
    out.SetInput(&in);
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return out.bytes > 5000; }));
    out.Stop(false);  // must not deadlock
    EXPECT_EQ(out.Status(), 2);
    EXPECT_EQ(out.dones, 1);
}

TEST(Output, PauseAndResume)
{
    GenIn in;
    in.total = -1;
    CountingOut out;
    out.SetInput(&in);
    out.Pause();  // idle: nothing happens
    EXPECT_EQ(in.pauses, 0);
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return out.bytes > 1000; }));
    out.Pause();
    EXPECT_EQ(out.Status(), 1);
    EXPECT_EQ(in.pauses, 1);
    const int calls = out.outputs;
    // Parked: in a quarter second of waiting, DoOutput is not called once.
    EXPECT_FALSE(dwtest::waitFor([&] { return out.outputs != calls; }, std::chrono::milliseconds(250)));
    out.Resume();
    EXPECT_EQ(out.Status(), 0);
    EXPECT_EQ(in.resumes, 1);
    ASSERT_TRUE(dwtest::waitFor([&] { return out.outputs > calls + 10; }));

    // Stopping a paused output wakes it.
    out.Pause();
    EXPECT_EQ(out.Status(), 1);
    out.Stop(false);
    EXPECT_EQ(out.Status(), 2);

    // A worker waiting on the main thread still gets to its pause.
    out.syncEachCall = true;
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return out.outputs > calls + 100; }));
    out.Pause();
    EXPECT_EQ(out.Status(), 1);
    out.Resume();
    out.Stop(false);
}

TEST(Output, RunReturnsBeforeTheWorkerStartsAndAPauseAskedMeanwhileHolds)
{
    GenIn in;
    in.total = -1;
    CountingOut out;
    out.SetInput(&in);
    // Prepare waits for the main thread, which serves it only inside Pause:
    // Run has returned before the worker got past Prepare.
    bool pausing = false, preparedDuringPause = false;
    out.onPrepareMain = [&] { preparedDuringPause = pausing; };
    out.Run();
    pausing = true;
    out.Pause();
    pausing = false;
    EXPECT_TRUE(preparedDuringPause);
    // The pause asked for before the run's first portion is not lost.
    EXPECT_EQ(out.Status(), 1);
    EXPECT_EQ(in.pauses, 1);
    const int calls = out.outputs;
    out.Resume();
    EXPECT_EQ(out.Status(), 0);
    ASSERT_TRUE(dwtest::waitFor([&] { return out.outputs > calls + 10; }));
    out.Stop(false);
    EXPECT_EQ(out.Status(), 2);
}

TEST(Output, WorkerFailuresReportThenWindUp)
{
    struct Case {
        const char* name;
        std::function<void(CountingOut&, GenIn&)> setUp;
        QString message;
    };
    const std::vector<Case> cases = {
        {"DoOutput", [](CountingOut& o, GenIn&) { o.throwAfterCalls = 3; }, "output failed"},
        {"Prepare", [](CountingOut& o, GenIn&) { o.throwInPrepare = 1; }, "prepare failed"},
        {"input Init", [](CountingOut&, GenIn& i) { i.failInitWith = 2; }, "plain failure"},
        {"input read", [](CountingOut&, GenIn& i) { i.throwAtByte = 2000; }, "read failed"},
        {"not a std::exception", [](CountingOut& o, GenIn&) { o.throwInPrepare = 2; }, "Unknown exception"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GenIn in;
        CountingOut out;
        c.setUp(out, in);
        out.SetInput(&in);
        EventLog log;
        log.attach(out);
        out.Run();
        ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') == 1; }));
        ASSERT_EQ(log.count('x'), 1);
        EXPECT_EQ(log.messages.front(), c.message);
        EXPECT_EQ(out.GetExceptionMessage(), c.message);
        // The exception comes first, OnDone last.
        EXPECT_LT(std::find(log.kinds.begin(), log.kinds.end(), 'x') - log.kinds.begin(),
                  static_cast<long>(log.kinds.size()) - 1);
        EXPECT_EQ(log.kinds.back(), 'd');
        EXPECT_EQ(out.dones, 1);
        EXPECT_FALSE(out.IsBusy());
    }

    // A failing Done is swallowed; the run still ends with OnDone.
    GenIn in;
    in.total = 100;
    CountingOut out;
    out.throwInDone = true;
    out.SetInput(&in);
    EventLog log;
    log.attach(out);
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') == 1; }));
    EXPECT_EQ(log.count('x'), 0);
    EXPECT_FALSE(out.IsBusy());
    // The next run clears the old message.
    out.throwInDone = false;
    out.Run();
    EXPECT_TRUE(out.GetExceptionMessage().isEmpty());
    ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') == 2; }));
}

TEST(Output, NextRunFromOnDoneAndRewiringWhileRunning)
{
    // A batch: each OnDone starts the next item.
    GenIn in;
    in.total = 3000;
    CountingOut out;
    out.SetInput(&in);
    int runs = 0;
    out.OnDone = [&](TAuOutput* s) {
        if (++runs < 5)
            s->Run();
    };
    out.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return runs == 5; }));
    EXPECT_EQ(out.bytes, 15000);

    // Re-wiring a running output stops it, links the new input and runs again.
    GenIn endless, finite;
    endless.total = -1;
    finite.total = 7000;
    CountingOut out2;
    int done2 = 0;
    out2.OnDone = [&](TAuOutput*) { ++done2; };
    out2.SetInput(&endless);
    out2.Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return out2.bytes > 1000; }));
    out2.SetInput(&finite);
    EXPECT_EQ(out2.GetInput(), &finite);
    ASSERT_TRUE(dwtest::waitFor([&] { return done2 == 1; }));
    EXPECT_EQ(finite.produced(), 7000);
    EXPECT_EQ(endless.flushes, 1);
}

TEST(Output, DestroyingARunningOutputStopsItAndTheLastOneEndsTheDispatcher)
{
    // Other tests' outputs are gone: no dispatcher.
    EXPECT_FALSE(TEventHandler::Running());
    GenIn in;
    in.total = -1;
    int events = 0;
    {
        auto keepAlive = std::make_unique<CountingOut>();
        EXPECT_TRUE(TEventHandler::Running());
        auto out = std::make_unique<CountingOut>();
        out->SetInput(&in);
        out->OnProgress = [&](TAuOutput*) { ++events; };
        out->OnDone = [&](TAuOutput*) { ++events; };
        out->Run();
        ASSERT_TRUE(dwtest::waitFor([&] { return out->bytes > 10000 && events > 0; }));
        const int seen = events;
        out.reset();  // stops synchronously first
        EXPECT_EQ(in.flushes, 1);
        EXPECT_TRUE(TEventHandler::Running());  // keepAlive still holds it
        keepAlive.reset();
        EXPECT_EQ(events, seen);
    }
    EXPECT_FALSE(TEventHandler::Running());
    // A new output brings it back.
    CountingOut again;
    EXPECT_TRUE(TEventHandler::Running());
}

TEST(Output, HandlersMayStopOrDestroyTheirOwnOutput)
{
    GenIn in;
    in.total = -1;
    {
        // Stop(false) from the output's own progress handler.
        CountingOut out;
        out.SetInput(&in);
        int progress = 0, done = 0;
        out.OnProgress = [&](TAuOutput* s) {
            ++progress;
            s->Stop(false);
        };
        out.OnDone = [&](TAuOutput*) { ++done; };
        out.Run();
        ASSERT_TRUE(dwtest::waitFor([&] { return progress > 0 && out.Status() == 2; }));
        flushDispatcher();
        EXPECT_EQ(progress, 1);
        EXPECT_EQ(done, 0);
    }
    ASSERT_FALSE(TEventHandler::Running());

    // The last output destroyed from its own OnDone: the dispatcher ends
    // without deadlocking on the call it is making.
    auto doomed = std::make_unique<CountingOut>();
    GenIn finite;
    finite.total = 1000;
    doomed->SetInput(&finite);
    bool destroyed = false;
    doomed->OnDone = [&](TAuOutput*) {
        doomed.reset();
        destroyed = true;
    };
    doomed->Run();
    ASSERT_TRUE(dwtest::waitFor([&] { return destroyed; }));
    EXPECT_FALSE(TEventHandler::Running());
}

TEST(Output, DispatcherIsGoneAfterTheLastOutputAndComesBack)
{
    EXPECT_FALSE(TEventHandler::Running());
    flushDispatcher();
    EXPECT_FALSE(TEventHandler::Running());
}

TEST(Output, RunRightAfterAnAsyncStopKeepsBothRunsApart)
{
    GenIn in;
    in.total = -1;
    in.known = false;
    CountingOut out;
    out.SetInput(&in);
    EventLog log;
    log.attach(out);
    for (int round = 0; round < 5; ++round) {
        out.Run();
        ASSERT_TRUE(dwtest::waitFor([&] { return out.bytes > 0; }));
        out.Stop(true);
        // Start the next run as soon as this one is wound up, without giving
        // the event loop a chance to deliver its OnDone first.
        while (out.IsBusy())
            std::this_thread::yield();
        in.total = round == 4 ? 20000 : -1;
        out.Run();
        EXPECT_TRUE(round == 4 || out.IsBusy());  // the last run is short
        ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') >= 2 * round + 1; }));
        if (round < 4) {
            // The late OnDone of the stopped run leaves the new one running.
            EXPECT_TRUE(out.IsBusy());
            EXPECT_EQ(out.Status(), 0);
            out.Stop(true);
            ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') == 2 * round + 2; }));
        }
    }
    ASSERT_TRUE(dwtest::waitFor([&] { return log.count('d') == 10; }));
    EXPECT_EQ(out.prepares, 10);
    EXPECT_EQ(out.dones, 10);
}
