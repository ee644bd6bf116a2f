#include "tags/TaggedCopy.h"

#include "platform/FdIo.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace dw {

namespace {

constexpr size_t kCopyBlock = 1 << 16;
constexpr size_t kKernelCopyChunk = size_t(1) << 30;

bool fail(QString* error, const QString& path, const QString& reason)
{
    if (error)
        *error = path + QStringLiteral(": ") + reason;
    return false;
}

// The file a path names after following symbolic links, so the tagged copy
// replaces the file and not a link to it.
QString resolvedPath(const QString& path, int& err)
{
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(NativePath(path).constData(), nullptr), &std::free);
    if (!real) {
        err = errno;
        return {};
    }
    return PathFromNative(real.get());
}

// Copies every byte of src into out's temporary file and gives it src's
// permission bits.
bool copyInto(int src, TOutputFile& out, mode_t mode, int& err)
{
    // The kernel copies without bringing the bytes through this process;
    // where it cannot (another file system, an old kernel), the loop below
    // copies what is left.
    for (;;) {
        const ssize_t n = ::copy_file_range(src, nullptr, out.Fd(), nullptr, kKernelCopyChunk, 0);
        if (n > 0)
            continue;
        if (n == 0)
            break;  // end of the source
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
            err = errno;
            return false;
        }
        break;
    }
    std::vector<char> buf(kCopyBlock);
    for (;;) {
        const ssize_t n = ReadFull(src, buf.data(), buf.size());
        if (n < 0 || (n > 0 && !WriteFull(out.Fd(), buf.data(), size_t(n)))) {
            err = errno;
            return false;
        }
        if (size_t(n) < buf.size())
            break;
    }
    if (::fchmod(out.Fd(), mode & 07777) != 0) {
        err = errno;
        return false;
    }
    return true;
}

}  // namespace

bool RewriteThroughCopy(const QString& path, const TTagCopyWriter& write, QString* error)
{
    int err = 0;
    const QString target = resolvedPath(path, err);
    if (target.isEmpty())
        return fail(error, path, SystemReason(err));
    UniqueFd src = OpenReadOnly(target);
    struct stat st {};
    if (!src || ::fstat(src.get(), &st) != 0)
        return fail(error, path, SystemReason(errno));
    if (!S_ISREG(st.st_mode))
        return fail(error, path, QStringLiteral("not a regular file"));

    // The copy's descriptor stays open while the library writes the copy by
    // name, so that Commit can flush it to disk before the rename.
    TOutputFile out(target);
    if (!out.Create()) {
        if (error)
            *error = out.Error();
        return false;
    }
    if (!copyInto(src.get(), out, st.st_mode, err))
        return fail(error, path, SystemReason(err));
    src.reset();

    QString reason;
    if (!write(out.TempPath(), reason))
        return fail(error, path, reason);
    if (!out.Commit(true)) {
        if (error)
            *error = out.Error();
        return false;
    }
    return true;
}

}  // namespace dw
