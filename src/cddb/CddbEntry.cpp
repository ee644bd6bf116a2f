#include "cddb/CddbEntry.h"

#include <map>

namespace dw {

namespace {

QString unescape(const QString& raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == '\\' && i + 1 < raw.size()) {
            const QChar n = raw[i + 1];
            if (n == 'n') {
                out += QStringLiteral("\r\n");
                ++i;
                continue;
            }
            if (n == 't' || n == '\\') {
                out += n == 't' ? QChar('\t') : QChar('\\');
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out.trimmed();
}

void append(QString& value, const QString& piece)
{
    if (value.size() < MaxValueChars)
        value += piece.left(MaxValueChars - value.size());
}

// The index of "PREFIXnn", or -1 when the rest is not a track index.
int indexAfter(const QString& key, const QString& prefix)
{
    if (!key.startsWith(prefix) || key.size() == prefix.size() || key.size() > prefix.size() + 2)
        return -1;
    int n = 0;
    for (qsizetype i = prefix.size(); i < key.size(); ++i) {
        if (key[i] < '0' || key[i] > '9')
            return -1;
        n = n * 10 + (key[i].unicode() - '0');
    }
    return n < CddbMaxTracks ? n : -1;
}

QString commentValue(const QString& line, const QString& key)
{
    // "# Disc length: 2710 seconds": the text after the key and its colon.
    return line.mid(key.size() + 1).trimmed();
}

}  // namespace

CddbEntry ParseCddbEntry(const QStringList& lines)
{
    CddbEntry e;
    std::map<int, QString> titles, ext;
    QString dtitle, dyear, dgenre, extd;
    for (const QString& line : lines) {
        if (line.startsWith('#')) {
            if (line.startsWith(QLatin1String("# Generated")))
                e.generatedBy = commentValue(line, QStringLiteral("# Generated")).left(MaxValueChars);
            else if (line.startsWith(QLatin1String("# Disc length")))
                e.discLength = commentValue(line, QStringLiteral("# Disc length")).left(MaxValueChars);
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1);
        if (key == QLatin1String("DTITLE")) {
            append(dtitle, value);
        } else if (key == QLatin1String("DYEAR")) {
            append(dyear, value);
        } else if (key == QLatin1String("DGENRE")) {
            append(dgenre, value);
        } else if (key == QLatin1String("EXTD")) {
            append(extd, value);
        } else if (key.startsWith(QLatin1String("TTITLE"))) {
            ++e.ttitleLines;
            if (const int k = indexAfter(key, QStringLiteral("TTITLE")); k >= 0)
                append(titles[k], value);
        } else if (key.startsWith(QLatin1String("EXTT"))) {
            if (const int k = indexAfter(key, QStringLiteral("EXTT")); k >= 0)
                append(ext[k], value);
        }
    }
    e.dtitle = unescape(dtitle);
    e.dyear = unescape(dyear);
    e.dgenre = unescape(dgenre);
    e.extd = unescape(extd);
    if (!titles.empty()) {
        const int count = titles.rbegin()->first + 1;
        e.ttitles.resize(std::size_t(count));
        e.extt.resize(std::size_t(count));
        for (const auto& [k, v] : titles)
            e.ttitles[std::size_t(k)] = unescape(v);
        for (const auto& [k, v] : ext)
            if (k < count)
                e.extt[std::size_t(k)] = unescape(v);
    }
    return e;
}

SlashParts SplitSlash(const QString& value)
{
    qsizetype p = value.indexOf(QLatin1String(" / "));
    qsizetype width = 3;
    if (p < 0) {
        p = value.indexOf('/');
        width = 1;
    }
    if (p < 0)
        return {QString(), value.trimmed()};
    return {value.left(p).trimmed(), value.mid(p + width).trimmed()};
}

}  // namespace dw
