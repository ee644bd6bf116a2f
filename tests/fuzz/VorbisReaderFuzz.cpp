// libFuzzer target for the Ogg Vorbis reader: any bytes must be read through
// the decoder's callbacks without a crash, hang or out-of-bounds access (run
// under AddressSanitizer and UBSan). Seed it with small files from oggenc.

#include "fuzz/LibraryLeaks.h"
#include "fuzz/VorbisFuzzBody.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    dwfuzz::feedVorbisReader(data, size);
    return 0;
}
