// Sharing locks between descriptors and the "file in use" test, including a
// file held open by another process.

#include "platform/FileSharing.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace dw;

namespace {

// An open descriptor, closed at the end of the scope.
class Fd {
public:
    Fd(const QString& path, int flags) : fd_(::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC)) {}
    ~Fd()
    {
        if (fd_ != -1)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

QString makeFile(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("content");
    return path;
}

}  // namespace

TEST(ShareLocks, AccessAndSharingMatrix)
{
    QTemporaryDir dir;
    const QString path = makeFile(dir, "m.bin");
    struct Case {
        unsigned access1, share1, access2, share2;
        bool secondAllowed;
    };
    const Case cases[] = {
        {AccessRead, ShareRead, AccessRead, ShareRead, true},             // two deny-write readers
        {AccessRead, ShareRead, AccessRead | AccessWrite, ShareRead | ShareWrite, false},  // writer vs deny-write
        {AccessRead | AccessWrite, ShareRead | ShareWrite, AccessRead, ShareRead, false},  // deny-write vs writer
        {AccessRead | AccessWrite, ShareRead | ShareWrite, AccessRead | AccessWrite, ShareRead | ShareWrite, true},
        {AccessRead, ShareNone, AccessRead, ShareRead | ShareWrite, false},  // exclusive
        {AccessRead, ShareWrite, AccessWrite, ShareRead | ShareWrite, true}, // deny-read lets writers in
        {AccessRead, ShareWrite, AccessRead, ShareRead | ShareWrite, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.access1 << "/" << c.share1 << " then " << c.access2 << "/" << c.share2);
        Fd first(path, O_RDWR);
        Fd second(path, O_RDWR);
        ASSERT_TRUE(TakeShareLocks(first.get(), c.access1, c.share1));
        EXPECT_EQ(TakeShareLocks(second.get(), c.access2, c.share2), c.secondAllowed);
        // A refused open holds nothing: a third, compatible with the first, works.
        if (!c.secondAllowed) {
            Fd third(path, O_RDWR);
            EXPECT_TRUE(TakeShareLocks(third.get(), c.access1 & c.share1, ShareRead | ShareWrite) ||
                        (c.access1 & c.share1) == 0);
        }
    }
    // All closed: an exclusive open succeeds.
    Fd last(path, O_RDWR);
    EXPECT_TRUE(TakeShareLocks(last.get(), AccessRead | AccessWrite, ShareNone));
}

TEST(FileInUse, MissingClosedLockedAndOpenFiles)
{
    QTemporaryDir dir;
    EXPECT_FALSE(FileInUse(dir.filePath("missing.bin")));
    EXPECT_FALSE(FileInUse(QString()));
    const QString path = makeFile(dir, "f.bin");
    EXPECT_FALSE(FileInUse(path));
    {
        // Open in this process (with or without share locks).
        Fd fd(path, O_RDONLY);
        EXPECT_TRUE(FileInUse(path));
        ASSERT_TRUE(TakeShareLocks(fd.get(), AccessRead, ShareRead | ShareWrite));
        EXPECT_TRUE(FileInUse(path));
    }
    EXPECT_FALSE(FileInUse(path));
    // A file that cannot be opened for reading and writing counts as in use.
    QFile::setPermissions(path, QFile::ReadOwner);
    if (::access(QFile::encodeName(path).constData(), W_OK) != 0) {  // not when running as root
        EXPECT_TRUE(FileInUse(path));
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

TEST(FileInUse, FileHeldByAnotherProcess)
{
    QTemporaryDir dir;
    const QString path = makeFile(dir, "held.bin");
    QProcess child;
    child.setStandardInputFile(path);  // the child holds the file as its stdin
    child.start("sleep", {"60"});
    ASSERT_TRUE(child.waitForStarted(10000));
    // The child has the file open once it runs.
    EXPECT_TRUE(dwtest::waitFor([&] { return FileInUse(path); }));
    child.kill();
    ASSERT_TRUE(child.waitForFinished(10000));
    EXPECT_FALSE(FileInUse(path));
}
