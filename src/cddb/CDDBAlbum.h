#pragma once
// TCDDBAlbum: what the HTTP CDDB client keeps of an entry, each text cut to
// its field width.

#include "cddb/CddbEntry.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace dw {

struct TCDDBAlbum {
    std::vector<QString> TrackArtists;  // 255 characters each
    std::vector<QString> TrackTitles;   // 255
    std::vector<QString> TrackExtData;  // 255
    QString AlbumExtData;               // 255, all EXTD lines joined
    QString AlbumTitle;                 // 255, DTITLE after the slash
    QString AlbumArtist;                // 255, DTITLE before the slash
    QString AlbumYear;                  // 4
    QString AlbumGenre;                 // 30
    QString AlbumComment;               // 255, never filled
    QString GeneratedBy;                // 255
    QString DiscLength;                 // 30
    int32_t AlbumTrackCount = 0;        // tracks the entry names (TTITLE0 ... TTITLEn-1)
};

// Field widths.
constexpr int AlbumTextWidth = 255;
constexpr int AlbumYearWidth = 4;
constexpr int AlbumGenreWidth = 30;
constexpr int AlbumDiscLengthWidth = 30;

// The record of an entry. A track title "artist / title" (a slash between
// blanks) gives the track's artist and title; any other title, one with a
// bare slash included, is the title whole, with the album artist as its
// artist.
TCDDBAlbum AlbumFromEntry(const CddbEntry& entry);

}  // namespace dw
