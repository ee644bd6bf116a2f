#pragma once
// The Ogg Vorbis settings of a track ripped in ripper mode: quality or
// bit-rate mode from the Ogg options, and the Vorbis comments of the track
// when the ID3 option is on.
//
// Main thread, on an output that is not running.

#include "runner/CDRipSettings.h"

#include <QString>

namespace dw {

class TVorbisOut;
class TVorbisTags;

// The track a comment set describes.
struct TCDRipTrackTags {
    int Track = 0;   // the disc's track number
    QString Title;   // the track's title
};

// The Ogg values as every Ogg Vorbis output maps them (OggSettingsFromValues:
// quality mode, or the bit rates the options dialog shows). Then the comments are cleared and, when TrackComments is on, set from the
// track and the disc (SetTrackVorbisComments).
void ApplyOggSettings(TVorbisOut& out, const TCDRipSettings& settings, const TCDRipTrackTags& track);

// The comment part of the above, for every writer of Vorbis comments (Ogg
// Vorbis, FLAC, Opus): cleared, then set from the track and disc when
// TrackComments is on.
void SetTrackComments(TVorbisTags& tags, const TCDRipSettings& settings, const TCDRipTrackTags& track);

}  // namespace dw
