#include "audio/stream/DescriptorStream.h"

#include "audio/stream/AuException.h"
#include "platform/NativePath.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace dw {

TDescriptorStream::TDescriptorStream(int fd, QString displayName, bool owned)
{
    Attach(fd, std::move(displayName), owned);
}

TDescriptorStream::~TDescriptorStream()
{
    if (owned_ && fd_ != -1)
        ::close(fd_);
}

void TDescriptorStream::Attach(int fd, QString displayName, bool owned)
{
    fd_ = fd;
    owned_ = owned;
    name_ = std::move(displayName);
}

void TDescriptorStream::RaiseSystem(int err) const
{
    throw EAuException(QString("%1: %2").arg(name_, SystemReason(err)));
}

namespace {

// Repeats a read or write until count bytes moved or it moved nothing (end of
// file); EINTR is retried. Returns -errno on failure.
template <typename Op>
int64_t transferAll(int64_t count, Op op, int& err)
{
    int64_t total = 0;
    while (total < count) {
        const ssize_t n = op(total, count - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return total;
        }
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

}  // namespace

int64_t TDescriptorStream::Read(void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    int err = 0;
    const int64_t n = transferAll(count, [&](int64_t done, int64_t left) {
        return ::read(fd_, static_cast<char*>(buffer) + done, static_cast<size_t>(left));
    }, err);
    if (err != 0)
        RaiseSystem(err);
    return n;
}

int64_t TDescriptorStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    int err = 0;
    const int64_t n = transferAll(count, [&](int64_t done, int64_t left) {
        return ::write(fd_, static_cast<const char*>(buffer) + done, static_cast<size_t>(left));
    }, err);
    // A write that stopped short without an error code still means the
    // device took no more: report it as a full device.
    if (err != 0 || n < count)
        RaiseSystem(err != 0 ? err : ENOSPC);
    return n;
}

int64_t TDescriptorStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    const off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (pos == -1)
        RaiseSystem(errno);
    return pos;
}

void TDescriptorStream::SetSize(int64_t newSize)
{
    if (newSize < 0)
        RaiseSystem(EINVAL);
    if (::ftruncate(fd_, static_cast<off_t>(newSize)) != 0)
        RaiseSystem(errno);
    if (Seek(0, TSeekOrigin::soCurrent) > newSize)
        Seek(newSize, TSeekOrigin::soBeginning);
}

int64_t TDescriptorStream::GetSize()
{
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        RaiseSystem(errno);
    return st.st_size;
}

}  // namespace dw
