#include "cd/DriveCddb.h"

#include "cd/DriveCddbProtocol.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "platform/HttpClient.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace dw {

namespace {

struct CddbOptions {
    QString server = QStringLiteral("gnudb.gnudb.org");
    QString script = QStringLiteral("/~cddb/cddb.cgi");
    QString user = QStringLiteral("user@host.example");
    QString client = QStringLiteral("Discwright 1.0");
    bool useProxy = false;
    QString proxyAddress;
    int proxyPort = 80;
    int connectTimeoutMs = 10000;
    int totalTimeoutMs = 20000;
};

std::mutex optionsMutex;
CddbOptions& options()
{
    static CddbOptions o;
    return o;
}

CddbOptions currentOptions()
{
    std::lock_guard<std::mutex> lock(optionsMutex);
    return options();
}

int fail(int code, const QString& text)
{
    SetAspiLibError(code, text);
    return 0;
}

int failRequest(const HttpResult& r, const QString& what)
{
    if (r.failure == HttpFailure::Stopped)
        return fail(AlCddbStopped, QStringLiteral("the CDDB %1 was stopped").arg(what));
    return fail(AlCddbFailed, QStringLiteral("CDDB %1: %2").arg(what, r.error));
}

// The server and request settings of a query, from the options.
bool prepare(const CddbOptions& o, CddbServer& server, HttpOptions& http, const std::atomic<bool>* stop)
{
    const std::optional<CddbServer> s = CddbServerFromText(o.server, o.script);
    if (!s)
        return false;
    server = *s;
    server.email = o.user;
    const QString client = o.client.trimmed();
    const qsizetype blank = client.lastIndexOf(' ');
    server.applicationName = blank < 0 ? client : client.left(blank).trimmed();
    server.applicationVersion = blank < 0 ? QString() : client.mid(blank + 1);
    http.agent = server.applicationName.isEmpty() ? QStringLiteral("Discwright") : server.applicationName;
    if (o.useProxy && !o.proxyAddress.trimmed().isEmpty()) {
        http.proxyHost = o.proxyAddress.trimmed();
        http.proxyPort = o.proxyPort;
    }
    http.connectTimeoutMs = o.connectTimeoutMs;
    http.totalTimeoutMs = o.totalTimeoutMs;
    http.stop = stop;
    return true;
}

void storeMatch(const QString& text, CddbMatchRecord& record)
{
    record.fill(0);
    QByteArray bytes = text.toUtf8();
    // Cut on a character boundary, leaving room for the NUL.
    qsizetype n = std::min<qsizetype>(bytes.size(), qsizetype(record.size()) - 1);
    while (n > 0 && n < bytes.size() && (uint8_t(bytes[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(record.data(), bytes.constData(), std::size_t(n));
}

}  // namespace

int CDDBSetOption(int option, const QString& text, int number)
{
    std::lock_guard<std::mutex> lock(optionsMutex);
    CddbOptions& o = options();
    switch (option) {
    case CddbOptServer: o.server = text.trimmed(); return 1;
    case CddbOptProxyAddress: o.proxyAddress = text.trimmed(); return 1;
    case CddbOptUseProxy: o.useProxy = number != 0; return 1;
    case CddbOptClient: o.client = text; return 1;
    case CddbOptUser: o.user = text.trimmed(); return 1;
    case CddbOptProxyPort: o.proxyPort = number > 0 && number <= 65535 ? number : 80; return 1;
    case CddbOptScript: o.script = text.trimmed(); return 1;
    case CddbOptReserved: return 1;
    case CddbOptConnectTimeout: o.connectTimeoutMs = std::clamp(number, 1, 600000); return 1;
    case CddbOptTotalTimeout: o.totalTimeoutMs = std::clamp(number, 1, 3600000); return 1;
    default: return 0;
    }
}

void CDDBResetOptions()
{
    std::lock_guard<std::mutex> lock(optionsMutex);
    options() = CddbOptions{};
}

QString CddbMatchText(const CddbMatchRecord& record)
{
    const auto end = std::find(record.begin(), record.end(), uint8_t(0));
    return QString::fromUtf8(reinterpret_cast<const char*>(record.data()), qsizetype(end - record.begin()));
}

int CDDBQuery(int handle, CddbMatchList& list, const std::atomic<bool>* stop)
{
    const int capacity = std::clamp<int>(list.count, 0, CddbMatchListCapacity);
    list.count = 0;
    for (CddbMatchRecord& r : list.matches)
        r.fill(0);
    const CddbOptions o = currentOptions();
    CddbServer server;
    HttpOptions http;
    if (!prepare(o, server, http, stop))
        return fail(AlCddbFailed, QStringLiteral("CDDB server name \"%1\" is not usable").arg(o.server));

    if (ModifyCDParms(handle, CdParmMsf, 1) == 0)
        return 0;
    TocRecord record{};
    if (ReadTOC(handle, record) != 1)
        return 0;
    QString why;
    const std::optional<CdToc> toc = DecodeToc(record, &why);
    if (!toc)
        return fail(AlBadToc, why);
    const CddbToc disc = CddbTocFromDriveToc(*toc);

    const QString args = CddbDiscId(disc) + ' ' + CddbQueryArgs(disc);
    const HttpResult r = HttpGet(CddbCommandUrl(server, QStringLiteral("query"), args), http);
    if (!r.ok())
        return failRequest(r, QStringLiteral("query"));
    const CddbQueryScan scan = ScanCddbQuery(CddbLines(DecodeCddbText(r.body)));
    if (scan.code == 202) {
        SetAspiLibError(AlCddbNoMatch, QStringLiteral("no match for disc %1").arg(CddbDiscId(disc)));
        return 1;
    }
    if (scan.code != 200 && scan.code != 210 && scan.code != 211) {
        if (scan.code == -2)
            return fail(AlCddbFailed, QStringLiteral("CDDB query: the server sent an empty answer"));
        return fail(AlCddbFailed, QStringLiteral("CDDB query: ") + CddbAnswerText(scan.code, scan.statusLine));
    }
    for (const QString& line : scan.matches) {
        if (list.count >= capacity)
            break;
        const std::optional<CddbMatch> m = ParseCddbMatch(line);
        if (!m)
            continue;
        storeMatch(m->category + ' ' + m->discId + ' ' + m->title, list.matches[std::size_t(list.count)]);
        ++list.count;
    }
    if (list.count == 0)
        SetAspiLibError(AlCddbNoMatch, QStringLiteral("no usable match for disc %1").arg(CddbDiscId(disc)));
    else
        SetAspiLibError(AlNoError);
    return 1;
}

int CDDBGetDiskInfo(const CddbMatchRecord& match, std::span<char> buffer, const std::atomic<bool>* stop)
{
    if (!buffer.empty())
        buffer[0] = 0;
    if (buffer.size() < 2)
        return fail(AlBadRecord, QStringLiteral("the entry buffer is too small"));
    const std::optional<CddbMatch> m = ParseCddbMatch(CddbMatchText(match));
    if (!m)
        return fail(AlBadRecord, QStringLiteral("the match record holds no category and disc id"));
    const CddbOptions o = currentOptions();
    CddbServer server;
    HttpOptions http;
    if (!prepare(o, server, http, stop))
        return fail(AlCddbFailed, QStringLiteral("CDDB server name \"%1\" is not usable").arg(o.server));
    const HttpResult r = HttpGet(CddbCommandUrl(server, QStringLiteral("read"), m->category + ' ' + m->discId), http);
    if (!r.ok())
        return failRequest(r, QStringLiteral("read"));
    const QStringList lines = CddbLines(DecodeCddbText(r.body));
    // The first line says whether the entry follows (210); the entry ends at ".".
    qsizetype i = 0;
    while (i < lines.size() && lines[i].trimmed().isEmpty())
        ++i;
    if (i == lines.size())
        return fail(AlCddbFailed, QStringLiteral("CDDB read: the server sent an empty answer"));
    const int code = CddbLineCode(lines[i]);
    if (code != 210)
        return fail(AlCddbFailed, QStringLiteral("CDDB read: ") + CddbAnswerText(code, lines[i]));
    QStringList entry;
    for (++i; i < lines.size() && lines[i] != QLatin1String("."); ++i)
        entry << lines[i];
    // A damaged entry changes nothing: none of it reaches the buffer.
    if (const QString damage = CddbEntryDamage(entry); !damage.isEmpty())
        return fail(AlCddbFailed, QStringLiteral("CDDB read: the entry of %1 %2 is damaged (%3); nothing of it was taken")
                                      .arg(m->category, m->discId, damage));
    QByteArray text;
    for (const QString& entryLine : entry) {
        const QByteArray line = entryLine.toUtf8() + '\n';
        if (text.size() + line.size() >= qsizetype(buffer.size()))
            break;  // a whole line or none: what fits is a partial entry
        text += line;
    }
    std::memcpy(buffer.data(), text.constData(), std::size_t(text.size()));
    buffer[std::size_t(text.size())] = 0;
    SetAspiLibError(AlNoError);
    return 1;
}

}  // namespace dw
