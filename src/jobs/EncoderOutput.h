#pragma once
// Turning what the encoder programs print into progress: line splitting,
// column extraction and the three parsers (lame encoding, lame decoding, the
// WMA tool). Pure text work; the wrappers feed them and post the results.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace dw {

// Splits the bytes a child prints into lines. CR, LF and CR LF all end a line;
// lines that are blank once trimmed are dropped. A line whose end has not
// arrived yet is held back and completed by the next chunk (a read can cut a
// line anywhere), or handed out by flush() once the child has ended.
class LineSplitter {
public:
    // A held-back line longer than this is handed out as it is.
    static constexpr qsizetype MaxHeldLine = 64 * 1024;

    QStringList feed(const QByteArray& bytes);
    QStringList flush();
    void reset() { tail_.clear(); }

private:
    QByteArray tail_;
};

// "take n at c": the n characters starting at 1-based column c (fewer at the
// end of the line, none past it), trimmed of blanks and control characters.
QString TakeColumns(const QString& line, int count, int column);

// A strict decimal integer (optional sign), or nothing.
std::optional<int> ParseDecimal(const QString& text);

struct ProgressUpdate {
    int32_t code = 0;   // 1..100
    QString elapsed;    // minutes:seconds
    QString estimated;  // minutes:seconds
};

// lame while encoding: the percentage sits in a fixed column, found from the
// first line that holds "%", with lame's own elapsed and estimated texts in
// columns 21..28 and 30..37.
class LameEncodeParser {
public:
    std::vector<ProgressUpdate> parse(const QStringList& lines);
    int progressColumn() const { return progressColumn_; }
    void reset() { progressColumn_ = 0; }

private:
    int progressColumn_ = 0;
};

// lame --decode: "#" followed by a 6-character frame counter, one character
// and a 6-character frame total. elapsedSeconds is the time since the child
// started; the texts are computed from it.
class LameDecodeParser {
public:
    std::vector<ProgressUpdate> parse(const QStringList& lines, int64_t elapsedSeconds);
    int progressColumn() const { return progressColumn_; }
    void reset() { progressColumn_ = 0; }

private:
    int progressColumn_ = 0;
};

// The WMA tool: a line with "100%" is the completed file, a line with "ERROR"
// a failure; parsing of the chunk stops at the error line.
struct WmaParseResult {
    std::vector<ProgressUpdate> progress;
    std::optional<QString> errorLine;
};
WmaParseResult ParseWmaOutput(const QStringList& lines, int64_t elapsedSeconds);

}  // namespace dw
