#pragma once
// Showing, changing and removing the ID3v1 tag of an MP3 file in one call
// each, for front ends that only parse their input and print (the command
// line's "tag show", "tag set" and "tag remove"). The checks of the values
// and the reading of the existing tag before a change live here.
//
// Main thread; each call opens the file only for its own duration.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace dw {

struct TId3v1Fields {
    QString title, artist, album, year, comment;
    int track = 0;    // 0: none
    int genre = 255;  // the ID3v1 genre byte; 255: none
};

struct TId3v1Outcome {
    uint16_t status = 0;  // Tid3tag's status word
    bool badInput = false;  // a value given was refused; nothing was read or written
    QString message;      // "<file>: <reason>" (or the refused value) when !ok()
    QStringList notes;    // what was changed on the way (texts cut, characters replaced)
    bool ok() const { return !badInput && status < 0x0100; }
    bool noTag() const { return status == 0x1000; }
};

// The tag of path. A file without a tag gives status 0x1000 (noTag()) and
// the fields of an empty tag.
TId3v1Outcome ReadId3v1(const QString& path, TId3v1Fields& fields);

// Changes to make; a field that is not set keeps its value from the file.
struct TId3v1Changes {
    std::optional<QString> title, artist, album, year, comment;
    std::optional<QString> track;  // "0".."255"; "0" or "" removes it
    std::optional<QString> genre;  // a name (either list, any case), a number 0..147 or 255, "" or "none"
};

// Reads the tag of path (an empty one when there is none), applies the
// changes and writes it back. fields, when given, receives what was written.
TId3v1Outcome ChangeId3v1(const QString& path, const TId3v1Changes& changes, TId3v1Fields* fields = nullptr);

// Cuts the tag off path. A file without a tag gives status 0x1000 and is
// left alone.
TId3v1Outcome RemoveId3v1(const QString& path);

// The genre list name of an ID3v1 genre byte; empty for 255 and unknown bytes.
QString Id3v1GenreDisplayName(int genre);
// A genre as given by a user: a name of the genre list or of the ID3v1 list
// (ignoring case and surrounding blanks), a number 0..147 or 255, or "" or
// "none" for no genre. False when it is none of these.
bool ParseId3v1Genre(const QString& text, int& genre);

}  // namespace dw
