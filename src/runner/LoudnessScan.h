#pragma once
// Measures the loudness of a WAV file that an encoder process (lame) reads
// by itself: a job reads the same PCM through a TLoudnessMeasure on a step
// thread while the encoder runs. Reading a WAV is a file read, not a second
// decoding; the file is most likely still in the page cache.

#include "audio/formats/LoudnessMeter.h"

#include <QString>

#include <atomic>
#include <memory>

namespace dw {

// Reads the WAV file at path through a loudness measurement on the calling
// thread. False when stop was raised before the end; raises what the reader
// or the measurement raise (a file that is no WAV, an unsupported format).
bool MeasureWaveFile(const QString& path, TLoudness& result, std::unique_ptr<TLoudnessMeter>& meter,
                     const std::atomic<bool>& stop);

}  // namespace dw
