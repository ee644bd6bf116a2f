#include "app/ScaleWaveVolume.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace dw {

namespace {

QString norPath(const QString& path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    if (suffix.isEmpty())
        return path + ".nor";
    return path.left(path.size() - suffix.size()) + "nor";
}

[[noreturn]] void fail(const QString& what, const QFile& f)
{
    throw IoError(QString("%1 %2: %3").arg(what, f.fileName(), f.errorString()).toStdString());
}

}  // namespace

bool ScaleWaveVolume(int percent, const QString& path, const ScaleProgress& progress)
{
    const float factor = float(percent) / 100.0f;
    const QString temp = norPath(path);

    QFile src(path);
    if (!src.open(QIODevice::ReadOnly))
        fail("Cannot open", src);
    QFile dst(temp);
    if (!dst.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail("Cannot create", dst);

    // Any failure from here on removes the partial copy and leaves the source alone.
    try {
        const QByteArray header = src.read(44);
        if (header.size() < 0 || src.error() != QFileDevice::NoError)
            fail("Cannot read", src);
        if (dst.write(header) != header.size())
            fail("Cannot write", dst);

        const qint64 total = src.size();
        qint64 done = header.size();
        char block[2048];
        for (;;) {
            if (progress && !progress(done, total)) {
                dst.close();
                QFile::remove(temp);
                return false;
            }
            const qint64 n = src.read(block, sizeof block);
            if (n < 0)
                fail("Cannot read", src);
            if (n == 0)
                break;
            for (qint64 i = 0; i + 1 < n; i += 2) {
                const auto lo = uint8_t(block[i]), hi = uint8_t(block[i + 1]);
                const auto sample = int16_t(uint16_t(lo | (hi << 8)));
                // Halves round to even (the default rounding mode); gains above
                // 100 % saturate instead of wrapping around.
                float scaled = std::nearbyint(float(sample) * factor);
                scaled = std::clamp(scaled, -32768.0f, 32767.0f);
                const auto out = uint16_t(int16_t(scaled));
                block[i] = char(out & 0xFF);
                block[i + 1] = char(out >> 8);
            }
            // A short write (a full disk) must not replace the source with a cut copy.
            if (dst.write(block, n) != n)
                fail("Cannot write", dst);
            done += n;
        }
        if (!dst.flush())
            fail("Cannot write", dst);
    } catch (...) {
        dst.close();
        QFile::remove(temp);
        throw;
    }
    src.close();
    dst.close();
    if (dst.error() != QFileDevice::NoError) {
        QFile::remove(temp);
        fail("Cannot write", dst);
    }

    if (!QFile::remove(path))
        return false;
    return QFile::rename(temp, path);
}

}  // namespace dw
