#include <gtest/gtest.h>

#include <QDir>

#include "platform/IniFile.h"
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
    EXPECT_FALSE(ini.errorString().isEmpty());

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
