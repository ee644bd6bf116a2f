#include "platform/FileSharing.h"

#include "platform/NativePath.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

// The sharing state of a file lives in four one-byte lock ranges far beyond
// any real data. Every open holds a shared lock on the bytes that describe
// it: the access it has and the access it refuses to others. An open conflicts
// when someone else holds a byte it must not see (a refusal of an access it
// wants, or an access it refuses).
constexpr off_t kBase = LLONG_MAX - 15;
constexpr off_t kHasRead = kBase + 0;
constexpr off_t kHasWrite = kBase + 1;
constexpr off_t kDeniesRead = kBase + 2;
constexpr off_t kDeniesWrite = kBase + 3;

int lockByte(int fd, short type, off_t byte, int cmd)
{
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = byte;
    fl.l_len = 1;
    fl.l_pid = 0;  // required for open-file-description locks
    int rc;
    do {
        rc = fcntl(fd, cmd, &fl);
    } while (rc == -1 && errno == EINTR);
    if (rc == 0 && cmd == F_OFD_GETLK)
        return fl.l_type == F_UNLCK ? 0 : 1;
    return rc;
}

// True when an open file description other than fd's holds a lock on byte.
bool heldByOthers(int fd, off_t byte)
{
    return lockByte(fd, F_WRLCK, byte, F_OFD_GETLK) == 1;
}

void releaseAll(int fd)
{
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kBase;
    fl.l_len = 4;
    fcntl(fd, F_OFD_SETLK, &fl);
}

bool sameFile(const char* path, dev_t dev, ino_t ino)
{
    struct stat st;
    return ::stat(path, &st) == 0 && st.st_dev == dev && st.st_ino == ino;
}

// Whether any process other than the caller's probe descriptor has the file open.
bool openedElsewhere(dev_t dev, ino_t ino, pid_t self, int ignoreFd)
{
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return false;
    bool found = false;
    while (!found) {
        dirent* entry = ::readdir(proc);
        if (!entry)
            break;
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (!end || *end != '\0' || pid <= 0)
            continue;
        char fdDir[64];
        std::snprintf(fdDir, sizeof fdDir, "/proc/%ld/fd", pid);
        DIR* fds = ::opendir(fdDir);
        if (!fds)
            continue;  // gone, or not ours to read
        while (dirent* f = ::readdir(fds)) {
            const long fdNum = std::strtol(f->d_name, &end, 10);
            if (!end || *end != '\0' || f->d_name[0] == '\0')
                continue;
            if (pid == self && (fdNum == ignoreFd || fdNum == ::dirfd(fds)))
                continue;
            char link[96];
            std::snprintf(link, sizeof link, "%s/%ld", fdDir, fdNum);
            if (sameFile(link, dev, ino)) {
                found = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

}  // namespace

bool TakeShareLocks(int fd, unsigned access, unsigned share)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags == -1)
        return false;
    const bool canHold = (flags & O_ACCMODE) != O_WRONLY;

    // Hold first, then test, so that of two racing opens at least one sees
    // the other (at worst both fail; never both succeed).
    if (canHold) {
        const off_t holds[4] = {(access & AccessRead) ? kHasRead : -1, (access & AccessWrite) ? kHasWrite : -1,
                                (share & ShareRead) ? -1 : kDeniesRead, (share & ShareWrite) ? -1 : kDeniesWrite};
        for (off_t byte : holds) {
            if (byte >= 0 && lockByte(fd, F_RDLCK, byte, F_OFD_SETLK) != 0) {
                releaseAll(fd);
                return false;
            }
        }
    }
    const off_t tests[4] = {(access & AccessRead) ? kDeniesRead : -1, (access & AccessWrite) ? kDeniesWrite : -1,
                            (share & ShareRead) ? -1 : kHasRead, (share & ShareWrite) ? -1 : kHasWrite};
    for (off_t byte : tests) {
        if (byte >= 0 && heldByOthers(fd, byte)) {
            if (canHold)
                releaseAll(fd);
            return false;
        }
    }
    return true;
}

QString SharingViolationText()
{
    return QStringLiteral("The process cannot access the file because it is being used by another process.");
}

bool FileInUse(const QString& path)
{
    const QByteArray native = NativePath(path);
    struct stat st;
    if (native.isEmpty() || ::stat(native.constData(), &st) != 0)
        return false;
    // An exclusive read-write open must be possible.
    const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd == -1)
        return true;
    struct stat opened;
    bool inUse = ::fstat(fd, &opened) != 0 || S_ISDIR(opened.st_mode);
    for (off_t byte : {kHasRead, kHasWrite, kDeniesRead, kDeniesWrite}) {
        if (!inUse && heldByOthers(fd, byte))
            inUse = true;
    }
    if (!inUse)
        inUse = openedElsewhere(opened.st_dev, opened.st_ino, ::getpid(), fd);
    ::close(fd);
    return inUse;
}

}  // namespace dw
