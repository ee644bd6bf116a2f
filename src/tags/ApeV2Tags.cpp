#include "tags/ApeV2Tags.h"

namespace dw {

TAPEv2Tags::TAPEv2Tags()
{
    for (const char* key :
         {"Artist", "Composer", "Album", "Debut album", "Publisher", "Conductor", "Copyright", "ISBN", "ISRC",
          "EAN/UPC", "LC", "Catalog", "Language", "Genre", "Year", "Record Date", "Record Location", "File",
          "Related", "Abstract", "Bibliography", "Track", "Title", "Subtitle", "Comment"})
        AddTag(QLatin1String(key));
}

}  // namespace dw
