#pragma once
// The ID3v1 tag of an MP3 file: reads, writes and removes the 128-byte
// trailer that begins with "TAG" at the very end of the file.
//
// Text fields are single-byte ISO-8859-1 in the file (the trailer has no
// encoding field): a character outside it is written as "?" and counts as
// one of the field's characters.
//
// Only MP3 files are written (judged by content, see CheckId3v1Target): the
// last 128 bytes of any other format are its own, and a trailer appended to
// a FLAC, Ogg or WAV stream damages it.
//
// Writing never touches the audio before the trailer: an existing trailer
// is replaced where it is, otherwise 128 bytes are appended; when the write
// fails the file is put back as it was (the append cut off again, the old
// trailer written back). The file keeps its inode, owner, mode and links.
//
// Results are a 16-bit status word: below 256 is success (the low byte holds
// warnings), the high byte is the error class. ErrorText() then names the
// file and the system's reason.
//
// Not thread-safe; one owner (the main thread). A file is open only during
// one call.

#include <QString>

#include <cstdint>

namespace dw {

class Tid3tag {
public:
    enum Status : uint16_t {
        Done = 0x0000,
        WarnGenre = 0x0080,    // ReadTag: genre byte above 147 and not 255
        ErrOpen = 0x0100,      // the file does not exist or cannot be opened
        ErrReadOnly = 0x0200,  // SaveTag: the file is write-protected
        ErrRead = 0x0300,
        ErrWrite = 0x0400,
        ErrIo = 0x0500,        // another input/output error
        ErrNotMp3 = 0x0600,    // SaveTag, RemoveTag: not an MP3 file by its content
        ErrNoTag = 0x1000,     // ReadTag: no trailer
    };
    static bool Succeeded(uint16_t status) { return status < 0x0100; }
    static constexpr int kTextChars = 30;
    static constexpr int kYearChars = 4;
    static constexpr uint8_t kNoGenre = 255;

    // Loads every field from the trailer of path. FileName := path once the
    // file is open; on ErrNoTag the fields are unchanged.
    uint16_t ReadTag(const QString& path);
    // Writes the fields as the trailer of path ("=" means FileName).
    // FileName := path on success.
    uint16_t SaveTag(const QString& path);
    // Cuts the trailer off FileName; does nothing when there is none, the
    // file is write-protected, or anything fails.
    void RemoveTag() { (void)RemoveTagStatus(); }
    // RemoveTag with its outcome: Done, ErrNoTag (nothing to remove),
    // ErrOpen, ErrReadOnly, ErrRead or ErrIo.
    uint16_t RemoveTagStatus();

    // "<path>: <reason>" of the last operation that did not succeed.
    const QString& ErrorText() const { return error_; }

    bool HasTrack() const { return hasTrack_; }
    // Set by ReadTag: the file is write-protected (no write permission bit,
    // or this process may not write it).
    bool ReadOnly() const { return readOnly_; }
    const QString& FileName() const { return fileName_; }
    const QString& Title() const { return title_; }
    const QString& Artist() const { return artist_; }
    const QString& Album() const { return album_; }
    const QString& Comment() const { return comment_; }
    const QString& Year() const { return year_; }
    uint8_t Genre() const { return genre_; }
    uint8_t Track() const { return track_; }

    // Each keeps at most its field's characters of v.
    void SetTitle(const QString& v);
    void SetArtist(const QString& v);
    void SetAlbum(const QString& v);
    void SetComment(const QString& v);
    void SetYear(const QString& v);
    // Track := v; HasTrack := v != 0.
    void SetTrack(uint8_t v);
    void SetGenre(uint8_t v) { genre_ = v; }

private:
    uint16_t failWith(uint16_t status, uint16_t errorClass, const QString& path, int err);
    uint16_t writeProtectedError(const QString& path);

    bool hasTrack_ = false;
    bool readOnly_ = false;
    QString fileName_;
    QString title_, artist_, album_, comment_, year_;
    uint8_t genre_ = kNoGenre;
    uint8_t track_ = 0;
    QString error_;
};

}  // namespace dw
