#pragma once
// The one process-wide dispatcher of output events. Workers post progress,
// done and thread-exception records; the dispatcher thread delivers them in
// order on the main thread (through dw::Synchronize). It exists while at
// least one output exists.

#include "audio/stream/AutoResetEvent.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace dw {

class TAuOutput;
class TAuThread;

class TEventHandler {
public:
    enum Kind : uint8_t { evProgress = 0, evDone = 1, evThreadException = 2 };

    // Reference counting by the outputs; the last Release ends the thread.
    static void AddRef();
    static void Release();
    // The dispatcher, or nullptr when no output exists.
    static TEventHandler* Instance();
    // Whether the dispatcher thread is running (for tests and diagnostics).
    static bool Running();

    // From a worker: queue an event unless its sender is refused.
    void Post(Kind kind, TAuOutput* sender, TAuThread* thread);
    // Main thread: refuse and purge the sender's events (Stop(false)).
    void Block(TAuOutput* sender);
    // Main thread: waits until no record of sender is being dispatched,
    // running main-thread synchronisation requests meanwhile. Call it after
    // Block(sender): the record under way then ends without its handler.
    void WaitUntilNotDispatching(TAuOutput* sender);
    // Main thread: accept the sender's events again.
    void Unblock(TAuOutput* sender);
    // Drops every queued event of sender.
    void Purge(TAuOutput* sender);

    TEventHandler(const TEventHandler&) = delete;
    TEventHandler& operator=(const TEventHandler&) = delete;
    ~TEventHandler();

private:
    struct Record {
        Kind kind;
        TAuOutput* sender;
        TAuThread* thread;
        uint64_t run;  // the worker's run number when posted
    };

    TEventHandler();
    void Execute();
    void dispatch(const Record& rec);
    bool blocked(TAuOutput* sender);
    bool blockedLocked(TAuOutput* sender) const;
    void purgeLocked(TAuOutput* sender, uint64_t upToRun = UINT64_MAX);

    std::deque<Record> Events;
    std::mutex QueueLock;
    AutoResetEvent Signal;
    // Outputs whose events are refused (one entry per Stop(false) or
    // destruction under way; nested stops of different outputs can overlap).
    std::vector<TAuOutput*> Blocked;
    TAuOutput* CurrentSender = nullptr;  // sender of the record being dispatched
    // Announces (under QueueLock) that CurrentSender was cleared or the
    // dispatcher has ended.
    std::condition_variable changed_;
    std::atomic<bool> Terminated{false};
    std::atomic<bool> exited_{false};
    std::unique_ptr<TEventHandler> self_;  // set when detached: frees itself on exit
    std::thread thread_;
};

}  // namespace dw
