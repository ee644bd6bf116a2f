#pragma once
// The tags a job writes into an encoded file once it is complete: the
// ID3v2.4 tag of an MP3 (text frames and ReplayGain TXXX frames) and the
// loudness comments of Ogg Vorbis, FLAC and Opus files. The rip engine and
// the conversion tasks use them.
//
// What a file gets, by its extension:
//   .mp3        ID3v2.4: the text frames given, REPLAYGAIN_TRACK_GAIN/PEAK
//               and REPLAYGAIN_ALBUM_GAIN/PEAK as TXXX frames
//   .ogg .flac  comments REPLAYGAIN_TRACK_GAIN/PEAK, REPLAYGAIN_ALBUM_GAIN/PEAK
//   .opus       comments R128_TRACK_GAIN, R128_ALBUM_GAIN (no REPLAYGAIN_*)
//   others      nothing (WAV and WMA carry no loudness values)
// A piece (track or album) that was not measured contributes nothing. The
// writers work on a copy renamed into place; the audio is not touched.
//
// Main thread (each call reads and writes whole files; a few milliseconds
// for the tag, plus the copy).

#include "app/DiscInfo.h"
#include "audio/formats/LoudnessValues.h"
#include "tags/Id3v24Writer.h"

#include <QString>

#include <vector>

namespace dw {

// The ID3v2.4 text frames of a ripped track from the disc information:
// title (TrackTagTitle: as entered, not as its file is named), artist, album, date (the disc year), genre by name, comment, track
// number with the disc's track count as total when known.
TId3v24Fields DiscTrackId3v24Fields(const TDiscInfo& disc, const QString& title, int track);

// Whether files of this name can carry loudness values (.mp3, .ogg, .flac,
// .opus, in any case).
bool CarriesLoudnessTags(const QString& file);

// Writes the track values (and the album's when album is given) into file;
// an MP3 also gets the text frames of mp3Text in the same tag. Nothing is
// written when there is nothing to write. Empty on success, otherwise
// "<file>: <reason>".
QString WriteEncodedTags(const QString& file, const TLoudness& track, const TLoudness* album = nullptr,
                         const TId3v24Fields* mp3Text = nullptr);

// A file of an album and its track's loudness.
struct TAlbumFile {
    QString file;
    TLoudness track;
};

// Writes the album values (with each file's track values) into every file
// that can carry them. Nothing when the album was not measured. Empty on
// success, otherwise each failure ("<file>: <reason>") joined by "; ".
QString WriteAlbumTags(const std::vector<TAlbumFile>& files, const TLoudness& album);

}  // namespace dw
