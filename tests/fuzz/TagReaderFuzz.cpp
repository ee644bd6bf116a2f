// libFuzzer target for the tag readers and writers: the ID3v2 container at
// the start of a file and the ID3v1 trailer at its end (container and
// Tid3tag). Any bytes must be handled without a crash, hang, unbounded
// allocation or out-of-bounds access, and writing must keep the audio.

#include "fuzz/TagFuzzBody.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    dwfuzz::feedTags(data, size);
    return 0;
}
