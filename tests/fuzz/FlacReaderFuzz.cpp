// libFuzzer target for the FLAC reader: any bytes must be read through
// libFLAC's stream callbacks without a crash, hang, leak or out-of-bounds
// access (run under AddressSanitizer and UBSan). Seed it with small files
// from flac (make_flac_opus_seeds.sh).

#include "fuzz/FlacFuzzBody.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    dwfuzz::feedFlacReader(data, size);
    return 0;
}
