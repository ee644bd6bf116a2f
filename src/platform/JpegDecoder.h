#pragma once
// JPEG pictures (the About and CDDB pictures) decoded through libjpeg into
// 8-bit RGB. The data is untrusted: truncated or damaged data, a warning of
// the decoder, a picture larger than the limits below or a colour model
// other than grey, YCbCr/RGB and CMYK/YCCK is refused with a reason; nothing
// is ever read outside the given bytes.
//
// Thread-safe (each call has its own decompressor).

#include <QByteArray>
#include <QString>

#include <optional>

namespace dw {

struct TRgbPicture {
    int width = 0;
    int height = 0;
    QByteArray rgb;  // height rows of width x 3 bytes (R, G, B), no padding
};

// Largest picture decoded: 8192 pixels a side and 32 million pixels.
inline constexpr int MaxJpegSide = 8192;
inline constexpr long long MaxJpegPixels = 32LL * 1024 * 1024;

// Decodes JPEG data; nothing (with *error saying why) when it is refused.
std::optional<TRgbPicture> DecodeJpeg(const QByteArray& data, QString* error = nullptr);

}  // namespace dw
