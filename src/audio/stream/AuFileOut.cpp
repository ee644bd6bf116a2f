#include "audio/stream/AuFileOut.h"

namespace dw {

TAuFileOut::TAuFileOut() = default;

TAuFileOut::~TAuFileOut() = default;

void TAuFileOut::SetFileMode(TFileOutputMode mode)
{
    FileMode = mode;
}

}  // namespace dw
