#pragma once
// TQueryCDDBThread: runs a CDDB lookup off the window thread and reports its
// end as a WM_CDDB_RESULT event (app/JobEvents.h) posted to a window on the
// main thread: CDDB_RESULT_NOT_FOUND (6) when the server knows no entry, with
// the drive library's error code, otherwise CDDB_RESULT_FINISHED (7), also
// when the lookup failed (Outcome() then says why).
//
// Stop() ends the lookup at once: the window is forgotten, no event follows,
// and the thread ends by itself within 200 ms (its request is cancelled);
// nothing waits for it. Destroying the object stops it. The lookup watches a
// cancellation token: its own, or one the caller passes (cancelling that
// one is a stop too, and Stop cancels it).
//
// Thread rules: construct, Stop and Outcome on the main thread.

#include "cddb/CddbLookup.h"
#include "platform/CancelToken.h"
#include "platform/HttpClient.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

namespace dw {

class TQueryCDDBThread {
public:
    // The work of one lookup; it must watch the stop flag it is given.
    using Lookup = std::function<CddbLookupOutcome(const std::atomic<bool>* stop)>;

    // Drive mode for the disc of handle (tracks first..last); the drive
    // library's options must be set (SetCddbOptions).
    TQueryCDDBThread(uint8_t firstTrack, uint8_t lastTrack, int handle, QObject* window,
                     TCancelToken token = TCancelToken());
    // Any lookup, e.g. ripper mode through RipperModeLookup.
    TQueryCDDBThread(Lookup lookup, QObject* window, TCancelToken token = TCancelToken());
    ~TQueryCDDBThread();
    TQueryCDDBThread(const TQueryCDDBThread&) = delete;
    TQueryCDDBThread& operator=(const TQueryCDDBThread&) = delete;

    void Stop();
    // True until the result event has been posted (or Stop was called).
    bool Running() const;
    // What the lookup found; complete once the event has arrived.
    CddbLookupOutcome Outcome() const;

    // Ripper mode: the client's settings and a disc read beforehand on the
    // main thread (TCDDBInfo::ReadDisc).
    static Lookup RipperModeLookup(const CddbServer& server, const HttpOptions& http, const CddbToc& disc);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace dw
