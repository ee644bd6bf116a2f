#include "platform/FdIo.h"

#include "platform/NativePath.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dw {

void UniqueFd::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

UniqueFd OpenReadOnly(const QString& path)
{
    return UniqueFd(::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
}

ssize_t ReadFull(int fd, void* data, size_t size)
{
    auto* p = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    return ssize_t(done);
}

bool WriteFull(int fd, const void* data, size_t size)
{
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= size_t(n);
    }
    return true;
}

}  // namespace dw
