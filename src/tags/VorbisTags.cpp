#include "tags/VorbisTags.h"

namespace dw {

TVorbisTags::TVorbisTags()
{
    for (const char* key : {"album", "artist", "date", "genre", "title", "tracknumber", "tracktotal", "comment",
                            "discnumber", "replaygain_reference_loudness", "replaygain_track_gain", "replaygain_track_peak",
                            "replaygain_album_gain", "replaygain_album_peak", "r128_track_gain", "r128_album_gain"})
        AddTag(QLatin1String(key));
}

}  // namespace dw
