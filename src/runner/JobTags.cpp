#include "runner/JobTags.h"

#include "runner/EncodedTags.h"
#include "tags/Id3Tag.h"

namespace dw {

QString TrackTagTitle(const TDiscInfo& disc, const QString& title, int track)
{
    if (track >= 1 && track < int(disc.DiscTitles.size()) && !disc.DiscTitles[std::size_t(track)].isEmpty())
        return disc.DiscTitles[std::size_t(track)];
    return title;
}

uint16_t WriteTrackId3(const QString& mp3, const TDiscInfo& disc, const QString& title, int track, QString* error)
{
    Tid3tag tag;
    tag.SetTitle(TrackTagTitle(disc, title, track));
    tag.SetArtist(disc.DiscArtist);
    tag.SetAlbum(disc.DiscAlbum);
    tag.SetYear(disc.DiscYear);
    tag.SetGenre(disc.Id3Genre());
    tag.SetComment(disc.DiscComment);
    tag.SetTrack(uint8_t(track >= 0 && track <= 255 ? track : 0));
    const uint16_t status = tag.SaveTag(mp3);
    if (error)
        *error = Tid3tag::Succeeded(status) ? QString() : tag.ErrorText();
    return status;
}

void SetTrackVorbisComments(TVorbisTags& tags, const TDiscInfo& disc, const QString& title, int track)
{
    tags.Clear();
    const TId3v24Fields fields = DiscTrackId3v24Fields(disc, title, track);
    const auto put = [&tags](const char* name, const std::optional<QString>& value) {
        if (value && !value->isEmpty())
            tags.SetValue(QString::fromLatin1(name), TTagValue(*value));
    };
    put("title", fields.title);
    put("artist", fields.artist);
    put("album", fields.album);
    put("date", fields.date);
    put("genre", fields.genre);
    put("comment", fields.comment);
    if (fields.track && fields.track->first > 0) {
        put("tracknumber", QString::number(fields.track->first));
        if (fields.track->second > 0)
            put("tracktotal", QString::number(fields.track->second));
    }
}

}  // namespace dw
