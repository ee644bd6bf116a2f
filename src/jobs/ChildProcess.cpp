#include "jobs/ChildProcess.h"

#include "platform/NativePath.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace dw {

namespace {

int pidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

int pidfdSignal(int pidfd, int sig) { return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0)); }

[[noreturn]] void raise(const char* text, int error)
{
    throw EProcessError(std::string(text) + std::to_string(error));
}

// One pipe with close-on-exec ends (the child gets its end by dup2, which
// clears the flag on the copy only). ourEnd is made non-blocking.
void makePipe(UniqueFd& readEnd, UniqueFd& writeEnd, bool ourEndIsRead, const char* createText,
              const char* setupText)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        raise(createText, errno);
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    const int ours = ourEndIsRead ? fds[0] : fds[1];
    const int flags = ::fcntl(ours, F_GETFL);
    if (flags < 0 || ::fcntl(ours, F_SETFL, flags | O_NONBLOCK) != 0)
        raise(setupText, errno);
}

// posix_spawn's attribute and file-action objects, released on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    bool haveActions = false, haveAttr = false;
    ~SpawnSetup()
    {
        if (haveActions)
            posix_spawn_file_actions_destroy(&actions);
        if (haveAttr)
            posix_spawnattr_destroy(&attr);
    }
};

}  // namespace


ChildProcess::~ChildProcess()
{
    if (pid_ > 0 && !ended()) {
        kill();
        reap(true);
    }
}

void ChildProcess::createPipes()
{
    makePipe(inRead_, inWrite_, false, "Error on STDIN pipe creation : ", "Error on STDIN pipe duplication : ");
    makePipe(outRead_, outWrite_, true, "Error on STDOUT pipe creation : ", "Error on STDOUT pipe duplication : ");
    makePipe(errRead_, errWrite_, true, "Error on STDERR pipe creation : ", "Error on STDERR pipe duplication : ");
}

int ChildProcess::start(const QString& program, const QStringList& args)
{
    if (pid_ > 0)
        return EBUSY;
    if (!inRead_ || !outWrite_ || !errWrite_)
        return EBADF;
    // Paths among the arguments reach the child as the exact bytes of the
    // file names, also when those are not valid UTF-8.
    const QByteArray prog = NativePath(program);
    std::vector<QByteArray> store;
    store.reserve(static_cast<size_t>(args.size()) + 1);
    store.push_back(prog);
    for (const QString& a : args)
        store.push_back(NativePath(a));
    std::vector<char*> argv;
    for (QByteArray& s : store)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    int rc = posix_spawn_file_actions_init(&setup.actions);
    if (rc != 0)
        return rc;
    setup.haveActions = true;
    if ((rc = posix_spawn_file_actions_adddup2(&setup.actions, inRead_.get(), STDIN_FILENO)) != 0 ||
        (rc = posix_spawn_file_actions_adddup2(&setup.actions, outWrite_.get(), STDOUT_FILENO)) != 0 ||
        (rc = posix_spawn_file_actions_adddup2(&setup.actions, errWrite_.get(), STDERR_FILENO)) != 0)
        return rc;
    if ((rc = posix_spawnattr_init(&setup.attr)) != 0)
        return rc;
    setup.haveAttr = true;
    // The child starts with default signal handling and nothing blocked,
    // whatever this process ignores or blocks.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGCHLD})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&setup.attr, &none);
    posix_spawnattr_setsigdefault(&setup.attr, &defaults);
    posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    rc = posix_spawn(&pid, prog.constData(), &setup.actions, &setup.attr, argv.data(), environ);
    if (rc != 0)
        return rc;
    pid_ = pid;
    pidfd_.reset(pidfdOpen(pid));
    // The child's ends belong to the child now. Our end of its standard input
    // is closed too, so a child that reads it sees the end at once instead of
    // waiting for input that never comes.
    inRead_.reset();
    outWrite_.reset();
    errWrite_.reset();
    inWrite_.reset();
    return 0;
}

int ChildProcess::pipeFd(Pipe pipe) const { return pipe == Pipe::StdOut ? outRead_.get() : errRead_.get(); }

int ChildProcess::available(Pipe pipe) const
{
    const int fd = pipeFd(pipe);
    if (fd < 0)
        return 0;
    int n = 0;
    if (::ioctl(fd, FIONREAD, &n) != 0 || n < 0)
        return 0;
    return n;
}

bool ChildProcess::read(Pipe pipe, int count, QByteArray& out, int& error)
{
    out.clear();
    error = 0;
    const int fd = pipeFd(pipe);
    if (fd < 0) {
        error = EBADF;
        return false;
    }
    if (count <= 0)
        return true;
    out.resize(count);
    qsizetype got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd, out.data() + got, static_cast<size_t>(count - got));
        if (n > 0) {
            got += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            out.clear();
            return false;
        }
        break;  // nothing more waiting, or end of the pipe
    }
    out.resize(got);
    return true;
}

bool ChildProcess::reap(bool block)
{
    if (ended())
        return true;
    if (pid_ <= 0)
        return false;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0)
        return false;
    ChildExit e;
    if (r == pid_ && WIFEXITED(status)) {
        e.exited = true;
        e.exitCode = WEXITSTATUS(status);
    } else if (r == pid_ && WIFSIGNALED(status)) {
        e.signal = WTERMSIG(status);
    } else {
        // Someone else reaped it (or it vanished): its fate is unknown.
        e.signal = SIGKILL;
    }
    exit_ = e;
    reaped_.store(true, std::memory_order_release);
    return true;
}

void ChildProcess::signal(int sig)
{
    if (pid_ <= 0 || ended())
        return;
    killed_.store(true);
    // Through the process descriptor, so a reaped child's reused number is never hit.
    if (pidfd_)
        pidfdSignal(pidfd_.get(), sig);
    else
        ::kill(pid_, sig);
}

void ChildProcess::kill() { signal(SIGKILL); }

void ChildProcess::terminate() { signal(SIGTERM); }

}  // namespace dw
