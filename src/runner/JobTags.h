#pragma once
// The tags a CD job gives its encoded tracks from the disc information: the
// ID3v1 trailer of an MP3 track and the Vorbis comments of an OGG track.
//
// Main thread (the tag file is written in place under its own rules).

#include "app/DiscInfo.h"
#include "tags/VorbisTags.h"

#include <QString>

#include <cstdint>

namespace dw {

// The title a ripped track's tags carry: the disc's title of the track as
// entered (DiscTitles[track]) when it has one, otherwise title (the job
// item's). A title is cleaned only where it names a file, never in a tag.
QString TrackTagTitle(const TDiscInfo& disc, const QString& title, int track);

// Writes the ID3v1 tag of a ripped track into mp3: title (TrackTagTitle),
// the disc's artist, album, year, comment and genre byte (255 without a genre), track number.
// Gives the tag file's status (below 256 = saved); *error then names the
// file and the reason.
uint16_t WriteTrackId3(const QString& mp3, const TDiscInfo& disc, const QString& title, int track,
                       QString* error = nullptr);

// Fills tags (cleared first) with the Vorbis comments of a ripped track, the
// same values its MP3 gets as ID3v2.4 text: title (TrackTagTitle), artist, album, date,
// genre (by name), the disc comment and track number and total. Empty values
// are left out.
void SetTrackVorbisComments(TVorbisTags& tags, const TDiscInfo& disc, const QString& title, int track);

}  // namespace dw
