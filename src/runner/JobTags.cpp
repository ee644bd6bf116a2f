#include "runner/JobTags.h"

#include "tags/Id3Tag.h"

namespace dw {

uint16_t WriteTrackId3(const QString& mp3, const TDiscInfo& disc, const QString& title, int track, QString* error)
{
    Tid3tag tag;
    tag.SetTitle(title);
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
    const auto put = [&tags](const char* name, const QString& value) {
        if (!value.isEmpty())
            tags.SetValue(QString::fromLatin1(name), TTagValue(value));
    };
    put("title", title);
    put("artist", disc.DiscArtist);
    put("album", disc.DiscAlbum);
    put("date", disc.DiscYear);
    // The genre as the ripper mode writes it: the decimal ID3v1 genre byte.
    put("genre", disc.DiscGenre >= 0 ? QString::number(disc.Id3Genre()) : QString());
    if (track > 0)
        put("tracknumber", QString::number(track));
}

}  // namespace dw
