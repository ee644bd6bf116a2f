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

// The scanner's view of the source: counts what it consumed and refuses to
// go past the header limit.
class Scanner {
public:
    Scanner(const ByteSource& src, int64_t limit) : src_(src), limit_(limit) {}

    int64_t consumed() const { return consumed_; }

    // Reads exactly n bytes into dst (or discards them when dst is null).
    bool read(uint8_t* dst, int64_t n)
    {
        if (n < 0 || consumed_ + n > limit_)
            return false;
        if (n == 0)
            return true;
        uint8_t scratch[4096];
        while (n > 0) {
            const int64_t part = dst ? n : std::min<int64_t>(n, sizeof scratch);
            const int64_t got = src_.read(dst ? dst : scratch, part);
            if (got <= 0)
                return false;
            consumed_ += got;
            n -= got;
            if (dst)
                dst += got;
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
    int64_t consumed_ = 0;
};

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

    // Skips the chunk whose identifier was just read and reads the next identifier.
    auto skipChunk = [&]() {
        uint32_t size;
        return s.read32(size) && s.read(nullptr, size) && s.read(id, 4);
    };

    for (;;) {
        bool ok = true;
        switch (state) {
        case State::Riff:
            if (idMatches(id, "RIFF")) {
                ok = s.read(nullptr, 4) && s.read(id, 4);
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
                if (!s.read32(size) || size > 65535)
                    return fail;
                std::vector<uint8_t> chunk(size);
                if (!s.read(chunk.data(), size))
                    return fail;
                if (!takeFormat(chunk, mode, info))
                    return fail;
                info.fmt = std::move(chunk);
                state = isCompressed(info.type) ? State::Fact : State::Data;
                ok = s.read(id, 4);
            } else {
                ok = skipChunk();
            }
            break;
        case State::Fact:
            if (idMatches(id, "fact")) {
                uint32_t size;
                if (!s.read32(size))
                    return fail;
                const int64_t at = s.consumed();
                if (size >= 4) {
                    if (!s.read32(info.sampleCount) || !s.read(nullptr, size - 4))
                        return fail;
                    info.hasFact = true;
                    info.factCountOffset = at;
                } else if (!s.read(nullptr, size)) {
                    return fail;
                }
                ok = s.read(id, 4);
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
                info.dataSizeOffset = s.consumed();
                if (!s.read32(info.dataSize))
                    return fail;
                info.dataOffset = s.consumed();
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
    return scanHeader(src, mode);
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
