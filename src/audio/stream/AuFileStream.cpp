#include "audio/stream/AuFileStream.h"

#include "audio/stream/AuException.h"
#include "platform/FileSharing.h"
#include "platform/InputFile.h"
#include "platform/NativePath.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

// Share bits 4-7 of the mode word: 0 and 1 none, 2 read, 3 write, 4 both.
unsigned shareFromMode(uint16_t mode)
{
    switch ((mode >> 4) & 0x0F) {
    case 2: return ShareRead;
    case 3: return ShareWrite;
    case 4: return ShareRead | ShareWrite;
    default: return ShareNone;
    }
}

[[noreturn]] void raiseFor(const QString& fileName, int err)
{
    throw EAuException(QString("%1: %2").arg(fileName, SystemReason(err)));
}

}  // namespace

TAuFileStream::TAuFileStream(const QString& fileName, uint16_t mode)
{
    const QByteArray native = NativePath(fileName);
    if (native.isEmpty())
        raiseFor(fileName, ENOENT);

    unsigned access = 0;
    unsigned share = ShareNone;
    int fd = -1;
    if (mode == fmCreate) {
        access = AccessRead | AccessWrite;
        // Not truncated yet: a file in use by another open must survive.
        fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    } else {
        share = shareFromMode(mode);
        switch (mode & 0x03) {
        case 0: {
            // Inputs are regular files: a FIFO or a device is refused before
            // anything can block on it.
            access = AccessRead;
            QString refusal;
            fd = OpenInputFile(fileName, &refusal).release();
            if (fd == -1)
                throw EAuException(refusal);
            break;
        }
        case 1:
            access = AccessWrite;
            // Read access as well where permitted, so the share locks can be held.
            fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY);
            if (fd == -1 && errno == EACCES)
                fd = ::open(native.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            break;
        case 2:
            access = AccessRead | AccessWrite;
            fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY);
            break;
        default:
            raiseFor(fileName, EINVAL);
        }
    }
    if (fd == -1)
        raiseFor(fileName, errno);

    struct stat st;
    const int statErr = ::fstat(fd, &st) != 0 ? errno : (S_ISDIR(st.st_mode) ? EISDIR : 0);
    if (statErr != 0) {
        ::close(fd);
        raiseFor(fileName, statErr);
    }
    if (!TakeShareLocks(fd, access, share)) {
        ::close(fd);
        throw EAuException(SharingViolationText());
    }
    if (mode == fmCreate && ::ftruncate(fd, 0) != 0) {
        const int err = errno;
        ::close(fd);
        raiseFor(fileName, err);
    }
    Attach(fd, fileName, true);
}

TAuFileStream::~TAuFileStream() = default;

}  // namespace dw
