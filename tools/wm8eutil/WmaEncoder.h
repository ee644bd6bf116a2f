#pragma once
// Encodes one audio file (anything libavformat reads) into Windows Media
// Audio 2 in an ASF file at a given rate, channel count and bit rate.

#include "WmaProfile.h"

#include <functional>
#include <string>

namespace wm8eutil {

struct EncodeRequest {
    std::string input;
    std::string output;
    WmaProfile profile;
    std::string author;       // ASF author; empty = none
    std::string description;  // ASF comment; empty = none
};

// Runs the encode. progress receives 0..99 while the input is read (each value
// once, in rising order). The output is written beside the target under a
// temporary name and renamed into place only when complete, so a failed run
// leaves no partial file under the target name. Returns the reason of a
// failure, or an empty text on success.
std::string EncodeWma(const EncodeRequest& request, const std::function<void(int)>& progress);

}  // namespace wm8eutil
