#pragma once
// The normalise step: a fixed gain on the 16-bit samples of a WAV file.

#include <QString>

#include <cstdint>
#include <functional>
#include <stdexcept>

namespace dw {

class TOutputFile;

struct IoError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One 16-bit sample times percent / 100, computed exactly, rounded to the
// nearest integer with halves to even, and saturated to -32768..32767.
int16_t ScaleSample(int16_t sample, int percent);

// progress, when given, is called before each block with the bytes done so far
// and the source's size; returning false stops the step.
using ScaleProgress = std::function<bool(int64_t done, int64_t total)>;

// Writes the scaled copy of source into target's open temporary file: the
// first 44 bytes (the header) unchanged, then every whole 16-bit sample
// scaled, a trailing odd byte as it is. The target is neither committed nor
// discarded here. Throws IoError ("<file>: <system reason>") when the source
// cannot be opened or read or the target cannot be written; false when
// progress asked to stop.
bool ScaleWaveInto(int percent, const QString& source, TOutputFile& target, const ScaleProgress& progress = {});

// Scales the WAV file at path in place: the scaled copy is written under a
// temporary name, renamed to the ".nor" name beside the source when complete,
// and then renamed over the source, so the source is replaced by a whole
// result or not at all. Throws IoError when a file cannot be opened, read or
// written (the source is then left as it was and no ".nor" file is left).
// Returns true when the scaled file has replaced the source; false when that
// last rename failed (the scaled copy then stays under the ".nor" name) or
// when progress asked to stop (nothing is left behind).
bool ScaleWaveVolume(int percent, const QString& path, const ScaleProgress& progress = {});

}  // namespace dw
