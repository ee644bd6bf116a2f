#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <cstdlib>
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
    if (!dir_.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    QDir root(dir_.path());
    root.mkpath("program");
    root.mkpath("config");
    setEnv("DISCWRIGHT_PROGRAM_DIR", programDir().toUtf8());
    setEnv("XDG_CONFIG_HOME", configHome().toUtf8());
    qunsetenv("DISCWRIGHT_CD_IMAGES");
}

Sandbox::~Sandbox()
{
    restoreEnv("DISCWRIGHT_PROGRAM_DIR", hadProgramDir_, oldProgramDir_);
    restoreEnv("XDG_CONFIG_HOME", hadConfigHome_, oldConfigHome_);
    restoreEnv("DISCWRIGHT_CD_IMAGES", hadImages_, oldImages_);
}

QString Sandbox::path() const { return dir_.path(); }
QString Sandbox::programDir() const { return dir_.path() + "/program"; }
QString Sandbox::configHome() const { return dir_.path() + "/config"; }
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

}  // namespace dwtest

// Weak so that a test executable needing widgets can supply a QApplication instead.
__attribute__((weak)) std::unique_ptr<QCoreApplication> dwtest::makeApplication(int& argc, char** argv)
{
    return std::make_unique<QCoreApplication>(argc, argv);
}
