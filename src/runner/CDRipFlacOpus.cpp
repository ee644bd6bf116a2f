#include "runner/CDRipFlacOpus.h"

#include "audio/formats/FlacOut.h"
#include "audio/formats/OpusOut.h"

namespace dw {

void ApplyFlacSettings(TFlacOut& out, const TCDRipSettings& settings, const TCDRipTrackTags& track)
{
    out.SetCompressionLevel(settings.FlacCompressionLevel);
    out.SetVerify(settings.FlacVerify);
    SetTrackComments(out.Comments(), settings, track);
}

void ApplyOpusSettings(TOpusOut& out, const TCDRipSettings& settings, const TCDRipTrackTags& track)
{
    out.SetBitRate(settings.OpusBitRate);
    out.SetVbr(settings.OpusVbr);
    SetTrackComments(out.Comments(), settings, track);
}

}  // namespace dw
