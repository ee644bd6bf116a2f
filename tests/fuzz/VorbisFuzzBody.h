#pragma once
// What the Ogg Vorbis reader fuzz target does with one input, shared with
// the regression test that replays the saved inputs: open the bytes from
// memory through the decoder's callbacks, ask for the format, the bit rates
// and the comments, read everything (odd request sizes), then read again
// from a sample in the middle.

#include "audio/formats/VorbisIn.h"
#include "audio/stream/MemoryStream.h"
#include "fuzz/ReadTwice.h"
#include "tags/VorbisTags.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <exception>

namespace dwfuzz {

// Returns the bytes of audio delivered (for the regression test's checks).
inline int64_t feedVorbisReader(const uint8_t* data, size_t size)
{
    int64_t delivered = 0;
    dw::TMemoryStream mem(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    dw::TVorbisIn in;
    in.SetStream(&mem);
    if (!in.IsValid())
        return 0;
    try {
        (void)in.GetTotalTime();
        (void)in.NominalBitRate();
        (void)in.StreamCount();
        (void)in.RawComments();
        (void)in.VorbisTags().Artist();
        const int64_t frames = in.GetTotalSamples();
        readTwice(in, size, frames, 2, RequestSizes{7000, 5, 30000}, delivered);
    } catch (const std::exception&) {
        // Stream components report failures by exceptions: not a crash.
    }
    return delivered;
}

}  // namespace dwfuzz
