#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

#include "platform/IniFile.h"
#include "platform/NativePath.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

using dwtest::runCli;

TEST(CliSettingsFiles, RipWithoutOutputGoesToTheMusicFolder)
{
    dwtest::Sandbox box;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", box.file("home").toUtf8());
    QDir().mkpath(box.file("home/Music"));
    const QString cue = dwtest::makeCdImage(box.path(), {1, 1}, dwtest::CdImageOptions().silent());
    // The format is given: without it the rip takes options.ini's (MP3 by default).
    const auto r = runCli({"rip", "--device", cue, "--tracks", "1", "--mode", "ripper", "--format", "wav"});
    qputenv("HOME", oldHome);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, box.file("home/Music/Track01.wav") + "\n");
    EXPECT_TRUE(QFileInfo(box.file("home/Music/Track01.wav")).isFile());
    const QString settings = box.configHome() + "/Quobel/Discwright";
    EXPECT_TRUE(QDir(settings).entryList({"*.wav"}, QDir::Files).isEmpty());
}

TEST(CliSettingsFiles, CacheThatCannotBeReadIsKeptAndNamed)
{
    dwtest::Sandbox box;
    const QString cue = dwtest::makeCdImage(box.path(), {1, 1}, dwtest::CdImageOptions().silent());
    const QString cache = box.discCache();

    QDir().mkpath(cache);
    auto r = runCli({"title", "--device", cue, "1", "New"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "discwright-cli: " + cache + ": Is a directory\n");
    EXPECT_TRUE(QFileInfo(cache).isDir());

    // Too large to read: listed with the default titles, never overwritten.
    QDir(cache).removeRecursively();
    box.write(cache, "[1]\nArtist=Kept\n");
    ASSERT_EQ(::truncate(dw::NativePath(cache).constData(), dw::IniFile::MaxFileSize + 1), 0);
    r = runCli({"title", "--device", cue, "2", "New"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("discwright-cli: " + cache + ": the file is larger than")) << r.err.toStdString();
    EXPECT_EQ(QFileInfo(cache).size(), dw::IniFile::MaxFileSize + 1);
    QFile f(cache);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.read(16), "[1]\nArtist=Kept\n");
}
