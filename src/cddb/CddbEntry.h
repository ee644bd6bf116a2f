#pragma once
// A CDDB entry ("KEY=value" lines, as the read command sends them) as its
// values: the disc's title, year, genre and extended data, and per track the
// title and extended data.
//
// Entries come from the network. A value may be spread over several lines
// with the same key; the pieces are joined in order (a long title is not a
// track of its own). Track numbers beyond 99, keys without a number and
// lines without "=" are ignored; every value is cut at MaxValueChars.

#include <QString>
#include <QStringList>

#include <vector>

namespace dw {

struct CddbEntry {
    QString generatedBy;   // "# Generated:" comment
    QString discLength;    // "# Disc length:" comment
    QString dtitle;        // "artist / album"
    QString dyear;
    QString dgenre;
    QString extd;
    // By track index from 0 (TTITLE0 = the disc's first track); as many as
    // the highest index that has a TTITLE line, plus one.
    std::vector<QString> ttitles;
    std::vector<QString> extt;  // same indexes; only where EXTT lines came
    int ttitleLines = 0;        // lines with a TTITLE key
};

constexpr int CddbMaxTracks = 99;
constexpr int MaxValueChars = 4096;

// Values are unescaped (\n becomes CR LF, \t a tab, \\ a backslash) and
// trimmed of blanks.
CddbEntry ParseCddbEntry(const QStringList& lines);

// A "artist / title" text in its two parts: split at the first " / ", else
// at the first "/", both parts trimmed. Without a slash the artist is empty
// and the title the whole text.
struct SlashParts {
    QString before;
    QString after;
};
SlashParts SplitSlash(const QString& value);

}  // namespace dw
