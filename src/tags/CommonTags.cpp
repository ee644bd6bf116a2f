#include "tags/CommonTags.h"

namespace dw {

TCommonTags::TCommonTags()
{
    for (const char* key : {"Title", "Album", "Artist", "Genre", "Year", "Track"})
        AddTag(QLatin1String(key), QByteArray(""));
}

}  // namespace dw
