// libFuzzer target for the WAV reader: any bytes must be read without a
// crash, hang or out-of-bounds access (run under AddressSanitizer and UBSan).

#include "fuzz/WaveFuzzBody.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    dwfuzz::feedWaveReader(data, size);
    return 0;
}
