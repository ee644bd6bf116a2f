#pragma once
// The ID3v1 container of the stream framework: the seven fields of the
// 128-byte trailer, and reading and writing that trailer through an open
// file descriptor. (The MP3 files the system tags go through Tid3tag, which
// replaces a trailer in place; this container's WriteToFile always appends.)

#include "tags/AuTags.h"

#include <array>

namespace dw {

// The ID3v1 genre names in genre-number order (0..147) as this container
// names them. The tag editor's list (GenreNames) spells some differently.
extern const std::array<const char*, 148> Id3v1GenreNames;

class TId3v1Tags : public TAuTags {
public:
    TId3v1Tags();

    QByteArray Title() const { return textOf("title"); }
    QByteArray Artist() const { return textOf("artist"); }
    QByteArray Album() const { return textOf("album"); }
    QByteArray Comment() const { return textOf("comment"); }
    // The year as a number (0 for none or for a text that is no number).
    uint16_t Year() const { return static_cast<uint16_t>(AsInteger("year")); }
    // The year as the trailer holds it ("0000", "199?"), or the number set.
    QByteArray YearText() const { return AsString("year"); }
    uint8_t Track() const { return static_cast<uint8_t>(AsInteger("track")); }
    // The "genre" value; 12 ("Other") for anything of 148 or more.
    uint8_t GenreId() const;
    // The name of GenreId.
    QString Genre() const;

    void SetTitle(const QByteArray& v) { SetValue("title", v); }
    void SetArtist(const QByteArray& v) { SetValue("artist", v); }
    void SetAlbum(const QByteArray& v) { SetValue("album", v); }
    void SetComment(const QByteArray& v) { SetValue("comment", v); }
    void SetYear(uint16_t v) { SetValue("year", v); }
    void SetYearText(const QByteArray& v) { SetValue("year", v); }
    void SetTrack(uint8_t v) { SetValue("track", v); }
    void SetGenreId(uint8_t v) { SetValue("genre", v); }
    // Trims name and looks it up among the names ignoring case; a name that
    // is not in the list changes nothing.
    void SetGenre(const QString& name);

    // Whether the last 128 bytes begin with "TAG"; the position is kept.
    bool CheckFile(int fd) override;
    // Clear, then the fields from the trailer (texts read as ISO-8859-1; the
    // year kept as its text).
    bool ReadFromFile(int fd) override;
    // Appends a trailer at the end of the file (an existing one is not
    // looked for). A failed write cuts the file back to its old length.
    bool WriteToFile(int fd, bool unicode) override;

private:
    // A string value as it is; any other kind reads as empty.
    QByteArray textOf(const char* key) const;
};

}  // namespace dw
