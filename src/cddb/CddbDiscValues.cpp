#include "cddb/CddbDiscValues.h"

#include "app/Genres.h"

namespace dw {

namespace {

QString oneLine(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c.category() == QChar::Other_Control)
            c = ' ';
    return out.simplified().left(AlbumTextWidth);
}

}  // namespace

CddbDiscValues DiscValuesFromAlbum(const TCDDBAlbum& a)
{
    CddbDiscValues v;
    v.artist = a.AlbumArtist;
    v.album = a.AlbumTitle;
    v.year = a.AlbumYear;
    v.genre = FindGenreName(a.AlbumGenre);
    v.comment = a.AlbumComment;
    for (int i = 0; i < a.AlbumTrackCount && i < int(a.TrackTitles.size()); ++i)
        v.titles.push_back(a.TrackTitles[std::size_t(i)]);
    return v;
}

CddbDiscValues DiscValuesFromDriveEntry(const CddbEntry& e, int trackCount)
{
    CddbDiscValues v;
    if (!e.dtitle.isEmpty()) {
        const SlashParts p = SplitSlash(e.dtitle);
        v.artist = p.before.left(AlbumTextWidth);
        v.album = p.after.left(AlbumTextWidth);
    }
    if (!e.dyear.isEmpty())
        v.year = e.dyear.left(AlbumTextWidth);
    if (!e.dgenre.isEmpty())
        v.genre = FindGenreName(e.dgenre);
    for (int i = 0; i < trackCount && i < int(e.ttitles.size()); ++i)
        v.titles.push_back(e.ttitles[std::size_t(i)]);
    return v;
}

void ApplyCddbValues(const CddbDiscValues& v, std::vector<TrackRow>& rows, TDiscInfo& disc)
{
    if (v.artist)
        disc.DiscArtist = oneLine(*v.artist);
    if (v.album)
        disc.DiscAlbum = oneLine(*v.album);
    if (v.year)
        disc.DiscYear = oneLine(*v.year);
    if (v.genre)
        disc.DiscGenre = *v.genre;
    if (v.comment)
        disc.DiscComment = *v.comment;
    for (std::size_t i = 0; i < rows.size() && i < v.titles.size(); ++i) {
        const QString title = oneLine(v.titles[i]);
        if (!title.isEmpty())
            rows[i].title = title;
    }
}

}  // namespace dw
