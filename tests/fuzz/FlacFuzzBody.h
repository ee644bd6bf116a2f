#pragma once
// What the FLAC reader fuzz target does with one input, shared with the
// regression test that replays the saved inputs: open the bytes from memory
// through libFLAC's stream callbacks, ask for the format, the block sizes,
// the seek table and the comments, read everything (odd request sizes), then
// seek to a sample in the middle and read on from there.

#include "audio/formats/FlacIn.h"
#include "audio/stream/MemoryStream.h"
#include "fuzz/ReadTwice.h"
#include "tags/VorbisTags.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <exception>

namespace dwfuzz {

// Returns the bytes of audio delivered (for the regression test's checks).
inline int64_t feedFlacReader(const uint8_t* data, size_t size)
{
    int64_t delivered = 0;
    dw::TMemoryStream mem(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    dw::TFlacIn in;
    in.SetStream(&mem);
    if (!in.IsValid())
        return 0;
    try {
        (void)in.GetTotalTime();
        (void)in.FileBitsPerSample();
        (void)in.MinBlockSize();
        (void)in.MaxBlockSize();
        (void)in.SeekPointCount();
        (void)in.RawComments();
        (void)in.VorbisTags().Artist();
        const int64_t frames = in.GetTotalSamples();
        readTwice(in, size, frames, 2, RequestSizes{5000, 3, 40000}, delivered);
    } catch (const std::exception&) {
        // Stream components report failures by exceptions: not a crash.
    }
    return delivered;
}

}  // namespace dwfuzz
