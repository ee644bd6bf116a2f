// The discwright program's own options, run with no display at all:
// --version and --help print and exit 0 without a window (a window would
// need a display and fail), anything else that is no Qt option exits 2.
#include "support/TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

dwtest::CliResult runProgram(const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(dwtest::binDir() + "/discwright", args);
    dwtest::CliResult r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
    } else if (p.exitStatus() == QProcess::NormalExit) {
        r.status = p.exitCode();
    }
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

TEST(ProgramArguments, VersionAndHelpPrintWithoutADisplayOthersExit2)
{
    const QString version = dwtest::runCli({"--version"}).out.section(' ', 1);
    ASSERT_FALSE(version.isEmpty());
    const struct {
        QStringList args;
        int status;
        QString out, err;  // err: how it starts
    } cases[] = {
        {{"--version"}, 0, "discwright " + version, ""},
        {{"-v"}, 0, "discwright " + version, ""},
        {{"-style", "Fusion", "--version"}, 0, "discwright " + version, ""},  // after a Qt option and its value
        {{"--bogus"}, 2, "", "discwright: unknown option '--bogus'"},
        {{"-x", "--help"}, 2, "", "discwright: unknown option '-x'"},
        {{"song.wav"}, 2, "", "discwright: unexpected argument 'song.wav'"},
        {{"-platform"}, 2, "", "discwright: option '-platform' needs a value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const dwtest::CliResult r = runProgram(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_TRUE(c.err.isEmpty() ? r.err.isEmpty() : r.err.startsWith(c.err) && r.err.count('\n') == 1)
            << r.err.toStdString();
    }
    for (const char* option : {"--help", "-h"}) {
        const dwtest::CliResult r = runProgram({option});
        EXPECT_EQ(r.status, 0) << option << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith("usage: discwright ") && r.out.contains("--version")) << r.out.toStdString();
        EXPECT_EQ(r.err, "");
    }
}

}  // namespace
