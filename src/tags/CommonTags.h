#pragma once
// The common container: the few fields every scheme has, filled by the
// readers from their own scheme (the Vorbis reader from the comments). Each
// starts as an empty ANSI string. No file operations.

#include "tags/AuTags.h"

namespace dw {

class TCommonTags : public TAuTags {
public:
    TCommonTags();

    QString Artist() const { return AsWideString("Artist"); }
    QString Title() const { return AsWideString("Title"); }
    QString Album() const { return AsWideString("Album"); }
    QString Genre() const { return AsWideString("Genre"); }
    QByteArray Year() const { return AsString("Year"); }
    QByteArray Track() const { return AsString("Track"); }

    void SetArtist(const QString& v) { SetValue("Artist", v); }
    void SetTitle(const QString& v) { SetValue("Title", v); }
    void SetAlbum(const QString& v) { SetValue("Album", v); }
    void SetGenre(const QString& v) { SetValue("Genre", v); }
    void SetYear(const QByteArray& v) { SetValue("Year", v); }
    void SetTrack(const QByteArray& v) { SetValue("Track", v); }
};

}  // namespace dw
