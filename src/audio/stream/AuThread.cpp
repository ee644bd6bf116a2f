#include "audio/stream/AuThread.h"

#include "audio/stream/AuException.h"
#include "audio/stream/AuOutput.h"
#include "audio/stream/EventHandler.h"

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
    // A parked worker only notices the termination when woken.
    while (!exited_) {
        WakeEvent.SetEvent();
        if (exited_)
            break;
        std::this_thread::yield();
    }
    thread_.join();
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
            PauseRequest = false;
            Paused = false;
            PausedEvent.ResetEvent();
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
        Finished = true;
        if (!Terminated)
            park();
    }
    exited_ = true;
}

}  // namespace dw
