#include "tags/Id3v1Target.h"

#include "platform/InputFile.h"
#include "platform/NativePath.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

// Zero bytes some writers leave after an ID3v2 tag beyond its stated size
// are skipped up to this many before a frame must start.
constexpr int64_t kMaxPadding = 64 * 1024;
// At most this many ID3v2 tags in a row are skipped.
constexpr int kMaxTags = 4;

// Reads size bytes at offset; the count read (short at the end of the file), -1 on an error.
ssize_t readAt(int fd, int64_t offset, uint8_t* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, data + done, size - done, off_t(offset + int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += size_t(n);
    }
    return ssize_t(done);
}

// The length in bytes of the MPEG audio frame whose 4-byte header is h, or
// nothing when h is not a valid header (no sync, a reserved version, layer,
// bit rate or sample rate, or the free bit rate, whose length is not stated).
std::optional<int> frameLength(const uint8_t* h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int version = (h[1] >> 3) & 3;  // 3: MPEG 1, 2: MPEG 2, 0: MPEG 2.5, 1: reserved
    const int layer = (h[1] >> 1) & 3;    // 3: layer I, 2: layer II, 1: layer III, 0: reserved
    const int bitRateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    const int padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    static constexpr int kBitRates[2][3][15] = {
        // MPEG 1: layer I, II, III
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        // MPEG 2 and 2.5: layer I, II, III
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
    };
    static constexpr int kRates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int rate = kRates[rateIndex] >> (mpeg1 ? 0 : (version == 2 ? 1 : 2));
    const int bitRate = kBitRates[mpeg1 ? 0 : 1][3 - layer][bitRateIndex] * 1000;
    if (layer == 3)
        return (12 * bitRate / rate + padding) * 4;
    const int perFrame = (layer == 1 && !mpeg1) ? 72 : 144;
    return perFrame * bitRate / rate + padding;
}

// What a file that is no MP3 holds, judged by the bytes where its audio starts.
QString otherFormat(const uint8_t* head, ssize_t got)
{
    if (got >= 4 && std::memcmp(head, "fLaC", 4) == 0)
        return QStringLiteral("it holds FLAC audio");
    if (got >= 4 && std::memcmp(head, "OggS", 4) == 0)
        return QStringLiteral("it is an Ogg file");
    if (got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0)
        return QStringLiteral("it is a WAV file");
    return QStringLiteral("no MPEG audio frame where its audio starts");
}

}  // namespace

QString CheckId3v1Target(const QString& path)
{
    QString problem;
    const UniqueFd fd = OpenInputFile(path, &problem);
    if (!fd)
        return problem;
    const auto readFailed = [&] { return QStringLiteral("%1: %2").arg(path, SystemReason(errno)); };

    // Past the ID3v2 tags at the start: a 10-byte header with a syncsafe
    // size, and a 10-byte footer when its flag is set.
    int64_t pos = 0;
    std::array<uint8_t, 12> head{};
    ssize_t got = 0;
    for (int tags = 0;; ++tags) {
        got = readAt(fd.get(), pos, head.data(), head.size());
        if (got < 0)
            return readFailed();
        const bool tag = got >= 10 && std::memcmp(head.data(), "ID3", 3) == 0 && head[3] != 0xFF &&
                         head[4] != 0xFF && (head[6] | head[7] | head[8] | head[9]) < 0x80;
        if (!tag || tags == kMaxTags)
            break;
        const int64_t size = int64_t(head[6]) << 21 | int64_t(head[7]) << 14 | int64_t(head[8]) << 7 | head[9];
        pos += 10 + size + ((head[5] & 0x10) ? 10 : 0);
    }
    // Padding of zero bytes after the tag.
    const int64_t paddingEnd = pos + kMaxPadding;
    while (got > 0 && head[0] == 0 && pos < paddingEnd) {
        uint8_t block[512];
        const ssize_t n = readAt(fd.get(), pos, block, sizeof block);
        if (n < 0)
            return readFailed();
        ssize_t zeros = 0;
        while (zeros < n && block[zeros] == 0)
            ++zeros;
        pos += zeros;
        if (zeros < n || n == 0) {
            got = readAt(fd.get(), pos, head.data(), head.size());
            if (got < 0)
                return readFailed();
            break;
        }
    }

    const auto refuse = [&](const QString& why) {
        return QStringLiteral("%1: not an MP3 file (%2); only MP3 files take an ID3v1 tag").arg(path, why);
    };
    const std::optional<int> length = got >= 4 ? frameLength(head.data()) : std::nullopt;
    if (!length)
        return refuse(otherFormat(head.data(), got));
    // The next frame, where the file holds one, must be of the same stream.
    // At the end of the file, or at a tag that follows the audio, the one
    // frame stands alone.
    // A frame cut short by an ID3v1 trailer stands alone too.
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return readFailed();
    int64_t audioEnd = int64_t(st.st_size);
    uint8_t last[3] = {};
    if (audioEnd >= pos + 4 + 128) {
        const ssize_t n = readAt(fd.get(), audioEnd - 128, last, sizeof last);
        if (n < 0)
            return readFailed();
        if (n == 3 && std::memcmp(last, "TAG", 3) == 0)
            audioEnd -= 128;
    }
    if (pos + *length + 4 > audioEnd)
        return {};
    uint8_t next[4] = {};
    const ssize_t more = readAt(fd.get(), pos + *length, next, sizeof next);
    if (more < 0)
        return readFailed();
    if (more < 4 || std::memcmp(next, "TAG", 3) == 0 || std::memcmp(next, "APET", 4) == 0 ||
        std::memcmp(next, "LYRI", 4) == 0)
        return {};
    const bool sameStream = frameLength(next) && (next[1] & 0xFE) == (head[1] & 0xFE) &&
                            ((next[2] >> 2) & 3) == ((head[2] >> 2) & 3);
    return sameStream ? QString() : refuse(QStringLiteral("no MPEG audio frame where its audio starts"));
}

}  // namespace dw
