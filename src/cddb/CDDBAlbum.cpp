#include "cddb/CDDBAlbum.h"

namespace dw {

TCDDBAlbum AlbumFromEntry(const CddbEntry& e)
{
    TCDDBAlbum a;
    const SlashParts disc = SplitSlash(e.dtitle);
    a.AlbumArtist = disc.before.left(AlbumTextWidth);
    a.AlbumTitle = disc.after.left(AlbumTextWidth);
    a.AlbumYear = e.dyear.left(AlbumYearWidth);
    a.AlbumGenre = e.dgenre.left(AlbumGenreWidth);
    a.AlbumExtData = e.extd.left(AlbumTextWidth);
    a.GeneratedBy = e.generatedBy.left(AlbumTextWidth);
    a.DiscLength = e.discLength.left(AlbumDiscLengthWidth);
    a.AlbumTrackCount = int32_t(e.ttitles.size());
    for (std::size_t k = 0; k < e.ttitles.size(); ++k) {
        const QString& value = e.ttitles[k];
        // Only " / " parts an artist from the title, as in the disc title;
        // a bare slash belongs to the title ("Either/Or", "AC/DC Live").
        if (value.contains(QLatin1String(" / "))) {
            const SlashParts t = SplitSlash(value);
            a.TrackArtists.push_back(t.before.left(AlbumTextWidth));
            a.TrackTitles.push_back(t.after.left(AlbumTextWidth));
        } else {
            a.TrackArtists.push_back(a.AlbumArtist);
            a.TrackTitles.push_back(value.left(AlbumTextWidth));
        }
        a.TrackExtData.push_back(k < e.extt.size() ? e.extt[k].left(AlbumTextWidth) : QString());
    }
    return a;
}

}  // namespace dw
