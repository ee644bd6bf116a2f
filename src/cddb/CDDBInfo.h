#pragma once
// The HTTP CDDB client of ripper mode: TCDDBInfo computes the disc id and
// query arguments from the CD input component's table of contents, sends the
// query command and, for the first match, the read command, and keeps the
// entry as a TCDDBAlbum. TCDDBQuery holds the matches and reads any of them.
//
// Thread rules: Query() reads the table of contents through the CD input
// component and so runs on the main thread; it blocks for the network. A
// window runs the network part off its thread instead: it takes the disc with
// ReadDisc() on the main thread and hands it to QueryDisc() on a worker
// (cddb/QueryCDDBThread.h). One object is used by one thread at a time.

#include "cd/DriveCddbProtocol.h"
#include "cddb/CDDBAlbum.h"
#include "platform/HttpClient.h"

#include <QString>
#include <QStringList>

#include <atomic>

namespace dw {

class TCDIn;
class TCDDBInfo;

class TCDDBQuery {
public:
    explicit TCDDBQuery(TCDDBInfo& info) : info_(info) {}

    QStringList Lines;    // the last answer's lines
    QStringList Matches;  // match lines of the last query
    TCDDBAlbum Album;     // kept when a read fails

    // Read command for match i; true when the entry was read and parsed.
    // False (with LastError) for an index outside Matches, a match line that
    // names no category and disc id, or a failed request or read.
    bool ReadMatch(int index);

    // Scans a query answer into Matches; gives the last code seen.
    int ScanQuery(const QByteArray& body);
    // Parses a read answer into Album; false when it is no entry (code 210)
    // or a damaged one (Damage then says why, and Album stays as it was).
    bool ParseRead(const QByteArray& body);
    QString Damage;

private:
    TCDDBInfo& info_;
};

class TCDDBInfo {
public:
    TCDDBInfo();

    // Where the commands go and how.
    CddbServer Server;
    HttpOptions Http;
    TCDIn* CDIn = nullptr;

    // The last query: its disc, its response code (-1 the request failed,
    // -2 the answer had no lines) and what went wrong, for the user.
    QString DiscId = QStringLiteral("ffffffff");
    QString QueryArgs;
    int LastCode = 0;
    QString LastError;

    // Disc id and arguments from CDIn (raises EAuException "CDIn is not
    // assigned" without one), then QueryDisc. Main thread.
    int Query();
    // The disc of CDIn's current drive; empty (id "ffffffff") when no disc is
    // in it or its table of contents cannot be read.
    CddbToc ReadDisc();
    // The query command for the disc (sent even for no disc, as "ffffffff")
    // and, when it names matches, the read command for the first.
    int QueryDisc(const CddbToc& disc);

    TCDDBAlbum Album() const { return Lookup.Album; }
    TCDDBQuery Lookup{*this};
};

}  // namespace dw
