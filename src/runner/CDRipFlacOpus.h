#pragma once
// The FLAC and Opus settings of a track ripped or converted: compression
// level and verification, or bit rate and VBR, from the settings, and the
// track's Vorbis comments as SetTrackComments sets them.
//
// Main thread, on an output that is not running.

#include "runner/CDRipOgg.h"

namespace dw {

class TFlacOut;
class TOpusOut;

void ApplyFlacSettings(TFlacOut& out, const TCDRipSettings& settings, const TCDRipTrackTags& track);
void ApplyOpusSettings(TOpusOut& out, const TCDRipSettings& settings, const TCDRipTrackTags& track);

}  // namespace dw
