#include "runner/CDRipSettings.h"

#include "app/Settings.h"

namespace dw {

TCDRipSettings TCDRipSettings::FromAppSettings()
{
    const TAppSettings& s = AppSettings;
    TCDRipSettings r;
    r.Rip = TRipSettings::FromAppSettings();
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
    r.DiscArtist = s.DiscArtist;
    r.DiscAlbum = s.DiscAlbum;
    r.DiscYear = s.DiscYear;
    r.DiscComment = s.DiscComment;
    r.DiscGenre = s.DiscGenre;
    r.DiscTrackCount = s.DiscTrackCount;
    r.DiscTitles = s.DiscTitles;
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
