#pragma once
// A whole CDDB lookup as the query command runs it, for the lookup window's
// query thread and the command line alike.
//
// Drive mode: the drive library's options set from the settings, its query
// for the disc in the open drive, then the entries of the matches in order
// until one names track titles. Ripper mode: the HTTP client for a disc read
// beforehand on the main thread.
//
// Thread rules: the lookups block for the network and run on any thread; they
// only read and write what they are given (never the settings record or the
// track list). SetCddbOptions runs where the settings live (main thread).

#include "app/Settings.h"
#include "cd/DriveCddb.h"
#include "cd/DriveCddbProtocol.h"
#include "cddb/CddbDiscValues.h"

#include <QString>
#include <QStringList>

#include <atomic>

namespace dw {

// The drive library's options from the stored options (section QueryCDDB): server,
// script, user address, client, and the proxy when UseProxy is on.
void SetCddbOptions(const TStoredOptions& options);

// The HTTP client set up from the same settings: server and script, the
// proxy when UseProxy is on. False (and the client unchanged) when the
// Server setting names no usable server.
class TCDDBInfo;
bool ConfigureCddbClient(TCDDBInfo& client, const TStoredOptions& options);

struct CddbLookupOutcome {
    enum Kind { Finished, NotFound, Failed, Stopped };
    Kind kind = Failed;
    QString error;       // what failed (Failed, Stopped), or why nothing matched
    int errorCode = 0;   // the drive library's error code
    QString discId;      // "ffffffff" when the disc could not be read
    QStringList matches; // "category discid title" per match
    int chosen = -1;     // index of the match whose entry was taken
    CddbEntry entry;     // that entry
    CddbMatchList records; // drive mode: the drive library's records of the matches
    bool hasValues = false;
    CddbDiscValues values;
};

// The match argument of RunDriveCddbLookup for a lookup that lets the user
// choose: the query alone when the server gives several matches (Finished,
// chosen -1, no values; ReadDriveCddbMatch reads the one chosen), the entry
// at once when it gives one.
inline constexpr int CddbChooseMatch = -2;

// Drive mode for the disc in the drive of handle with tracks first..last.
// match: the index of the one match to read; -1 reads the matches in order
// until one names track titles; CddbChooseMatch as above.
CddbLookupOutcome RunDriveCddbLookup(int handle, int firstTrack, int lastTrack, int match = -1,
                                     const std::atomic<bool>* stop = nullptr);

// Drive mode, second step after CddbChooseMatch: reads the entry of match
// (an index into query.matches) without asking the server again. The result
// keeps the disc id and the matches of query.
CddbLookupOutcome ReadDriveCddbMatch(const CddbLookupOutcome& query, int match, int firstTrack, int lastTrack,
                                     const std::atomic<bool>* stop = nullptr);

// Ripper mode for a disc read before (TCDDBInfo::ReadDisc), with the server
// and request settings of the client.
CddbLookupOutcome RunRipperCddbLookup(TCDDBInfo& client, const CddbToc& disc);

}  // namespace dw
