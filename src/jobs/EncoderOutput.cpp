#include "jobs/EncoderOutput.h"

#include "app/JobEvents.h"

namespace dw {

namespace {

bool isBlankOrControl(QChar c) { return c.unicode() <= 0x20 || c.unicode() == 0x7f; }

QString trimControl(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlankOrControl(s[b]))
        ++b;
    while (e > b && isBlankOrControl(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

void appendLine(QStringList& out, const QByteArray& bytes)
{
    QString line = QString::fromUtf8(bytes);
    if (!trimControl(line).isEmpty())
        out.append(line);
}

}  // namespace

QStringList LineSplitter::feed(const QByteArray& bytes)
{
    QStringList out;
    QByteArray data = tail_ + bytes;
    tail_.clear();
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n')
            continue;
        appendLine(out, data.mid(start, i - start));
        if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    // A CR at the very end may be the first half of CR LF; the next chunk's
    // leading LF then only ends an empty line, which is dropped anyway.
    tail_ = data.mid(start);
    // A child that never ends its line is not buffered without bound.
    if (tail_.size() > MaxHeldLine) {
        appendLine(out, tail_);
        tail_.clear();
    }
    return out;
}

QStringList LineSplitter::flush()
{
    QStringList out;
    appendLine(out, tail_);
    tail_.clear();
    return out;
}

QString TakeColumns(const QString& line, int count, int column)
{
    if (count <= 0 || column < 1 || column > line.size())
        return {};
    return trimControl(line.mid(column - 1, count));
}

std::optional<int> ParseDecimal(const QString& text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return v;
}

std::vector<ProgressUpdate> LameEncodeParser::parse(const QStringList& lines)
{
    std::vector<ProgressUpdate> out;
    for (const QString& line : lines) {
        const qsizetype pct = line.indexOf('%');
        if (pct < 0)
            continue;
        if (progressColumn_ == 0) {
            // 1-based column of the "%", less three: the three characters
            // before it hold the number (or "(" and two digits).
            progressColumn_ = static_cast<int>(pct + 1) - 3;
            if (progressColumn_ < 1)
                progressColumn_ = 1;
        }
        QString s = TakeColumns(line, 3, progressColumn_);
        if (s.startsWith('('))
            s = s.mid(1);
        s = trimControl(s);
        if (s.endsWith('%'))
            s.chop(1);
        const int p = ParseDecimal(s).value_or(0);
        if (p < 1 || p > 100)
            continue;
        out.push_back({p, TakeColumns(line, 8, 21), TakeColumns(line, 8, 30)});
    }
    return out;
}

std::vector<ProgressUpdate> LameDecodeParser::parse(const QStringList& lines, int64_t elapsedSeconds)
{
    std::vector<ProgressUpdate> out;
    for (const QString& line : lines) {
        if (progressColumn_ == 0) {
            const qsizetype hash = line.indexOf('#');
            if (hash >= 0)
                progressColumn_ = static_cast<int>(hash + 1) + 1;
        }
        if (progressColumn_ == 0)
            continue;
        const int a = ParseDecimal(TakeColumns(line, 6, progressColumn_)).value_or(-1);
        const int b = ParseDecimal(TakeColumns(line, 6, progressColumn_ + 7)).value_or(-1);
        if (a == -1 || b == -1 || b <= 0)
            continue;
        const int64_t p = static_cast<int64_t>(a) * 100 / b;
        if (p < 1 || p > 100)
            continue;
        const auto code = static_cast<int32_t>(p);
        out.push_back({code, FormatMinutesSeconds(elapsedSeconds),
                       FormatMinutesSeconds(EstimatedTotalSeconds(elapsedSeconds, code))});
    }
    return out;
}

WmaParseResult ParseWmaOutput(const QStringList& lines, int64_t elapsedSeconds)
{
    WmaParseResult r;
    for (const QString& line : lines) {
        if (line.contains(QLatin1String("ERROR"))) {
            r.errorLine = line;
            break;
        }
        if (line.contains(QLatin1String("100%"))) {
            const int64_t e = elapsedSeconds < 1 ? 1 : elapsedSeconds;
            r.progress.push_back({100, FormatMinutesSeconds(e), FormatMinutesSeconds(e)});
        }
    }
    return r;
}

}  // namespace dw
