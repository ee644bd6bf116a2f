#include "widgets/JpegImage.h"

#include "platform/JpegDecoder.h"
#include "platform/NativePath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dw {

QImage JpegToImage(const QByteArray& data, QString* error)
{
    const std::optional<TRgbPicture> picture = DecodeJpeg(data, error);
    if (!picture)
        return {};
    QImage image(picture->width, picture->height, QImage::Format_RGB888);
    if (image.isNull()) {
        if (error)
            *error = QStringLiteral("JPEG: not enough memory for the picture");
        return {};
    }
    const qsizetype rowBytes = qsizetype(picture->width) * 3;
    for (int y = 0; y < picture->height; ++y)
        memcpy(image.scanLine(y), picture->rgb.constData() + y * rowBytes, size_t(rowBytes));
    return image;
}

QImage JpegFileToImage(const QString& path, QString* error, qint64 maxBytes)
{
    const TPathInfo info = StatPath(path);
    if (!info.isFile || info.size > maxBytes) {
        if (error)
            *error = path + (info.isFile ? QStringLiteral(": the file is too large for a picture")
                                         : QStringLiteral(": no such picture file"));
        return {};
    }
    const int fd = ::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = path + QStringLiteral(": ") + SystemReason(errno);
        return {};
    }
    // Never more than the size checked above, whatever the file grew to since.
    QByteArray data(qsizetype(info.size), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(fd, data.data() + got, size_t(data.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    data.truncate(got);
    return JpegToImage(data, error);
}

}  // namespace dw
