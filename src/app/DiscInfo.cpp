#include "app/DiscInfo.h"

#include "app/Genres.h"

namespace dw {

uint8_t TDiscInfo::Id3Genre() const { return GenreListToId3(DiscGenre + 1); }

}  // namespace dw
