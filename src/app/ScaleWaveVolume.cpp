#include "app/ScaleWaveVolume.h"

#include "platform/FdIo.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace dw {

namespace {

constexpr int HeaderBytes = 44;
constexpr int BlockBytes = 2048;

QString norPath(const QString& path)
{
    // Only the file name part may hold the extension that is replaced.
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1)
        return path + QStringLiteral(".nor");
    return path.left(dot) + QStringLiteral(".nor");
}

[[noreturn]] void fail(const QString& file, int error)
{
    throw IoError((file + QStringLiteral(": ") + SystemReason(error)).toStdString());
}



}  // namespace

int16_t ScaleSample(int16_t sample, int percent)
{
    // sample x percent is exact in 64 bits; split it as q x 100 + r with
    // 0 <= r < 100 (floor division), then round q up when r is above one
    // half, or exactly one half and q is odd.
    const int64_t product = int64_t(sample) * percent;
    int64_t q = product / 100;
    int64_t r = product % 100;
    if (r < 0) {
        r += 100;
        q -= 1;
    }
    if (r > 50 || (r == 50 && (q & 1) != 0))
        q += 1;
    if (q > 32767)
        return 32767;
    if (q < -32768)
        return -32768;
    return int16_t(q);
}

bool ScaleWaveInto(int percent, const QString& source, TOutputFile& target, const ScaleProgress& progress)
{
    UniqueFd src = OpenReadOnly(source);
    if (src.get() < 0)
        fail(source, errno);
    const TPathInfo info = StatPath(source);
    const int64_t total = info.exists ? info.size : 0;
    const QString targetName = target.FinalPath();

    char header[HeaderBytes];
    const ssize_t headerRead = ReadFull(src.get(), header, sizeof header);
    if (headerRead < 0)
        fail(source, errno);
    if (!WriteFull(target.Fd(), header, size_t(headerRead)))
        fail(targetName, errno);

    int64_t done = headerRead;
    char block[BlockBytes];
    for (;;) {
        if (progress && !progress(done, total))
            return false;
        // Blocks of whole samples: a read cut at an odd byte would pair the
        // halves of two samples wrongly, so only the file's last byte can be odd.
        const ssize_t n = ReadFull(src.get(), block, sizeof block);
        if (n < 0)
            fail(source, errno);
        if (n == 0)
            break;
        for (ssize_t i = 0; i + 1 < n; i += 2) {
            const auto lo = uint8_t(block[i]), hi = uint8_t(block[i + 1]);
            const auto out = uint16_t(ScaleSample(int16_t(uint16_t(lo | (hi << 8))), percent));
            block[i] = char(out & 0xFF);
            block[i + 1] = char(out >> 8);
        }
        if (!WriteFull(target.Fd(), block, size_t(n)))
            fail(targetName, errno);
        done += n;
    }
    return true;
}

bool ScaleWaveVolume(int percent, const QString& path, const ScaleProgress& progress)
{
    const QString temp = norPath(path);
    TOutputFile nor(temp);
    if (!nor.Create())
        throw IoError(nor.Error().toStdString());
    if (!ScaleWaveInto(percent, path, nor, progress))
        return false;  // the temporary copy goes with nor
    if (!nor.Commit(true))
        throw IoError(nor.Error().toStdString());
    // One rename replaces the source: there is no moment without either.
    if (::rename(NativePath(temp).constData(), NativePath(path).constData()) != 0)
        return false;
    return true;
}

}  // namespace dw
