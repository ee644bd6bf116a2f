#pragma once
// The CDDB protocol pieces both CDDB clients share (the drive library's CDDB
// functions below and the HTTP client of the cddb layer above): the disc id
// and query arguments of a table of contents, the command URL, the decoding
// and line splitting of a server's answer, the scan of a query answer and the
// match lines it lists.
//
// Everything here is pure and may be called from any thread. Answers come from
// the network: every function bounds what it keeps.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace dw {

struct CdToc;

// A disc as the CDDB protocol sees it: the frame offset (sector number plus
// the 150-sector lead-in) of each track, then of the lead-out. Empty when no
// disc could be read.
struct CddbToc {
    std::vector<int64_t> frames;
    int trackCount() const { return frames.size() < 2 ? 0 : int(frames.size()) - 1; }
    bool valid() const { return trackCount() > 0; }
};

// From a drive-library table of contents read in minute-second-frame mode.
CddbToc CddbTocFromDriveToc(const CdToc& toc);
// From sector numbers (lead-in not counted) of the tracks, then the lead-out.
CddbToc CddbTocFromSectors(const std::vector<int64_t>& starts);

// The disc id: 8 lowercase hexadecimal digits; "ffffffff" for no disc.
QString CddbDiscId(const CddbToc& toc);
// The track count, each track's frame offset and the disc length in seconds
// (lead-out minus first track), separated by blanks; empty for no disc.
QString CddbQueryArgs(const CddbToc& toc);

// Where and as whom the commands go.
struct CddbServer {
    QString base = QStringLiteral("http://gnudb.gnudb.org");  // scheme://host[:port]
    QString script = QStringLiteral("/~cddb/cddb.cgi");
    QString email = QStringLiteral("user@host.example");
    QString applicationName = QStringLiteral("Discwright");
    QString applicationVersion = QStringLiteral("v1.0");
};

// A server as the settings or a command line name it: "host", "host:port",
// "http://host[:port]" or a whole URL whose path replaces the script.
// Nullopt when the text cannot name a server (empty, blanks, another scheme).
std::optional<CddbServer> CddbServerFromText(const QString& text, const QString& script);

// The URL of a command ("query" or "read") with its arguments:
// {base}{script}?cmd=cddb+{command}+{args, blanks as +}&hello={user}+{host}+{name}+{version}&proto=5
// with user and host from the e-mail address, each part percent-encoded.
QString CddbCommandUrl(const CddbServer& server, const QString& command, const QString& arguments);

// A server's answer as text: UTF-8 when the bytes are valid UTF-8, otherwise
// Latin-1 (what older servers send).
QString DecodeCddbText(const QByteArray& bytes);

// The answer's lines (LF or CR LF), at most maxLines; a last line without
// its line end counts.
constexpr int CddbMaxLines = 10000;
QStringList CddbLines(const QString& text, int maxLines = CddbMaxLines);

// Why the lines of an entry (what a read answer sends between its 210 line
// and the closing ".") cannot be taken; empty when they can. A NUL byte or
// another control character (tabs aside) means the entry was damaged on its
// way: whatever follows it may be missing or garbled, so the entry is
// refused whole rather than applied in part. Names the first such line.
QString CddbEntryDamage(const QStringList& entryLines);

// The code of a response line: its first three characters as a number; 500
// when they are not three digits.
int CddbLineCode(const QString& line);

// What a query answer says: the last code seen, the text of the line that
// carried it, and the match lines (200: the line less its code; 210/211: the
// lines up to the one that begins with "."). code is -2 when no line came.
constexpr int CddbMaxMatches = 100;
struct CddbQueryScan {
    int code = -2;
    QString statusLine;  // the whole line that carried the code
    QString statusText;
    QStringList matches;
};
CddbQueryScan ScanCddbQuery(const QStringList& lines);

// What a server said, for an error message: "answered <code> <text>", or
// for an answer that is no CDDB response at all, its start (control
// characters as blanks, at most 60 characters).
QString CddbAnswerText(int code, const QString& line);

// A match line: category, disc id, and the rest (usually "artist / title").
// Only categories of letters, digits, "_" and "-" and disc ids of hexadecimal
// digits pass, so a server cannot put anything else into the read URL.
struct CddbMatch {
    QString category;
    QString discId;
    QString title;
};
std::optional<CddbMatch> ParseCddbMatch(const QString& line);

}  // namespace dw
