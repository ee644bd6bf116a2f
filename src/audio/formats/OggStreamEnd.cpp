#include "audio/formats/OggStreamEnd.h"

#include <QString>

#include <algorithm>
#include <array>
#include <vector>

namespace dw {

namespace {

constexpr int kHeaderBytes = 27;
constexpr int kChecksumAt = 22;
constexpr uint8_t kEndOfStream = 0x04;

const std::array<uint32_t, 256>& checksumTable()
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int b = 0; b < 8; ++b)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    return table;
}

uint32_t get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The length of the whole page at tail[at], or 0 when none starts there.
size_t wholePageAt(const std::vector<uint8_t>& tail, size_t at)
{
    const uint8_t* p = tail.data() + at;
    const size_t room = tail.size() - at;
    if (room < kHeaderBytes || p[0] != 'O' || p[1] != 'g' || p[2] != 'g' || p[3] != 'S' || p[4] != 0)
        return 0;
    const size_t segments = p[26];
    if (room < kHeaderBytes + segments)
        return 0;
    size_t body = 0;
    for (size_t i = 0; i < segments; ++i)
        body += p[kHeaderBytes + i];
    const size_t length = kHeaderBytes + segments + body;
    if (room < length)
        return 0;
    const std::span<const uint8_t> page(p, length);
    return OggPageChecksum(page) == get32(p + kChecksumAt) ? length : 0;
}

}  // namespace

uint32_t OggPageChecksum(std::span<const uint8_t> page)
{
    const auto& table = checksumTable();
    uint32_t crc = 0;
    for (size_t i = 0; i < page.size(); ++i) {
        const uint8_t b = (i >= kChecksumAt && i < kChecksumAt + 4) ? 0 : page[i];
        crc = (crc << 8) ^ table[((crc >> 24) ^ b) & 0xFF];
    }
    return crc;
}

std::optional<bool> OggLastPageEndsStream(TStream& stream)
{
    const int64_t was = stream.GetPosition();
    const int64_t size = stream.GetSize();
    const int64_t from = std::max<int64_t>(0, size - kOggTailBytes);
    std::vector<uint8_t> tail(static_cast<size_t>(size - from));
    stream.SetPosition(from);
    size_t got = 0;
    while (got < tail.size()) {
        const int64_t n = stream.Read(tail.data() + got, static_cast<int64_t>(tail.size() - got));
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    stream.SetPosition(was);
    tail.resize(got);
    // The last page is the one that starts latest; a page found inside
    // another page's body is checked like any other (its checksum decides).
    for (size_t at = tail.size(); at-- > 0;)
        if (wholePageAt(tail, at) != 0)
            return (tail[at + 5] & kEndOfStream) != 0;
    return std::nullopt;
}

QString OggCutShortProblem(TStream* stream, bool seekable)
{
    if (!stream || !seekable)
        return {};
    int64_t was = -1;
    try {
        was = stream->GetPosition();
        const std::optional<bool> ends = OggLastPageEndsStream(*stream);
        if (ends && !*ends)
            return QStringLiteral("the file is cut short (its last page does not end the stream)");
    } catch (const std::exception&) {
        // A stream that cannot be looked at here fails the decoder's own
        // reads; it is put back where it was when it can be.
        try {
            if (was >= 0)
                stream->SetPosition(was);
        } catch (const std::exception&) {
        }
    }
    return {};
}

}  // namespace dw
