#include "runner/CDRipOgg.h"

#include "audio/formats/VorbisOut.h"
#include "runner/JobTags.h"
#include "tags/VorbisTags.h"

namespace dw {

namespace {

TVorbisBitRate bitRateChoice(int ordinal)
{
    if (ordinal < int(brAutoSelect) || ordinal > int(bitrate499))
        return brAutoSelect;
    return TVorbisBitRate(ordinal);
}

}  // namespace

void ApplyOggSettings(TVorbisOut& out, const TCDRipSettings& settings, const TCDRipTrackTags& track)
{
    if (settings.IsUseCompress) {
        out.SetCompression(float(settings.CompressPosition - 10) / 100.0f);
        out.SetDesiredNominalBitrate(brAutoSelect);
        out.SetDesiredMaximumBitrate(brAutoSelect);
        out.SetMinimumBitrate(brAutoSelect);
    } else {
        // The setters keep minimum <= nominal <= maximum and take a maximum
        // only beside a nominal rate, so the nominal rate goes first.
        out.SetDesiredNominalBitrate(bitRateChoice(settings.OggNomalBitRate));
        out.SetDesiredMaximumBitrate(bitRateChoice(settings.OggMaxBitRate));
        out.SetMinimumBitrate(bitRateChoice(settings.OggMinBitRate));
        out.SetCompression(0.2f);
    }
    SetTrackComments(out.Comments(), settings, track);
}

void SetTrackComments(TVorbisTags& tags, const TCDRipSettings& settings, const TCDRipTrackTags& track)
{
    tags.Clear();
    if (settings.TrackComments)
        SetTrackVorbisComments(tags, settings.Disc(), track.Title, track.Track);
}

}  // namespace dw
