#include "app/DiscInfo.h"

#include "app/Genres.h"

namespace dw {

uint8_t TDiscInfo::Id3Genre() const { return GenreListToId3(DiscGenre + 1); }

QString TDiscInfo::GenreName() const
{
    if (DiscGenre < 0 || DiscGenre >= int(GenreNames.size()))
        return {};
    return QString::fromLatin1(GenreNames[std::size_t(DiscGenre)]);
}

}  // namespace dw
