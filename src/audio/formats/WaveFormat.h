#pragma once
// RIFF/WAVE header handling shared by the WAV reader and writer: the types of
// WAV data, the tolerant sliding header scanner, and the headers we write.
// Every multi-byte number is little-endian and read or written byte by byte.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "audio/formats/MsAdpcm.h"

namespace dw {

// What kind of data a WAV file holds (order is part of the published interface).
enum TWavType {
    wtUnsupported,
    wtPCM,
    wtDVIADPCM,
    wtMSADPCM,
    wtACM,
    wtIEEEFloat,
    wtExtPCM,
    wtExtIEEEFloat
};

// The name the WAV conversion window shows for each type.
const char* WavTypeName(TWavType t);

namespace wav {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagMsAdpcm = 2;
constexpr uint16_t kTagIeeeFloat = 3;
constexpr uint16_t kTagImaAdpcm = 0x11;
constexpr uint16_t kTagMpeg3 = 0x55;
constexpr uint16_t kTagExtensible = 0xFFFE;

// Sub-format GUIDs of extensible headers, as stored in the file.
extern const std::array<uint8_t, 16> kGuidPcm;
extern const std::array<uint8_t, 16> kGuidIeeeFloat;

inline uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
// A size for a 32-bit header field: values beyond 32 bits are capped.
uint32_t clampSize32(int64_t v);

// Chunk identifiers match when each byte equals the expected one or differs
// from it by exactly 32, so case is ignored and a zero byte stands for a blank.
bool idMatches(const uint8_t* got, const char* expected);

// Where the scanner reads from. read() returns the bytes it could read
// (fewer means the end of the source); atEnd() is true when the source knows
// its size and its position has reached it.
// skip(), when set, moves n bytes forward without reading them (a seek), so
// chunks of any size are passed over without reading or buffering them.
struct ByteSource {
    std::function<int64_t(uint8_t* dst, int64_t n)> read;
    std::function<bool()> atEnd;
    std::function<bool(int64_t n)> skip;
};

// The header area bounds the bytes the scanner reads (junk it slides over,
// chunk headers, "fmt " and "fact"); the bodies of other chunks are skipped,
// whatever their size, and do not count.
enum class ScanMode {
    Reader,   // every type the reader knows, RF64/BW64 too; 65535 bytes of header area
    Append    // plain 32-bit RIFF PCM and IMA ADPCM only; 4096 bytes of header area
};

struct HeaderInfo {
    TWavType type = wtUnsupported;
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t samplesPerBlock = 0;   // compressed types
    bool hasFact = false;
    uint32_t sampleCount = 0;       // from "fact": sample frames per channel
    std::vector<msadpcm::Coef> coefs;   // Microsoft ADPCM
    std::vector<uint8_t> fmt;       // the whole "fmt " chunk as found
    bool rf64 = false;              // "RF64"/"BW64" with a "ds64" chunk
    uint64_t dataSize = 0;          // from ds64 when the 32-bit field says 0xFFFFFFFF
    int64_t dataOffset = -1;        // first audio byte
    int64_t dataSizeOffset = -1;    // the "data" chunk's size field
    int64_t factCountOffset = -1;   // the "fact" sample count (IMA ADPCM)
};

// Walks the header from the start of the source: slides over junk to "RIFF"
// and "WAVE", skips unknown chunks, reads "fmt ", "fact" (compressed types)
// and stops just behind the "data" size field. Anything malformed, short or
// too long gives type wtUnsupported.
HeaderInfo scanHeader(const ByteSource& src, ScanMode mode);

// Convenience for in-memory data (tests, fuzzing, decoded ACM data).
HeaderInfo scanHeader(std::span<const uint8_t> bytes, ScanMode mode);

// Whether the bytes from `from` to `fileSize` are a sequence of whole RIFF
// chunks (printable identifiers, sizes that land exactly on the end of the
// file, pad bytes after odd sizes). A file whose data chunk is followed by
// such chunks cannot be appended to; bytes that do not form chunks are audio
// behind a stale data size (a write that never fixed its header).
// readAt(pos, dst) reads the 8 bytes at pos; false when it cannot.
bool chunksFollow(const std::function<bool(int64_t pos, uint8_t* dst)>& readAt, int64_t from, int64_t fileSize);

// RF64 (EBU Tech 3306). The header of a 32-bit RIFF file of headerSize bytes
// (as the make*Header functions build them) turned into an RF64 header: the
// "RF64" id and 0xFFFFFFFF for the RIFF size, a "ds64" chunk right behind
// "WAVE", 0xFFFFFFFF in the data size and, when present, the fact count.
// The result is kDs64ChunkBytes longer than the header given.
constexpr int kDs64ChunkBytes = 36;
std::vector<uint8_t> makeRf64Header(std::span<const uint8_t> riffHeader);
// Sets the three 64-bit values of the ds64 chunk of such a header (in a
// buffer that holds at least its first 48 bytes).
void setDs64(uint8_t* header, uint64_t riffSize, uint64_t dataSize, uint64_t sampleCount);
// The largest RIFF size a 32-bit header can state; larger files are RF64.
constexpr int64_t kMaxRiffSize = 0xFFFFFFFFLL;

// Channel mask of an extensible header: 1, 3, $3F, $FF for 1, 2, 6, 8
// channels; otherwise the lowest `channels` bits (0 beyond 18 channels).
uint32_t channelMask(int channels);

// The 44-byte PCM header for `dataSize` bytes of audio.
std::array<uint8_t, 44> makePcmHeader(int channels, uint32_t sampleRate, int bits, int64_t dataSize);
// The 68-byte extensible (tag $FFFE) PCM header.
std::array<uint8_t, 68> makeExtPcmHeader(int channels, uint32_t sampleRate, int bits, int64_t dataSize);
// The 60-byte IMA ADPCM header. sampleCount is per channel.
std::array<uint8_t, 60> makeImaHeader(int channels, uint32_t sampleRate, int blockAlign,
                                      uint32_t sampleCount, uint32_t dataSize);
// Samples per IMA block as the header states it: (2 div channels) x
// (blockAlign - 4 x channels) + 1.
int imaHeaderSamplesPerBlock(int channels, int blockAlign);

}  // namespace wav
}  // namespace dw
