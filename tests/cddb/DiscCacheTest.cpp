#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <unistd.h>

#include "app/Settings.h"
#include "cd/DiscListing.h"
#include "cd/DriveLibrary.h"
#include "cddb/DiscCache.h"
#include "platform/IniFile.h"
#include "platform/NativePath.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

using namespace dw;

namespace {

struct CacheEnv {
    dwtest::Sandbox box;
    CacheEnv() { AppSettings = TAppSettings(); }
    ~CacheEnv()
    {
        SetExplicitCdDevices({});
        for (int h = 1; h <= MaxCdHandles; ++h)
            CloseCDHandle(h);
        AppSettings = TAppSettings();
    }
    QString cachePath() const { return box.discCache(); }
};

}  // namespace

TEST(DiscCache, UnknownDiscMissingOrDamagedFileGiveDefaults)
{
    CacheEnv env;
    EXPECT_EQ(DiscCachePath(), env.cachePath());
    TAppSettings s;
    s.DiscArtist = "old";
    s.DiscGenre = 7;
    s.DiscTitles[3] = "from another disc";
    ASSERT_TRUE(DiscCache("12345", DiscCacheDirection::Read, s));
    EXPECT_EQ(s.DiscArtist, "");
    EXPECT_EQ(s.DiscGenre, -1);
    EXPECT_EQ(s.DiscTrackCount, 100);
    EXPECT_EQ(s.DiscTitles[1], "Track01");
    EXPECT_EQ(s.DiscTitles[3], "Track03");
    EXPECT_EQ(s.DiscTitles[100], "Track100");

    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk += char((i * 131) & 0xFF);
    env.box.write(env.cachePath(), junk);
    s.DiscArtist = "old";
    EXPECT_TRUE(DiscCache("12345", DiscCacheDirection::Read, s));
    EXPECT_EQ(s.DiscArtist, "");
    EXPECT_EQ(s.DiscTitles[2], "Track02");
    // A damaged file can still take a disc's section.
    s.DiscTrackCount = 1;
    s.DiscTitles[1] = "One";
    EXPECT_TRUE(DiscCache("12345", DiscCacheDirection::Write, s));
    TAppSettings back;
    DiscCache("12345", DiscCacheDirection::Read, back);
    EXPECT_EQ(back.DiscTitles[1], "One");

    env.box.write(env.cachePath(), "");
    EXPECT_TRUE(DiscCache("12345", DiscCacheDirection::Read, back));
    EXPECT_EQ(back.DiscTitles[1], "Track01");
}

TEST(DiscCache, WriteThenReadRoundTripsEveryValue)
{
    CacheEnv env;
    TAppSettings s;
    s.DiscArtist = "Art = Ist";
    s.DiscAlbum = "Albüm";
    s.DiscYear = "1999";
    s.DiscGenre = 12;
    s.DiscComment = "two\nlines";
    s.DiscTrackCount = 3;
    s.DiscTitles[1] = "One";
    s.DiscTitles[2] = "";
    s.DiscTitles[3] = "Three";
    ASSERT_TRUE(DiscCache("-77", DiscCacheDirection::Write, s));

    IniFile ini(env.cachePath());
    EXPECT_EQ(ini.readInteger("-77", "TrackNumber", 0), 3);
    EXPECT_EQ(ini.readString("-77", "2", "x"), "");
    EXPECT_FALSE(ini.hasKey("-77", "4"));

    TAppSettings back;
    back.DiscTitles[4] = "stale";
    ASSERT_TRUE(DiscCache("-77", DiscCacheDirection::Read, back));
    EXPECT_EQ(back.DiscArtist, "Art = Ist");
    EXPECT_EQ(back.DiscAlbum, "Albüm");
    EXPECT_EQ(back.DiscYear, "1999");
    EXPECT_EQ(back.DiscGenre, 12);
    EXPECT_EQ(back.DiscComment, "two lines");
    EXPECT_EQ(back.DiscTrackCount, 3);
    EXPECT_EQ(back.DiscTitles[1], "One");
    EXPECT_EQ(back.DiscTitles[2], "Track02");  // an empty stored title reads as the default
    EXPECT_EQ(back.DiscTitles[3], "Three");
    EXPECT_EQ(back.DiscTitles[4], "");  // beyond this disc's tracks

    // Another disc's section is left alone by a write.
    s.DiscArtist = "Other";
    ASSERT_TRUE(DiscCache("5", DiscCacheDirection::Write, s));
    DiscCache("-77", DiscCacheDirection::Read, back);
    EXPECT_EQ(back.DiscArtist, "Art = Ist");
}

TEST(DiscCache, TrackNumberIsBoundedAndEmptyKeyDoesNothing)
{
    CacheEnv env;
    QByteArray big = "[9]\nTrackNumber=250\n";
    for (int k = 1; k <= 120; ++k)
        big += QByteArray::number(k) + "=T" + QByteArray::number(k) + "\n";
    env.box.write(env.cachePath(), big);
    TAppSettings s;
    DiscCache("9", DiscCacheDirection::Read, s);
    EXPECT_EQ(s.DiscTitles[100], "T100");
    EXPECT_LE(s.DiscTrackCount, 100);

    env.box.write(env.cachePath(), "[9]\nTrackNumber=-4\nGenre=148\n[8]\nGenre=147\n");
    DiscCache("9", DiscCacheDirection::Read, s);
    EXPECT_EQ(s.DiscTrackCount, 0);
    EXPECT_EQ(s.DiscGenre, -1);  // past the genre list
    DiscCache("8", DiscCacheDirection::Read, s);
    EXPECT_EQ(s.DiscGenre, 147);
    DiscCache("9", DiscCacheDirection::Read, s);
    EXPECT_EQ(s.DiscTitles[1], "");

    QFile::remove(env.cachePath());
    s.DiscArtist = "unchanged";
    EXPECT_TRUE(DiscCache("", DiscCacheDirection::Write, s));
    EXPECT_TRUE(DiscCache("", DiscCacheDirection::Read, s));
    EXPECT_FALSE(QFile::exists(env.cachePath()));
    EXPECT_EQ(s.DiscArtist, "unchanged");
}

TEST(DiscCache, ListingReadsAndClosingWritesTheDiscSection)
{
    CacheEnv env;
    const QString img = dwtest::makeCdImage(env.box.path(), {5, 6, 7}, dwtest::CdImageOptions().named("disc"));
    SetExplicitCdDevices({img});

    {
        // A disc never seen before lists as Track01.. and gets its section on closing.
        DiscListing listing(AppSettings, DiscListingCache(AppSettings));
        listing.Show(0);
        ASSERT_EQ(listing.Rows.size(), 3u);
        EXPECT_EQ(listing.Rows[0].title, "Track01");
        ASSERT_FALSE(listing.DiscKey.isEmpty());
        listing.Rows[2].title = "Renamed";
        EXPECT_TRUE(listing.CloseDisc());
        IniFile ini(env.cachePath());
        EXPECT_EQ(ini.readInteger(listing.DiscKey, "TrackNumber", 0), 3);
        EXPECT_EQ(ini.readString(listing.DiscKey, "3", ""), "Renamed");
    }
    AppSettings = TAppSettings();
    {
        // The next start shows the cached title; titles changed in the list
        // and then lost by a refresh are not saved.
        DiscListing listing(AppSettings, DiscListingCache(AppSettings));
        listing.Show(0);
        ASSERT_EQ(listing.Rows.size(), 3u);
        EXPECT_EQ(listing.Rows[2].title, "Renamed");
        listing.Rows[0].title = "From a query";
        AppSettings.DiscTitles[1] = "From a query";
        listing.Refresh(AppSettings.Index);
        EXPECT_EQ(listing.Rows[0].title, "Track01");
        listing.CloseDisc();
        IniFile ini(env.cachePath());
        EXPECT_EQ(ini.readString(listing.DiscKey, "1", ""), "Track01");
    }

    // A cache that cannot be written is reported by the closing step, with
    // the folder and the reason (a data folder that is a file stops root too).
    env.box.write("blocked", "a file, not a folder");
    qputenv("XDG_DATA_HOME", env.box.file("blocked").toUtf8());
    DiscListing listing(AppSettings, DiscListingCache(AppSettings));
    listing.Show(0);
    EXPECT_FALSE(listing.CloseDisc());
    EXPECT_EQ(LastDiscCacheError(), env.box.file("blocked") + "/Quobel: Not a directory");
}

TEST(DiscCache, TwentyThousandDiscsReadAndWriteOneSection)
{
    CacheEnv env;
    // 20,000 discs of 30 titles: over 20 MiB, more than a small reader limit would take.
    constexpr int Discs = 20000, Tracks = 30;
    QByteArray file;
    file.reserve(24 * 1024 * 1024);
    for (int d = 0; d < Discs; ++d) {
        file += "[" + QByteArray::number(100000 + d) + "]\nArtist=Artist " + QByteArray::number(d) +
                "\nAlbum=Album\nYear=1990\nGenre=3\nComment=\nTrackNumber=" + QByteArray::number(Tracks) + "\n";
        for (int k = 1; k <= Tracks; ++k)
            file += QByteArray::number(k) + "=Title of track number " + QByteArray::number(k) + " of disc " +
                    QByteArray::number(d) + "\n";
    }
    ASSERT_GT(file.size(), 20 * 1024 * 1024);
    env.box.write(env.cachePath(), file);

    TAppSettings s;
    ASSERT_TRUE(DiscCache("112345", DiscCacheDirection::Read, s));
    EXPECT_EQ(s.DiscArtist, "Artist 12345");
    EXPECT_EQ(s.DiscTrackCount, Tracks);
    EXPECT_EQ(s.DiscTitles[30], "Title of track number 30 of disc 12345");

    s.DiscTitles[7] = "Renamed";
    s.DiscArtist = "Someone else";
    ASSERT_TRUE(DiscCache("112345", DiscCacheDirection::Write, s)) << LastDiscCacheError().toStdString();
    QByteArray expected = file;
    expected.replace("Artist=Artist 12345\n", "Artist=Someone else\n");
    expected.replace("7=Title of track number 7 of disc 12345\n", "7=Renamed\n");
    EXPECT_TRUE(env.box.read(env.cachePath()) == expected);

    TAppSettings other;
    DiscCache("119999", DiscCacheDirection::Read, other);
    EXPECT_EQ(other.DiscTitles[1], "Title of track number 1 of disc 19999");
}

TEST(DiscCache, WriteKeepsWhatOthersStoredForTheSameDisc)
{
    CacheEnv env;
    TAppSettings s;
    s.DiscTrackCount = 3;
    for (int k = 1; k <= 3; ++k)
        s.DiscTitles[std::size_t(k)] = QString("Track0%1").arg(k);
    ASSERT_TRUE(DiscCache("42", DiscCacheDirection::Write, s));  // a new disc gets every key
    EXPECT_EQ(IniFile(env.cachePath()).keys("42").size(), 6 + 3);

    ASSERT_TRUE(DiscCache("42", DiscCacheDirection::Read, s));
    // Meanwhile another program renames track 2 and sets the album.
    ASSERT_TRUE(IniFile::Update(env.cachePath(), [](IniFile& ini) {
        ini.writeString("42", "2", "Theirs");
        ini.writeString("42", "Album", "Their album");
    }));
    s.DiscTitles[1] = "Mine";
    ASSERT_TRUE(DiscCache("42", DiscCacheDirection::Write, s));
    TAppSettings back;
    DiscCache("42", DiscCacheDirection::Read, back);
    EXPECT_EQ(back.DiscTitles[1], "Mine");
    EXPECT_EQ(back.DiscTitles[2], "Theirs");
    EXPECT_EQ(back.DiscAlbum, "Their album");

    // A value changed here wins over the older one in the file.
    s.DiscTitles[2] = "Mine too";
    ASSERT_TRUE(DiscCache("42", DiscCacheDirection::Write, s));
    DiscCache("42", DiscCacheDirection::Read, back);
    EXPECT_EQ(back.DiscTitles[2], "Mine too");
}

TEST(DiscCache, UnreadableCacheIsKeptAndTheWriteFailsNamingIt)
{
    CacheEnv env;
    env.box.write(env.cachePath(), "[1]\nArtist=Kept\n");
    ASSERT_EQ(::truncate(NativePath(env.cachePath()).constData(), IniFile::MaxFileSize + 1), 0);
    TAppSettings s;
    s.DiscArtist = "x";
    EXPECT_TRUE(DiscCache("1", DiscCacheDirection::Read, s));
    EXPECT_EQ(s.DiscArtist, "");
    s.DiscTrackCount = 1;
    QString error;
    EXPECT_FALSE(DiscCache("1", DiscCacheDirection::Write, s, &error));
    EXPECT_TRUE(error.startsWith(env.cachePath() + ": the file is larger than")) << error.toStdString();
    EXPECT_EQ(LastDiscCacheError(), error);
    EXPECT_EQ(QFileInfo(env.cachePath()).size(), IniFile::MaxFileSize + 1);

    // A data folder whose name is not UTF-8 holds the cache under that very name.
    const QByteArray folder = env.box.path().toUtf8() + "/data\xe4";
    qputenv("XDG_DATA_HOME", folder);
    s.DiscArtist = "Native";
    ASSERT_TRUE(DiscCache("1", DiscCacheDirection::Write, s)) << LastDiscCacheError().toStdString();
    EXPECT_TRUE(IsRegularFile(PathFromNative(folder + "/Quobel/Discwright/cdinfo.dat")));
    TAppSettings back;
    DiscCache("1", DiscCacheDirection::Read, back);
    EXPECT_EQ(back.DiscArtist, "Native");
    for (const char* name : {"/Quobel/Discwright/cdinfo.dat", "/Quobel/Discwright/cdinfo.dat.lock"})
        ::unlink((folder + name).constData());
    for (const char* name : {"/Quobel/Discwright", "/Quobel", ""})
        ::rmdir((folder + name).constData());
}

// The cache earlier versions kept in the program folder reaches the user's
// data folder on the first use: discs only it knows are carried over whole,
// discs the user's cache already holds keep the user's titles, the old file
// is never written, and it is read once (again only when it changes). While
// the data folder takes no files, its discs are still read from the old file.
TEST(DiscCache, OldCacheInTheProgramFolderIsCarriedOverOnceAndNeitherSideLosesADisc)
{
    CacheEnv env;
    const QByteArray old = "[1]\nArtist=Old one\nTrackNumber=2\n1=Old A\n2=Old B\n"
                           "[2]\nArtist=Old two\nTrackNumber=1\n1=Old title\n";
    env.box.write("program/cdinfo.dat", old);
    env.box.write(env.cachePath(), "[2]\nArtist=Mine\nTrackNumber=1\n1=My title\n[3]\nTrackNumber=1\n1=Third\n");
    EXPECT_EQ(OldDiscCachePath(), env.box.programDir() + "/cdinfo.dat");

    TAppSettings s;
    ASSERT_TRUE(DiscCache("1", DiscCacheDirection::Read, s));
    EXPECT_EQ(s.DiscArtist, "Old one");
    EXPECT_EQ(s.DiscTitles[2], "Old B");
    const IniFile merged(env.cachePath());
    EXPECT_EQ(merged.readString("1", "2", ""), "Old B");
    EXPECT_EQ(merged.readString("2", "1", ""), "My title");
    EXPECT_EQ(merged.readString("2", "Artist", ""), "Mine");
    EXPECT_EQ(merged.readString("3", "1", ""), "Third");
    EXPECT_TRUE(env.box.read("program/cdinfo.dat") == old);

    // Renamed here, then the old file is not read over it again.
    s.DiscTitles[1] = "Renamed";
    ASSERT_TRUE(DiscCache("1", DiscCacheDirection::Write, s)) << LastDiscCacheError().toStdString();
    ASSERT_TRUE(DiscCache("1", DiscCacheDirection::Read, s));
    EXPECT_EQ(s.DiscTitles[1], "Renamed");
    EXPECT_EQ(IniFile(env.cachePath()).readString("1", "1", ""), "Renamed");

    // An old file that changed brings its new discs; the user's stay.
    env.box.write("program/cdinfo.dat", old + "[4]\nTrackNumber=1\n1=Later\n");
    ASSERT_TRUE(DiscCache("4", DiscCacheDirection::Read, s));
    EXPECT_EQ(s.DiscTitles[1], "Later");
    const IniFile again(env.cachePath());
    EXPECT_EQ(again.readString("1", "1", ""), "Renamed");
    EXPECT_EQ(again.readString("2", "1", ""), "My title");

    // A data folder that cannot be made: the old file's discs still read,
    // and the write fails naming the folder and the reason.
    env.box.write("blocked", "a file, not a folder");
    qputenv("XDG_DATA_HOME", env.box.file("blocked").toUtf8());
    TAppSettings fallback;
    ASSERT_TRUE(DiscCache("2", DiscCacheDirection::Read, fallback));
    EXPECT_EQ(fallback.DiscTitles[1], "Old title");
    QString error;
    EXPECT_FALSE(DiscCache("2", DiscCacheDirection::Write, fallback, &error));
    EXPECT_EQ(error, env.box.file("blocked") + "/Quobel: Not a directory");
    EXPECT_TRUE(env.box.read("program/cdinfo.dat").startsWith(old));
}
