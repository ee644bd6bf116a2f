#include "audio/stream/AuTaggedFileIn.h"

#include "tags/ApeV2Tags.h"
#include "tags/CommonTags.h"
#include "tags/Id3v1Tags.h"
#include "tags/Id3v2Tags.h"

namespace dw {

TAuTaggedFileIn::TAuTaggedFileIn()
    : Id3v1Tags(std::make_unique<TId3v1Tags>()),
      Id3v2Tags(std::make_unique<TId3v2Tags>()),
      APEv2Tags(std::make_unique<TAPEv2Tags>()),
      CommonTags(std::make_unique<TCommonTags>())
{
}

TAuTaggedFileIn::~TAuTaggedFileIn() = default;

}  // namespace dw
