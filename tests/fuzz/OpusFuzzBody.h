#pragma once
// What the Ogg Opus reader fuzz target does with one input, shared with the
// regression test that replays the saved inputs: open the bytes from memory
// through opusfile's callbacks, ask for the format, the original rate, the
// bit rate, the links and the comments, read everything (odd request
// sizes), then seek to a sample in the middle and read on from there.

#include "audio/formats/OpusIn.h"
#include "audio/stream/MemoryStream.h"
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
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 1)
                in.SetStartSample(frames > 0 ? frames / 2 : 1);
            in.Init();
            uint32_t request = 1 + static_cast<uint32_t>(size % 6000);
            // Bounded: a reader that never ends would show as a time-out.
            for (int calls = 0; calls < 1000000; ++calls) {
                void* buf = nullptr;
                uint32_t n = request;
                in.GetData(buf, n);
                if (n == 0)
                    break;
                const auto* p = static_cast<const volatile uint8_t*>(buf);
                delivered += p[0] + p[n - 1] >= 0 ? n : 0;
                request = request * 7 % 25000 + 1;
            }
            in.Flush();
        }
    } catch (const std::exception&) {
        // Stream components report failures by exceptions: not a crash.
    }
    return delivered;
}

}  // namespace dwfuzz
