#pragma once
// Writes an ID3v2.4 tag at the start of an MP3 file through TagLib: the
// common text fields and user text (TXXX) frames such as the ReplayGain
// values. Frames not named in the request are kept (an older ID3v2.2/2.3
// tag is upgraded to 2.4); the ID3v1 trailer and any APE tag stay as they
// are; all text is written as UTF-8.
//
// Data safety: TagLib rewrites a file in place, so the tag is never written
// on the file itself. The file is copied through TOutputFile into a hidden
// temporary in the same folder, TagLib writes the copy, and only a complete,
// successfully saved copy is renamed over the original (which the rename
// replaces atomically). Any failure leaves the original untouched and
// removes the copy. A symbolic link is followed: the file it points to gets
// the tag and the link stays. The copy takes the original's permissions.
//
// Thread-safe for different files (no shared state).

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace dw {

struct TId3v24Fields {
    // For each field: nullopt leaves the frame as it is, an empty text
    // removes it, anything else replaces it.
    std::optional<QString> title;    // TIT2
    std::optional<QString> artist;   // TPE1
    std::optional<QString> album;    // TALB
    std::optional<QString> date;     // TDRC ("2001", "2001-05-30")
    std::optional<QString> genre;    // TCON, as a name
    std::optional<QString> comment;  // COMM, language "eng", empty description
    // TRCK as "track" or "track/total" (total 0 = not known); track 0
    // removes the frame. Numbers above 9999 are refused.
    std::optional<std::pair<int, int>> track;
    // TXXX frames by description (e.g. "REPLAYGAIN_TRACK_GAIN"): each
    // replaces every TXXX frame of that description; an empty value
    // removes them.
    std::vector<std::pair<QString, QString>> userTexts;
};

// Writes the fields into the MP3 file at path. False with *error set
// ("<path>: <reason>") when the file cannot be read, is not an MP3 file (no
// MPEG audio frame found), or the tagged copy cannot be written or renamed.
bool WriteId3v24(const QString& path, const TId3v24Fields& fields, QString* error = nullptr);

}  // namespace dw
