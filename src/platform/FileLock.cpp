#include "platform/FileLock.h"

#include "platform/NativePath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace dw {

TFileLock::TFileLock(const QString& filePath)
{
    const QByteArray lockPath = NativePath(filePath + QStringLiteral(".lock"));
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

TFileLock::~TFileLock()
{
    if (fd_ >= 0)
        ::close(fd_);  // closing the last descriptor releases the lock
}

}  // namespace dw
