#pragma once
// The reading half of the reader fuzz bodies: everything from the start,
// then again from a sample part-way in, in request sizes that change from
// call to call so that frames and buffers are split in every way.

#include <cstddef>
#include <cstdint>

namespace dwfuzz {

// The request sizes of one body: the first is 1 + inputSize % first, each
// next one (previous * factor) % wrap + 1.
struct RequestSizes {
    uint32_t first;
    uint32_t factor;
    uint32_t wrap;
};

// Reads in twice, the second time from frames / divisor (1 when the length
// is not known), adding the bytes handed out to delivered as it goes (so a
// count survives an exception, which the caller catches). Every block's
// first and last byte are touched.
template <typename Reader>
void readTwice(Reader& in, size_t inputSize, int64_t frames, int64_t divisor, RequestSizes sizes, int64_t& delivered)
{
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1)
            in.SetStartSample(frames > 0 ? frames / divisor : 1);
        in.Init();
        uint32_t request = 1 + static_cast<uint32_t>(inputSize % sizes.first);
        // Bounded: a reader that never ends would show as a time-out.
        for (int calls = 0; calls < 1000000; ++calls) {
            void* buf = nullptr;
            uint32_t n = request;
            in.GetData(buf, n);
            if (n == 0)
                break;
            const auto* p = static_cast<const volatile uint8_t*>(buf);
            delivered += p[0] + p[n - 1] >= 0 ? n : 0;
            request = request * sizes.factor % sizes.wrap + 1;
        }
        in.Flush();
    }
}

}  // namespace dwfuzz
