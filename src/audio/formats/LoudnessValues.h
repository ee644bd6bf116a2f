#pragma once
// ReplayGain 2.0 values of a measured loudness and their tag texts.
//
// Loudness is ITU-R BS.1770 integrated loudness with EBU R128 gating. The
// peak is the sample peak (the largest sample magnitude) as a linear factor
// of full scale, at most 1.0. A true peak (4x oversampled) would cost about
// three times the loudness measurement itself, more than a rip can hide.
//
// Gains: ReplayGain 2.0 refers to -18 LUFS (gain = -18 - loudness); the Opus
// R128 tags (RFC 7845) refer to -23 LUFS and are Q7.8 fixed-point integers.
// The R128 values assume the Opus header's output gain is 0.
//
// Thread-safe (pure functions).

#include <QString>

#include <utility>
#include <vector>

namespace dw {

struct TLoudness {
    // False when nothing rose above the absolute gate (silence, or under
    // 400 ms of audio): there is then no gain to give.
    bool measured = false;
    double integratedLufs = 0.0;
    double peak = 0.0;  // sample peak, linear; 1.0 = full scale
};

inline constexpr double kReplayGainReferenceLufs = -18.0;
inline constexpr double kR128ReferenceLufs = -23.0;

// Tag name and value, in the order they are to be written.
using TTagValues = std::vector<std::pair<QString, QString>>;

// -18 - loudness in dB (meaningful only when measured).
double ReplayGainDb(const TLoudness& loudness);

// "-6.54 dB": two decimals, C locale, no "-0.00".
QString FormatReplayGain(double db);
// "0.987654": six decimals, C locale; negative input gives "0.000000".
QString FormatReplayGainPeak(double peak);
// round((-23 - lufs) * 256), clamped to the int16 range of the Q7.8 value.
int R128GainQ78(double lufs);

// REPLAYGAIN_TRACK_GAIN, REPLAYGAIN_TRACK_PEAK, then REPLAYGAIN_ALBUM_GAIN,
// REPLAYGAIN_ALBUM_PEAK when album is given. A piece that was not measured
// contributes no values (players then leave the sound as it is).
TTagValues ReplayGainTags(const TLoudness& track, const TLoudness* album = nullptr);
// R128_TRACK_GAIN, then R128_ALBUM_GAIN when album is given; same rule.
TTagValues R128Tags(const TLoudness& track, const TLoudness* album = nullptr);

}  // namespace dw
