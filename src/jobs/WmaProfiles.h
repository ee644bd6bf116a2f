#pragma once
// The 33 WMA encoding profiles: the label the options dialog shows and the
// setting text ("<kbit/s>_<kHz>_<channels>") the WMA tool receives.

#include <QString>

namespace dw {

inline constexpr int WmaProfileCount = 33;
// Used in place of an index outside 0..32: 44.1 kHz, 64 kbit/s, stereo.
inline constexpr int WmaDefaultProfile = 8;

// Setting text of profile index, e.g. "64_44_2"; empty outside 0..32.
QString WmaProfileSetting(int index);
// Label of profile index, e.g. "44.100 kHz,  64 kbit/s, Stereo"; empty outside 0..32.
QString WmaProfileLabel(int index);

}  // namespace dw
