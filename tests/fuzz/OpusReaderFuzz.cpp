// libFuzzer target for the Ogg Opus reader: any bytes must be read through
// opusfile's callbacks without a crash, hang, leak or out-of-bounds access
// (run under AddressSanitizer and UBSan). Seed it with small files from
// opusenc (make_flac_opus_seeds.sh).

#include "fuzz/LibraryLeaks.h"
#include "fuzz/OpusFuzzBody.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    dwfuzz::feedOpusReader(data, size);
    return 0;
}
