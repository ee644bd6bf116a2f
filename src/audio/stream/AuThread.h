#pragma once
// The worker thread of one output. It parks until Run wakes it, runs the
// output's Prepare / DoOutput / Done, posts the done event and parks again;
// it ends only when its output is destroyed. The flags are written by one
// side and polled by the other.

#include "audio/stream/AutoResetEvent.h"

#include <atomic>
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
    void WaitFor();

    TAuOutput* const Output;
    AutoResetEvent PausedEvent;
    AutoResetEvent WakeEvent;
    std::atomic<bool> DeliverDone{true};
    std::atomic<bool> Finished{false};
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

    std::atomic<bool> exited_{false};
    std::thread thread_;
};

}  // namespace dw
