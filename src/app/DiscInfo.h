#pragma once
// The information of one disc: artist, album, year, genre, comment, track
// count and track titles. The listing and the disc-information cache fill it,
// the job runner tags ripped tracks from it. The settings record holds the
// current disc's value (TAppSettings derives from it, so the fields keep the
// names AppSettings.DiscArtist ... AppSettings.DiscTitles).

#include <QString>

#include <array>
#include <cstdint>

namespace dw {

struct TDiscInfo {
    QString DiscArtist, DiscAlbum, DiscYear;
    int DiscGenre = -1;          // 0-based index into GenreNames, -1 none
    QString DiscComment;
    int DiscTrackCount = 0;
    std::array<QString, 101> DiscTitles;  // slot k = track k (1..100); slot 0 unused

    // The ID3v1 genre byte of the disc genre: GenreListToId3(DiscGenre + 1),
    // 255 when there is none.
    uint8_t Id3Genre() const;
};

}  // namespace dw
