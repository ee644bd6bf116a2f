#pragma once
// How the options dialog shows settings in its lists and reads them back:
// the fixed list entries, the MP3 bit-rate text of the editable lists and the
// bit rate the WMA tool really encodes a profile at. Pure functions.

#include <QString>
#include <QStringList>

#include <optional>

namespace dw {

// Entries of the output-format list (positions 0 MP3 .. 3 WMA).
const QStringList& OutputFormatItems();
// Entries of the two MP3 bit-rate lists (" 32 kbit/s" .. "320 kbit/s").
const QStringList& Mp3BitRateItems();
// Entries of the speed/quality and the stereo-mode lists.
const QStringList& MpegQualityItems();
const QStringList& StereoModeItems();
// Entries of the three Ogg bit-rate lists (" Default", " 45 kbit/s" .. "320 kbit/s").
const QStringList& OggBitRateItems();

// What an editable MP3 bit-rate list shows for a setting: "128 kbit/s".
QString Mp3BitRateText(int kbps);
// The setting an editable MP3 bit-rate list holds: its first three characters,
// blanks trimmed, as a decimal integer (" 32 kbit/s" and "32 kbit/s" give 32,
// "1000" gives 100). Nothing when those characters are not a number.
std::optional<int> ParseMp3BitRate(const QString& text);

// The lowest bit rate the WMA tool encodes at: a profile below it is encoded
// at this rate instead of its own.
inline constexpr int WmaLowestEncodedKbps = 24;
// The bit rate in kbit/s a WMA profile names; 0 outside 0..32.
int WmaProfileKbps(int profile);
// The bit rate the WMA tool encodes that profile at.
int WmaEncodedKbps(int profile);
// The entry of the WMA list for a profile: its label, marked when the tool
// encodes it at a higher rate ("16.000 kHz,  16 kbit/s, Mono  (24 kbit/s)").
QString WmaProfileItem(int profile);

}  // namespace dw
