#pragma once
// The picture of the About window: "About.jpg" in the program folder, decoded
// through the JPEG layer. A null pixmap when there is none or it cannot be
// decoded (the window then shows without it).

#include <QPixmap>

namespace dw {

inline constexpr char AboutPictureFile[] = "About.jpg";

QPixmap AboutPicture();

}  // namespace dw
