#include "tags/Id3v1Layout.h"

#include "tags/TagFileIo.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dw::id3v1 {

bool HasMagic(const Trailer& t)
{
    return std::equal(kMagic, kMagic + 3, t.begin());
}

TrailerRead ReadTrailer(int fd, Trailer& t)
{
    const int64_t size = tagio::FileSize(fd);
    if (size < 0)
        return TrailerRead::Failed;
    if (size < kSize)
        return TrailerRead::NoTag;
    const int64_t got = tagio::ReadSomeAt(fd, size - kSize, t.data(), t.size());
    if (got < 0)
        return TrailerRead::Failed;
    if (got != kSize) {
        // The file shrank under us: report it as the read failure it is.
        errno = EIO;
        return TrailerRead::Failed;
    }
    return HasMagic(t) ? TrailerRead::Found : TrailerRead::NoTag;
}

bool WriteTrailerAt(int fd, int64_t offset, const Trailer& t)
{
    const int64_t size = tagio::FileSize(fd);
    if (size < 0 || offset < 0 || offset > size) {
        if (size >= 0)
            errno = EINVAL;
        return false;
    }
    // A descriptor opened for appending would put a replacement at the end.
    if (offset < size && (::fcntl(fd, F_GETFL) & O_APPEND)) {
        errno = EINVAL;
        return false;
    }
    // Whatever lies in the range about to be written (at most an old
    // trailer), to put back if the write fails half-way.
    Trailer old{};
    const int64_t oldBytes = std::min<int64_t>(size - offset, kSize);
    if (oldBytes > 0) {
        const int64_t got = tagio::ReadSomeAt(fd, offset, old.data(), static_cast<size_t>(oldBytes));
        if (got != oldBytes) {
            if (got >= 0)
                errno = EIO;
            return false;
        }
    }
    if (tagio::WriteAllAt(fd, offset, t.data(), t.size()))
        return true;
    const int err = errno;
    // The audio ends at offset: only bytes from there on were touched.
    if (oldBytes > 0)
        (void)tagio::WriteAllAt(fd, offset, old.data(), static_cast<size_t>(oldBytes));
    (void)::ftruncate(fd, static_cast<off_t>(size));
    errno = err;
    return false;
}

bool AppendTrailer(int fd, const Trailer& t)
{
    const int64_t size = tagio::FileSize(fd);
    return size >= 0 && WriteTrailerAt(fd, size, t);
}

}  // namespace dw::id3v1
