#pragma once
// What the WAV reader fuzz target does with one input, shared with the
// regression test that replays the saved inputs: open the bytes as a WAV
// file from memory, ask for its format, read all of it (with a seek), and
// run the appending header scan over the same bytes.

#include "audio/formats/WaveFormat.h"
#include "audio/formats/WaveIn.h"
#include "audio/stream/MemoryStream.h"

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
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 1)
                in.SetStartSample(frames > 0 ? frames / 3 : 1);
            in.Init();
            // Odd request sizes split frames and buffers in every way.
            uint32_t request = 1 + static_cast<uint32_t>(size % 9000);
            for (int calls = 0; calls < 1000000; ++calls) {
                void* buf = nullptr;
                uint32_t n = request;
                in.GetData(buf, n);
                if (n == 0)
                    break;
                // Touch the first and last byte handed out.
                const auto* p = static_cast<const volatile uint8_t*>(buf);
                delivered += p[0] + p[n - 1] >= 0 ? n : 0;
                request = request * 7 % 20000 + 1;
            }
            in.Flush();
        }
    } catch (const std::exception&) {
        // Stream components report failures by exceptions: not a crash.
    }
    return delivered;
}

}  // namespace dwfuzz
