// Byte streams: the memory stream, the file stream's access and sharing
// modes (also against another process), and its error texts.

#include "StreamTestComponents.h"
#include "platform/NativePath.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

using namespace dw;

namespace {

QString sysText(int err)
{
    return QString::fromLocal8Bit(strerror(err));
}

QString raisedBy(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const EAuException& e) {
        return e.Message();
    }
    return QString();
}

QByteArray fileBytes(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(MemoryStream, ReadWriteSeekAndSize)
{
    TMemoryStream s;
    s.WriteBuffer("abcdef", 6);
    EXPECT_EQ(s.GetSize(), 6);
    EXPECT_EQ(s.Seek(2, TSeekOrigin::soBeginning), 2);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 4);
    EXPECT_EQ(QByteArray(buf, 4), "cdef");
    EXPECT_EQ(s.Read(buf, 8), 0);
    EXPECT_THROW(s.ReadBuffer(buf, 1), EAuException);
    // Writing past the end fills the gap with zeros.
    s.Seek(2, TSeekOrigin::soEnd);
    s.WriteBuffer("x", 1);
    EXPECT_EQ(s.Data(), QByteArray("abcdef\0\0x", 9));
    s.SetSize(3);
    EXPECT_EQ(s.GetPosition(), 3);
    EXPECT_THROW(s.Seek(-10, TSeekOrigin::soCurrent), EAuException);
}

TEST(FileStream, CreateReadWriteAndErrors)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("f.bin");
    EXPECT_EQ(raisedBy([&] { TAuFileStream s(name, fmOpenRead | fmShareDenyWrite); }), name + ": " + sysText(ENOENT));
    EXPECT_EQ(raisedBy([&] { TAuFileStream s(dir.path(), fmOpenRead); }), dir.path() + ": " + sysText(EISDIR));
    EXPECT_EQ(raisedBy([&] { TAuFileStream s(dir.filePath("no/such/dir.bin"), fmCreate); }),
              dir.filePath("no/such/dir.bin") + ": " + sysText(ENOENT));
    {
        TAuFileStream s(name, fmCreate);
        s.WriteBuffer("hello world", 11);
        EXPECT_EQ(s.GetSize(), 11);
        s.Seek(6, TSeekOrigin::soBeginning);
        char buf[5];
        s.ReadBuffer(buf, 5);
        EXPECT_EQ(QByteArray(buf, 5), "world");
        s.SetSize(5);
        EXPECT_EQ(s.GetPosition(), 5);
    }
    EXPECT_EQ(fileBytes(name), "hello");
    {
        // Appending as a writer does: read-write on an existing file.
        TAuFileStream s(name, fmOpenReadWrite | fmShareDenyWrite);
        s.Seek(0, TSeekOrigin::soEnd);
        s.WriteBuffer("!", 1);
    }
    EXPECT_EQ(fileBytes(name), "hello!");
    {
        // Create truncates an existing file.
        TAuFileStream s(name, fmCreate);
        EXPECT_EQ(s.GetSize(), 0);
    }
    {
        TAuFileStream s(name, fmOpenRead);
        EXPECT_THROW(s.WriteBuffer("x", 1), EAuException);  // read-only descriptor
    }
    EXPECT_EQ(raisedBy([&] { TAuFileStream s(name, 0x0003); }), name + ": " + sysText(EINVAL));
}

TEST(FileStream, SharingModesBetweenStreams)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("shared.bin");
    {
        TAuFileStream s(name, fmCreate);
        s.WriteBuffer("data", 4);
    }
    const QString violation = "The process cannot access the file because it is being used by another process.";
    {
        // Readers that deny writing coexist; a writer is refused, and so is
        // creating the file anew, which must leave its contents alone.
        TAuFileStream r1(name, fmOpenRead | fmShareDenyWrite);
        TAuFileStream r2(name, fmOpenRead | fmShareDenyWrite);
        EXPECT_EQ(raisedBy([&] { TAuFileStream w(name, fmOpenReadWrite | fmShareDenyNone); }), violation);
        EXPECT_EQ(raisedBy([&] { TAuFileStream w(name, fmCreate); }), violation);
        EXPECT_EQ(fileBytes(name), "data");
        // A reader that itself denies others reading conflicts with the readers.
        EXPECT_EQ(raisedBy([&] { TAuFileStream r(name, fmOpenRead | fmShareExclusive); }), violation);
    }
    {
        // A writer that lets everyone in: a deny-write reader is refused
        // (there is a writer), a share-all reader is not.
        TAuFileStream w(name, fmOpenReadWrite | fmShareDenyNone);
        EXPECT_EQ(raisedBy([&] { TAuFileStream r(name, fmOpenRead | fmShareDenyWrite); }), violation);
        EXPECT_NO_THROW(TAuFileStream(name, fmOpenRead | fmShareDenyNone));
        EXPECT_NO_THROW(TAuFileStream(name, fmOpenReadWrite | fmShareDenyNone));
    }
    {
        // A created file shares nothing until it is closed.
        TAuFileStream c(name, fmCreate);
        EXPECT_EQ(raisedBy([&] { TAuFileStream r(name, fmOpenRead | fmShareDenyNone); }), violation);
        // Deny-read sharing lets writers in but no readers.
    }
    {
        TAuFileStream d(name, fmOpenRead | fmShareDenyRead);
        EXPECT_EQ(raisedBy([&] { TAuFileStream r(name, fmOpenRead | fmShareDenyNone); }), violation);
        EXPECT_NO_THROW(TAuFileStream(name, fmOpenWrite | fmShareDenyNone));
    }
    // Everything closed: any mode works again.
    EXPECT_NO_THROW(TAuFileStream(name, fmCreate));
}

// Run as a child process by the next test (skipped otherwise): holds the file
// named in DW_HOLD_FILE open with the mode in DW_HOLD_MODE until stdin closes.
TEST(FileStreamChild, HoldFile)
{
    const QString file = qEnvironmentVariable("DW_HOLD_FILE");
    if (file.isEmpty())
        GTEST_SKIP() << "helper for FileStream.SharingAcrossProcesses";
    TAuFileStream s(file, static_cast<uint16_t>(qEnvironmentVariable("DW_HOLD_MODE").toUInt(nullptr, 16)));
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    char line[16];
    while (std::fgets(line, sizeof line, stdin)) {
    }
}

TEST(FileStream, SharingAcrossProcesses)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("held.bin");
    {
        TAuFileStream s(name, fmCreate);
        s.WriteBuffer("xyz", 3);
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DW_HOLD_FILE", name);
    env.insert("DW_HOLD_MODE", "20");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=FileStreamChild.HoldFile"});
    ASSERT_TRUE(child.waitForStarted(10000));
    QByteArray said;
    ASSERT_TRUE(dwtest::waitFor([&] {
        said += child.readAllStandardOutput();
        return said.contains("ready") || child.state() == QProcess::NotRunning;
    }));
    ASSERT_EQ(child.state(), QProcess::Running);

    EXPECT_THROW(TAuFileStream(name, fmOpenReadWrite | fmShareDenyNone), EAuException);
    EXPECT_NO_THROW(TAuFileStream(name, fmOpenRead | fmShareDenyWrite));

    child.closeWriteChannel();
    ASSERT_TRUE(child.waitForFinished(20000));
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_NO_THROW(TAuFileStream(name, fmOpenReadWrite | fmShareDenyNone));
}

namespace {

TEST(FileStream, NamesThatAreNotUtf8AndErrorsNamingTheFile)
{
    QTemporaryDir dir;
    // "caf\xe9.wav" in Latin-1: not valid UTF-8, carried as a surrogate escape.
    const QByteArray rawName = dir.path().toUtf8() + "/caf\xe9.bin";
    const QString name = PathFromNative(rawName);
    {
        TAuFileStream s(name, fmCreate);
        s.WriteBuffer("abc", 3);
    }
    // The system sees exactly the bytes given, and the stream reads them back.
    struct stat st;
    ASSERT_EQ(::stat(rawName.constData(), &st), 0);
    EXPECT_EQ(st.st_size, 3);
    TAuFileStream r(name, fmOpenRead);
    char buf[3];
    r.ReadBuffer(buf, 3);
    EXPECT_EQ(QByteArray(buf, 3), "abc");

    // A device that is full: the write error names the file and the reason.
    if (::access("/dev/full", W_OK) == 0) {
        TAuFileStream full("/dev/full", fmOpenWrite);
        EXPECT_EQ(raisedBy([&] { full.Write("x", 1); }), "/dev/full: " + sysText(ENOSPC));
    }
}

}  // namespace
