// Process lookup on children this test starts, and the volume control found
// on PATH (a stand-in mixer in a private folder).
#include "platform/Processes.h"
#include "platform/VolumeMixer.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

using namespace dw;

// Runs a copy of sleep under the given name until the object goes.
class NamedChild {
public:
    NamedChild(const dwtest::Sandbox& box, const QString& name)
    {
        const QString path = box.file(name);
        if (!QFile::copy("/bin/sleep", path))
            throw std::runtime_error("cannot copy sleep");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        process_.start(path, {"60"});
        if (!process_.waitForStarted())
            throw std::runtime_error("child did not start");
    }
    ~NamedChild()
    {
        process_.kill();
        process_.waitForFinished();
    }
    qint64 pid() const { return process_.processId(); }

private:
    QProcess process_;
};

TEST(Processes, FindsARunningChildByNameAndNotOnceItEnded)
{
    dwtest::Sandbox box;
    const QString shortName = "dwprobe-short", longName = "dwprobe-a-rather-long-name";
    {
        NamedChild a(box, shortName);
        NamedChild b(box, longName);
        EXPECT_EQ(ProcessNames(pid_t(b.pid())), QStringList({longName.left(15), longName}));
        EXPECT_TRUE(dwtest::waitFor([&] { return ProcessRunning(shortName); }));
        EXPECT_TRUE(ProcessRunning(longName));
        EXPECT_TRUE(ProcessRunning(QStringList{"dwprobe-none", longName}));
        // Sharing the 15 characters the kernel keeps is not enough.
        EXPECT_FALSE(ProcessRunning(longName.left(20) + "-other"));
        EXPECT_FALSE(ProcessRunning("dwprobe"));
    }
    EXPECT_FALSE(ProcessRunning(shortName));
    EXPECT_FALSE(ProcessRunning(longName));
    EXPECT_TRUE(ProcessNames(pid_t(0x7ffffff0)).isEmpty());
}

TEST(VolumeMixer, StartsTheFirstMixerOnPathWithoutArguments)
{
    dwtest::Sandbox box;
    const QByteArray oldPath = qgetenv("PATH");
    QDir(box.path()).mkdir("bin");
    const auto mixer = [&](const QString& name) {
        box.write("bin/" + name, "#!/bin/sh\necho \"" + name.toUtf8() + " $#\" > " + box.file("started").toUtf8() + "\n");
        QFile::setPermissions(box.file("bin/" + name), QFile::ReadOwner | QFile::ExeOwner);
    };
    qputenv("PATH", box.file("bin").toUtf8());
    QString error;
    EXPECT_TRUE(FindVolumeMixer().isEmpty());
    EXPECT_FALSE(StartVolumeMixer(&error));
    EXPECT_TRUE(error.contains("pavucontrol"));

    mixer("pavucontrol-qt");
    mixer("kmix");
    EXPECT_EQ(FindVolumeMixer(), box.file("bin/pavucontrol-qt"));
    EXPECT_TRUE(StartVolumeMixer(&error)) << error.toStdString();
    EXPECT_TRUE(dwtest::waitFor([&] { return box.read("started") == "pavucontrol-qt 0\n"; }));
    qputenv("PATH", oldPath);
}

}  // namespace
