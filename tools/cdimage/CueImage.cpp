#include "CueImage.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace dwtool {

namespace {

struct FileCloser {
    void operator()(FILE* f) const
    {
        if (f)
            std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

bool parseWhole(const std::string& text, int64_t& value)
{
    if (text.empty() || text.size() > 9)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

std::string binPathFor(const std::string& cuePath)
{
    const std::size_t slash = cuePath.find_last_of('/');
    const std::size_t dot = cuePath.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return cuePath.substr(0, dot) + ".bin";
    return cuePath + ".bin";
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string msfText(int64_t sectors)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(sectors / (60 * 75)),
                  static_cast<long long>(sectors / 75 % 60), static_cast<long long>(sectors % 75));
    return buf;
}

uint8_t bcd(int v) { return uint8_t((v / 10) << 4 | (v % 10)); }

// A Mode 1 sector: sync, header with its absolute address (lead-in included), zero data.
void dataSector(int64_t lsn, uint8_t* out)
{
    std::memset(out, 0, SectorBytes);
    out[0] = 0x00;
    std::memset(out + 1, 0xFF, 10);
    out[11] = 0x00;
    const int64_t a = lsn + 150;
    out[12] = bcd(int(a / (60 * 75)));
    out[13] = bcd(int(a / 75 % 60));
    out[14] = bcd(int(a % 75));
    out[15] = 0x01;
}

bool writeAll(FILE* f, const uint8_t* data, std::size_t size)
{
    return std::fwrite(data, 1, size, f) == size;
}

}  // namespace

bool parseLength(const std::string& text, int64_t& sectors)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    int64_t m = 0, s = 0, f = 0;
    if (parts.size() == 1) {
        if (!parseWhole(parts[0], s))
            return false;
    } else if (parts.size() == 2 || parts.size() == 3) {
        if (!parseWhole(parts[0], m) || !parseWhole(parts[1], s) || s > 59)
            return false;
        if (parts.size() == 3 && (!parseWhole(parts[2], f) || f > 74))
            return false;
    } else {
        return false;
    }
    sectors = (m * 60 + s) * SectorsPerSecond + f;
    return sectors > 0 && sectors <= MaxSectors;
}

void toneFrames(int track, int64_t first, int64_t frames, int16_t* out)
{
    const int period = 60 + 7 * track;
    std::vector<int16_t> table(std::size_t(period) * 2);
    const double pi = std::acos(-1.0);
    for (int n = 0; n < period; ++n) {
        const double v = std::sin(2 * pi * n / period);
        table[std::size_t(n) * 2] = int16_t(std::lround(9000 * v));        // left
        table[std::size_t(n) * 2 + 1] = int16_t(std::lround(-4500 * v));   // right: half, inverted
    }
    int64_t phase = first % period;
    for (int64_t i = 0; i < frames; ++i) {
        out[2 * i] = table[std::size_t(phase) * 2];
        out[2 * i + 1] = table[std::size_t(phase) * 2 + 1];
        if (++phase == period)
            phase = 0;
    }
}

bool writeImage(const std::string& cuePath, const ImageLayout& layout, std::string& error)
{
    if (layout.tracks.empty() || layout.tracks.size() > std::size_t(MaxTracks)) {
        error = "an image holds 1 to 99 tracks";
        return false;
    }
    if (layout.firstTrack < 1 || layout.firstTrack + int(layout.tracks.size()) - 1 > MaxTracks) {
        error = "the track numbers must lie in 1 to 99";
        return false;
    }
    int64_t total = 0;
    for (const ImageTrack& t : layout.tracks)
        total += t.sectors;
    if (total > MaxSectors) {
        error = "the tracks add up to more than 99 minutes";
        return false;
    }
    const std::string binPath = binPathFor(cuePath);
    const std::string binName = baseName(binPath);
    if (binName.find('"') != std::string::npos) {
        error = "the image name must not contain a double quote";
        return false;
    }
    auto removeBoth = [&] {
        std::remove(binPath.c_str());
        std::remove(cuePath.c_str());
    };

    FilePtr bin(std::fopen(binPath.c_str(), "wb"));
    if (!bin) {
        error = "cannot create " + binPath + ": " + std::strerror(errno);
        return false;
    }
    // Chunks of 588 frames (one second = 75 x 588 frames) keep writes large.
    constexpr int64_t chunkSectors = 75 * 8;
    std::vector<uint8_t> chunk(std::size_t(chunkSectors) * SectorBytes);
    std::vector<int16_t> samples(std::size_t(chunkSectors) * 588 * 2);
    int64_t lsn = 0;
    for (std::size_t ti = 0; ti < layout.tracks.size(); ++ti) {
        const ImageTrack& t = layout.tracks[ti];
        const int trackNumber = int(ti) + 1;
        for (int64_t done = 0; done < t.sectors;) {
            const int64_t n = std::min(chunkSectors, t.sectors - done);
            const std::size_t bytes = std::size_t(n) * SectorBytes;
            if (t.data) {
                for (int64_t i = 0; i < n; ++i)
                    dataSector(lsn + done + i, chunk.data() + std::size_t(i) * SectorBytes);
            } else if (layout.silence) {
                std::memset(chunk.data(), 0, bytes);
            } else {
                const int64_t frames = n * 588;
                toneFrames(trackNumber, done * 588, frames, samples.data());
                for (int64_t i = 0; i < frames * 2; ++i) {
                    const uint16_t v = uint16_t(samples[std::size_t(i)]);
                    chunk[std::size_t(i) * 2] = uint8_t(v & 0xFF);
                    chunk[std::size_t(i) * 2 + 1] = uint8_t(v >> 8);
                }
            }
            if (!writeAll(bin.get(), chunk.data(), bytes)) {
                error = "cannot write " + binPath + ": " + std::strerror(errno);
                bin.reset();
                removeBoth();
                return false;
            }
            done += n;
        }
        lsn += t.sectors;
    }
    if (std::fclose(bin.release()) != 0) {
        error = "cannot write " + binPath + ": " + std::strerror(errno);
        removeBoth();
        return false;
    }

    std::string cue = "FILE \"" + binName + "\" BINARY\n";
    int64_t start = 0;
    for (std::size_t ti = 0; ti < layout.tracks.size(); ++ti) {
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02d %s\n", int(ti) + layout.firstTrack,
                      layout.tracks[ti].data ? "MODE1/2352" : "AUDIO");
        cue += line;
        cue += "    INDEX 01 " + msfText(start) + "\n";
        start += layout.tracks[ti].sectors;
    }
    FilePtr cueFile(std::fopen(cuePath.c_str(), "wb"));
    if (!cueFile || !writeAll(cueFile.get(), reinterpret_cast<const uint8_t*>(cue.data()), cue.size()) ||
        std::fclose(cueFile.release()) != 0) {
        error = "cannot write " + cuePath + ": " + std::strerror(errno);
        removeBoth();
        return false;
    }
    return true;
}

}  // namespace dwtool
