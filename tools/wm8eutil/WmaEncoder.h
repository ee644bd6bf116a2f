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

struct EncodeCallbacks {
    // 0..99 while the input is read (each value once, in rising order).
    std::function<void(int)> progress;
    // One line about a change to the request (a bit rate raised to what the
    // encoder accepts); optional.
    std::function<void(const std::string&)> notice;
    // Asked between packets; true ends the run as a failure. Optional.
    std::function<bool()> stopRequested;
};

// Runs the encode. The output is written beside the target under a hidden
// temporary name and renamed into place only when complete, so a failed or
// stopped run leaves no file it made and an existing output untouched. An
// output that is the input itself is refused. Returns the reason of a
// failure (naming the file concerned), or an empty text on success.
std::string EncodeWma(const EncodeRequest& request, const EncodeCallbacks& callbacks);

}  // namespace wm8eutil
