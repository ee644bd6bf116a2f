// libFuzzer target for the CDDB answer and entry parsers: any bytes a server
// sends must be read without a crash, hang, out-of-bounds access or unbounded
// growth (run under AddressSanitizer and UBSan).

#include "fuzz/CddbFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    dwfuzz::feedCddb(data, size);
    return 0;
}
