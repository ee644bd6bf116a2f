// Lossless file names, same-file detection, whole-or-nothing outputs and the
// update lock.

#include "platform/FileLock.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace dw;

namespace {

QByteArray readAll(const QByteArray& native)
{
    QByteArray data;
    const int fd = ::open(native.constData(), O_RDONLY);
    if (fd < 0)
        return "<missing>";
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        data.append(buf, n);
    ::close(fd);
    return data;
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

TEST(NativePath, EveryByteStringSurvivesTheRoundTrip)
{
    const QByteArray samples[] = {
        QByteArray("plain.wav"),
        QByteArray("caf\xc3\xa9 \xe2\x99\xab.wav"),                  // valid UTF-8
        QByteArray("caf\xe9.wav"),                                     // Latin-1 byte
        QByteArray("\xff\xfe\x80"),                                    // never valid
        QByteArray("\xc0\xaf overlong"),                               // overlong "/"
        QByteArray("\xed\xa0\x80 surrogate"),                          // encoded surrogate
        QByteArray("\xf0\x9f\x8e\xb5 then cut \xf0\x9f\x8e"),          // truncated sequence
    };
    for (const QByteArray& s : samples)
        EXPECT_EQ(NativePath(PathFromNative(s)), s) << s.toHex().constData();
    // Every single byte value, alone and after a valid character.
    for (int b = 1; b < 256; ++b) {
        const QByteArray s = QByteArray("\xc3\xa9") + char(b) + "x";
        EXPECT_EQ(NativePath(PathFromNative(s)), s) << b;
    }
    // Valid text is ordinary text: shown and compared as users see it.
    EXPECT_EQ(PathFromNative(QByteArray("caf\xc3\xa9")), QString::fromUtf8("caf\xc3\xa9"));
}

TEST(NativePath, NonUtf8NamesCanBeCreatedStattedAndRemoved)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/" + PathFromNative(QByteArray("caf\xe9.wav"));
    const int fd = ::open(NativePath(path).constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "abc", 3), 3);
    ::close(fd);
    const TPathInfo info = StatPath(path);
    EXPECT_TRUE(info.exists && info.isFile);
    EXPECT_EQ(info.size, 3);
    EXPECT_TRUE(SameFile(path, path));
    EXPECT_TRUE(RemoveFile(path));
    EXPECT_FALSE(PathExists(path));
    EXPECT_EQ(StatPath(path).error, ENOENT);
}

TEST(NativePath, SameFileSeesThroughSpellingsAndLinks)
{
    QTemporaryDir dir;
    const QString a = dir.path() + "/a.wav";
    writeFile(a, "data");
    const QString other = dir.path() + "/b.wav";
    writeFile(other, "data");
    ASSERT_EQ(::symlink(NativePath(a).constData(), NativePath(dir.path() + "/sym.wav").constData()), 0);
    ASSERT_EQ(::link(NativePath(a).constData(), NativePath(dir.path() + "/hard.wav").constData()), 0);

    EXPECT_TRUE(SameFile(a, dir.path() + "/./a.wav"));
    EXPECT_TRUE(SameFile(a, dir.path() + "/../" + QDir(dir.path()).dirName() + "/a.wav"));
    EXPECT_TRUE(SameFile(a, dir.path() + "/sym.wav"));
    EXPECT_TRUE(SameFile(a, dir.path() + "/hard.wav"));
    EXPECT_FALSE(SameFile(a, other));  // same content, other file
    EXPECT_FALSE(SameFile(a, dir.path() + "/missing.wav"));
}

TEST(NativePath, FolderWritableGivesTheFolderAndTheReason)
{
    QTemporaryDir dir;
    QString reason;
    EXPECT_TRUE(FolderWritable(dir.path(), &reason));
    EXPECT_FALSE(FolderWritable(dir.path() + "/missing", &reason));
    EXPECT_EQ(reason, dir.path() + "/missing: " + SystemReason(ENOENT));
    writeFile(dir.path() + "/file", "x");
    EXPECT_FALSE(FolderWritable(dir.path() + "/file", &reason));
    EXPECT_TRUE(reason.endsWith(SystemReason(ENOTDIR)));
}

TEST(OutputFile, ReplacesOnlyWithACompleteResult)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/out.wav";
    writeFile(path, "old and good");

    {
        TOutputFile out(path);
        ASSERT_TRUE(out.Create()) << out.Error().toStdString();
        EXPECT_TRUE(out.TempPath().startsWith(dir.path() + "/."));
        ASSERT_EQ(::write(out.Fd(), "half", 4), 4);
        EXPECT_EQ(readAll(NativePath(path)), "old and good");
        // Going out of scope without Commit is a failed run.
    }
    EXPECT_EQ(readAll(NativePath(path)), "old and good");
    EXPECT_EQ(entries(dir.path()), QStringList{"out.wav"});

    TOutputFile out(path);
    ASSERT_TRUE(out.Create());
    ASSERT_EQ(::write(out.Fd(), "new", 3), 3);
    ASSERT_TRUE(out.Commit()) << out.Error().toStdString();
    EXPECT_EQ(readAll(NativePath(path)), "new");
    EXPECT_EQ(entries(dir.path()), QStringList{"out.wav"});
}

TEST(OutputFile, ASymlinkIsReplacedNotWrittenThrough)
{
    QTemporaryDir dir;
    const QString target = dir.path() + "/precious.wav";
    writeFile(target, "precious");
    const QString link = dir.path() + "/link.wav";
    ASSERT_EQ(::symlink(NativePath(target).constData(), NativePath(link).constData()), 0);

    TOutputFile out(link);
    ASSERT_TRUE(out.Create());
    ASSERT_EQ(::write(out.Fd(), "new", 3), 3);
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(readAll(NativePath(target)), "precious");
    struct stat st {};
    ASSERT_EQ(::lstat(NativePath(link).constData(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(readAll(NativePath(link)), "new");
}

TEST(OutputFile, NoReplaceKeepsTheExistingFileAndLetsOneOfTwoWin)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/out.wav";
    writeFile(path, "first");
    TOutputFile out(path);
    ASSERT_TRUE(out.Create());
    ASSERT_EQ(::write(out.Fd(), "second", 6), 6);
    EXPECT_FALSE(out.Commit(false));
    EXPECT_EQ(out.ErrorCode(), EEXIST);
    EXPECT_EQ(out.Error(), path + ": " + SystemReason(EEXIST));
    EXPECT_EQ(readAll(NativePath(path)), "first");
    EXPECT_EQ(entries(dir.path()), QStringList{"out.wav"});

    // Two writers racing for one new name: exactly one wins.
    const QString fresh = dir.path() + "/fresh.wav";
    TOutputFile a(fresh), b(fresh);
    ASSERT_TRUE(a.Create() && b.Create());
    ASSERT_EQ(::write(a.Fd(), "A", 1), 1);
    ASSERT_EQ(::write(b.Fd(), "B", 1), 1);
    const bool aWon = a.Commit(false);
    const bool bWon = b.Commit(false);
    EXPECT_NE(aWon, bWon);
    EXPECT_EQ(readAll(NativePath(fresh)), aWon ? "A" : "B");
}

TEST(OutputFile, FailuresNameTheFileAndTheReason)
{
    QTemporaryDir dir;
    TOutputFile missing(dir.path() + "/no/such/folder/x.wav");
    EXPECT_FALSE(missing.Create());
    EXPECT_EQ(missing.Error(), dir.path() + "/no/such/folder/x.wav: " + SystemReason(ENOENT));

    const QString longName = dir.path() + "/" + QString(300, QChar('n')) + ".wav";
    TOutputFile tooLong(longName);
    EXPECT_FALSE(tooLong.Create());
    EXPECT_EQ(tooLong.ErrorCode(), ENAMETOOLONG);

    // A name that just fits still gets a temporary name that fits.
    const QString nearlyFull = dir.path() + "/" + QString(250, QChar('n')) + ".wav";
    TOutputFile fits(nearlyFull);
    ASSERT_TRUE(fits.Create()) << fits.Error().toStdString();
    ASSERT_TRUE(fits.Commit());
    EXPECT_TRUE(IsRegularFile(nearlyFull));

    if (::geteuid() != 0) {
        const QString locked = dir.path() + "/locked";
        ASSERT_TRUE(QDir().mkdir(locked));
        ::chmod(NativePath(locked).constData(), 0555);
        TOutputFile denied(locked + "/x.wav");
        EXPECT_FALSE(denied.Create());
        EXPECT_EQ(denied.ErrorCode(), EACCES);
        ::chmod(NativePath(locked).constData(), 0755);
    }
}

TEST(FileLock, SerialisesReadModifyWriteAcrossHolders)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/counter";
    writeFile(path, "0");
    // Each thread opens its own lock file description, as two processes do.
    auto bump = [&] {
        for (int i = 0; i < 200; ++i) {
            TFileLock lock(path);
            ASSERT_TRUE(lock.Held());
            const int value = readAll(NativePath(path)).toInt();
            TOutputFile out(path);
            ASSERT_TRUE(out.Create());
            const QByteArray text = QByteArray::number(value + 1);
            ASSERT_EQ(::write(out.Fd(), text.constData(), size_t(text.size())), text.size());
            ASSERT_TRUE(out.Commit());
        }
    };
    std::thread t1(bump), t2(bump);
    t1.join();
    t2.join();
    EXPECT_EQ(readAll(NativePath(path)), "400");
}
