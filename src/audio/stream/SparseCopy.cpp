#include "audio/stream/SparseCopy.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

int copyData(int source, int64_t from, int64_t to, int dest, int64_t shift, std::vector<char>& buf)
{
    while (from < to) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(to - from, static_cast<int64_t>(buf.size())));
        const ssize_t got = ::pread(source, buf.data(), want, from);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return 0;  // the source ended early: the rest stays zero
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(dest, buf.data() + done, static_cast<size_t>(got - done), from + shift + done);
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (put == 0)
                return ENOSPC;
            done += put;
        }
        from += got;
    }
    return 0;
}

}  // namespace

int CopyFileRange(int source, int64_t from, int64_t to, int dest, int64_t at)
{
    std::vector<char> buf(1 << 20);
    const int64_t shift = at - from;
    int64_t pos = from;
    while (pos < to) {
        off_t dataAt = ::lseek(source, pos, SEEK_DATA);
        if (dataAt == -1) {
            if (errno == ENXIO)
                break;  // only a hole is left
            // No hole support here: copy the rest as it is.
            if (const int err = copyData(source, pos, to, dest, shift, buf))
                return err;
            break;
        }
        if (dataAt >= to)
            break;
        off_t holeAt = ::lseek(source, dataAt, SEEK_HOLE);
        if (holeAt == -1 || holeAt > to)
            holeAt = to;
        if (const int err = copyData(source, dataAt, holeAt, dest, shift, buf))
            return err;
        pos = holeAt;
    }
    struct stat st;
    if (::fstat(dest, &st) != 0)
        return errno;
    const int64_t end = at + (to - from);
    if (st.st_size < end && ::ftruncate(dest, end) != 0)
        return errno;
    return 0;
}

}  // namespace dw
