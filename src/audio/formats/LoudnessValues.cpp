#include "audio/formats/LoudnessValues.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace dw {

double ReplayGainDb(const TLoudness& loudness)
{
    return kReplayGainReferenceLufs - loudness.integratedLufs;
}

QString FormatReplayGain(double db)
{
    if (!std::isfinite(db))
        db = 0.0;
    // Values that round to zero are written as "0.00", never "-0.00".
    if (std::fabs(db) < 0.005)
        db = 0.0;
    return QString::number(db, 'f', 2) + QStringLiteral(" dB");
}

QString FormatReplayGainPeak(double peak)
{
    if (!std::isfinite(peak) || peak < 0.0)
        peak = 0.0;
    return QString::number(peak, 'f', 6);
}

int R128GainQ78(double lufs)
{
    const double q = std::round((kR128ReferenceLufs - lufs) * 256.0);
    if (!(q > std::numeric_limits<int16_t>::min()))  // NaN included
        return std::isnan(q) ? 0 : std::numeric_limits<int16_t>::min();
    if (q > std::numeric_limits<int16_t>::max())
        return std::numeric_limits<int16_t>::max();
    return int(q);
}

TTagValues ReplayGainTags(const TLoudness& track, const TLoudness* album)
{
    TTagValues out;
    if (track.measured) {
        out.emplace_back(QStringLiteral("REPLAYGAIN_TRACK_GAIN"), FormatReplayGain(ReplayGainDb(track)));
        out.emplace_back(QStringLiteral("REPLAYGAIN_TRACK_PEAK"), FormatReplayGainPeak(track.peak));
    }
    if (album && album->measured) {
        out.emplace_back(QStringLiteral("REPLAYGAIN_ALBUM_GAIN"), FormatReplayGain(ReplayGainDb(*album)));
        out.emplace_back(QStringLiteral("REPLAYGAIN_ALBUM_PEAK"), FormatReplayGainPeak(album->peak));
    }
    return out;
}

TTagValues R128Tags(const TLoudness& track, const TLoudness* album)
{
    TTagValues out;
    if (track.measured)
        out.emplace_back(QStringLiteral("R128_TRACK_GAIN"), QString::number(R128GainQ78(track.integratedLufs)));
    if (album && album->measured)
        out.emplace_back(QStringLiteral("R128_ALBUM_GAIN"), QString::number(R128GainQ78(album->integratedLufs)));
    return out;
}

}  // namespace dw
