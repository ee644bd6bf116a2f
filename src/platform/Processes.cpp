#include "platform/Processes.h"

#include "platform/NativePath.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace dw {

namespace {

// Reads at most limit bytes of a /proc file; empty when it cannot be read.
QByteArray readSmall(const QByteArray& path, qsizetype limit)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray data(limit, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < limit) {
        const ssize_t n = ::read(fd, data.data() + got, size_t(limit - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    data.truncate(got);
    return data;
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

bool isPid(const char* name)
{
    if (!*name)
        return false;
    for (const char* p = name; *p; ++p)
        if (*p < '0' || *p > '9')
            return false;
    return true;
}

}  // namespace

QStringList ProcessNames(pid_t pid)
{
    const QByteArray dir = "/proc/" + QByteArray::number(pid) + "/";
    // A command name is at most 16 bytes; the first argument ends at its NUL,
    // and a path longer than 4096 bytes is no program path.
    QByteArray comm = readSmall(dir + "comm", 64);
    const QByteArray cmdline = readSmall(dir + "cmdline", 4096);
    if (comm.isEmpty() && cmdline.isEmpty())
        return {};
    if (comm.endsWith('\n'))
        comm.chop(1);
    QByteArray first = cmdline.left(cmdline.indexOf('\0') < 0 ? cmdline.size() : cmdline.indexOf('\0'));
    first = first.mid(first.lastIndexOf('/') + 1);
    return {PathFromNative(comm), PathFromNative(first)};
}

bool ProcessRunning(const QStringList& names)
{
    std::unique_ptr<DIR, DirCloser> proc(::opendir("/proc"));
    if (!proc)
        return false;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(proc.get())) {
        if (!isPid(entry->d_name))
            continue;
        const pid_t pid = pid_t(QByteArray(entry->d_name).toLong());
        if (pid == self)
            continue;
        const QStringList own = ProcessNames(pid);
        for (const QString& name : names) {
            if (name.isEmpty())
                continue;
            if (own.value(1) == name)
                return true;
            // The kernel keeps 15 characters of the command name: a longer
            // name matches it only when there is no first argument to compare.
            const QString& comm = own.value(0);
            if (!comm.isEmpty() && (name.size() <= 15 ? comm == name : own.value(1).isEmpty() && comm == name.left(15)))
                return true;
        }
    }
    return false;
}

}  // namespace dw
