#pragma once
// JPEG data as a QImage for the windows (the About and CDDB pictures),
// through the platform's JPEG decoder. A null image when the data is refused.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace dw {

QImage JpegToImage(const QByteArray& data, QString* error = nullptr);
// Reads a JPEG file of at most maxBytes (a picture file is small; a larger
// one is refused unread). A null image when it is missing or refused.
QImage JpegFileToImage(const QString& path, QString* error = nullptr, qint64 maxBytes = 16 * 1024 * 1024);

}  // namespace dw
