#include "audio/formats/FlacStreamStart.h"

#include <cstring>
#include <unistd.h>

namespace dw {

namespace {

constexpr int kId3HeaderBytes = 10;
constexpr uint8_t kFooterFlag = 0x10;
// Tags stacked in front of the stream that are skipped before giving up.
constexpr int kMaxTags = 16;

}  // namespace

int64_t Id3v2TagsEnd(const TReadAt& readAt)
{
    int64_t at = 0;
    for (int tags = 0; tags < kMaxTags; ++tags) {
        uint8_t h[kId3HeaderBytes];
        if (!readAt(at, h, sizeof h) || std::memcmp(h, "ID3", 3) != 0)
            break;
        // Version 2 to 4 with a revision below 0xFF, and four 7-bit size bytes.
        if (h[3] == 0xFF || h[4] == 0xFF || (h[6] | h[7] | h[8] | h[9]) & 0x80)
            break;
        const int64_t size = int64_t(h[6]) << 21 | int64_t(h[7]) << 14 | int64_t(h[8]) << 7 | int64_t(h[9]);
        at += kId3HeaderBytes + size + ((h[5] & kFooterFlag) ? kId3HeaderBytes : 0);
    }
    return at;
}

bool FlacStreamAt(const TReadAt& readAt)
{
    const int64_t at = Id3v2TagsEnd(readAt);
    uint8_t b[4];
    if (!readAt(at, b, sizeof b))
        return false;
    if (std::memcmp(b, "fLaC", 4) == 0)
        return true;
    // A frame header: 14 sync bits 11111111111110, a reserved 0, the
    // blocking-strategy bit.
    return b[0] == 0xFF && (b[1] & 0xFE) == 0xF8;
}

bool FlacStreamInFile(int fd)
{
    return FlacStreamAt([fd](int64_t pos, uint8_t* dst, size_t n) {
        size_t got = 0;
        while (got < n) {
            const ssize_t r = ::pread(fd, dst + got, n - got, static_cast<off_t>(pos + int64_t(got)));
            if (r <= 0)
                return false;
            got += static_cast<size_t>(r);
        }
        return true;
    });
}

}  // namespace dw
