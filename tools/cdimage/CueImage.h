#pragma once
// Writing a CD image as a .cue sheet and one raw .bin data file of 2352-byte
// sectors: audio sectors hold 16-bit little-endian stereo samples at 44.1 kHz,
// data sectors hold a Mode 1 sync pattern and header with empty user data.

#include <cstdint>
#include <string>
#include <vector>

namespace dwtool {

constexpr int SectorBytes = 2352;
constexpr int SectorsPerSecond = 75;
constexpr int MaxTracks = 99;
constexpr int64_t MaxSectors = int64_t(99) * 60 * SectorsPerSecond;  // 99 minutes

struct ImageTrack {
    int64_t sectors = 0;
    bool data = false;
};

struct ImageLayout {
    std::vector<ImageTrack> tracks;  // in disc order
    bool silence = false;            // audio tracks silent instead of tones
    int firstTrack = 1;              // the number of the first track (1..99)
};

// Parses "M:SS", "M:SS:FF" or whole seconds "S" into sectors; false when the
// text is none of these, a field is out of range or the length is zero.
bool parseLength(const std::string& text, int64_t& sectors);

// Writes cuePath and the .bin beside it (same name, extension .bin). On
// failure returns false with a message in error and removes partial files.
bool writeImage(const std::string& cuePath, const ImageLayout& layout, std::string& error);

// The audio of track number `track` (its position on the disc, 1-based) as stereo samples: a tone whose
// period is 60 + 7 x track samples, so every track sounds (and reads) different.
// Fills `out` with `frames` frames starting at frame `first` of the track.
void toneFrames(int track, int64_t first, int64_t frames, int16_t* out);

}  // namespace dwtool
