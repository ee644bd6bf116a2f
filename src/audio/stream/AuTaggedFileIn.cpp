#include "audio/stream/AuTaggedFileIn.h"

namespace dw {

TAuTaggedFileIn::TAuTaggedFileIn() = default;

TAuTaggedFileIn::~TAuTaggedFileIn() = default;

}  // namespace dw
