#include "audio/stream/EventHandler.h"

#include "audio/stream/AuException.h"
#include "audio/stream/AuOutput.h"
#include "audio/stream/AuThread.h"
#include "platform/MainThread.h"

#include <QtGlobal>

#include <algorithm>
#include <chrono>

namespace dw {

namespace {

std::mutex g_instanceLock;
int g_refCount = 0;
std::unique_ptr<TEventHandler> g_owner;          // guarded by g_instanceLock
std::atomic<TEventHandler*> g_instance{nullptr};  // g_owner, readable without the lock

// Senders whose handler is running right now on the main thread (only the
// main thread touches this). A handler may stop or even destroy its own
// output; waiting for its own dispatch to end would then never return.
std::vector<TAuOutput*> g_inHandler;

// Calls a copy of the handler, so that it survives its sender being
// destroyed by the handler itself.
void callHandler(const std::function<void(TAuOutput*)>& handler, TAuOutput* sender)
{
    const std::function<void(TAuOutput*)> h = handler;
    g_inHandler.push_back(sender);
    struct Pop {
        ~Pop() { g_inHandler.pop_back(); }
    } pop;
    h(sender);
}

}  // namespace

void TEventHandler::AddRef()
{
    std::lock_guard<std::mutex> lock(g_instanceLock);
    if (g_refCount++ == 0) {
        g_owner.reset(new TEventHandler());  // private constructor
        g_instance = g_owner.get();
    }
}

void TEventHandler::Release()
{
    std::unique_ptr<TEventHandler> last;
    {
        std::lock_guard<std::mutex> lock(g_instanceLock);
        if (g_refCount == 0)
            return;
        if (--g_refCount == 0) {
            g_instance = nullptr;
            if (!g_inHandler.empty() && IsMainThread()) {
                // The last output went away inside one of its handlers, i.e.
                // while the dispatcher waits for this very call: it cannot be
                // joined here, so it ends and frees itself once the call returns.
                TEventHandler* instance = g_owner.get();
                instance->thread_.detach();
                instance->self_ = std::move(g_owner);
                instance->Terminated = true;
                instance->Signal.SetEvent();
                return;
            }
            last = std::move(g_owner);
        }
    }
    // The destructor ends and joins the dispatcher thread.
}

TEventHandler* TEventHandler::Instance()
{
    return g_instance;
}

bool TEventHandler::Running()
{
    return g_instance.load() != nullptr;
}

TEventHandler::TEventHandler()
{
    thread_ = std::thread([this] {
        Execute();
        // A detached dispatcher owns itself; nothing is touched after this.
        std::unique_ptr<TEventHandler> self = std::move(self_);
    });
}

TEventHandler::~TEventHandler()
{
    Terminated = true;
    Signal.SetEvent();
    // The dispatcher may be waiting for the main thread to run a handler:
    // serve such a request, else sleep until it says it has ended.
    std::unique_lock<std::mutex> lock(QueueLock);
    while (!exited_) {
        if (changed_.wait_for(lock, std::chrono::milliseconds(2), [this] { return exited_.load(); }))
            break;
        lock.unlock();
        CheckSynchronize();
        lock.lock();
    }
    lock.unlock();
    if (thread_.joinable())
        thread_.join();
}

bool TEventHandler::blockedLocked(TAuOutput* sender) const
{
    return std::find(Blocked.begin(), Blocked.end(), sender) != Blocked.end();
}

bool TEventHandler::blocked(TAuOutput* sender)
{
    std::lock_guard<std::mutex> lock(QueueLock);
    return blockedLocked(sender);
}

void TEventHandler::Post(Kind kind, TAuOutput* sender, TAuThread* thread)
{
    {
        std::lock_guard<std::mutex> lock(QueueLock);
        if (blockedLocked(sender))
            return;
        Events.push_back(Record{kind, sender, thread, thread->RunNumber.load()});
    }
    Signal.SetEvent();
}

void TEventHandler::Block(TAuOutput* sender)
{
    std::lock_guard<std::mutex> lock(QueueLock);
    Blocked.push_back(sender);
    purgeLocked(sender);
}

void TEventHandler::Unblock(TAuOutput* sender)
{
    std::lock_guard<std::mutex> lock(QueueLock);
    auto it = std::find(Blocked.begin(), Blocked.end(), sender);
    if (it != Blocked.end())
        Blocked.erase(it);
}

void TEventHandler::Purge(TAuOutput* sender)
{
    std::lock_guard<std::mutex> lock(QueueLock);
    purgeLocked(sender);
}

void TEventHandler::purgeLocked(TAuOutput* sender, uint64_t upToRun)
{
    Events.erase(std::remove_if(Events.begin(), Events.end(),
                                [sender, upToRun](const Record& r) { return r.sender == sender && r.run <= upToRun; }),
                 Events.end());
}

void TEventHandler::WaitUntilNotDispatching(TAuOutput* sender)
{
    if (std::find(g_inHandler.begin(), g_inHandler.end(), sender) != g_inHandler.end())
        return;  // called from the sender's own handler: its record ends with it
    // The record under way is either waiting for the main thread (served
    // here; the sender is refused, so its handler is skipped) or about to
    // end; the dispatcher announces the end.
    std::unique_lock<std::mutex> lock(QueueLock);
    while (CurrentSender == sender) {
        if (changed_.wait_for(lock, std::chrono::milliseconds(2), [&] { return CurrentSender != sender; }))
            break;
        lock.unlock();
        CheckSynchronize();
        lock.lock();
    }
}

void TEventHandler::Execute()
{
    while (!Terminated) {
        for (;;) {
            Record rec{};
            {
                std::lock_guard<std::mutex> lock(QueueLock);
                if (Events.empty() || Terminated)
                    break;
                rec = Events.front();
                Events.pop_front();
                CurrentSender = rec.sender;
            }
            dispatch(rec);
            {
                std::lock_guard<std::mutex> lock(QueueLock);
                CurrentSender = nullptr;
            }
            changed_.notify_all();
        }
        Signal.WaitFor(std::chrono::milliseconds(100));
    }
    {
        std::lock_guard<std::mutex> lock(QueueLock);
        exited_ = true;
    }
    changed_.notify_all();
}

void TEventHandler::dispatch(const Record& rec)
{
    TAuOutput* sender = rec.sender;
    TAuThread* thread = rec.thread;
    // Handlers are looked up on the main thread, where they are set, and
    // skipped when the sender was refused meanwhile (Stop(false) or its
    // destruction is under way there).
    std::function<void()> call;
    switch (rec.kind) {
    case evProgress:
        call = [this, sender] {
            if (!blocked(sender) && sender->OnProgress)
                callHandler(sender->OnProgress, sender);
        };
        break;
    case evThreadException:
        call = [this, sender] {
            if (!blocked(sender) && sender->OnThreadException)
                callHandler(sender->OnThreadException, sender);
        };
        break;
    case evDone:
        // The run is over only when the worker is parked again (or has
        // already been started on the next run from the main thread).
        while (!thread->Sleeping && thread->RunNumber == rec.run && !Terminated && !blocked(sender))
            Signal.WaitFor(std::chrono::milliseconds(10));
        if (Terminated || blocked(sender))
            return;
        // Busy was cleared by the worker when it wound the run up; clearing it
        // here as well could wipe out a Run that the main thread has just made.
        {
            // No stale progress of this run after OnDone; a next run keeps its events.
            std::lock_guard<std::mutex> lock(QueueLock);
            purgeLocked(sender, rec.run);
        }
        call = [this, sender, thread] {
            if (!blocked(sender) && thread->DeliverDone && sender->OnDone)
                callHandler(sender->OnDone, sender);
        };
        break;
    }
    try {
        Synchronize(call);
    } catch (const std::exception& e) {
        qWarning("Exception in an output event handler: %s", e.what());
    } catch (...) {
        qWarning("Unknown exception in an output event handler");
    }
}

}  // namespace dw
