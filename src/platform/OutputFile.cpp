#include "platform/OutputFile.h"

#include "platform/NativePath.h"


#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

// Folder and name of a path, split at the last "/" (pure string work, so
// names that are not UTF-8 survive).
void splitPath(const QString& path, QString& folder, QString& name)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        folder = QStringLiteral(".");
        name = path;
    } else {
        folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
        name = path.mid(slash + 1);
    }
}

QString randomSuffix()
{
    static thread_local std::mt19937_64 engine{std::random_device{}() ^ uint64_t(::getpid())};
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString s;
    for (int i = 0; i < 8; ++i)
        s += QLatin1Char(digits[engine() % 36]);
    return s;
}

}  // namespace

TOutputFile::TOutputFile(QString finalPath) : finalPath_(std::move(finalPath)) {}

TOutputFile::~TOutputFile()
{
    Discard();
}

void TOutputFile::setError(int err)
{
    errno_ = err;
    error_ = finalPath_ + QStringLiteral(": ") + SystemReason(err);
}

bool TOutputFile::Create()
{
    Discard();
    committed_ = false;
    closeFailed_ = false;
    QString folder, name;
    splitPath(finalPath_, folder, name);
    if (name.isEmpty()) {
        setError(EISDIR);
        return false;
    }
    // The temporary name must fit the folder's name limit even when the
    // final name nearly fills it: shorten the borrowed part of the name.
    QByteArray stem = NativePath(name);
    constexpr int kExtra = 1 + 1 + 8 + 5;  // "." + "." + suffix + ".part"
    const long nameMax = ::pathconf(NativePath(folder).constData(), _PC_NAME_MAX);
    const int limit = int(nameMax > 0 ? nameMax : 255);
    if (NativePath(name).size() > limit) {
        setError(ENAMETOOLONG);
        return false;
    }
    if (stem.size() + kExtra > limit)
        stem.truncate(std::max(0, limit - kExtra));
    const QString base = folder == QStringLiteral("/") ? QString() : folder;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate =
            base + QStringLiteral("/.") + PathFromNative(stem) + QLatin1Char('.') + randomSuffix() + QStringLiteral(".part");
        const int fd = ::open(NativePath(candidate).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            fd_ = fd;
            tempPath_ = candidate;
            return true;
        }
        if (errno != EEXIST) {
            setError(errno);
            return false;
        }
    }
    setError(EEXIST);
    return false;
}

bool TOutputFile::Close()
{
    if (fd_ < 0)
        return !closeFailed_;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        closeFailed_ = true;
        setError(errno);
        return false;
    }
    return true;
}

bool TOutputFile::Commit(bool replace)
{
    if (committed_)
        return true;
    if (tempPath_.isEmpty()) {
        setError(EBADF);
        return false;
    }
    // What replaces an existing file must be on the disk first, so a crash
    // right after cannot leave an empty file where a good one stood. A new
    // name has nothing to lose; it is not made to wait for the disk.
    const bool replacing = PathExists(finalPath_);
    if (replacing && fd_ >= 0 && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        setError(errno);
        Discard();
        return false;
    }
    if (!Close() || closeFailed_) {
        Discard();
        return false;
    }
    const QByteArray from = NativePath(tempPath_);
    const QByteArray to = NativePath(finalPath_);
    int rc;
    if (replace) {
        rc = ::rename(from.constData(), to.constData());
    } else {
        rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        if (rc != 0 && errno == EINVAL) {
            // A file system without the no-replace rename: a hard link fails
            // just as atomically when the name is taken.
            rc = ::link(from.constData(), to.constData());
            if (rc == 0)
                ::unlink(from.constData());
        }
    }
    if (rc != 0) {
        setError(errno);
        Discard();
        return false;
    }
    committed_ = true;
    tempPath_.clear();
    return true;
}

void TOutputFile::Discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!committed_ && !tempPath_.isEmpty()) {
        ::unlink(NativePath(tempPath_).constData());
        tempPath_.clear();
    }
}

}  // namespace dw
