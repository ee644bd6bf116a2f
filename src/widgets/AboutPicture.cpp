#include "widgets/AboutPicture.h"

#include "platform/Paths.h"
#include "widgets/JpegImage.h"

namespace dw {

QPixmap AboutPicture()
{
    // The picture ships beside the program as a JPEG file; without it (or
    // when it cannot be decoded) the About window shows without a picture.
    QString error;
    const QImage image = JpegFileToImage(ProgramFolder() + QStringLiteral("About.jpg"), &error);
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

}  // namespace dw
