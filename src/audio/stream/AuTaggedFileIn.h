#pragma once
// A file input that carries tags. The tag containers it owns (ID3v1, ID3v2,
// APEv2 and a common one) are added with the tag classes; until then it is a
// plain file input that descendants can already derive from.

#include "audio/stream/AuFileIn.h"

namespace dw {

class TAuTaggedFileIn : public TAuFileIn {
public:
    TAuTaggedFileIn();
    ~TAuTaggedFileIn() override;
};

}  // namespace dw
