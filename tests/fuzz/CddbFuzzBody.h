#pragma once
// What the CDDB fuzz target does with one input, shared with the regression
// test that replays the saved inputs. The bytes are a server's answer: they
// are decoded, split into lines and read as a query answer (with its match
// lines) and as an entry in both clients' ways, and the entry is applied to a
// disc of three rows. The bounds every reader promises are checked; a broken
// one aborts, so the fuzzer reports it like a crash.

#include "cd/DriveCddbProtocol.h"
#include "cddb/CDDBAlbum.h"
#include "cddb/CddbDiscValues.h"
#include "cddb/CddbEntry.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace dwfuzz {

inline void check(bool ok)
{
    if (!ok)
        std::abort();
}

inline void feedCddb(const uint8_t* data, size_t size)
{
    using namespace dw;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList lines = CddbLines(DecodeCddbText(bytes));
    check(lines.size() <= CddbMaxLines);

    const CddbQueryScan scan = ScanCddbQuery(lines);
    check(scan.matches.size() <= CddbMaxMatches);
    check(scan.code == -2 || (scan.code >= 0 && scan.code <= 999));
    (void)CddbAnswerText(scan.code, scan.statusLine);
    for (const QString& m : scan.matches)
        if (const auto match = ParseCddbMatch(m))
            check(!match->category.isEmpty() && match->discId.size() <= 8);

    const CddbEntry entry = ParseCddbEntry(lines);
    check(entry.ttitles.size() <= std::size_t(CddbMaxTracks) && entry.extt.size() == entry.ttitles.size());
    const TCDDBAlbum album = AlbumFromEntry(entry);
    check(album.AlbumTrackCount == int32_t(album.TrackTitles.size()));
    check(album.AlbumYear.size() <= AlbumYearWidth && album.AlbumGenre.size() <= AlbumGenreWidth);
    for (const QString& t : album.TrackTitles)
        check(t.size() <= AlbumTextWidth);

    std::vector<TrackRow> rows(3);
    TDiscInfo disc;
    ApplyCddbValues(DiscValuesFromDriveEntry(entry, 3), rows, disc);
    ApplyCddbValues(DiscValuesFromAlbum(album), rows, disc);
    check(rows.size() == 3);
    for (const TrackRow& r : rows)
        check(!r.title.contains('\n') && r.title.size() <= AlbumTextWidth);
}

}  // namespace dwfuzz
