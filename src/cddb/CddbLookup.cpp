#include "cddb/CddbLookup.h"

#include "cd/DriveCddb.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "cddb/CDDBInfo.h"

#include <vector>

namespace dw {

namespace {

// The placeholder address servers are greeted with.
const char* const CddbUserAddress = "user@discwright.invalid";

QString discIdOf(int handle)
{
    TocRecord record{};
    if (ModifyCDParms(handle, CdParmMsf, 1) == 0 || ReadTOC(handle, record) != 1)
        return QStringLiteral("ffffffff");
    const std::optional<CdToc> toc = DecodeToc(record);
    return toc ? CddbDiscId(CddbTocFromDriveToc(*toc)) : QStringLiteral("ffffffff");
}

}  // namespace

void SetCddbOptions(const TStoredOptions& s)
{
    CDDBSetOption(CddbOptServer, s.Server, 0);
    CDDBSetOption(CddbOptScript, s.Script, 0);
    CDDBSetOption(CddbOptUser, QString::fromLatin1(CddbUserAddress), 0);
    CDDBSetOption(CddbOptClient, QStringLiteral("Discwright 1.0"), 0);
    CDDBSetOption(CddbOptReserved, QString(), 0);
    CDDBSetOption(CddbOptUseProxy, QString(), s.UseProxy ? 1 : 0);
    if (s.UseProxy) {
        bool ok = false;
        const int port = s.Port.trimmed().toInt(&ok);
        CDDBSetOption(CddbOptProxyPort, QString(), ok ? port : 80);
        CDDBSetOption(CddbOptProxyAddress, s.ProxyAddress, 0);
    }
}

bool ConfigureCddbClient(TCDDBInfo& client, const TStoredOptions& s)
{
    const std::optional<CddbServer> server = CddbServerFromText(s.Server, s.Script);
    if (!server)
        return false;
    client.Server.base = server->base;
    client.Server.script = server->script;
    client.Server.email = QString::fromLatin1(CddbUserAddress);
    client.Http.proxyHost.clear();
    if (s.UseProxy && !s.ProxyAddress.trimmed().isEmpty()) {
        bool ok = false;
        const int port = s.Port.trimmed().toInt(&ok);
        client.Http.proxyHost = s.ProxyAddress.trimmed();
        client.Http.proxyPort = ok && port > 0 && port <= 65535 ? port : 80;
    }
    return true;
}

namespace {

// Reads the entries of matches from..to-1 of out.records in order until one
// names track titles (or, with any set, the first that can be read).
void readMatches(CddbLookupOutcome& out, int from, int to, bool any, int firstTrack, int lastTrack,
                 const std::atomic<bool>* stop)
{
    const int rows = lastTrack >= firstTrack ? lastTrack - firstTrack + 1 : 0;
    std::vector<char> buffer(CddbEntryBufferSize);
    out.kind = CddbLookupOutcome::Finished;
    for (int i = from; i < to; ++i) {
        if (CDDBGetDiskInfo(out.records.matches[std::size_t(i)], buffer, stop) != 1) {
            // A match whose entry cannot be read is skipped; the reason stays.
            out.errorCode = GetAspiLibError();
            out.error = GetAspiLibErrorText();
            if (out.errorCode == AlCddbStopped) {
                out.kind = CddbLookupOutcome::Stopped;
                return;
            }
            continue;
        }
        const CddbEntry entry = ParseCddbEntry(CddbLines(QString::fromUtf8(buffer.data())));
        if (entry.ttitles.empty() && !any)
            continue;
        out.chosen = i;
        out.entry = entry;
        out.values = DiscValuesFromDriveEntry(entry, rows);
        out.hasValues = true;
        out.error.clear();
        out.errorCode = 0;
        return;
    }
    if (any)
        out.kind = CddbLookupOutcome::Failed;
}

CddbLookupOutcome noSuchMatch(CddbLookupOutcome out, int match)
{
    out.kind = CddbLookupOutcome::Failed;
    out.error = QStringLiteral("no match %1: the server gave %2").arg(match + 1).arg(out.records.count);
    return out;
}

}  // namespace

CddbLookupOutcome RunDriveCddbLookup(int handle, int firstTrack, int lastTrack, int match,
                                     const std::atomic<bool>* stop)
{
    CddbLookupOutcome out;
    out.discId = discIdOf(handle);
    CddbMatchList& list = out.records;
    if (CDDBQuery(handle, list, stop) != 1) {
        list.count = 0;
        out.errorCode = GetAspiLibError();
        out.kind = out.errorCode == AlCddbStopped ? CddbLookupOutcome::Stopped : CddbLookupOutcome::Failed;
        out.error = GetAspiLibErrorText();
        return out;
    }
    for (int i = 0; i < list.count; ++i)
        out.matches << CddbMatchText(list.matches[std::size_t(i)]);
    if (list.count == 0) {
        out.kind = CddbLookupOutcome::NotFound;
        out.errorCode = GetAspiLibError();
        out.error = GetAspiLibErrorText();
        return out;
    }
    if (match == CddbChooseMatch) {
        if (list.count > 1) {
            out.kind = CddbLookupOutcome::Finished;
            return out;
        }
        match = 0;
    }
    if (match >= list.count)
        return noSuchMatch(std::move(out), match);
    if (match < 0)
        readMatches(out, 0, list.count, false, firstTrack, lastTrack, stop);
    else
        readMatches(out, match, match + 1, true, firstTrack, lastTrack, stop);
    return out;
}

CddbLookupOutcome ReadDriveCddbMatch(const CddbLookupOutcome& query, int match, int firstTrack, int lastTrack,
                                     const std::atomic<bool>* stop)
{
    CddbLookupOutcome out;
    out.discId = query.discId;
    out.matches = query.matches;
    out.records = query.records;
    if (match < 0 || match >= out.records.count)
        return noSuchMatch(std::move(out), match);
    readMatches(out, match, match + 1, true, firstTrack, lastTrack, stop);
    return out;
}

CddbLookupOutcome RunRipperCddbLookup(TCDDBInfo& client, const CddbToc& disc)
{
    CddbLookupOutcome out;
    const int code = client.QueryDisc(disc);
    out.discId = client.DiscId;
    out.matches = client.Lookup.Matches;
    if (client.Http.stop && client.Http.stop->load()) {
        out.kind = CddbLookupOutcome::Stopped;
        out.error = QStringLiteral("the CDDB query was stopped");
        return out;
    }
    if (code == 202 || ((code == 200 || code == 210 || code == 211) && out.matches.isEmpty())) {
        out.kind = CddbLookupOutcome::NotFound;
        out.error = client.LastError;
        return out;
    }
    if (code != 200 && code != 210 && code != 211) {
        out.kind = CddbLookupOutcome::Failed;
        out.error = client.LastError;
        return out;
    }
    out.kind = client.LastError.isEmpty() ? CddbLookupOutcome::Finished : CddbLookupOutcome::Failed;
    out.error = client.LastError;
    if (out.kind == CddbLookupOutcome::Finished) {
        out.chosen = 0;
        out.values = DiscValuesFromAlbum(client.Album());
        out.hasValues = true;
    }
    return out;
}

}  // namespace dw
