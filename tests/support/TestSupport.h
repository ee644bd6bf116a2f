#pragma once
// Helpers shared by every test executable.

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace dwtest {

// Creates the application object for the test run. The widgets tests link a
// version that makes a QApplication; everyone else gets a QCoreApplication.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv);

// A private folder for one test that also serves as program folder and
// configuration home, so tests never see the user's files.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    QString path() const;               // root of the sandbox, no trailing slash
    QString programDir() const;         // DISCWRIGHT_PROGRAM_DIR
    QString configHome() const;         // XDG_CONFIG_HOME
    QString dataHome() const;           // XDG_DATA_HOME
    QString cacheHome() const;          // XDG_CACHE_HOME
    // Where the program keeps the disc cache: dataHome() + "/Quobel/Discwright/cdinfo.dat".
    QString discCache() const;
    QString file(const QString& name) const;  // path() + "/" + name

    void write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;

private:
    QTemporaryDir dir_;
    QByteArray oldProgramDir_, oldConfigHome_, oldImages_, oldDataHome_, oldCacheHome_;
    bool hadProgramDir_, hadConfigHome_, hadImages_, hadDataHome_, hadCacheHome_;
};

// Pumps the Qt event loop until cond() is true or the timeout passes.
bool waitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Folder of the built executables (discwright-cli, WM8EUTIL, the image tool).
QString binDir();

// Runs the built discwright-cli with the arguments and the current environment.
struct CliResult {
    int status = -1;  // exit code; -1 when it crashed or did not finish in time
    QString out, err;
};
CliResult runCli(const QStringList& args, int timeoutMs = 120000);

// A peer program run to its end: ok when it exited normally with status 0.
struct ToolResult {
    bool ok = false;
    QByteArray out;
    QByteArray err;
};
ToolResult runTool(const QString& program, const QStringList& args, int timeoutMs = 60000);
// The standard output of a peer program as text; empty when it fails.
QString peer(const QString& program, const QStringList& args);

}  // namespace dwtest

namespace dwtest {

// How runCliRaw runs the command line, for the cases a plain run cannot show.
struct CliRunOptions {
    int timeoutMs = 120000;
    // Run as the unprivileged user nobody (tests run as root here, and root
    // writes into read-only folders): folders it must reach need mode 0777.
    // When the checkout sits in a private folder, the program runs from a
    // copy in a folder every user can reach.
    bool unprivileged = false;
    // A file-size limit in bytes (RLIMIT_FSIZE; SIGXFSZ ignored), so a write
    // past it fails with "File too large" as a full disk would fail.
    long long fileSizeLimit = -1;
};

// Runs discwright-cli with arguments passed as the exact bytes given (file
// names that are not UTF-8 included), with the current environment.
CliResult runCliRaw(const QList<QByteArray>& args, const CliRunOptions& options = {});

}  // namespace dwtest
