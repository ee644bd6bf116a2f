// discwright-cli encode against hostile input, as a black box: the input is
// never destroyed, an output is whole or not there, every failure names the
// file and the reason (also as a JSON object), and a stop signal ends it.

#include "JobsTestSupport.h"

#include "platform/NativePath.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using dwtest::runCli;

namespace {

class EncodeHostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFileInfo(dwtest::binDir() + "/discwright-cli").isExecutable())
            GTEST_SKIP() << "discwright-cli not built";
        jobstest::writeWav(box.file("in.wav"), 44100, 2, 1.0);
    }
    // The command finds the real WM8EUTIL beside itself, like an installed program.
    void useInstalledTools() { qunsetenv("DISCWRIGHT_PROGRAM_DIR"); }
    static QJsonObject json(const QString& out) { return QJsonDocument::fromJson(out.toUtf8()).object(); }

    dwtest::Sandbox box;
};

}  // namespace

TEST_F(EncodeHostile, NeverWritesOverItsInputInAnySpelling)
{
    useInstalledTools();
    ASSERT_EQ(runCli({"encode", "mp3", box.file("in.wav"), box.file("in.mp3"), "--quiet"}).status, 0);
    ASSERT_TRUE(QFile::link(box.file("in.wav"), box.file("soft.wav")));
    ASSERT_EQ(::link(QFile::encodeName(box.file("in.wav")), QFile::encodeName(box.file("hard.wav"))), 0);
    ASSERT_TRUE(QFile::link(box.file("in.mp3"), box.file("soft.mp3")));
    const QByteArray wav = box.read("in.wav");
    const QByteArray mp3 = box.read("in.mp3");

    struct Case {
        const char* format;
        QString input, output;
    };
    const Case cases[] = {
        {"mp3", box.file("in.wav"), box.file("in.wav")},
        {"mp3", box.file("in.wav"), box.path() + "/./in.wav"},
        {"mp3", box.file("in.wav"), box.file("soft.wav")},
        {"mp3", box.file("in.wav"), box.file("hard.wav")},
        {"wma", box.file("in.wav"), box.file("in.wav")},
        {"wma", box.file("in.wav"), box.file("hard.wav")},
        {"wav", box.file("in.mp3"), box.file("soft.mp3")},
    };
    for (const Case& c : cases) {
        const auto r = runCli({"encode", c.format, c.input, c.output, "--overwrite", "--quiet", "--json"});
        EXPECT_EQ(r.status, 1) << c.format << " " << c.output.toStdString();
        const QString why = QDir::cleanPath(c.output) + ": is the input file itself; the input is never overwritten";
        EXPECT_EQ(r.err, "discwright-cli: " + why + "\n");
        EXPECT_EQ(json(r.out).value("error").toString(), why);
        EXPECT_FALSE(json(r.out).value("ok").toBool(true));
    }
    EXPECT_EQ(box.read("in.wav"), wav);
    EXPECT_EQ(box.read("in.mp3"), mp3);
    EXPECT_TRUE(QFileInfo(box.file("soft.wav")).isSymLink());
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
}

TEST_F(EncodeHostile, RefusesInputsThatCannotBeEncodedNamingThem)
{
    box.write("words.wav", "just some words, no sound");
    box.write("empty.wav", "");
    QDir().mkpath(box.file("folder.wav"));
    struct Case {
        const char* format;
        QString input, reason;
    };
    const Case cases[] = {
        {"mp3", box.file("words.wav"), "not a WAV file (no RIFF/WAVE header)"},
        {"wma", box.file("words.wav"), "not a WAV file (no RIFF/WAVE header)"},
        {"mp3", box.file("empty.wav"), "the file is empty"},
        {"mp3", box.file("folder.wav"), "Is a directory"},
        {"wma", box.file("missing.wav"), "No such file or directory"},
        {"wav", box.file("in.wav"), "not an MP3 file (no ID3 tag or MPEG audio frame at the start)"},
    };
    for (const Case& c : cases) {
        const auto r = runCli({"encode", c.format, c.input, box.file("out.x"), "--quiet"});
        EXPECT_EQ(r.status, 1) << c.format << " " << c.input.toStdString();
        EXPECT_EQ(r.err, "discwright-cli: " + c.input + ": " + c.reason + "\n");
        EXPECT_FALSE(QFileInfo::exists(box.file("out.x")));
    }
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
}

TEST_F(EncodeHostile, MissingLameAndUnusableFoldersAreNamedAlsoInJson)
{
    // No lame in the program folder (the sandbox's) nor on PATH.
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", box.file("nowhere").toUtf8());
    auto r = runCli({"encode", "mp3", box.file("in.wav"), box.file("out.mp3"), "--json"});
    qputenv("PATH", oldPath);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("lame was not found in the program folder")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("apt install lame"));
    EXPECT_TRUE(json(r.out).value("error").toString().startsWith("lame was not found")) << r.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(box.file("out.mp3")));

    // A lame that the system cannot start is named with the system's reason.
    box.write("program/lame", "#!/nowhere/interpreter\n");
    ASSERT_EQ(::chmod(QFile::encodeName(box.programDir() + "/lame"), 0755), 0);
    r = runCli({"encode", "mp3", box.file("in.wav"), box.file("out.mp3")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "discwright-cli: " + box.programDir() + "/lame: cannot start it: No such file or directory\n");
    EXPECT_FALSE(QFileInfo::exists(box.file("out.mp3")));
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());

    // A folder that is not there.
    r = runCli({"encode", "mp3", box.file("in.wav"), box.file("no/such/out.mp3"), "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "discwright-cli: " + box.file("no/such") + ": No such file or directory\n");
    EXPECT_EQ(json(r.out).value("error").toString(), box.file("no/such") + ": No such file or directory");

    // A folder the user may not write in (run as nobody: root writes anywhere).
    QDir().mkpath(box.file("locked"));
    ASSERT_EQ(::chmod(QFile::encodeName(box.path()), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(box.file("locked")), 0555), 0);
    dwtest::CliRunOptions asNobody;
    asNobody.unprivileged = true;
    r = dwtest::runCliRaw({"encode", "mp3", QFile::encodeName(box.file("in.wav")),
                           QFile::encodeName(box.file("locked/out.mp3")), "--json"},
                          asNobody);
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_EQ(r.err, "discwright-cli: " + box.file("locked") + ": Permission denied\n");
    EXPECT_FALSE(json(r.out).value("ok").toBool(true));
    EXPECT_TRUE(QDir(box.file("locked")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(EncodeHostile, AFailedOverwriteKeepsTheOldFileAndALinkIsReplacedNotFollowed)
{
    useInstalledTools();
    jobstest::writeWav(box.file("long.wav"), 44100, 2, 30.0);
    box.write("old.mp3", "old mp3");
    box.write("old.wma", "old wma");
    // The disk fills up (a file-size limit fails the write as a full disk would).
    dwtest::CliRunOptions smallDisk;
    smallDisk.fileSizeLimit = 64 * 1024;
    auto r = dwtest::runCliRaw({"encode", "mp3", QFile::encodeName(box.file("long.wav")),
                                QFile::encodeName(box.file("old.mp3")), "--overwrite", "--quiet"},
                               smallDisk);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("discwright-cli: lame failed on " + box.file("long.wav") + " (exit status"))
        << r.err.toStdString();
    EXPECT_EQ(box.read("old.mp3"), "old mp3");
    r = dwtest::runCliRaw({"encode", "wma", QFile::encodeName(box.file("long.wav")),
                           QFile::encodeName(box.file("old.wma")), "--overwrite", "--quiet"},
                          smallDisk);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(": File too large")) << r.err.toStdString();
    EXPECT_EQ(box.read("old.wma"), "old wma");
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());

    // An output that is a symbolic link becomes a file of its own.
    box.write("target.txt", "target");
    ASSERT_TRUE(QFile::link(box.file("target.txt"), box.file("link.mp3")));
    r = runCli({"encode", "mp3", box.file("in.wav"), box.file("link.mp3"), "--overwrite", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo(box.file("link.mp3")).isSymLink());
    EXPECT_EQ(jobstest::probe(box.file("link.mp3")).value("codec_name"), "mp3");
    EXPECT_EQ(box.read("target.txt"), "target");
}

// Whether a process still runs: gone, or ended and only waiting to be reaped
// (a zombie, handed to init when its parent, the command, exited), is not.
static bool stillRunning(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line[close + 2] != 'Z' && line[close + 2] != 'X';
}

TEST_F(EncodeHostile, AStopSignalEndsTheEncoderAndWritesNothing)
{
    // A stand-in lame that starts writing, then has its parent (the command)
    // signalled the way a terminal's Ctrl-C or a service manager would.
    box.write("out.mp3", "old");
    for (const char* sig : {"INT", "TERM"}) {
        QFile::remove(box.file("pid"));
        jobstest::writeScript(box.programDir() + "/lame",
                              "for a; do out=$a; done\necho partial > \"$out\"\necho $$ > \"" +
                                  box.file("pid").toUtf8() + "\"\nkill -" + sig + " $PPID\nexec sleep 60\n");
        const auto r = runCli({"encode", "mp3", box.file("in.wav"), box.file("out.mp3"), "--overwrite", "--json"}, 30000);
        EXPECT_EQ(r.status, 130) << sig << " " << r.err.toStdString();
        EXPECT_EQ(r.err, "discwright-cli: stopped; nothing was written to " + box.file("out.mp3") + "\n");
        EXPECT_FALSE(json(r.out).value("ok").toBool(true));
        const pid_t child = box.read("pid").trimmed().toInt();
        ASSERT_GT(child, 0);
        EXPECT_FALSE(stillRunning(child)) << "the encoder still runs";
        EXPECT_EQ(box.read("out.mp3"), "old");
        EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
    }
}

TEST_F(EncodeHostile, FileNamesThatAreNotUtf8WorkEndToEnd)
{
    const QByteArray folder = QFile::encodeName(box.path());
    const QByteArray in = folder + "/in\xff.wav", out = folder + "/out\xfe.mp3";
    ASSERT_EQ(::rename(QFile::encodeName(box.file("in.wav")).constData(), in.constData()), 0);
    auto r = dwtest::runCliRaw({"encode", "mp3", in, out, "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const dw::TPathInfo made = dw::StatPath(dw::PathFromNative(out));
    EXPECT_TRUE(made.isFile);
    EXPECT_GT(made.size, 1000);
    // Refusing the output as the input works on the same bytes.
    r = dwtest::runCliRaw({"encode", "mp3", in, in, "--overwrite", "--quiet"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("is the input file itself")) << r.err.toStdString();
    EXPECT_EQ(dw::StatPath(dw::PathFromNative(in)).size, 44 + 44100 * 4);
}
