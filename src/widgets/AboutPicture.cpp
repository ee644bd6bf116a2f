#include "widgets/AboutPicture.h"

namespace dw {

QPixmap AboutPicture()
{
    // Decoded once the platform's JPEG layer is available; until then the
    // About window shows without its picture.
    return QPixmap();
}

}  // namespace dw
