#include "jobs/EncoderItemChecks.h"

#include "jobs/ChildProcess.h"
#include "platform/NativePath.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

namespace dw {

namespace {

QString withReason(const QString& path, const QString& reason) { return path + QStringLiteral(": ") + reason; }

bool startsWith(const uint8_t* bytes, size_t count, const char* text, size_t at = 0)
{
    for (size_t i = 0; text[i]; ++i)
        if (at + i >= count || bytes[at + i] != static_cast<uint8_t>(text[i]))
            return false;
    return true;
}

bool looksLikeWav(const uint8_t* b, size_t n)
{
    return (startsWith(b, n, "RIFF") || startsWith(b, n, "RF64") || startsWith(b, n, "BW64")) &&
           startsWith(b, n, "WAVE", 8);
}

// An ID3v2 tag (version 2..4, size bytes below 0x80), or an MPEG audio frame
// header: 11 sync bits, a version and layer that exist, a bit-rate index
// other than 15 and a sample-rate index other than 3.
bool looksLikeMp3(const uint8_t* b, size_t n)
{
    if (n >= 10 && startsWith(b, n, "ID3") && b[3] >= 2 && b[3] <= 4 && (b[6] | b[7] | b[8] | b[9]) < 0x80)
        return true;
    if (n < 4 || b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return false;
    const unsigned version = (b[1] >> 3) & 3, layer = (b[1] >> 1) & 3;
    const unsigned bitRate = b[2] >> 4, sampleRate = (b[2] >> 2) & 3;
    return version != 1 && layer != 0 && bitRate != 15 && sampleRate != 3;
}

// The folder part of a path, by plain string work so that names which are not
// UTF-8 keep their bytes.
QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

}  // namespace

QString CheckEncoderInput(const QString& path, EncoderInputKind kind)
{
    const TPathInfo info = StatPath(path);
    if (!info.exists)
        return withReason(path, SystemReason(info.error));
    if (info.isDir)
        return withReason(path, SystemReason(EISDIR));
    if (!info.isFile)
        return withReason(path, QStringLiteral("not a regular file"));
    if (info.size == 0)
        return withReason(path, QStringLiteral("the file is empty"));
    // Read-only and non-blocking: the input is never opened for writing, and
    // a name swapped for a FIFO meanwhile cannot hang the check.
    UniqueFd fd(::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd)
        return withReason(path, SystemReason(errno));
    std::array<uint8_t, 12> head{};
    size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::read(fd.get(), head.data() + got, head.size() - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return withReason(path, SystemReason(errno));
        break;
    }
    if (kind == EncoderInputKind::Wav && !looksLikeWav(head.data(), got))
        return withReason(path, QStringLiteral("not a WAV file (no RIFF/WAVE header)"));
    if (kind == EncoderInputKind::Mp3 && !looksLikeMp3(head.data(), got))
        return withReason(path, QStringLiteral("not an MP3 file (no ID3 tag or MPEG audio frame at the start)"));
    return {};
}

QString CheckEncoderOutput(const QString& input, const QString& output)
{
    if (output.isEmpty())
        return QStringLiteral("no output file was named");
    if (SameFile(input, output))
        return InputAsOutputMessage(output);
    if (IsDirectory(output))
        return withReason(output, SystemReason(EISDIR));
    QString reason;
    if (!FolderWritable(folderOf(output), &reason))
        return reason;
    return {};
}

}  // namespace dw
