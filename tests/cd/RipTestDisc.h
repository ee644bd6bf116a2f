#pragma once
// A small CD image for the ripping tests: a .cue sheet and a .bin of
// pseudo-random sectors, so that any shifted, swapped or padded byte shows.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <set>
#include <stdexcept>
#include <vector>

namespace riptest {

constexpr int SectorBytes = 2352;

struct TestDisc {
    QString cue;
    QString bin;
    QByteArray bin_bytes;             // the whole .bin
    std::vector<int> starts;          // sector of each track, then the end (lead-out)

    int trackCount() const { return int(starts.size()) - 1; }
    int trackSectors(int track) const { return starts[size_t(track)] - starts[size_t(track - 1)]; }
    // The bytes of a track (1-based) as the .bin holds them.
    QByteArray track(int t) const
    {
        return bin_bytes.mid(qsizetype(starts[size_t(t - 1)]) * SectorBytes, qsizetype(trackSectors(t)) * SectorBytes);
    }
};

inline QString msf(int sectors)
{
    return QString::asprintf("%02d:%02d:%02d", sectors / 4500, sectors / 75 % 60, sectors % 75);
}

// Writes folder/name.cue and folder/name.bin with tracks of the given lengths
// (in sectors); tracks in dataTracks (1-based positions) are MODE1/2352 data
// tracks. The disc's track numbers start at firstTrack.
inline TestDisc MakeTestDisc(const QString& folder, const QString& name, const std::vector<int>& lengths,
                             const std::set<int>& dataTracks = {}, uint32_t seed = 12345, int firstTrack = 1)
{
    TestDisc disc;
    disc.cue = folder + "/" + name + ".cue";
    disc.bin = folder + "/" + name + ".bin";
    int total = 0;
    for (int len : lengths) {
        disc.starts.push_back(total);
        total += len;
    }
    disc.starts.push_back(total);
    disc.bin_bytes.resize(qsizetype(total) * SectorBytes);
    uint32_t x = seed;
    char* p = disc.bin_bytes.data();
    for (qsizetype i = 0; i < disc.bin_bytes.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        p[i] = char(x >> 24);
    }
    QByteArray cue = "FILE \"" + name.toUtf8() + ".bin\" BINARY\n";
    for (size_t t = 0; t < lengths.size(); ++t) {
        const bool data = dataTracks.count(int(t) + 1) != 0;
        cue += QString::asprintf("  TRACK %02d %s\n", int(t) + firstTrack, data ? "MODE1/2352" : "AUDIO").toUtf8();
        cue += "    INDEX 01 " + msf(disc.starts[t]).toUtf8() + "\n";
    }
    QFile c(disc.cue), b(disc.bin);
    if (!c.open(QIODevice::WriteOnly | QIODevice::Truncate) || c.write(cue) != cue.size()
        || !b.open(QIODevice::WriteOnly | QIODevice::Truncate) || b.write(disc.bin_bytes) != disc.bin_bytes.size())
        throw std::runtime_error("cannot write the test disc");
    return disc;
}

}  // namespace riptest
