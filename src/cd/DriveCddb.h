#pragma once
// The drive library's CDDB functions: options for the next query, the query
// for the disc in an open drive, and the entry text of one match, over the
// HTTP layer (platform/HttpClient.h).
//
// Thread rules: any thread. The options are process-wide (a query takes a copy
// when it starts). CDDBQuery and CDDBGetDiskInfo block for the network; run
// them off the window thread. Both take an optional stop flag: setting it ends
// the request within 200 ms and the call fails (AlCddbStopped). Failures
// are reported through GetAspiLibError/GetAspiLibErrorText.

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

namespace dw {

// Option numbers of CDDBSetOption and what each sets.
enum CddbOption : int {
    CddbOptServer = 0,        // text: server host ("host", "host:port" or "http://host:port")
    CddbOptProxyAddress = 1,  // text: proxy host
    CddbOptUseProxy = 2,      // number: non-zero = use the proxy of options 1 and 5
    CddbOptClient = 3,        // text: client name and version, "name version"
    CddbOptUser = 4,          // text: user address (user@host)
    CddbOptProxyPort = 5,     // number: proxy port
    CddbOptScript = 6,        // text: the query script's path
    CddbOptReserved = 8,      // accepted and ignored
    CddbOptConnectTimeout = 9,  // number: connect time-out in ms (default 10000)
    CddbOptTotalTimeout = 10,   // number: total time-out per request in ms (default 20000)
};

// Stores an option for later queries. 1 when the number is known, else 0.
int CDDBSetOption(int option, const QString& text, int number);
// Every option back to its default (tests, and a fresh lookup).
void CDDBResetOptions();

// One match: 192 bytes holding "category discid title" as NUL-terminated
// UTF-8 (the title cut to fit).
constexpr std::size_t CddbMatchRecordSize = 192;
using CddbMatchRecord = std::array<uint8_t, CddbMatchRecordSize>;
constexpr int CddbMatchListCapacity = 10;

// The match list: count (in: capacity, at most 10; out: matches found) and
// the records.
struct CddbMatchList {
    int32_t count = CddbMatchListCapacity;
    std::array<CddbMatchRecord, CddbMatchListCapacity> matches{};
};

// The text of a match record (category, disc id, title).
QString CddbMatchText(const CddbMatchRecord& record);

// Queries the server for the disc in the drive of the handle (its table of
// contents is read afresh, in minute-second-frame mode). 1 when the server
// answered the query: count is then the number of matches (0 when the server
// knows none, with GetAspiLibError AlCddbNoMatch). 0 when the table, the
// request or the server failed (AlCddbFailed, the text says what), or stopped.
int CDDBQuery(int handle, CddbMatchList& list, const std::atomic<bool>* stop = nullptr);

// Reads the entry of a match into buffer as text lines "KEY=value" (UTF-8,
// NUL-terminated, cut at a line end to fit size). 1 when read.
constexpr int CddbEntryBufferSize = 32000;
int CDDBGetDiskInfo(const CddbMatchRecord& match, std::span<char> buffer, const std::atomic<bool>* stop = nullptr);

}  // namespace dw
