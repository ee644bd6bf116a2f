#include "cddb/QueryCDDBThread.h"

#include "app/JobEvents.h"
#include "cddb/CDDBInfo.h"

#include "platform/ThreadReaper.h"

#include <mutex>
#include <thread>

namespace dw {

struct TQueryCDDBThread::Shared {
    mutable std::mutex mutex;
    QObject* window = nullptr;  // null once stopped or reported
    TCancelToken cancel;
    bool running = true;
    CddbLookupOutcome outcome;
};

TQueryCDDBThread::TQueryCDDBThread(uint8_t firstTrack, uint8_t lastTrack, int handle, QObject* window,
                                   TCancelToken token)
    : TQueryCDDBThread(
          [=](const std::atomic<bool>* stop) { return RunDriveCddbLookup(handle, firstTrack, lastTrack, -1, stop); },
          window, std::move(token))
{
}

TQueryCDDBThread::TQueryCDDBThread(Lookup lookup, QObject* window, TCancelToken token)
    : shared_(std::make_shared<Shared>())
{
    shared_->window = window;
    shared_->cancel = std::move(token);
    // The thread ends within 200 ms of a stop and is joined off this thread.
    Reap(std::thread([shared = shared_, lookup = std::move(lookup)] {
        CddbLookupOutcome outcome = lookup(shared->cancel.Flag());
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->running = false;
        if (shared->cancel.IsCancelled())
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
        shared_->cancel.Cancel();
}

bool TQueryCDDBThread::Running() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->running && !shared_->cancel.IsCancelled();
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
