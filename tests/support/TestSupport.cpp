#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>
#include <mutex>
#include <vector>
#include <stdexcept>

namespace dwtest {

namespace {
void setEnv(const char* name, const QByteArray& value) { qputenv(name, value); }
void restoreEnv(const char* name, bool had, const QByteArray& old)
{
    if (had)
        qputenv(name, old);
    else
        qunsetenv(name);
}
}  // namespace

Sandbox::Sandbox()
    : oldProgramDir_(qgetenv("DISCWRIGHT_PROGRAM_DIR")),
      oldConfigHome_(qgetenv("XDG_CONFIG_HOME")),
      oldImages_(qgetenv("DISCWRIGHT_CD_IMAGES")),
      hadProgramDir_(qEnvironmentVariableIsSet("DISCWRIGHT_PROGRAM_DIR")),
      hadConfigHome_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")),
      hadImages_(qEnvironmentVariableIsSet("DISCWRIGHT_CD_IMAGES"))
{
    oldDataHome_ = qgetenv("XDG_DATA_HOME");
    oldCacheHome_ = qgetenv("XDG_CACHE_HOME");
    hadDataHome_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    hadCacheHome_ = qEnvironmentVariableIsSet("XDG_CACHE_HOME");
    if (!dir_.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    QDir root(dir_.path());
    root.mkpath("program");
    root.mkpath("config");
    setEnv("DISCWRIGHT_PROGRAM_DIR", programDir().toUtf8());
    setEnv("XDG_CONFIG_HOME", configHome().toUtf8());
    // The user's data and work files too, so no test reaches the real ones.
    setEnv("XDG_DATA_HOME", dataHome().toUtf8());
    setEnv("XDG_CACHE_HOME", cacheHome().toUtf8());
    qunsetenv("DISCWRIGHT_CD_IMAGES");
}

Sandbox::~Sandbox()
{
    restoreEnv("DISCWRIGHT_PROGRAM_DIR", hadProgramDir_, oldProgramDir_);
    restoreEnv("XDG_CONFIG_HOME", hadConfigHome_, oldConfigHome_);
    restoreEnv("DISCWRIGHT_CD_IMAGES", hadImages_, oldImages_);
    restoreEnv("XDG_DATA_HOME", hadDataHome_, oldDataHome_);
    restoreEnv("XDG_CACHE_HOME", hadCacheHome_, oldCacheHome_);
}

QString Sandbox::path() const { return dir_.path(); }
QString Sandbox::programDir() const { return dir_.path() + "/program"; }
QString Sandbox::configHome() const { return dir_.path() + "/config"; }
QString Sandbox::dataHome() const { return dir_.path() + "/data"; }
QString Sandbox::cacheHome() const { return dir_.path() + "/cache"; }
QString Sandbox::discCache() const { return dataHome() + "/Quobel/Discwright/cdinfo.dat"; }
QString Sandbox::file(const QString& name) const { return dir_.path() + "/" + name; }

void Sandbox::write(const QString& name, const QByteArray& bytes) const
{
    QString full = QDir::isAbsolutePath(name) ? name : file(name);
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + full.toStdString());
}

QByteArray Sandbox::read(const QString& name) const
{
    QFile f(QDir::isAbsolutePath(name) ? name : file(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool waitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!cond()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

QString binDir()
{
    QByteArray dir = qgetenv("DISCWRIGHT_BIN_DIR");
    if (!dir.isEmpty())
        return QString::fromLocal8Bit(dir);
    return QCoreApplication::applicationDirPath() + "/../bin";
}

CliResult runCli(const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.start(binDir() + "/discwright-cli", args);
    CliResult r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    if (p.exitStatus() == QProcess::NormalExit)
        r.status = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

namespace {

// Whether a user other than the owner may reach path: every folder on the
// way lets others search it.
bool reachableByOthers(const QString& path)
{
    QFileInfo at(QFileInfo(path).absoluteFilePath());
    for (QString folder = at.absolutePath();; folder = QFileInfo(folder).absolutePath()) {
        if (!(QFileInfo(folder).permissions() & QFile::ExeOther))
            return false;
        if (QDir(folder).isRoot())
            return true;
    }
}

// The command line as a user without rights to the checkout can start it:
// the built program itself when every folder above it lets others in,
// otherwise a copy in a folder of its own under the system's temporary
// folder (mode 0755), made once per test run and removed at its end.
class ReachableProgram {
public:
    ~ReachableProgram()
    {
        if (!copyDir_.isEmpty())
            QDir(copyDir_).removeRecursively();
    }

    QString path(const QString& built)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!path_.isEmpty())
            return path_;
        if (reachableByOthers(built))
            return path_ = built;
        for (const QString& base : {QDir::tempPath(), QStringLiteral("/tmp")}) {
            if (!reachableByOthers(base + "/x"))
                continue;
            QByteArray pattern = QFile::encodeName(base + "/discwright-test-XXXXXX");
            if (!::mkdtemp(pattern.data()))
                continue;
            copyDir_ = QFile::decodeName(pattern);
            const QString copy = copyDir_ + "/" + QFileInfo(built).fileName();
            const bool ready = ::chmod(pattern.constData(), 0755) == 0 && QFile::copy(built, copy) &&
                               ::chmod(QFile::encodeName(copy).constData(), 0755) == 0;
            if (ready)
                return path_ = copy;
            QDir(copyDir_).removeRecursively();
            copyDir_.clear();
        }
        return path_ = built;  // the run then fails and says so
    }

private:
    std::mutex mutex_;
    QString path_;
    QString copyDir_;
};

}  // namespace

CliResult runCliRaw(const QList<QByteArray>& args, const CliRunOptions& options)
{
    static ReachableProgram reachable;
    const QString built = binDir() + "/discwright-cli";
    const QByteArray program = QFile::encodeName(options.unprivileged ? reachable.path(built) : built);
    std::vector<QByteArray> storage{program};
    for (const QByteArray& a : args)
        storage.push_back(a);
    std::vector<char*> argv;
    for (QByteArray& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        if (options.fileSizeLimit >= 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(options.fileSizeLimit), rlim_t(options.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.unprivileged && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    CliResult r;
    QByteArray out, err;
    QDeadlineTimer deadline(options.timeoutMs);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && !deadline.hasExpired()) {
        if (::poll(fds, 2, 50) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? out : err).append(buf, n);
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& f : fds)
        if (f.fd >= 0)
            ::close(f.fd);
    int status = 0;
    if (open > 0)
        ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    if (open == 0 && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    r.out = QString::fromUtf8(out);
    r.err = QString::fromUtf8(err);
    return r;
}

ToolResult runTool(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    ToolResult r;
    if (!p.waitForStarted(timeoutMs) || !p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = "did not run: " + program.toUtf8();
        return r;
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return r;
}

QString peer(const QString& program, const QStringList& args)
{
    const ToolResult r = runTool(program, args);
    return r.ok ? QString::fromUtf8(r.out) : QString();
}

}  // namespace dwtest

// Weak so that a test executable needing widgets can supply a QApplication instead.
__attribute__((weak)) std::unique_ptr<QCoreApplication> dwtest::makeApplication(int& argc, char** argv)
{
    return std::make_unique<QCoreApplication>(argc, argv);
}
