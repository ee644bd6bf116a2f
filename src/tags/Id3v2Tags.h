#pragma once
// The ID3v2 container of the stream framework: twelve text slots under
// their ID3v2.2 frame names ("TAL", ...) and their ID3v2.3 names ("TALB",
// ...), 24 keys in all, and reading and writing a tag at the start of a file
// through an open file descriptor.
//
// Reading accepts versions 2.2, 2.3 and 2.4 and text in ISO-8859-1, UTF-16
// (with or without a byte-order mark), UTF-16BE and UTF-8. Sizes are checked
// against the file before anything is read: a tag larger than the file is
// refused, a frame larger than what is left of the tag ends the frames, and
// no more than one text frame (at most kMaxTextFrame bytes) is held in
// memory at a time.

#include "tags/AuTags.h"

#include <array>

namespace dw {

class TId3v2Tags : public TAuTags {
public:
    enum class Slot { Album, Artist, Genre, Title, Track, Year, Comment, Composer, Encoder, Copyright, Language, Link };
    static constexpr int kSlots = 12;
    // Text frames larger than this are skipped when reading.
    static constexpr uint32_t kMaxTextFrame = 1u << 20;

    // The frame name of a slot in ID3v2.3 (v23 true) or ID3v2.2.
    static QString FrameName(Slot slot, bool v23);

    TId3v2Tags();

    // Whether the accessors use the ID3v2.3 names; set by ReadFromFile.
    bool V23Frames() const { return v23Frames_; }
    void SetV23Frames(bool v) { v23Frames_ = v; }

    QString Artist() const { return AsWideString(key(Slot::Artist)); }
    QString Album() const { return AsWideString(key(Slot::Album)); }
    QString Genre() const { return AsWideString(key(Slot::Genre)); }
    QString Title() const { return AsWideString(key(Slot::Title)); }
    QString Comment() const { return AsWideString(key(Slot::Comment)); }
    QString Composer() const { return AsWideString(key(Slot::Composer)); }
    QString Encoder() const { return AsWideString(key(Slot::Encoder)); }
    QString Copyright() const { return AsWideString(key(Slot::Copyright)); }
    QString Language() const { return AsWideString(key(Slot::Language)); }
    QString Link() const { return AsWideString(key(Slot::Link)); }
    QByteArray Year() const { return AsString(key(Slot::Year)); }
    QByteArray Track() const { return AsString(key(Slot::Track)); }

    void SetArtist(const QString& v) { SetValue(key(Slot::Artist), v); }
    void SetAlbum(const QString& v) { SetValue(key(Slot::Album), v); }
    void SetGenre(const QString& v) { SetValue(key(Slot::Genre), v); }
    void SetTitle(const QString& v) { SetValue(key(Slot::Title), v); }
    void SetComment(const QString& v) { SetValue(key(Slot::Comment), v); }
    void SetComposer(const QString& v) { SetValue(key(Slot::Composer), v); }
    void SetEncoder(const QString& v) { SetValue(key(Slot::Encoder), v); }
    void SetCopyright(const QString& v) { SetValue(key(Slot::Copyright), v); }
    void SetLanguage(const QString& v) { SetValue(key(Slot::Language), v); }
    void SetLink(const QString& v) { SetValue(key(Slot::Link), v); }
    void SetYear(const QByteArray& v) { SetValue(key(Slot::Year), v); }
    void SetTrack(const QByteArray& v) { SetValue(key(Slot::Track), v); }

    // Whether a valid tag header is at the current position (kept).
    bool CheckFile(int fd) override;
    // Clear, then the text frames of the tag at the current position (the
    // comment frame is not read). Leaves the position after the tag.
    bool ReadFromFile(int fd) override;
    // Prepends a version 2.4 tag with the slots in order under the ID3v2.3
    // names (comment skipped; the first empty slot ends the frames) and
    // 1..16 bytes of padding. With unicode, wide values are written as UTF-8
    // (encoding 3); everything else as ISO-8859-1 (encoding 0). The space is
    // reserved before the content is moved up; a failure while moving puts
    // the old content back.
    bool WriteToFile(int fd, bool unicode) override;

    // The tag bytes WriteToFile puts before the content.
    QByteArray BuildTag(bool unicode) const;

private:
    QString key(Slot s) const { return FrameName(s, v23Frames_); }

    bool v23Frames_ = true;
};

}  // namespace dw
