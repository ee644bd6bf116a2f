#include "audio/stream/AuThread.h"

#include "audio/stream/AuException.h"
#include "audio/stream/AuOutput.h"
#include "audio/stream/EventHandler.h"
#include "platform/MainThread.h"

#include <chrono>

namespace dw {

TAuThread::TAuThread(TAuOutput* output) : Output(output)
{
    thread_ = std::thread([this] { Execute(); });
}

TAuThread::~TAuThread()
{
    Terminate();
    WaitFor();
}

void TAuThread::WaitFor()
{
    if (!thread_.joinable())
        return;
    // A parked (or paused) worker looks at Terminated after resetting the
    // event, so one signal after setting it is enough.
    Terminate();
    WakeEvent.SetEvent();
    thread_.join();
}

void TAuThread::RunRequested()
{
    std::lock_guard<std::mutex> lock(stateLock_);
    ++requested_;
}

bool TAuThread::AllRunsWoundUp()
{
    std::lock_guard<std::mutex> lock(stateLock_);
    return woundUp_ >= requested_;
}

void TAuThread::runWoundUp()
{
    {
        std::lock_guard<std::mutex> lock(stateLock_);
        ++woundUp_;
    }
    stateChanged_.notify_all();
}

void TAuThread::WaitAllRunsWoundUp()
{
    std::unique_lock<std::mutex> lock(stateLock_);
    while (woundUp_ < requested_) {
        // Sleeps until the worker announces a wound-up run; wakes now and
        // then to serve a Synchronize request the dispatcher may be blocked
        // in (it cannot signal this variable).
        if (stateChanged_.wait_for(lock, std::chrono::milliseconds(2), [this] { return woundUp_ >= requested_; }))
            break;
        lock.unlock();
        CheckSynchronize();
        lock.lock();
    }
}

void TAuThread::park()
{
    WakeEvent.ResetEvent();
    Sleeping = true;
    while (!RunPending && !Terminated)
        WakeEvent.Wait();
    if (RunPending)
        ++RunNumber;
    Sleeping = false;
    RunPending = false;  // after Sleeping: Run waits for this
}

void TAuThread::Execute()
{
    park();  // Run clears StopRequest before waking the worker
    while (!Terminated) {
        TAuOutput* out = Output;
        // Whether the run ends by a stop rather than at the end of its input.
        bool cut = false;
        try {
            bool result = true;
            out->Prepare();
            out->Active = true;
            // PauseRequest was cleared by Run: a Pause made before the
            // worker got here holds.
            Paused = false;
            while (result && !StopRequest) {
                const int32_t progress = out->Progress();
                if (progress != out->LastProgress) {
                    out->LastProgress = progress;
                    // Whether a handler is set is decided on the main thread.
                    TEventHandler::Instance()->Post(TEventHandler::evProgress, out, this);
                }
                if (PauseRequest) {
                    PauseRequest = false;
                    ResumeRequest = false;
                    Paused = true;
                    WakeEvent.ResetEvent();
                    PausedEvent.SetEvent();
                    while (!ResumeRequest && !StopRequest && !Terminated)
                        WakeEvent.Wait();
                    Paused = false;
                }
                const bool abort = StopRequest;
                result = out->DoOutput(abort);
                cut = cut || abort;
            }
            // Left with more to write: a stop ended the loop.
            cut = cut || result;
        } catch (const std::exception& e) {
            out->setExceptionMessage(ExceptionText(e));
            TEventHandler::Instance()->Post(TEventHandler::evThreadException, out, this);
            StopRequest = true;
        } catch (...) {
            // Not a standard exception: still end the run in order rather
            // than leave a dead worker behind.
            out->setExceptionMessage(QStringLiteral("Unknown exception"));
            TEventHandler::Instance()->Post(TEventHandler::evThreadException, out, this);
            StopRequest = true;
        }
        StopRequest = false;
        out->RunStopped = cut;
        try {
            if (out->Busy) {
                out->Active = false;
                out->Done();
                out->Stopped = false;
                out->Busy = false;
            }
        } catch (...) {
            out->Busy = false;
        }
        TEventHandler::Instance()->Post(TEventHandler::evDone, out, this);
        runWoundUp();
        if (!Terminated)
            park();
    }
}

}  // namespace dw
