#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "platform/IniFile.h"
#include "platform/NativePath.h"
#include "support/TestSupport.h"

using dw::IniFile;

TEST(IniFile, MissingFileSectionOrKeyGiveDefaults)
{
    dwtest::Sandbox box;
    IniFile missing(box.file("nothere.ini"));
    EXPECT_FALSE(missing.loaded());
    EXPECT_EQ(missing.readString("A", "b", "def"), "def");
    EXPECT_EQ(missing.readInteger("A", "b", 42), 42);

    box.write("a.ini", "[One]\nx=1\n\n[Two]\ny = hello world \n");
    IniFile ini(box.file("a.ini"));
    EXPECT_TRUE(ini.loaded());
    EXPECT_EQ(ini.readInteger("one", "X", 0), 1);  // names ignore case
    EXPECT_EQ(ini.readString("Two", "y", ""), "hello world");
    EXPECT_EQ(ini.readString("Two", "x", "d"), "d");
    EXPECT_EQ(ini.readString("Three", "y", "d"), "d");
}

TEST(IniFile, IntegerParsing)
{
    int v = 0;
    EXPECT_TRUE(IniFile::parseInteger("-17", v));
    EXPECT_EQ(v, -17);
    EXPECT_TRUE(IniFile::parseInteger("$1F", v));
    EXPECT_EQ(v, 31);
    EXPECT_TRUE(IniFile::parseInteger("0x10", v));
    EXPECT_EQ(v, 16);
    for (const char* bad : {"", "abc", "12abc", "1.5", "99999999999", "-", "$", "0x"})
        EXPECT_FALSE(IniFile::parseInteger(bad, v)) << bad;

    dwtest::Sandbox box;
    box.write("b.ini", "[S]\nn=abc\nb=7\nz=0\n");
    IniFile ini(box.file("b.ini"));
    EXPECT_EQ(ini.readInteger("S", "n", 128), 128);
    EXPECT_TRUE(ini.readBool("S", "b", false));
    EXPECT_FALSE(ini.readBool("S", "z", true));
}

TEST(IniFile, WritingKeepsOtherLinesAndOrder)
{
    dwtest::Sandbox box;
    box.write("c.ini", "; a comment\n[First]\nkeep=1\nchange=old\n\n[Second]\nother=x\n");
    {
        IniFile ini(box.file("c.ini"));
        ini.writeString("first", "change", "new");
        ini.writeString("First", "added", "2");
        ini.writeInteger("Third", "n", -5);
        ASSERT_TRUE(ini.save()) << ini.errorString().toStdString();
    }
    EXPECT_EQ(box.read("c.ini"),
              "; a comment\n[First]\nkeep=1\nchange=new\nadded=2\n\n[Second]\nother=x\n[Third]\nn=-5\n");

    // Saving what the file already holds leaves the file itself alone (no
    // replacement, so the same inode); a file changed since it was read is
    // written again, and so is a real change.
    const auto inode = [&] {
        struct stat st {};
        EXPECT_EQ(::stat(dw::NativePath(box.file("c.ini")).constData(), &st), 0);
        return st.st_ino;
    };
    const ino_t before = inode();
    IniFile same(box.file("c.ini"));
    same.writeString("First", "change", "new");
    ASSERT_TRUE(same.save());
    EXPECT_EQ(inode(), before);
    box.write("c.ini", "[First]\nchange=new\n");  // written by someone else meanwhile
    ASSERT_TRUE(same.save());
    EXPECT_EQ(box.read("c.ini"),
              "; a comment\n[First]\nkeep=1\nchange=new\nadded=2\n\n[Second]\nother=x\n[Third]\nn=-5\n");
    const ino_t rewritten = inode();
    same.writeString("First", "change", "newer");
    ASSERT_TRUE(same.save());
    EXPECT_NE(inode(), rewritten);
}

TEST(IniFile, EraseAndDelete)
{
    dwtest::Sandbox box;
    box.write("d.ini", "[A]\nk=1\nj=2\n[B]\nk=3\n");
    IniFile ini(box.file("d.ini"));
    ini.deleteKey("A", "k");
    ini.eraseSection("B");
    EXPECT_EQ(ini.keys("A"), QStringList{"j"});
    EXPECT_EQ(ini.sections(), QStringList{"A"});
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(box.read("d.ini"), "[A]\nj=2\n");
}

TEST(IniFile, DamagedInputIsTolerated)
{
    dwtest::Sandbox box;
    QByteArray junk("\x00\xff[broken\n=novalue\nkey without equals\n[Ok]\r\nv=5\r\n", 47);
    box.write("e.ini", junk);
    IniFile ini(box.file("e.ini"));
    EXPECT_EQ(ini.readInteger("Ok", "v", 0), 5);
    EXPECT_EQ(ini.readString("", "", "d"), "d");

    // Values never break across lines when written.
    ini.writeString("Ok", "t", "two\nlines");
    ASSERT_TRUE(ini.save());
    IniFile again(box.file("e.ini"));
    EXPECT_EQ(again.readString("Ok", "t", ""), "two lines");
}

TEST(IniFile, SaveIntoMissingFolderFailsAndKeepsNothingHalfWritten)
{
    dwtest::Sandbox box;
    IniFile ini(box.file("no/such/folder/f.ini"));
    ini.writeString("A", "b", "c");
    EXPECT_FALSE(ini.save());
    EXPECT_EQ(ini.errorString(), box.file("no/such/folder/f.ini") + ": No such file or directory");

    // A successful save leaves no temporary file behind.
    IniFile ok(box.file("f.ini"));
    ok.writeString("A", "b", "c");
    ASSERT_TRUE(ok.save());
    QDir dir(box.path());
    EXPECT_EQ(dir.entryList(QDir::Files), QStringList{"f.ini"});
}

TEST(IniFile, EightBitFilesAreReadAsLatin1)
{
    dwtest::Sandbox box;
    box.write("l.ini", QByteArray("[ResourceString]\nRES_Play=Abspielen \xe4\n"));
    EXPECT_EQ(IniFile(box.file("l.ini")).readString("ResourceString", "RES_Play", ""), QString::fromUtf8("Abspielen \xc3\xa4"));
    box.write("u.ini", QByteArray("[A]\nk=\xc3\xa4\n"));
    EXPECT_EQ(IniFile(box.file("u.ini")).readString("A", "k", ""), QString::fromUtf8("\xc3\xa4"));
}

TEST(IniFile, DamagedLinesNeitherCrashNorDisturbTheOtherSections)
{
    dwtest::Sandbox box;
    // A NUL byte, bytes that are not UTF-8, a line longer than the whole
    // file limit of old, and proper UTF-8 values around them.
    const QByteArray huge = "long=" + QByteArray(17 * 1024 * 1024, 'x');
    const QByteArray text = QByteArray("[A]\nname=Caf\xc3\xa9\n") + QByteArray("nul=a\0b\n", 8) +
                            "bad=\xff\xfe\x80\n" + huge + "\n[B]\nname=\xe2\x82\xac uro\n";
    box.write("h.ini", text);
    IniFile ini(box.file("h.ini"));
    ASSERT_TRUE(ini.loaded());
    EXPECT_EQ(ini.readString("A", "name", ""), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(ini.readString("B", "name", ""), QString::fromUtf8("\xe2\x82\xac uro"));
    EXPECT_EQ(ini.readString("A", "bad", ""), QString::fromLatin1("\xff\xfe\x80"));
    EXPECT_EQ(ini.readString("A", "long", "").size(), 17 * 1024 * 1024);
    EXPECT_EQ(ini.readString("A", "nul", ""), QString::fromUtf8("a\0b", 3));

    // Changing one value rewrites that line only; every other byte stays.
    ini.writeString("B", "name", "new");
    ASSERT_TRUE(ini.save()) << ini.errorString().toStdString();
    QByteArray expected = text;
    expected.replace("name=\xe2\x82\xac uro", "name=new");
    EXPECT_TRUE(box.read("h.ini") == expected);
}

TEST(IniFile, FilesThatCannotBeReadAreRefusedAndKept)
{
    dwtest::Sandbox box;
    // Larger than the reader takes: sparse, so it costs no disk space.
    const QString big = box.file("big.ini");
    box.write("big.ini", "[A]\nk=1\n");
    ASSERT_EQ(::truncate(dw::NativePath(big).constData(), IniFile::MaxFileSize + 1), 0);
    IniFile ini(big);
    EXPECT_FALSE(ini.loaded());
    EXPECT_TRUE(ini.refused());
    EXPECT_EQ(ini.readString("A", "k", "def"), "def");
    ini.writeString("A", "k", "2");
    EXPECT_FALSE(ini.save());
    EXPECT_TRUE(ini.errorString().startsWith(big + ": the file is larger than")) << ini.errorString().toStdString();
    QString error;
    EXPECT_FALSE(IniFile::Update(big, [](IniFile& f) { f.writeString("A", "k", "3"); }, &error));
    EXPECT_EQ(error, ini.errorString());
    EXPECT_EQ(QFileInfo(big).size(), IniFile::MaxFileSize + 1);
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.read(8), "[A]\nk=1\n");

    // More lines than the reader takes.
    box.write("lines.ini", "[A]\nk=1\n" + QByteArray(IniFile::MaxLines, '\n'));
    IniFile lines(box.file("lines.ini"));
    EXPECT_TRUE(lines.refused());
    EXPECT_FALSE(lines.save());
    EXPECT_EQ(lines.errorString(), box.file("lines.ini") + ": the file has more than 4194304 lines, more than the "
                                                           "program reads; it is left unchanged");
    EXPECT_EQ(QFileInfo(box.file("lines.ini")).size(), 8 + IniFile::MaxLines);

    // A folder where the file should be.
    QDir().mkpath(box.file("dir.ini"));
    IniFile dir(box.file("dir.ini"));
    EXPECT_TRUE(dir.refused());
    EXPECT_FALSE(dir.save());
    EXPECT_EQ(dir.errorString(), box.file("dir.ini") + ": Is a directory");
    EXPECT_TRUE(QFileInfo(box.file("dir.ini")).isDir());
}

TEST(IniFile, ConcurrentUpdatesLoseNothing)
{
    dwtest::Sandbox box;
    const QString path = box.file("shared.ini");
    // Each writer holds its own stale copy too; saving that would undo the others.
    constexpr int Writers = 8, Keys = 25;
    std::vector<std::thread> threads;
    for (int w = 0; w < Writers; ++w)
        threads.emplace_back([&, w] {
            for (int k = 0; k < Keys; ++k)
                IniFile::Update(path, [&](IniFile& ini) {
                    ini.writeInteger(QString("W%1").arg(w), QString::number(k), w * 100 + k);
                });
        });
    for (std::thread& t : threads)
        t.join();
    IniFile ini(path);
    for (int w = 0; w < Writers; ++w)
        for (int k = 0; k < Keys; ++k)
            ASSERT_EQ(ini.readInteger(QString("W%1").arg(w), QString::number(k), -1), w * 100 + k) << w << " " << k;
    EXPECT_EQ(ini.sections().size(), Writers);
}
