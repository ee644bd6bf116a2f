#include "cddb/QueryCDDBThread.h"

#include "app/JobEvents.h"
#include "cddb/CDDBInfo.h"

#include <mutex>
#include <thread>
#include <vector>

namespace dw {

struct TQueryCDDBThread::Shared {
    mutable std::mutex mutex;
    QObject* window = nullptr;  // null once stopped or reported
    std::atomic<bool> stop{false};
    bool running = true;
    CddbLookupOutcome outcome;
};

namespace {

// Threads left running by Stop end within 200 ms; the process waits for them
// at its end so none outlives the libraries it uses.
class Reaper {
public:
    void add(std::thread t)
    {
        // One entry per lookup the process started: a handful at most.
        std::lock_guard<std::mutex> lock(mutex_);
        threads_.push_back(std::move(t));
    }
    ~Reaper()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::thread& t : threads_)
            if (t.joinable())
                t.join();
    }

private:
    std::mutex mutex_;
    std::vector<std::thread> threads_;
};

Reaper& reaper()
{
    static Reaper r;
    return r;
}

}  // namespace

TQueryCDDBThread::TQueryCDDBThread(uint8_t firstTrack, uint8_t lastTrack, int handle, QObject* window)
    : TQueryCDDBThread(
          [=](const std::atomic<bool>* stop) { return RunDriveCddbLookup(handle, firstTrack, lastTrack, -1, stop); },
          window)
{
}

TQueryCDDBThread::TQueryCDDBThread(Lookup lookup, QObject* window) : shared_(std::make_shared<Shared>())
{
    shared_->window = window;
    reaper().add(std::thread([shared = shared_, lookup = std::move(lookup)] {
        CddbLookupOutcome outcome = lookup(&shared->stop);
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->running = false;
        if (shared->stop.load())
            return;
        const bool notFound = outcome.kind == CddbLookupOutcome::NotFound;
        const int errorCode = outcome.errorCode;
        shared->outcome = std::move(outcome);
        if (shared->window)
            PostCddbResult(shared->window, notFound ? CDDB_RESULT_NOT_FOUND : CDDB_RESULT_FINISHED, errorCode);
        shared->window = nullptr;
    }));
}

TQueryCDDBThread::~TQueryCDDBThread() { Stop(); }

void TQueryCDDBThread::Stop()
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->window = nullptr;
    if (shared_->running)
        shared_->stop.store(true);
}

bool TQueryCDDBThread::Running() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->running && !shared_->stop.load();
}

CddbLookupOutcome TQueryCDDBThread::Outcome() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->outcome;
}

TQueryCDDBThread::Lookup TQueryCDDBThread::RipperModeLookup(const CddbServer& server, const HttpOptions& http,
                                                           const CddbToc& disc)
{
    return [server, http, disc](const std::atomic<bool>* stop) {
        TCDDBInfo client;
        client.Server = server;
        client.Http = http;
        client.Http.stop = stop;
        return RunRipperCddbLookup(client, disc);
    };
}

}  // namespace dw
