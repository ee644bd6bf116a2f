// JPEG decoding through libjpeg, against pictures Qt's own JPEG writer makes
// at run time, and against truncated and damaged data.
#include "widgets/JpegImage.h"

#include "platform/JpegDecoder.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace dw;

QByteArray jpegOf(const QImage& image, int quality = 95)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", quality))
        throw std::runtime_error("Qt cannot write JPEG here");
    return bytes;
}

// A smooth picture with distinct corners, so orientation and colour errors show.
QImage testPicture(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 255 / (w - 1), y * 255 / (h - 1), 128));
    return image;
}

int largestDifference(const QImage& a, const QImage& b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

TEST(JpegImage, DecodesWhatQtWritesInColourAndGrey)
{
    const QImage original = testPicture(67, 41);  // not a multiple of the 8x8 blocks
    const QByteArray data = jpegOf(original);
    QString error;
    const QImage decoded = JpegToImage(data, &error);
    ASSERT_FALSE(decoded.isNull()) << error.toStdString();
    ASSERT_EQ(decoded.size(), original.size());
    EXPECT_LE(largestDifference(decoded, QImage::fromData(data, "JPG")), 2);
    EXPECT_LE(largestDifference(decoded, original), 16);

    QImage grey(33, 20, QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            grey.scanLine(y)[x] = uchar(x * 7 + y);
    const std::optional<TRgbPicture> g = DecodeJpeg(jpegOf(grey));
    ASSERT_TRUE(g.has_value());
    ASSERT_EQ(g->rgb.size(), 33 * 20 * 3);
    for (qsizetype i = 0; i < g->rgb.size(); i += 3)
        ASSERT_TRUE(g->rgb[i] == g->rgb[i + 1] && g->rgb[i] == g->rgb[i + 2]) << i;
}

// Every cut of the data is refused (a picture missing its end would show grey),
// and so is a header that claims more pixels than the limit.
TEST(JpegImage, RefusesTruncatedAndOversizedData)
{
    const QByteArray data = jpegOf(testPicture(40, 30));
    for (qsizetype n = 0; n < data.size(); n += (n < 700 ? 1 : 13)) {
        QString error;
        EXPECT_TRUE(JpegToImage(data.left(n), &error).isNull()) << n;
        EXPECT_FALSE(error.isEmpty()) << n;
    }
    EXPECT_TRUE(JpegToImage(data.left(data.size() - 2)).isNull()) << "no end-of-image marker";

    // The frame header (FFC0) holds height and width after its length and precision.
    QByteArray huge = data;
    const qsizetype sof = huge.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    huge[sof + 5] = char(0x7F);  // height 32512
    huge[sof + 7] = char(0x7F);  // width 32512
    QString error;
    EXPECT_TRUE(JpegToImage(huge, &error).isNull());
    EXPECT_TRUE(error.contains("larger")) << error.toStdString();
}

// Damaged data never crashes the decoder (the sanitizer build checks the
// reads); whatever it accepts has the size the header says.
TEST(JpegImage, SurvivesDamagedData)
{
    const QByteArray data = jpegOf(testPicture(48, 32), 80);
    QRandomGenerator random(20240607);
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray bad = data;
        for (int k = 0; k < 1 + round % 8; ++k)
            bad[2 + random.bounded(int(bad.size()) - 2)] = char(random.bounded(256));
        const QImage image = JpegToImage(bad);
        if (image.isNull())
            ++refused;
        else
            EXPECT_LE(qint64(image.width()) * image.height(), MaxJpegPixels);
    }
    EXPECT_GT(refused, 0);
    EXPECT_TRUE(JpegToImage(QByteArray("\xFF\xD8\xFF\xD9", 4)).isNull());
    EXPECT_TRUE(JpegToImage(QByteArray(1000, '\xFF')).isNull());
}

TEST(JpegImage, ReadsPictureFilesWithinALimit)
{
    dwtest::Sandbox box;
    const QByteArray data = jpegOf(testPicture(20, 20));
    box.write("About.jpg", data);
    EXPECT_EQ(JpegFileToImage(box.file("About.jpg")).size(), QSize(20, 20));
    QString error;
    EXPECT_TRUE(JpegFileToImage(box.file("About.jpg"), &error, data.size() - 1).isNull());
    EXPECT_TRUE(error.contains("too large"));
    EXPECT_TRUE(JpegFileToImage(box.file("missing.jpg"), &error).isNull());
    EXPECT_TRUE(JpegFileToImage(box.path(), &error).isNull()) << "a folder is no picture";
}

}  // namespace
