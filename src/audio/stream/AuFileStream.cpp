#include "audio/stream/AuFileStream.h"

#include "audio/stream/AuException.h"
#include "platform/FileSharing.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

// strerror_r comes in two flavours; take whichever this C library offers.
[[maybe_unused]] const char* pickText(int, const char* buf) { return buf; }
[[maybe_unused]] const char* pickText(const char* text, const char*) { return text; }

QString systemText(int err)
{
    char buf[256] = {0};
    return QString::fromLocal8Bit(pickText(strerror_r(err, buf, sizeof buf), buf));
}

[[noreturn]] void raiseSystem(int err)
{
    throw EAuException(systemText(err));
}

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

}  // namespace

TAuFileStream::TAuFileStream(const QString& fileName, uint16_t mode) : fileName_(fileName)
{
    const QByteArray native = QFile::encodeName(fileName);
    if (native.isEmpty())
        raiseSystem(ENOENT);

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
        case 0:
            access = AccessRead;
            fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
            break;
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
            raiseSystem(EINVAL);
        }
    }
    if (fd == -1)
        raiseSystem(errno);

    struct stat st;
    const int statErr = ::fstat(fd, &st) != 0 ? errno : (S_ISDIR(st.st_mode) ? EISDIR : 0);
    if (statErr != 0) {
        ::close(fd);
        raiseSystem(statErr);
    }
    if (!TakeShareLocks(fd, access, share)) {
        ::close(fd);
        throw EAuException(SharingViolationText());
    }
    if (mode == fmCreate && ::ftruncate(fd, 0) != 0) {
        const int err = errno;
        ::close(fd);
        raiseSystem(err);
    }
    fd_ = fd;
}

TAuFileStream::~TAuFileStream()
{
    if (fd_ != -1)
        ::close(fd_);
}

// Repeats a read or write until count bytes moved or it moved nothing (end of
// file); EINTR is retried, any other error raised with the system's text.
template <typename Op>
int64_t transferAll(int64_t count, Op op)
{
    int64_t total = 0;
    while (total < count) {
        const ssize_t n = op(total, count - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            raiseSystem(errno);
        }
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

int64_t TAuFileStream::Read(void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    return transferAll(count, [&](int64_t done, int64_t left) {
        return ::read(fd_, static_cast<char*>(buffer) + done, static_cast<size_t>(left));
    });
}

int64_t TAuFileStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    return transferAll(count, [&](int64_t done, int64_t left) {
        return ::write(fd_, static_cast<const char*>(buffer) + done, static_cast<size_t>(left));
    });
}

int64_t TAuFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    const off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (pos == -1)
        raiseSystem(errno);
    return pos;
}

void TAuFileStream::SetSize(int64_t newSize)
{
    if (newSize < 0)
        raiseSystem(EINVAL);
    if (::ftruncate(fd_, static_cast<off_t>(newSize)) != 0)
        raiseSystem(errno);
    if (Seek(0, TSeekOrigin::soCurrent) > newSize)
        Seek(newSize, TSeekOrigin::soBeginning);
}

int64_t TAuFileStream::GetSize()
{
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        raiseSystem(errno);
    return st.st_size;
}

}  // namespace dw
