#pragma once
// What the WAV reader fuzz target does with one input, shared with the
// regression test that replays the saved inputs: open the bytes as a WAV
// file from memory, ask for its format, read all of it (with a seek), and
// run the appending header scan over the same bytes.

#include "audio/formats/WaveFormat.h"
#include "audio/formats/WaveIn.h"
#include "audio/stream/MemoryStream.h"
#include "fuzz/ReadTwice.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

namespace dwfuzz {

// Returns the bytes of audio delivered (for the regression test's checks).
inline int64_t feedWaveReader(const uint8_t* data, size_t size)
{
    int64_t delivered = 0;
    dw::wav::scanHeader(std::span<const uint8_t>(data, size), dw::wav::ScanMode::Append);

    dw::TMemoryStream mem(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    dw::TWaveIn in;
    in.SetStream(&mem);
    if (!in.IsValid())
        return 0;
    (void)in.GetWavType();
    (void)in.GetTotalTime();
    const int64_t frames = in.GetTotalSamples();
    try {
        readTwice(in, size, frames, 3, RequestSizes{9000, 7, 20000}, delivered);
    } catch (const std::exception&) {
        // Stream components report failures by exceptions: not a crash.
    }
    return delivered;
}

}  // namespace dwfuzz
