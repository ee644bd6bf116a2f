#pragma once
// The normalise step: a fixed gain on the 16-bit samples of a WAV file.

#include <QString>

#include <cstdint>
#include <functional>
#include <stdexcept>

namespace dw {

struct IoError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Multiplies every 16-bit sample after the 44-byte header by percent/100,
// rounding halves to even and clamping to the 16-bit range, through a ".nor"
// file beside the source that then replaces it. Throws IoError when a file
// cannot be opened, read or written (the source is then left as it was).
// Returns true when the scaled file has replaced the source; false when the
// source could not be deleted (the scaled copy then stays under the ".nor"
// name) or when progress asked to stop (the partial copy is removed).
//
// progress, when given, is called before each block with the bytes done so far
// and the file's size; returning false stops the step.
using ScaleProgress = std::function<bool(int64_t done, int64_t total)>;
bool ScaleWaveVolume(int percent, const QString& path, const ScaleProgress& progress = {});

}  // namespace dw
