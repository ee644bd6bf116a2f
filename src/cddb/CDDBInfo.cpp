#include "cddb/CDDBInfo.h"

#include "audio/stream/AuException.h"
#include "cd/CDIn.h"
#include "cd/RipperLibrary.h"

namespace dw {

TCDDBInfo::TCDDBInfo()
{
    Http.agent = Server.applicationName;
}

CddbToc TCDDBInfo::ReadDisc()
{
    if (!CDIn)
        throw EAuException("CDIn is not assigned");
    CR_SetActiveCDROM(CDIn->GetCurrentDrive());
    int32_t status = 0;
    if (CR_IsMediaLoaded(status) == 0 && status != 0)
        return {};
    if (CR_ReadToc() != 0)
        return {};
    const int n = CR_GetNumTocEntries();
    if (n <= 0 || n > 99)
        return {};
    std::vector<int64_t> starts;
    for (int i = 0; i <= n; ++i)
        starts.push_back(CR_GetTocEntry(i).StartSector);
    return CddbTocFromSectors(starts);
}

int TCDDBInfo::Query()
{
    return QueryDisc(ReadDisc());
}

int TCDDBInfo::QueryDisc(const CddbToc& disc)
{
    DiscId = CddbDiscId(disc);
    QueryArgs = CddbQueryArgs(disc);
    LastError.clear();
    const HttpResult r = HttpGet(CddbCommandUrl(Server, QStringLiteral("query"), DiscId + ' ' + QueryArgs), Http);
    if (!r.ok()) {
        LastError = QStringLiteral("CDDB query: ") + r.error;
        return LastCode = -1;
    }
    LastCode = Lookup.ScanQuery(r.body);
    if (LastCode == -2) {
        LastError = QStringLiteral("CDDB query: the server sent an empty answer");
        return LastCode;
    }
    if (LastCode == 200 || LastCode == 210 || LastCode == 211) {
        if (!Lookup.Matches.isEmpty())
            Lookup.ReadMatch(0);
    } else if (LastCode == 202) {
        LastError = QStringLiteral("no match for disc %1").arg(DiscId);
    } else {
        const CddbQueryScan scan = ScanCddbQuery(Lookup.Lines);
        LastError = QStringLiteral("CDDB query: ") + CddbAnswerText(scan.code, scan.statusLine);
    }
    return LastCode;
}

int TCDDBQuery::ScanQuery(const QByteArray& body)
{
    Lines = CddbLines(DecodeCddbText(body));
    const CddbQueryScan scan = ScanCddbQuery(Lines);
    Matches = scan.matches;
    return scan.code;
}

bool TCDDBQuery::ParseRead(const QByteArray& body)
{
    Damage.clear();
    Lines = CddbLines(DecodeCddbText(body));
    qsizetype i = 0;
    while (i < Lines.size() && Lines[i].trimmed().isEmpty())
        ++i;
    if (i == Lines.size() || CddbLineCode(Lines[i]) != 210)
        return false;
    QStringList entry;
    for (++i; i < Lines.size() && Lines[i] != QLatin1String("."); ++i)
        entry << Lines[i];
    // A damaged entry is refused whole: the album keeps what it held.
    Damage = CddbEntryDamage(entry);
    if (!Damage.isEmpty())
        return false;
    Album = AlbumFromEntry(ParseCddbEntry(entry));
    return true;
}

bool TCDDBQuery::ReadMatch(int index)
{
    if (index < 0 || index >= Matches.size()) {
        info_.LastError = QStringLiteral("no match %1 (the query gave %2)").arg(index + 1).arg(Matches.size());
        return false;
    }
    const std::optional<CddbMatch> m = ParseCddbMatch(Matches[index]);
    if (!m) {
        info_.LastError = QStringLiteral("the match line \"%1\" names no category and disc id").arg(Matches[index].left(80));
        return false;
    }
    const HttpResult r =
        HttpGet(CddbCommandUrl(info_.Server, QStringLiteral("read"), m->category + ' ' + m->discId), info_.Http);
    if (!r.ok()) {
        info_.LastError = QStringLiteral("CDDB read: ") + r.error;
        return false;
    }
    if (!ParseRead(r.body)) {
        const QString first = Lines.isEmpty() ? QString() : Lines.first();
        info_.LastError = !Damage.isEmpty()
                              ? QStringLiteral("CDDB read: the entry of %1 %2 is damaged (%3); nothing of it was taken")
                                    .arg(m->category, m->discId, Damage)
                              : QStringLiteral("CDDB read: ") + CddbAnswerText(CddbLineCode(first), first);
        return false;
    }
    return true;
}

}  // namespace dw
