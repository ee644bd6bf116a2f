#include "audio/formats/WaveFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dw {

const char* WavTypeName(TWavType t)
{
    switch (t) {
    case wtPCM: return "Raw PCM";
    case wtDVIADPCM: return "DVI IMA ADPCM";
    case wtMSADPCM: return "Microsoft ADPCM";
    case wtACM: return "ACM";
    case wtIEEEFloat: return "IEEE Float";
    case wtExtPCM: return "WaveFormatExt (PCM)";
    case wtExtIEEEFloat: return "WaveFormatExt (IEEE Float)";
    case wtUnsupported: break;
    }
    return "Unsupported";
}

namespace wav {

const std::array<uint8_t, 16> kGuidPcm = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                          0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
const std::array<uint8_t, 16> kGuidIeeeFloat = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint32_t clampSize32(int64_t v)
{
    if (v < 0)
        return 0;
    if (v > 0xFFFFFFFFLL)
        return 0xFFFFFFFFu;
    return static_cast<uint32_t>(v);
}

bool idMatches(const uint8_t* got, const char* expected)
{
    for (int i = 0; i < 4; ++i) {
        const int d = static_cast<int>(got[i]) - static_cast<int>(static_cast<uint8_t>(expected[i]));
        if (d != 0 && d != 32 && d != -32)
            return false;
    }
    return true;
}

namespace {

// The scanner's view of the source: tracks the position, counts the bytes it
// really reads against the header limit, and passes over chunk bodies.
class Scanner {
public:
    Scanner(const ByteSource& src, int64_t limit) : src_(src), limit_(limit) {}

    int64_t position() const { return position_; }

    // Reads exactly n bytes into dst.
    bool read(uint8_t* dst, int64_t n)
    {
        if (n < 0 || read_ + n > limit_)
            return false;
        while (n > 0) {
            const int64_t got = src_.read(dst, n);
            if (got <= 0)
                return false;
            read_ += got;
            position_ += got;
            n -= got;
            dst += got;
        }
        return true;
    }
    // Passes over n bytes: by seeking when the source can, else by reading
    // them through a small scratch area (never buffered whole).
    bool skip(int64_t n)
    {
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (src_.skip) {
            if (!src_.skip(n))
                return false;
            position_ += n;
            return true;
        }
        uint8_t scratch[4096];
        while (n > 0) {
            const int64_t got = src_.read(scratch, std::min<int64_t>(n, sizeof scratch));
            if (got <= 0)
                return false;
            position_ += got;
            n -= got;
        }
        return true;
    }
    bool read32(uint32_t& v)
    {
        uint8_t b[4];
        if (!read(b, 4))
            return false;
        v = get32(b);
        return true;
    }
    bool read64(uint64_t& v)
    {
        uint8_t b[8];
        if (!read(b, 8))
            return false;
        v = static_cast<uint64_t>(get32(b)) | (static_cast<uint64_t>(get32(b + 4)) << 32);
        return true;
    }
    // Slides the 4-byte window one byte further.
    bool slide(uint8_t* window)
    {
        uint8_t b;
        if (!read(&b, 1))
            return false;
        std::memmove(window, window + 1, 3);
        window[3] = b;
        return true;
    }
    bool atEnd() const { return src_.atEnd && src_.atEnd(); }

private:
    const ByteSource& src_;
    int64_t limit_;
    int64_t read_ = 0;
    int64_t position_ = 0;
};

// A RIFF chunk body is followed by a pad byte when its size is odd.
int64_t padded(uint64_t size)
{
    return static_cast<int64_t>(size + (size & 1));
}

enum class State { Riff, Wave, Fmt, Fact, Data };

bool isCompressed(TWavType t)
{
    return t == wtDVIADPCM || t == wtMSADPCM || t == wtACM;
}

// Reads the "fmt " chunk contents into info. False ends the scan as unsupported.
bool takeFormat(const std::vector<uint8_t>& c, ScanMode mode, HeaderInfo& info)
{
    if (c.size() < 16)
        return false;
    info.formatTag = get16(&c[0]);
    switch (info.formatTag) {
    case kTagPcm: info.type = wtPCM; break;
    case kTagImaAdpcm: info.type = wtDVIADPCM; break;
    case kTagMsAdpcm: info.type = wtMSADPCM; break;
    case kTagIeeeFloat: info.type = wtIEEEFloat; break;
    case kTagMpeg3: info.type = wtACM; break;
    case kTagExtensible: info.type = wtExtPCM; break;
    default: return false;
    }
    if (mode == ScanMode::Append && info.type != wtPCM && info.type != wtDVIADPCM)
        return false;
    info.channels = get16(&c[2]);
    info.sampleRate = get32(&c[4]);
    info.blockAlign = get16(&c[12]);
    info.bitsPerSample = get16(&c[14]);
    if (info.type == wtExtPCM) {
        if (c.size() < 40)
            return false;
        const uint8_t* guid = c.data() + c.size() - 16;
        if (std::equal(kGuidIeeeFloat.begin(), kGuidIeeeFloat.end(), guid))
            info.type = wtExtIEEEFloat;
        else if (!std::equal(kGuidPcm.begin(), kGuidPcm.end(), guid))
            return false;
    }
    if (info.type == wtDVIADPCM || info.type == wtMSADPCM) {
        if (c.size() < 20)
            return false;
        info.samplesPerBlock = get16(&c[18]);
    } else if (info.type == wtACM && c.size() >= 20) {
        info.samplesPerBlock = get16(&c[18]);
    }
    if (info.type == wtMSADPCM) {
        if (c.size() < 22)
            return false;
        const size_t n = get16(&c[20]);
        if (n > msadpcm::kMaxCoefs || c.size() < 22 + 4 * n)
            return false;
        info.coefs.resize(n);
        for (size_t i = 0; i < n; ++i) {
            info.coefs[i].c1 = static_cast<int16_t>(get16(&c[22 + 4 * i]));
            info.coefs[i].c2 = static_cast<int16_t>(get16(&c[24 + 4 * i]));
        }
    }
    return true;
}

}  // namespace

HeaderInfo scanHeader(const ByteSource& src, ScanMode mode)
{
    HeaderInfo info;
    HeaderInfo fail;
    Scanner s(src, mode == ScanMode::Reader ? 65535 : 4096);
    uint8_t id[4];
    if (!s.read(id, 4))
        return fail;
    State state = State::Riff;
    bool haveDs64 = false;
    uint64_t ds64Data = 0, ds64Samples = 0;

    // Reads the identifier that follows a chunk of `size` bytes. After an
    // odd size comes a pad byte, which is zero; some writers leave it out,
    // so a non-zero byte there is taken as the start of the identifier.
    auto readNextId = [&](uint64_t size) {
        if ((size & 1) == 0)
            return s.read(id, 4);
        if (!s.read(id, 1))
            return false;
        return id[0] == 0 ? s.read(id, 4) : s.read(id + 1, 3);
    };
    // Skips the chunk whose identifier was just read and reads the next identifier.
    auto skipChunk = [&]() {
        uint32_t size;
        return s.read32(size) && s.skip(size) && readNextId(size);
    };
    // The "ds64" chunk of an RF64 file: the 64-bit sizes behind the 32-bit fields.
    auto takeDs64 = [&]() {
        uint32_t size;
        uint64_t riffSize;
        if (!s.read32(size) || size < 24 || !s.read64(riffSize) || !s.read64(ds64Data) || !s.read64(ds64Samples))
            return false;
        haveDs64 = true;
        return s.skip(static_cast<int64_t>(size) - 24) && readNextId(size);
    };

    for (;;) {
        bool ok = true;
        if (state != State::Riff && state != State::Wave && info.rf64 && !haveDs64 && idMatches(id, "ds64")) {
            if (!takeDs64())
                return fail;
            if (s.atEnd())
                return fail;
            continue;
        }
        switch (state) {
        case State::Riff:
            if (idMatches(id, "RIFF")) {
                ok = s.skip(4) && s.read(id, 4);
                state = State::Wave;
            } else if (mode == ScanMode::Reader && (idMatches(id, "RF64") || idMatches(id, "BW64"))) {
                info.rf64 = true;
                ok = s.skip(4) && s.read(id, 4);
                state = State::Wave;
            } else {
                ok = s.slide(id);
            }
            break;
        case State::Wave:
            if (idMatches(id, "WAVE")) {
                ok = s.read(id, 4);
                state = State::Fmt;
            } else {
                ok = s.slide(id);
            }
            break;
        case State::Fmt:
            if (idMatches(id, "fmt ")) {
                uint32_t size;
                // The chunk is read whole: a size beyond the header area is refused
                // before anything is allocated.
                if (!s.read32(size) || size > 65535)
                    return fail;
                std::vector<uint8_t> chunk(size);
                if (!s.read(chunk.data(), size))
                    return fail;
                if (!takeFormat(chunk, mode, info))
                    return fail;
                info.fmt = std::move(chunk);
                state = isCompressed(info.type) ? State::Fact : State::Data;
                ok = readNextId(size);
            } else {
                ok = skipChunk();
            }
            break;
        case State::Fact:
            if (idMatches(id, "fact")) {
                uint32_t size;
                if (!s.read32(size))
                    return fail;
                const int64_t at = s.position();
                if (size >= 4) {
                    if (!s.read32(info.sampleCount) || !s.skip(static_cast<int64_t>(size) - 4))
                        return fail;
                    info.hasFact = true;
                    info.factCountOffset = at;
                } else if (!s.skip(size)) {
                    return fail;
                }
                ok = readNextId(size);
                state = State::Data;
            } else if (idMatches(id, "data")) {
                // A compressed file without "fact": the data still counts.
                state = State::Data;
                continue;
            } else {
                ok = skipChunk();
            }
            break;
        case State::Data:
            if (idMatches(id, "data")) {
                info.dataSizeOffset = s.position();
                uint32_t size32;
                if (!s.read32(size32))
                    return fail;
                info.dataSize = size32;
                if (info.rf64) {
                    if (!haveDs64)
                        return fail;
                    if (size32 == 0xFFFFFFFFu)
                        info.dataSize = ds64Data;
                    if (info.hasFact && info.sampleCount == 0xFFFFFFFFu)
                        info.sampleCount = static_cast<uint32_t>(std::min<uint64_t>(ds64Samples, 0xFFFFFFFFu));
                }
                info.dataOffset = s.position();
                return info;
            }
            ok = skipChunk();
            break;
        }
        if (!ok || s.atEnd())
            return fail;
    }
}

HeaderInfo scanHeader(std::span<const uint8_t> bytes, ScanMode mode)
{
    size_t pos = 0;
    ByteSource src;
    src.read = [&](uint8_t* dst, int64_t n) -> int64_t {
        const size_t take = std::min<size_t>(static_cast<size_t>(n), bytes.size() - pos);
        if (take)
            std::memcpy(dst, bytes.data() + pos, take);
        pos += take;
        return static_cast<int64_t>(take);
    };
    src.atEnd = [&]() { return pos >= bytes.size(); };
    src.skip = [&](int64_t n) {
        if (static_cast<uint64_t>(n) > bytes.size() - pos)
            return false;
        pos += static_cast<size_t>(n);
        return true;
    };
    return scanHeader(src, mode);
}

bool chunksFollow(const std::function<bool(int64_t pos, uint8_t* dst)>& readAt, int64_t from, int64_t fileSize)
{
    if (from >= fileSize)
        return false;
    int64_t pos = from;
    // A bounded walk: trailing metadata is a handful of chunks.
    for (int chunks = 0; chunks < 1024; ++chunks) {
        uint8_t h[8];
        if (pos + 8 > fileSize || !readAt(pos, h))
            return false;
        for (int i = 0; i < 4; ++i)
            if (h[i] < 0x20 || h[i] > 0x7E)
                return false;
        const uint32_t size = get32(h + 4);
        const int64_t end = pos + 8 + size;
        if (end > fileSize)
            return false;
        // The last chunk may lack its pad byte.
        if (end == fileSize || end + (size & 1) == fileSize)
            return true;
        pos = end + (size & 1);
    }
    return false;
}

std::vector<uint8_t> makeRf64Header(std::span<const uint8_t> riffHeader)
{
    std::vector<uint8_t> h;
    if (riffHeader.size() < 12)
        return h;
    h.reserve(riffHeader.size() + kDs64ChunkBytes);
    h.insert(h.end(), riffHeader.begin(), riffHeader.begin() + 12);
    std::memcpy(h.data(), "RF64", 4);
    put32(h.data() + 4, 0xFFFFFFFFu);
    uint8_t ds64[kDs64ChunkBytes] = {};
    std::memcpy(ds64, "ds64", 4);
    put32(ds64 + 4, 28);  // three 64-bit values and an empty table
    h.insert(h.end(), ds64, ds64 + kDs64ChunkBytes);
    h.insert(h.end(), riffHeader.begin() + 12, riffHeader.end());
    // The 32-bit sizes behind "data" and "fact" point at the ds64 values.
    for (size_t at = 12 + kDs64ChunkBytes; at + 8 <= h.size();) {
        const uint32_t size = get32(h.data() + at + 4);
        if (idMatches(h.data() + at, "data")) {
            put32(h.data() + at + 4, 0xFFFFFFFFu);
            break;
        }
        if (idMatches(h.data() + at, "fact") && at + 12 <= h.size())
            put32(h.data() + at + 8, 0xFFFFFFFFu);
        at += 8 + static_cast<size_t>(padded(size));
    }
    return h;
}

void setDs64(uint8_t* header, uint64_t riffSize, uint64_t dataSize, uint64_t sampleCount)
{
    auto put64 = [](uint8_t* p, uint64_t v) {
        put32(p, static_cast<uint32_t>(v));
        put32(p + 4, static_cast<uint32_t>(v >> 32));
    };
    put64(header + 20, riffSize);
    put64(header + 28, dataSize);
    put64(header + 36, sampleCount);
}

uint32_t channelMask(int channels)
{
    switch (channels) {
    case 1: return 1;
    case 2: return 3;
    case 6: return 0x3F;
    case 8: return 0xFF;
    default: break;
    }
    if (channels <= 0 || channels > 18)
        return 0;
    return (1u << channels) - 1;
}

// The RIFF header and the fields every "fmt " chunk starts with (bytes 0..35).
static void putRiffAndFmt(uint8_t* p, int64_t riffSize, uint32_t fmtSize, uint16_t tag, int channels, uint32_t sampleRate,
                   uint16_t align, int bits)
{
    std::memcpy(p, "RIFF", 4);
    put32(p + 4, clampSize32(riffSize));
    std::memcpy(p + 8, "WAVEfmt ", 8);
    put32(p + 16, fmtSize);
    put16(p + 20, tag);
    put16(p + 22, static_cast<uint16_t>(channels));
    put32(p + 24, sampleRate);
    put32(p + 28, sampleRate * align);
    put16(p + 32, align);
    put16(p + 34, static_cast<uint16_t>(bits));
}

std::array<uint8_t, 44> makePcmHeader(int channels, uint32_t sampleRate, int bits, int64_t dataSize)
{
    std::array<uint8_t, 44> h{};
    uint8_t* p = h.data();
    const uint16_t align = static_cast<uint16_t>((bits * channels) >> 3);
    putRiffAndFmt(p, dataSize + 36, 16, kTagPcm, channels, sampleRate, align, bits);
    std::memcpy(p + 36, "data", 4);
    put32(p + 40, clampSize32(dataSize));
    return h;
}

std::array<uint8_t, 68> makeExtPcmHeader(int channels, uint32_t sampleRate, int bits, int64_t dataSize)
{
    std::array<uint8_t, 68> h{};
    uint8_t* p = h.data();
    const uint16_t align = static_cast<uint16_t>((bits * channels) >> 3);
    putRiffAndFmt(p, dataSize + 60, 40, kTagExtensible, channels, sampleRate, align, bits);
    put16(p + 36, 22);
    put16(p + 38, static_cast<uint16_t>(bits));
    put32(p + 40, channelMask(channels));
    std::memcpy(p + 44, kGuidPcm.data(), 16);
    std::memcpy(p + 60, "data", 4);
    put32(p + 64, clampSize32(dataSize));
    return h;
}

int imaHeaderSamplesPerBlock(int channels, int blockAlign)
{
    if (channels <= 0)
        return 0;
    return (2 / channels) * (blockAlign - 4 * channels) + 1;
}

std::array<uint8_t, 60> makeImaHeader(int channels, uint32_t sampleRate, int blockAlign,
                                      uint32_t sampleCount, uint32_t dataSize)
{
    std::array<uint8_t, 60> h{};
    uint8_t* p = h.data();
    const int spb = imaHeaderSamplesPerBlock(channels, blockAlign);
    std::memcpy(p, "RIFF", 4);
    put32(p + 4, clampSize32(static_cast<int64_t>(dataSize) + 52));
    std::memcpy(p + 8, "WAVEfmt ", 8);
    put32(p + 16, 20);
    put16(p + 20, kTagImaAdpcm);
    put16(p + 22, static_cast<uint16_t>(channels));
    put32(p + 24, sampleRate);
    put32(p + 28, spb > 0 ? (sampleRate / static_cast<uint32_t>(spb)) * static_cast<uint32_t>(blockAlign) : 0);
    put16(p + 32, static_cast<uint16_t>(blockAlign));
    put16(p + 34, 4);
    put16(p + 36, 2);
    put16(p + 38, static_cast<uint16_t>(spb));
    std::memcpy(p + 40, "fact", 4);
    put32(p + 44, 4);
    put32(p + 48, sampleCount);
    std::memcpy(p + 52, "data", 4);
    put32(p + 56, dataSize);
    return h;
}

}  // namespace wav
}  // namespace dw
