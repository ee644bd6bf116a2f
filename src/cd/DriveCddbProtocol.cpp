#include "cd/DriveCddbProtocol.h"

#include "cd/DriveRecords.h"

#include <QStringDecoder>
#include <QUrl>

namespace dw {

namespace {

constexpr int LeadInFrames = 150;
constexpr int FramesPerSecond = 75;

int digitSum(int64_t n)
{
    int sum = 0;
    for (; n > 0; n /= 10)
        sum += int(n % 10);
    return sum;
}

bool allOf(const QString& s, bool (*ok)(QChar))
{
    for (QChar c : s)
        if (!ok(c))
            return false;
    return true;
}

bool isWordChar(QChar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

bool isHexDigit(QChar c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

CddbToc CddbTocFromDriveToc(const CdToc& toc)
{
    CddbToc out;
    for (const TocEntry& e : toc.entries)
        out.frames.push_back((int64_t(e.minute()) * 60 + e.second()) * FramesPerSecond + e.frame());
    return out;
}

CddbToc CddbTocFromSectors(const std::vector<int64_t>& starts)
{
    CddbToc out;
    for (int64_t s : starts)
        out.frames.push_back(s + LeadInFrames);
    return out;
}

QString CddbDiscId(const CddbToc& toc)
{
    if (!toc.valid())
        return QStringLiteral("ffffffff");
    const int n = toc.trackCount();
    const auto seconds = [&](int i) { return toc.frames[std::size_t(i)] / FramesPerSecond; };
    int64_t sum = 0;
    for (int i = 0; i < n; ++i)
        sum += digitSum(seconds(i));
    const int64_t total = seconds(n) - seconds(0);
    const uint32_t id = (uint32_t(sum % 255) << 24) | (uint32_t(total & 0xffff) << 8) | uint32_t(n & 0xff);
    return QStringLiteral("%1").arg(id, 8, 16, QChar('0'));
}

QString CddbQueryArgs(const CddbToc& toc)
{
    if (!toc.valid())
        return {};
    const int n = toc.trackCount();
    QString args = QString::number(n);
    for (int i = 0; i < n; ++i)
        args += ' ' + QString::number(toc.frames[std::size_t(i)]);
    args += ' ' + QString::number((toc.frames[std::size_t(n)] - toc.frames[0]) / FramesPerSecond);
    return args;
}

std::optional<CddbServer> CddbServerFromText(const QString& text, const QString& script)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.contains(' '))
        return std::nullopt;
    CddbServer server;
    server.script = script.isEmpty() ? server.script : script;
    QString rest = t;
    QString scheme = QStringLiteral("http");
    if (const qsizetype p = t.indexOf(QLatin1String("://")); p >= 0) {
        scheme = t.left(p).toLower();
        rest = t.mid(p + 3);
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
            return std::nullopt;
    }
    const qsizetype slash = rest.indexOf('/');
    QString host = slash < 0 ? rest : rest.left(slash);
    if (host.isEmpty())
        return std::nullopt;
    if (slash >= 0 && slash + 1 < rest.size())
        server.script = rest.mid(slash);
    if (!server.script.startsWith('/'))
        server.script.prepend('/');
    server.base = scheme + QStringLiteral("://") + host;
    return server;
}

QString CddbCommandUrl(const CddbServer& server, const QString& command, const QString& arguments)
{
    // Every part is percent-encoded, so no text can add parameters; "+"
    // stands for the blanks between words. The greeting is the four words
    // servers insist on: user, host, client name, client version.
    const auto enc = [](const QString& s) { return QString::fromLatin1(QUrl::toPercentEncoding(s)); };
    QStringList words = arguments.split(' ', Qt::SkipEmptyParts);
    for (QString& w : words)
        w = enc(w);
    const qsizetype at = server.email.indexOf('@');
    const QString user = at < 0 ? server.email : server.email.left(at);
    const QString host = at < 0 ? QStringLiteral("localhost") : server.email.mid(at + 1);
    const auto word = [&](const QString& s, const char* fallback) {
        return s.trimmed().isEmpty() ? QString::fromLatin1(fallback) : enc(s.trimmed());
    };
    return server.base + server.script + QStringLiteral("?cmd=cddb+") + enc(command) + '+' + words.join('+')
           + QStringLiteral("&hello=") + word(user, "user") + '+' + word(host, "localhost") + '+'
           + word(server.applicationName, "Discwright") + '+' + word(server.applicationVersion, "1.0")
           + QStringLiteral("&proto=5");
}

QString DecodeCddbText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

QStringList CddbLines(const QString& text, int maxLines)
{
    QStringList lines;
    qsizetype start = 0;
    while (start < text.size() && lines.size() < maxLines) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QString line = text.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines << line;
        start = end + 1;
    }
    return lines;
}

QString CddbEntryDamage(const QStringList& entryLines)
{
    for (qsizetype i = 0; i < entryLines.size(); ++i) {
        for (const QChar c : entryLines[i]) {
            const char16_t u = c.unicode();
            if ((u < 0x20 && u != '\t') || u == 0x7F)
                return QStringLiteral("line %1 of the entry holds the control character 0x%2")
                    .arg(i + 1)
                    .arg(unsigned(u), 2, 16, QLatin1Char('0'));
        }
    }
    return {};
}

int CddbLineCode(const QString& line)
{
    if (line.size() < 3)
        return 500;
    for (int i = 0; i < 3; ++i)
        if (!line[i].isDigit() || line[i].unicode() > '9')
            return 500;
    return line.left(3).toInt();
}

CddbQueryScan ScanCddbQuery(const QStringList& lines)
{
    CddbQueryScan scan;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        // A blank line carries no code (the empty end of an answer).
        if (line.trimmed().isEmpty())
            continue;
        scan.code = CddbLineCode(line);
        scan.statusLine = line;
        scan.statusText = line.mid(4).trimmed();
        if (scan.code == 200) {
            if (scan.matches.size() < CddbMaxMatches)
                scan.matches << line.mid(4);
        } else if (scan.code == 210 || scan.code == 211) {
            for (++i; i < lines.size() && !lines[i].startsWith('.'); ++i)
                if (scan.matches.size() < CddbMaxMatches && !lines[i].trimmed().isEmpty())
                    scan.matches << lines[i];
            break;
        }
    }
    return scan;
}

QString CddbAnswerText(int code, const QString& line)
{
    if (line.startsWith(QString::number(code)))
        return QStringLiteral("the server answered %1 %2").arg(code).arg(line.mid(4).trimmed().left(200));
    QString start = line.left(60);
    for (QChar& c : start)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_NotAssigned)
            c = ' ';
    return QStringLiteral("the server's answer is no CDDB response (\"%1\")").arg(start.simplified());
}

std::optional<CddbMatch> ParseCddbMatch(const QString& line)
{
    const QString t = line.trimmed();
    const qsizetype a = t.indexOf(' ');
    if (a <= 0)
        return std::nullopt;
    qsizetype b = t.indexOf(' ', a + 1);
    if (b < 0)
        b = t.size();
    CddbMatch m{t.left(a), t.mid(a + 1, b - a - 1), t.mid(b + 1).trimmed()};
    if (m.category.isEmpty() || m.category.size() > 32 || !allOf(m.category, isWordChar))
        return std::nullopt;
    if (m.discId.isEmpty() || m.discId.size() > 8 || !allOf(m.discId, isHexDigit))
        return std::nullopt;
    return m;
}

}  // namespace dw
