#pragma once
// Decodes a compressed WAV file (one whose format needs the compression
// manager, such as MPEG audio under format tag $55) into PCM held in memory.
// Used by TWaveIn when it opens such a file: LoadFile, fill NewFormat (PCM, as
// the compression manager suggests), Convert, SaveWav into a new stream.

#include "audio/stream/MemoryStream.h"

#include <array>
#include <cstdint>

namespace dw {

class TWaveConverter : public TMemoryStream {
public:
    // Largest format description kept (the WAVEFORMATEX with its extra bytes).
    static constexpr size_t kFormatBytes = 129;
    // SaveWav's result when writing failed.
    static constexpr uint32_t kSaveFailed = 286;

    TWaveConverter();

    // Reads a RIFF/WAVE file from the start of `stream`: the "fmt " chunk into
    // CurrentFormat, the "data" chunk into memory. A stream that does not
    // begin with "RIFF" and "WAVE" loads nothing.
    void LoadFile(TStream& stream);
    // Converts the memory from CurrentFormat to NewFormat. 0 on success,
    // otherwise the failing compression-manager result.
    uint32_t Convert();
    // Writes the memory as a PCM WAV file (44-byte header) to `stream`.
    // 0 on success, kSaveFailed when writing failed.
    uint32_t SaveWav(TStream& stream);

    uint32_t MaxFormatSize = 0;
    std::array<uint8_t, kFormatBytes> CurrentFormat{};
    std::array<uint8_t, kFormatBytes> NewFormat{};
};

}  // namespace dw
