#pragma once
// Base of every sink. An output owns a worker thread that runs its whole
// chain: Prepare once (it must call Input->Init() and open the destination),
// DoOutput(abort) while it returns true, Done once (it must call
// Input->Flush() and close the destination). DoOutput pulls one portion from
// Input, writes it and returns false when the input is exhausted; with abort
// true it must finish at once and return false.
//
// OnProgress, OnDone and OnThreadException are called on the main thread
// (through the one process-wide dispatcher). Exceptions on the worker never
// leave it: the message goes to ExceptionMessage, OnThreadException is
// delivered, then the run is wound up and OnDone follows - unless Stop(false)
// intervened, after which no event of that run arrives.
//
// Threads: Run, Stop, Pause, Resume, Status, Progress and SetInput are called
// from the main thread; Prepare, DoOutput and Done run on the worker.
//
// Destruction: a concrete output's destructor must begin with Stop(false), so
// that the worker is parked before the derived part goes away. The base
// destructor stops again (harmless) and ends the worker.
//
// Waiting on the main thread: Run, Stop(true), Resume and SetInput on an
// idle output return at once. Only Stop(false) (also in the destructors and
// in SetInput on a busy output) and Pause wait for the worker, after telling
// it what to do, and only as long as it takes to finish the DoOutput under
// way (with abort set, when stopping) and, when stopping, Done.

#include "audio/stream/AuInput.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace dw {

class TAuOutput;
class TAuThread;

using TOutputDoneEvent = std::function<void(TAuOutput* sender)>;
using TOutputProgressEvent = std::function<void(TAuOutput* sender)>;
using TThreadExceptionEvent = std::function<void(TAuOutput* sender)>;

class TAuOutput : private TAuInputLinkHolder {
public:
    TAuOutput();
    ~TAuOutput() override;
    TAuOutput(const TAuOutput&) = delete;
    TAuOutput& operator=(const TAuOutput&) = delete;

    // While Busy: Stop(false), change the link, Run again.
    virtual void SetInput(TAuInput* input);
    TAuInput* GetInput() const { return Input; }

    // Starts a run and returns at once, without waiting for the worker.
    // Raises EAuException "Component is Busy" during a run and "Input is not
    // assigned" without an input.
    void Run();
    // Asks the worker to end the run. Async: returns at once, OnDone follows.
    // Not async: returns when the worker is parked again, and no event of this
    // run is delivered afterwards.
    void Stop(bool async = true);
    void Pause();
    void Resume();

    // 0 running, 1 paused, 2 idle.
    int Status() const;
    // Percent of the input consumed; -1 when the input cannot tell its size.
    int32_t Progress() const;

    bool IsBusy() const { return Busy; }
    bool IsActive() const { return Active; }
    bool IsStopped() const { return Stopped; }
    QString GetExceptionMessage() const;

    // Handlers, called on the main thread with this output as the sender.
    // Set them from the main thread.
    TOutputDoneEvent OnDone;
    TOutputProgressEvent OnProgress;
    TThreadExceptionEvent OnThreadException;

protected:
    virtual bool DoOutput(bool abort) = 0;
    virtual void Done() = 0;
    virtual void Prepare() = 0;
    // Called by Run on the main thread once the run is accepted, before the
    // worker is woken: what describes the last run is reset here, so it
    // never tells of an earlier run, however early this one ends.
    virtual void RunStarting() {}

    // For a failure found while Done winds the run up (a file that cannot be
    // finished or put in place): stores the message and delivers
    // OnThreadException as for a failure during the run, so the owner learns
    // of it before OnDone. Called on the worker thread from Done only.
    void ReportWindUpFailure(const QString& message);

    std::atomic<bool> Stopped{false};
    // Whether the run that Done winds up was cut short by a stop (the input
    // was not read to its end). Written by the worker before Done; read in
    // Done only.
    bool RunStopped = false;
    QString ExceptionMessage;  // guarded by messageLock_
    std::atomic<bool> Active{false};
    int32_t LastProgress = 0;
    std::unique_ptr<TAuThread> Thread;
    TAuInput* Input = nullptr;
    std::atomic<bool> Busy{false};
    std::recursive_mutex RunLock;

private:
    friend class TAuThread;
    friend class TEventHandler;

    void InputRemoved(TAuInput* input) override;
    void setExceptionMessage(const QString& message);
    void linkInput(TAuInput* input);

    mutable std::mutex messageLock_;
};

}  // namespace dw
