#pragma once
// The Vorbis-comment container of the Ogg Vorbis reader and writer: the
// comment fields the system reads and writes, all wide text. The reader and
// writer move the comments themselves; this class has no file operations.
//
// Loudness values: the REPLAYGAIN_* comments of Ogg Vorbis and FLAC files,
// and for Opus files R128_TRACK_GAIN / R128_ALBUM_GAIN (RFC 7845: a Q7.8
// integer gain relative to -23 LUFS, as decimal text; Opus files carry no
// REPLAYGAIN_* comments).

#include "tags/AuTags.h"

namespace dw {

class TVorbisTags : public TAuTags {
public:
    TVorbisTags();

    QString Album() const { return AsWideString("album"); }
    QString Artist() const { return AsWideString("artist"); }
    QString Date() const { return AsWideString("date"); }
    QString Genre() const { return AsWideString("genre"); }
    QString Title() const { return AsWideString("title"); }
    QString Track() const { return AsWideString("tracknumber"); }
    QString Disc() const { return AsWideString("discnumber"); }
    QString Reference() const { return AsWideString("replaygain_reference_loudness"); }
    QString TrackGain() const { return AsWideString("replaygain_track_gain"); }
    QString TrackPeak() const { return AsWideString("replaygain_track_peak"); }
    QString AlbumGain() const { return AsWideString("replaygain_album_gain"); }
    QString AlbumPeak() const { return AsWideString("replaygain_album_peak"); }
    QString R128TrackGain() const { return AsWideString("r128_track_gain"); }
    QString R128AlbumGain() const { return AsWideString("r128_album_gain"); }

    void SetAlbum(const QString& v) { SetValue("album", v); }
    void SetArtist(const QString& v) { SetValue("artist", v); }
    void SetDate(const QString& v) { SetValue("date", v); }
    void SetGenre(const QString& v) { SetValue("genre", v); }
    void SetTitle(const QString& v) { SetValue("title", v); }
    void SetTrack(const QString& v) { SetValue("tracknumber", v); }
    void SetDisc(const QString& v) { SetValue("discnumber", v); }
    void SetReference(const QString& v) { SetValue("replaygain_reference_loudness", v); }
    void SetTrackGain(const QString& v) { SetValue("replaygain_track_gain", v); }
    void SetTrackPeak(const QString& v) { SetValue("replaygain_track_peak", v); }
    void SetAlbumGain(const QString& v) { SetValue("replaygain_album_gain", v); }
    void SetAlbumPeak(const QString& v) { SetValue("replaygain_album_peak", v); }
    void SetR128TrackGain(const QString& v) { SetValue("r128_track_gain", v); }
    void SetR128AlbumGain(const QString& v) { SetValue("r128_album_gain", v); }
};

}  // namespace dw
