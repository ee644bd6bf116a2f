#pragma once
// The "-a_setting" text of WM8EUTIL: "<kbit/s>_<kHz>_<channels>", for example
// "64_44_2". The rate is given in whole kHz; 44, 22 and 11 stand for the CD
// family 44100, 22050 and 11025 Hz, every other value n for n * 1000 Hz.

#include <optional>
#include <string>

namespace wm8eutil {

struct WmaProfile {
    int bitRate = 0;     // bit/s
    int sampleRate = 0;  // Hz
    int channels = 0;    // 1 or 2
};

// The profile named by text, or nothing when the text is not of that form
// (three decimal fields, bit rate 1..1000 kbit/s, rate 1..96 kHz, 1 or 2 channels).
std::optional<WmaProfile> ParseWmaProfile(const std::string& text);

}  // namespace wm8eutil
