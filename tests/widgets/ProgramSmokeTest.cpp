// The discwright program itself under a real X server (xvfb-run): it shows
// its main window over a CD image and, asked to end, closes it the normal
// way (titles to the disc cache, settings to options.ini) and exits 0.
#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

TEST(ProgramSmoke, ShowsTheMainWindowUnderXAndClosesCleanly)
{
    const QString xvfb = QStandardPaths::findExecutable("xvfb-run");
    const QString xwininfo = QStandardPaths::findExecutable("xwininfo");
    if (xvfb.isEmpty() || xwininfo.isEmpty())
        GTEST_SKIP() << "xvfb-run or xwininfo is not installed (scripts/bootstrap installs them)";
    dwtest::Sandbox sandbox;
    const QString cue = dwtest::makeCdImage(sandbox.path(), {5, 6});

    // Inside the X session: start the program, wait for its window by its
    // title, then ask it to end and give its exit status.
    const QString script = QStringLiteral(
        "\"$1\" & pid=$!\n"
        "for i in $(seq 1 200); do\n"
        "  if xwininfo -root -tree | grep -q '\"Discwright '; then found=1; break; fi\n"
        "  sleep 0.05\n"
        "done\n"
        "[ -n \"$found\" ] || { kill -9 $pid; echo 'no window'; exit 90; }\n"
        "kill -TERM $pid\n"
        "wait $pid\n");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISCWRIGHT_CD_IMAGES", cue);
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    // A server number of its own: two test runs at once must not race for
    // the same display (-a then goes on from there to a free one).
    const QString server = QString::number(100 + ::getpid() % 800);
    p.start(xvfb, {"-a", "-n", server, "sh", "-c", script, "sh", dwtest::binDir() + "/discwright"});
    ASSERT_TRUE(p.waitForFinished(60000)) << "the program did not end";
    const QString output = QString::fromLocal8Bit(p.readAll());
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << qPrintable(output);
    EXPECT_EQ(p.exitCode(), 0) << qPrintable(output);
    EXPECT_TRUE(QFile::exists(sandbox.configHome() + "/Quobel/Discwright/options.ini")) << qPrintable(output);
    // The disc cache goes to the user's data folder; the program folder is
    // left as it was.
    EXPECT_TRUE(QFile::exists(sandbox.discCache())) << qPrintable(output);
    EXPECT_FALSE(QFile::exists(sandbox.programDir() + "/cdinfo.dat")) << qPrintable(output);
}

}  // namespace
