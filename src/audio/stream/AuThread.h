#pragma once
// The worker thread of one output. It parks until Run wakes it, runs the
// output's Prepare / DoOutput / Done, posts the done event and parks again;
// it ends only when its output is destroyed. The request flags are set by
// the main thread before it signals WakeEvent, and the worker looks at them
// after resetting the event, so a signal given at any moment is never lost
// and the main thread never has to wait for the worker to take it. What the
// main thread may wait for (a run wound up) is counted under StateLock and
// announced through StateChanged.

#include "audio/stream/AutoResetEvent.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace dw {

class TAuOutput;

class TAuThread {
public:
    explicit TAuThread(TAuOutput* output);  // starts the thread
    ~TAuThread();                            // terminates, wakes and joins
    TAuThread(const TAuThread&) = delete;
    TAuThread& operator=(const TAuThread&) = delete;

    void Terminate() { Terminated = true; }
    // Terminates, wakes and joins the worker. Its output must have been
    // stopped (Stop(false)) first, so the worker is parked and ends at once.
    void WaitFor();

    // Main thread: counts a run asked for (under StateLock).
    void RunRequested();
    // Whether every run asked for has been wound up (Done ran, the done
    // event was posted) - the worker is parked or about to park.
    bool AllRunsWoundUp();
    // Main thread: waits until AllRunsWoundUp, running main-thread
    // synchronisation requests meanwhile (the dispatcher may be waiting on
    // one). Bounded by the time the run needs to end once told to stop.
    void WaitAllRunsWoundUp();

    TAuOutput* const Output;
    AutoResetEvent PausedEvent;
    AutoResetEvent WakeEvent;
    std::atomic<bool> DeliverDone{true};
    std::atomic<bool> StopRequest{false};
    std::atomic<bool> PauseRequest{false};
    std::atomic<bool> Paused{false};
    std::atomic<bool> Sleeping{false};
    std::atomic<bool> Terminated{false};
    // Wake reasons: a parked worker runs only when RunPending is set, a
    // paused one continues only on ResumeRequest (or a stop or termination),
    // so a stray signal of WakeEvent cannot start or continue anything.
    std::atomic<bool> RunPending{false};
    std::atomic<bool> ResumeRequest{false};
    // Counts the runs started; events carry it so that the done event of one
    // run never acts on the next.
    std::atomic<uint64_t> RunNumber{0};

private:
    void Execute();
    void park();
    void runWoundUp();

    std::mutex stateLock_;
    std::condition_variable stateChanged_;
    uint64_t requested_ = 0;  // runs asked for by Run
    uint64_t woundUp_ = 0;    // runs the worker has wound up
    std::thread thread_;
};

}  // namespace dw
