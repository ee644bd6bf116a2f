#pragma once
// HTTP GET over libcurl, for the CDDB clients.
//
// A request blocks its caller, so it belongs on a worker thread, never on the
// window thread. It is bounded in every direction: a connect time-out, a
// total time-out (a server that trickles one byte a second still ends), a
// cap on the response size, and a stop flag that ends it within 200 ms.
//
// Thread rules: HttpGet may be called from any number of threads at once;
// each call owns its own libcurl handle.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>

namespace dw {

struct HttpOptions {
    QString agent;               // User-Agent
    // An explicit proxy; without one the system's proxy (http_proxy,
    // no_proxy) applies.
    QString proxyHost;           // empty = none
    int proxyPort = 80;
    int connectTimeoutMs = 10000;
    int totalTimeoutMs = 20000;
    int64_t maxBytes = 1 << 20;  // larger bodies fail
    // Set (by any thread) to end the request; null = cannot be stopped.
    const std::atomic<bool>* stop = nullptr;
};

enum class HttpFailure {
    None,
    BadUrl,        // not a URL libcurl takes
    Resolve,       // the host (or proxy) name cannot be resolved
    Refused,       // nobody accepts connections there
    TimedOut,      // connect or total time-out
    HttpStatus,    // the server answered with a status of 400 or above
    TooLarge,      // the body passed maxBytes
    Stopped,       // the stop flag was set
    Transfer,      // anything else: reset connection, protocol error, ...
};

struct HttpResult {
    HttpFailure failure = HttpFailure::None;
    long status = 0;       // HTTP status, 0 when none arrived
    QByteArray body;       // what arrived (also on failure, up to maxBytes)
    QString error;         // what failed, for the user; empty on success

    bool ok() const { return failure == HttpFailure::None; }
};

HttpResult HttpGet(const QString& url, const HttpOptions& options = {});

}  // namespace dw
