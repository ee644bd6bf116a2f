#include "runner/CDRipSettings.h"

namespace dw {

TCDRipSettings TCDRipSettings::FromConfig(const TJobConfig& config)
{
    const TStoredOptions& s = config.Options;
    const TDiscInfo& d = config.Disc;
    TCDRipSettings r;
    r.Rip = TRipSettings::FromConfig(config);
    r.OutputFormat = StoredOutputFormat(s.OutputFormat);
    r.IsKeepWav = s.IsKeepWav;
    r.IsUseCompress = s.IsUseCompress;
    r.CompressPosition = s.CompressPosition;
    r.OggMaxBitRate = s.OggMaxBitRate;
    r.OggNomalBitRate = s.OggNomalBitRate;
    r.OggMinBitRate = s.OggMinBitRate;
    r.WmaBitRate = s.WmaBitRate;
    r.FlacCompressionLevel = s.FlacCompressionLevel;
    r.FlacVerify = s.FlacVerify;
    r.OpusBitRate = s.OpusBitRate;
    r.OpusVbr = s.OpusVbr;
    r.ReplayGain = s.ReplayGainUse;
    r.Id3v2 = s.Id3v2Use;
    r.DiscArtist = d.DiscArtist;
    r.DiscAlbum = d.DiscAlbum;
    r.DiscYear = d.DiscYear;
    r.DiscComment = d.DiscComment;
    r.DiscGenre = d.DiscGenre;
    r.DiscTrackCount = d.DiscTrackCount;
    r.DiscTitles = d.DiscTitles;
    r.Options = s;
    return r;
}

TDiscInfo TCDRipSettings::Disc() const
{
    TDiscInfo d;
    d.DiscArtist = DiscArtist;
    d.DiscAlbum = DiscAlbum;
    d.DiscYear = DiscYear;
    d.DiscGenre = DiscGenre;
    d.DiscComment = DiscComment;
    d.DiscTrackCount = DiscTrackCount;
    d.DiscTitles = DiscTitles;
    return d;
}

}  // namespace dw
