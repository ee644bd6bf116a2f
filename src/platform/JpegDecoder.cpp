#include "platform/JpegDecoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace dw {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// it jumps back to the decoding function. The reason is kept as text.
struct ErrorManager {
    jpeg_error_mgr pub{};
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
    bool warned = false;
};

void errorExit(j_common_ptr info)
{
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (a premature end of data, corrupt entropy data) make the picture
// refused: the decoder would otherwise fill the rest with grey.
void emitMessage(j_common_ptr info, int level)
{
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0 && !err->warned) {
        err->warned = true;
        (*info->err->format_message)(info, err->message);
    }
}

// The decompressor, destroyed with the object.
class Decompressor {
public:
    Decompressor()
    {
        info.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = errorExit;
        errors.pub.emit_message = emitMessage;
    }
    // Safe whether or not the decompressor was created: libjpeg frees only
    // what its memory manager holds, and a zeroed one holds nothing.
    ~Decompressor() { jpeg_destroy_decompress(&info); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    jpeg_decompress_struct info{};
    ErrorManager errors;
};

// CMYK as Adobe writes it (inverted) to RGB.
void cmykRowToRgb(const JSAMPLE* in, uint8_t* out, int width)
{
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
        const int k = in[3];
        out[0] = uint8_t(in[0] * k / 255);
        out[1] = uint8_t(in[1] * k / 255);
        out[2] = uint8_t(in[2] * k / 255);
    }
}

// The decoding steps that may jump back on an error. Only trivially
// destructible objects live here, so the jump skips no destructor.
// Returns the refusal reason, or nullptr when decoded.
const char* decodeInto(Decompressor& d, const QByteArray& data, TRgbPicture& picture, JSAMPLE* rowBuffer)
{
    jpeg_decompress_struct& info = d.info;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
        return "no picture in the data";
    if (info.image_width == 0 || info.image_height == 0 || info.image_width > unsigned(MaxJpegSide) ||
        info.image_height > unsigned(MaxJpegSide) ||
        static_cast<long long>(info.image_width) * info.image_height > MaxJpegPixels)
        return "the picture is larger than the program shows";
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    if (!cmyk && info.jpeg_color_space != JCS_GRAYSCALE && info.jpeg_color_space != JCS_YCbCr &&
        info.jpeg_color_space != JCS_RGB)
        return "the picture's colour model is not supported";
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&info);
    const int width = int(info.output_width);
    const int height = int(info.output_height);
    const int components = info.output_components;
    if (width != int(info.image_width) || height != int(info.image_height) || components != (cmyk ? 4 : 3))
        return "the decoder gave an unexpected layout";
    picture.width = width;
    picture.height = height;
    uint8_t* out = reinterpret_cast<uint8_t*>(picture.rgb.data());
    while (info.output_scanline < info.output_height) {
        const int y = int(info.output_scanline);
        JSAMPROW row = cmyk ? rowBuffer : reinterpret_cast<JSAMPROW>(out + size_t(y) * width * 3);
        if (jpeg_read_scanlines(&info, &row, 1) != 1)
            return "the data ends inside the picture";
        if (cmyk)
            cmykRowToRgb(rowBuffer, out + size_t(y) * width * 3, width);
    }
    jpeg_finish_decompress(&info);
    return nullptr;
}

// Reads the header only, to size the buffers before the decoding pass.
bool readSize(const QByteArray& data, int& width, int& height, QString& reason)
{
    Decompressor d;
    if (setjmp(d.errors.jump)) {
        reason = QString::fromLocal8Bit(d.errors.message);
        return false;
    }
    jpeg_create_decompress(&d.info);
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d.info, TRUE);
    width = int(std::min<JDIMENSION>(d.info.image_width, MaxJpegSide + 1));
    height = int(std::min<JDIMENSION>(d.info.image_height, MaxJpegSide + 1));
    return true;
}

}  // namespace

std::optional<TRgbPicture> DecodeJpeg(const QByteArray& data, QString* error)
{
    const auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("JPEG: ") + why;
        return std::nullopt;
    };
    // A JPEG stream begins with the start-of-image marker.
    if (data.size() < 4 || uint8_t(data[0]) != 0xFF || uint8_t(data[1]) != 0xD8)
        return fail(QStringLiteral("not JPEG data"));

    int width = 0, height = 0;
    QString reason;
    if (!readSize(data, width, height, reason))
        return fail(reason);
    if (width <= 0 || height <= 0 || width > MaxJpegSide || height > MaxJpegSide ||
        static_cast<long long>(width) * height > MaxJpegPixels)
        return fail(QStringLiteral("the picture is larger than the program shows"));

    // Buffers made before the jump point, sized from the header (the second
    // pass refuses a header that differs from it).
    TRgbPicture picture;
    picture.rgb = QByteArray(qsizetype(width) * height * 3, Qt::Uninitialized);
    QByteArray rowBuffer(qsizetype(width) * 4, Qt::Uninitialized);
    Decompressor d;
    if (setjmp(d.errors.jump))
        return fail(QString::fromLocal8Bit(d.errors.message));
    const char* refused = decodeInto(d, data, picture, reinterpret_cast<JSAMPLE*>(rowBuffer.data()));
    if (refused)
        return fail(QString::fromLatin1(refused));
    if (d.errors.warned)
        return fail(QString::fromLocal8Bit(d.errors.message));
    if (picture.width != width || picture.height != height)
        return fail(QStringLiteral("the decoder gave an unexpected layout"));
    return picture;
}

}  // namespace dw
