#include "runner/CDRipOgg.h"

#include "audio/formats/VorbisConvert.h"
#include "audio/formats/VorbisOut.h"
#include "runner/JobTags.h"
#include "tags/VorbisTags.h"

namespace dw {

void ApplyOggSettings(TVorbisOut& out, const TCDRipSettings& settings, const TCDRipTrackTags& track)
{
    ApplyOggEncodeSettings(out, OggSettingsFromValues(settings.IsUseCompress, settings.CompressPosition,
                                                      settings.OggNomalBitRate, settings.OggMaxBitRate,
                                                      settings.OggMinBitRate));
    SetTrackComments(out.Comments(), settings, track);
}

void SetTrackComments(TVorbisTags& tags, const TCDRipSettings& settings, const TCDRipTrackTags& track)
{
    tags.Clear();
    if (settings.TrackComments)
        SetTrackVorbisComments(tags, settings.Disc(), track.Title, track.Track);
}

}  // namespace dw
