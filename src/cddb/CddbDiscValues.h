#pragma once
// What a lookup found for the disc, as the main window takes it: the disc's
// artist, album, year, genre and comment, and a title per row of the track
// list (row 0 = the disc's first track). Values the entry did not carry stay
// unset and leave the current ones alone.

#include "app/DiscInfo.h"
#include "cd/DiscListing.h"
#include "cddb/CDDBAlbum.h"
#include "cddb/CddbEntry.h"

#include <QString>

#include <optional>
#include <vector>

namespace dw {

struct CddbDiscValues {
    std::optional<QString> artist, album, year, comment;
    std::optional<int> genre;  // index into GenreNames, -1 = none
    std::vector<QString> titles;
};

// Ripper mode: everything from the album record (titles after the slash).
CddbDiscValues DiscValuesFromAlbum(const TCDDBAlbum& album);
// Drive mode: DTITLE, DYEAR and DGENRE where present; the whole TTITLE value
// of each of trackCount rows (rows without a TTITLE keep their title).
CddbDiscValues DiscValuesFromDriveEntry(const CddbEntry& entry, int trackCount);

// Writes the values into the disc information and the rows' titles (for the
// rows that exist; extra titles are dropped). Line breaks and other control
// characters in titles become blanks; an empty title leaves the row alone.
void ApplyCddbValues(const CddbDiscValues& values, std::vector<TrackRow>& rows, TDiscInfo& disc);

}  // namespace dw
