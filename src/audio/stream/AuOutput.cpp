#include "audio/stream/AuOutput.h"

#include "audio/stream/AuException.h"
#include "audio/stream/AuThread.h"
#include "audio/stream/EventHandler.h"
#include "platform/MainThread.h"

#include <chrono>
#include <cmath>

namespace dw {

TAuOutput::TAuOutput()
{
    TEventHandler::AddRef();
    Thread = std::make_unique<TAuThread>(this);
}

TAuOutput::~TAuOutput()
{
    Stop(false);
    // Refuse this output's events for good: its address may be reused.
    TEventHandler* dispatcher = TEventHandler::Instance();
    if (dispatcher) {
        dispatcher->Block(this);
        dispatcher->WaitUntilNotDispatching(this);
    }
    Thread.reset();  // terminates, wakes and joins the worker
    if (dispatcher)
        dispatcher->Unblock(this);
    if (Input)
        Input->RemoveLinkHolder(this);
    TEventHandler::Release();
}

void TAuOutput::InputRemoved(TAuInput* input)
{
    if (Input == input)
        Input = nullptr;
}

void TAuOutput::linkInput(TAuInput* input)
{
    if (input == Input)
        return;
    if (Input)
        Input->RemoveLinkHolder(this);
    Input = input;
    if (Input)
        Input->AddLinkHolder(this);
}

void TAuOutput::SetInput(TAuInput* input)
{
    if (Busy) {
        Stop(false);
        linkInput(input);
        Run();
    } else {
        linkInput(input);
    }
}

QString TAuOutput::GetExceptionMessage() const
{
    std::lock_guard<std::mutex> lock(messageLock_);
    return ExceptionMessage;
}

void TAuOutput::setExceptionMessage(const QString& message)
{
    std::lock_guard<std::mutex> lock(messageLock_);
    ExceptionMessage = message;
}

void TAuOutput::ReportWindUpFailure(const QString& message)
{
    setExceptionMessage(message);
    TEventHandler::Instance()->Post(TEventHandler::evThreadException, this, Thread.get());
}

int32_t TAuOutput::Progress() const
{
    TAuInput* input = Input;
    if (!input)
        return 0;
    const int64_t size = input->GetSize();
    if (size == -1)
        return -1;
    if (size == 0)
        return 0;
    const double percent = static_cast<double>(input->GetPosition()) / static_cast<double>(size) * 100.0;
    return static_cast<int32_t>(std::nearbyint(percent));
}

int TAuOutput::Status() const
{
    if (!Busy)
        return 2;
    return Thread && Thread->Paused && !Thread->ResumeRequest ? 1 : 0;
}

void TAuOutput::Run()
{
    std::lock_guard<std::recursive_mutex> lock(RunLock);
    setExceptionMessage(QString());
    if (Busy)
        throw EAuException("Component is Busy");
    if (!Input)
        throw EAuException("Input is not assigned");
    RunStarting();
    Busy = true;
    // Returns at once: a worker still winding up the previous run (its Busy
    // is already clear) or not yet parked finds the request when it parks,
    // and a Stop before it takes the request ends the new run at its start.
    Thread->RunRequested();
    Thread->StopRequest = false;
    Thread->PauseRequest = false;
    Thread->PausedEvent.ResetEvent();
    Thread->RunPending = true;
    Thread->WakeEvent.SetEvent();
}

void TAuOutput::Stop(bool async)
{
    Stopped = true;
    if (!Thread)
        return;
    Thread->DeliverDone = async;
    Thread->StopRequest = true;
    // A paused worker looks at StopRequest once woken; one about to pause
    // looks at it before it waits. A parked or running one is left alone
    // (waking it for nothing costs the caller a switch to it).
    if (Thread->Paused)
        Thread->WakeEvent.SetEvent();
    if (async)
        return;
    TEventHandler* dispatcher = TEventHandler::Instance();
    if (dispatcher)
        dispatcher->Block(this);
    // Told to stop, the worker ends its DoOutput at once and winds the run
    // up (Done closes the destination): that, no more, is waited for.
    Thread->WaitAllRunsWoundUp();
    if (dispatcher) {
        // An event of this run already taken by the dispatcher is dropped on
        // delivery; wait for it so that nothing of this run arrives later.
        dispatcher->WaitUntilNotDispatching(this);
        dispatcher->Unblock(this);
    }
    Thread->DeliverDone = true;
}

void TAuOutput::Pause()
{
    if (!Input)
        throw EAuException("Input is not assigned.");
    if (Busy) {
        Thread->PauseRequest = true;
        // At most 5 s for the worker to park; given up early when the run
        // ends first, and serving the main-thread requests a worker may be
        // waiting on meanwhile.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(5000);
        while (!Thread->PausedEvent.WaitFor(std::chrono::milliseconds(5))) {
            CheckSynchronize();
            if (!Busy || std::chrono::steady_clock::now() >= deadline)
                break;
        }
        Input->Pause();
    }
}

void TAuOutput::Resume()
{
    if (Busy && Thread->Paused) {
        if (Input)
            Input->Resume();
        // The paused worker looks at ResumeRequest once woken; Status
        // counts it as running from now on.
        Thread->ResumeRequest = true;
        Thread->WakeEvent.SetEvent();
    }
}

}  // namespace dw
