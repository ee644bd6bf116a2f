#include "audio/formats/Dither.h"

namespace dw {

TDitherMode DitherModeOf(int stored)
{
    switch (stored) {
    case static_cast<int>(TDitherMode::WhenNarrowing): return TDitherMode::WhenNarrowing;
    case static_cast<int>(TDitherMode::Never): return TDitherMode::Never;
    default: break;
    }
    return TDitherMode::EightBitOnly;
}

bool DitherApplies(TDitherMode mode, int fromBits, int toBits)
{
    if (toBits >= fromBits)
        return false;
    switch (mode) {
    case TDitherMode::EightBitOnly: return toBits == 8;
    case TDitherMode::WhenNarrowing: return true;
    case TDitherMode::Never: break;
    }
    return false;
}

}  // namespace dw
