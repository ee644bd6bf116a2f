#include "tags/TagFileIo.h"

#include <QList>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace dw::tagio {

bool TFileHandle::Close()
{
    if (fd_ < 0)
        return true;
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close reports EINTR.
    return ::close(fd) == 0 || errno == EINTR;
}

int64_t ReadSome(int fd, void* buf, size_t n)
{
    auto* p = static_cast<char*>(buf);
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::read(fd, p + done, n - done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return done ? static_cast<int64_t>(done) : -1;
        if (r == 0)
            break;
        done += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(done);
}

int64_t ReadSomeAt(int fd, int64_t offset, void* buf, size_t n)
{
    auto* p = static_cast<char*>(buf);
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd, p + done, n - done, static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return done ? static_cast<int64_t>(done) : -1;
        if (r == 0)
            break;
        done += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(done);
}

bool WriteAllAt(int fd, int64_t offset, const void* buf, size_t n)
{
    const auto* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < n) {
        const ssize_t w = ::pwrite(fd, p + done, n - done, static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = EIO;
            return false;
        }
        done += static_cast<size_t>(w);
    }
    return true;
}

int64_t FileSize(int fd)
{
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

QByteArray ToLatin1(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4())
        out += c <= 0xFF ? static_cast<char>(c) : '?';
    return out;
}

QString LeftCodePoints(const QString& text, int max)
{
    qsizetype i = 0;
    for (int n = 0; n < max && i < text.size(); ++n)
        i += text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
    return text.left(i);
}

}  // namespace dw::tagio
