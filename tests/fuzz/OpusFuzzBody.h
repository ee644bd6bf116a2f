#pragma once
// What the Ogg Opus reader fuzz target does with one input, shared with the
// regression test that replays the saved inputs: open the bytes from memory
// through opusfile's callbacks, ask for the format, the original rate, the
// bit rate, the links and the comments, read everything (odd request
// sizes), then seek to a sample in the middle and read on from there.

#include "audio/formats/OpusIn.h"
#include "audio/stream/MemoryStream.h"
#include "fuzz/ReadTwice.h"
#include "tags/VorbisTags.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <exception>

namespace dwfuzz {

// Returns the bytes of audio delivered (for the regression test's checks).
inline int64_t feedOpusReader(const uint8_t* data, size_t size)
{
    int64_t delivered = 0;
    dw::TMemoryStream mem(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    dw::TOpusIn in;
    in.SetStream(&mem);
    if (!in.IsValid())
        return 0;
    try {
        (void)in.GetTotalTime();
        (void)in.InputSampleRate();
        (void)in.AverageBitRate();
        (void)in.LinkCount();
        (void)in.RawComments();
        (void)in.VorbisTags().Artist();
        const int64_t frames = in.GetTotalSamples();
        readTwice(in, size, frames, 2, RequestSizes{6000, 7, 25000}, delivered);
    } catch (const std::exception&) {
        // Stream components report failures by exceptions: not a crash.
    }
    return delivered;
}

}  // namespace dwfuzz
