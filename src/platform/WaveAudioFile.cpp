#include "platform/WaveAudioFile.h"

#include "platform/FdIo.h"
#include "platform/NativePath.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagExtensible = 0xFFFE;
// Chunks are walked at most this far before "data" must have been found.
constexpr int kMaxChunks = 64;

}  // namespace

bool TWaveAudioFormat::supported() const
{
    return (channels == 1 || channels == 2) && (bits == 8 || bits == 16) && sampleRate >= 1000 &&
           sampleRate <= 384000;
}

std::array<uint8_t, kWaveHeaderBytes> WaveAudioHeader(const TWaveAudioFormat& f, int64_t dataBytes)
{
    const auto data = uint32_t(std::min<int64_t>(std::max<int64_t>(dataBytes, 0), kMaxWaveDataBytes));
    std::array<uint8_t, kWaveHeaderBytes> h{};
    std::memcpy(&h[0], "RIFF", 4);
    put32(&h[4], 36 + data);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    put32(&h[16], 16);
    put16(&h[20], kTagPcm);
    put16(&h[22], uint16_t(f.channels));
    put32(&h[24], uint32_t(f.sampleRate));
    put32(&h[28], uint32_t(f.bytesPerSecond()));
    put16(&h[32], uint16_t(f.blockAlign()));
    put16(&h[34], uint16_t(f.bits));
    std::memcpy(&h[36], "data", 4);
    put32(&h[40], data);
    return h;
}

bool ReadWaveAudioLayout(const QString& path, TWaveAudioLayout& layout, QString* error)
{
    auto fail = [&](const QString& reason) {
        if (error)
            *error = QString("%1: %2").arg(path, reason);
        return false;
    };
    UniqueFd fd = OpenReadOnly(path);
    if (!fd)
        return fail(SystemReason(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return fail(SystemReason(errno));
    if (!S_ISREG(st.st_mode))
        return fail(SystemReason(S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
    const int64_t fileSize = st.st_size;

    uint8_t riff[12];
    if (ReadFull(fd.get(), riff, sizeof riff) != ssize_t(sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return fail("not a WAV file");

    bool haveFormat = false;
    int64_t pos = 12;
    for (int n = 0; n < kMaxChunks && pos + 8 <= fileSize; ++n) {
        uint8_t chunk[8];
        if (::lseek(fd.get(), pos, SEEK_SET) != pos || ReadFull(fd.get(), chunk, 8) != 8)
            return fail("not a WAV file");
        const int64_t size = get32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t fmt[40] = {};
            const ssize_t want = ssize_t(std::min<int64_t>(size, sizeof fmt));
            if (size < 16 || ReadFull(fd.get(), fmt, size_t(want)) != want)
                return fail("not a WAV file");
            uint16_t tag = get16(fmt);
            if (tag == kTagExtensible && size >= 40)
                tag = get16(fmt + 24);  // the sub-format's first two bytes
            layout.format.channels = get16(fmt + 2);
            layout.format.sampleRate = int(get32(fmt + 4));
            layout.format.bits = get16(fmt + 14);
            if (tag != kTagPcm || !layout.format.supported() || get16(fmt + 12) != layout.format.blockAlign())
                return fail("only 8 or 16 bit PCM WAV files of one or two channels can be played and recorded");
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                return fail("not a WAV file");
            layout.dataOffset = pos + 8;
            const int64_t there = std::min(size, fileSize - layout.dataOffset);
            layout.dataBytes = there - there % layout.format.blockAlign();
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    return fail("not a WAV file");
}

}  // namespace dw
