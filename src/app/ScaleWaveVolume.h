#pragma once
// The normalise step: a fixed gain on the 16-bit samples of a WAV file.

#include <QString>

#include <stdexcept>

namespace dw {

struct IoError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Multiplies every 16-bit sample after the 44-byte header by percent/100,
// rounding halves to even and clamping to the 16-bit range, through a ".nor"
// file beside the source that then replaces it. Throws IoError when a file
// cannot be opened, read or written (the source is then left as it was).
// Returns false when the source could not be deleted: the scaled copy then
// stays under the ".nor" name.
bool ScaleWaveVolume(int percent, const QString& path);

}  // namespace dw
