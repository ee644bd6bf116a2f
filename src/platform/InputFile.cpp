#include "platform/InputFile.h"

#include "platform/NativePath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace dw {

namespace {

// The refusal for a file of the given st_mode; empty for a regular file.
QString kindProblem(const QString& path, mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QStringLiteral("%1: %2").arg(path, SystemReason(EISDIR));
    const char* kind = S_ISFIFO(mode)   ? "a FIFO"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "not a file";
    return QStringLiteral("%1: is %2, not a regular file").arg(path, QLatin1String(kind));
}

}  // namespace

QString CheckInputFile(const QString& path)
{
    struct stat st {};
    const QByteArray native = NativePath(path);
    if (native.isEmpty())
        return QStringLiteral("%1: %2").arg(path, SystemReason(ENOENT));
    if (::stat(native.constData(), &st) != 0)
        return QStringLiteral("%1: %2").arg(path, SystemReason(errno));
    return kindProblem(path, st.st_mode);
}

UniqueFd OpenInputFile(const QString& path, QString* message)
{
    const auto refuse = [&](const QString& why) {
        if (message)
            *message = why;
        return UniqueFd();
    };
    // A device is never opened at all (opening one can act on it); the
    // check on the open descriptor below catches a name swapped meanwhile.
    if (const QString why = CheckInputFile(path); !why.isEmpty())
        return refuse(why);
    const QByteArray native = NativePath(path);
    // O_NONBLOCK lets a FIFO open at once; it is cleared again for the
    // regular file that is kept (it means nothing to one anyway).
    UniqueFd fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd)
        return refuse(QStringLiteral("%1: %2").arg(path, SystemReason(errno)));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return refuse(QStringLiteral("%1: %2").arg(path, SystemReason(errno)));
    if (const QString why = kindProblem(path, st.st_mode); !why.isEmpty())
        return refuse(why);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return refuse(QStringLiteral("%1: %2").arg(path, SystemReason(errno)));
    return fd;
}

}  // namespace dw
