#include <gtest/gtest.h>

#include "cd/CDIn.h"
#include "cd/DriveCddbProtocol.h"
#include "cd/DriveLibrary.h"
#include "cd/RipperLibrary.h"
#include "cd/DriveRecords.h"
#include "cddb/CDDBAlbum.h"
#include "cddb/CDDBInfo.h"
#include "cddb/CddbDiscValues.h"
#include "cddb/CddbEntry.h"
#include "platform/CdDrives.h"

#include "cddb/CddbTestDisc.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <QUrlQuery>

using namespace dw;

namespace {

CddbToc tocThroughDriveLibrary(const QString& cue)
{
    SetExplicitCdDevices({cue});
    CdListRecord list{};
    list[0] = CdListMaxEntries;
    EXPECT_EQ(GetCDList(list), 1);
    OpenRequestRecord req{};
    EncodeOpenRequest(OpenRequest{}, req);
    const int handle = GetCDHandle(req);
    EXPECT_NE(handle, 0);
    ModifyCDParms(handle, CdParmMsf, 1);
    TocRecord record{};
    EXPECT_EQ(ReadTOC(handle, record), 1);
    CloseCDHandle(handle);
    const std::optional<CdToc> toc = DecodeToc(record);
    return toc ? CddbTocFromDriveToc(*toc) : CddbToc{};
}

QStringList lines(const char* text) { return CddbLines(QString::fromUtf8(text)); }

}  // namespace

TEST(CddbDiscId, BothLibrariesAgreeWithAnIndependentComputation)
{
    dwtest::Sandbox box;
    struct Disc {
        std::vector<int> seconds;
        dwtest::CdImageOptions options;
    };
    std::vector<int> fifteen, ninetyNine;
    for (int i = 0; i < 15; ++i)
        fifteen.push_back(61 + 7 * i);
    for (int i = 0; i < 99; ++i)
        ninetyNine.push_back(2 + i % 3);
    const std::vector<Disc> discs{
        {{200}, dwtest::CdImageOptions().named("one").silent()},
        {{3, 250}, dwtest::CdImageOptions().named("two").silent()},
        {fifteen, dwtest::CdImageOptions().named("fifteen").silent()},
        {ninetyNine, dwtest::CdImageOptions().named("ninetynine").silent()},
        {{30, 40}, dwtest::CdImageOptions().named("enhanced").silent().withDataTrack("0:20")},
        {{30, 40}, dwtest::CdImageOptions().named("mixed").silent().withDataTrack("0:20", true).numberedFrom(3)},
    };
    TCDIn component;
    for (const Disc& d : discs) {
        SCOPED_TRACE(d.options.name.toStdString());
        const QString cue = dwtest::makeCdImage(box.path(), d.seconds, d.options);
        const dwtest::ExpectedCddbDisc expected = dwtest::expectedCddbDisc(cue);

        const CddbToc drive = tocThroughDriveLibrary(cue);
        EXPECT_EQ(CddbDiscId(drive), expected.discId);
        EXPECT_EQ(CddbQueryArgs(drive), expected.queryArgs);

        // The HTTP client reads the same disc through the ripper library.
        CR_Init(1);
        component.SetCurrentDrive(0);
        TCDDBInfo info;
        info.CDIn = &component;
        const CddbToc ripper = info.ReadDisc();
        EXPECT_EQ(CddbDiscId(ripper), expected.discId);
        EXPECT_EQ(CddbQueryArgs(ripper), expected.queryArgs);
    }
    SetExplicitCdDevices({});
}

TEST(CddbDiscId, WorkedExampleAndNoDisc)
{
    const CddbToc one = CddbTocFromSectors({0, 15000});
    EXPECT_EQ(CddbDiscId(one), "0200c801");
    EXPECT_EQ(CddbQueryArgs(one), "1 150 200");
    EXPECT_EQ(CddbDiscId(CddbToc{}), "ffffffff");
    EXPECT_EQ(CddbQueryArgs(CddbToc{}), "");
    TCDDBInfo info;
    EXPECT_THROW(info.ReadDisc(), EAuException);
}

TEST(CddbUrl, CommandUrlGreetsWithFourWordsAndEncodesEveryPart)
{
    CddbServer s = *CddbServerFromText("http://127.0.0.1:8880", "/~cddb/cddb.cgi");
    s.email = "me@example.org";
    s.applicationName = "Disc wright";
    s.applicationVersion = "v1.0";
    const QString url = CddbCommandUrl(s, "query", "0200c801 1 150 200");
    ASSERT_TRUE(url.startsWith("http://127.0.0.1:8880/~cddb/cddb.cgi?cmd=cddb+query+0200c801+1+150+200&hello="));
    const QUrlQuery q(QUrl(url).query());
    EXPECT_EQ(q.queryItemValue("hello", QUrl::FullyEncoded), "me+example.org+Disc%20wright+v1.0");
    EXPECT_EQ(q.queryItemValue("proto"), "5");
    // A category from the network cannot add parameters.
    EXPECT_FALSE(CddbCommandUrl(s, "read", "rock&proto=1 1234").contains("&proto=1"));

    EXPECT_EQ(CddbServerFromText("gnudb.gnudb.org", "/~cddb/cddb.cgi")->base, "http://gnudb.gnudb.org");
    const auto withPath = CddbServerFromText("https://h:81/cgi/x.cgi", "/~cddb/cddb.cgi");
    ASSERT_TRUE(withPath);
    EXPECT_EQ(withPath->base, "https://h:81");
    EXPECT_EQ(withPath->script, "/cgi/x.cgi");
    EXPECT_FALSE(CddbServerFromText("", "/s"));
    EXPECT_FALSE(CddbServerFromText("ftp://h", "/s"));
    EXPECT_FALSE(CddbServerFromText("a b", "/s"));
}

TEST(CddbAnswer, QueryScanCodesAndMatchLists)
{
    CddbQueryScan exact = ScanCddbQuery(lines("200 rock 0200c801 Artist / Album\r\n"));
    EXPECT_EQ(exact.code, 200);
    EXPECT_EQ(exact.matches, QStringList{"rock 0200c801 Artist / Album"});

    CddbQueryScan list = ScanCddbQuery(
        lines("211 close matches found\r\nrock 0200c801 A / B\r\nmisc 0200c802 C / D\r\n.\r\nrock ffff E\r\n"));
    EXPECT_EQ(list.code, 211);
    EXPECT_EQ(list.matches.size(), 2);
    // A list whose terminating line never came still counts what arrived.
    EXPECT_EQ(ScanCddbQuery(lines("210 found\nrock 1 A\nrock 2 B")).matches.size(), 2);

    EXPECT_EQ(ScanCddbQuery(lines("202 No match found\r\n")).code, 202);
    const CddbQueryScan denied = ScanCddbQuery(lines("403 Database entry is corrupt\r\n"));
    EXPECT_EQ(denied.code, 403);
    EXPECT_EQ(denied.statusText, "Database entry is corrupt");
    EXPECT_EQ(ScanCddbQuery(lines("<html>oops</html>")).code, 500);
    EXPECT_EQ(ScanCddbQuery(lines("2x0 odd")).code, 500);
    EXPECT_EQ(ScanCddbQuery(lines("")).code, -2);

    QString many = "210 found\n";
    for (int i = 0; i < 500; ++i)
        many += QString("rock %1 T\n").arg(i);
    EXPECT_EQ(ScanCddbQuery(CddbLines(many)).matches.size(), CddbMaxMatches);
    EXPECT_EQ(CddbLines(QString("x\n").repeated(20000)).size(), CddbMaxLines);

    const auto m = ParseCddbMatch("rock 0200c801 Artist / Album");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->category, "rock");
    EXPECT_EQ(m->title, "Artist / Album");
    EXPECT_FALSE(ParseCddbMatch("ro&ck 0200c801 A"));
    EXPECT_FALSE(ParseCddbMatch("rock 0200c80z A"));
    EXPECT_FALSE(ParseCddbMatch("rock 0200c80100 A"));
    EXPECT_FALSE(ParseCddbMatch("rock"));
}

TEST(CddbAnswer, TextIsUtf8WhenValidElseLatin1)
{
    EXPECT_EQ(DecodeCddbText(QByteArray("Bj\xc3\xb6rk")), QString::fromUtf8("Björk"));
    EXPECT_EQ(DecodeCddbText(QByteArray("Bj\xf6rk")), QString::fromUtf8("Björk"));
}

TEST(CddbEntryParse, RealisticEntryWithContinuationsAndExtendedData)
{
    const CddbEntry e = ParseCddbEntry(lines("# xmcd\n"
                                             "# Disc length: 2710 seconds\n"
                                             "# Generated: by hand\n"
                                             "DISCID=0200c801\n"
                                             "DTITLE=AC/DC / Back in Black (Remastered Deluxe Edition, \n"
                                             "DTITLE=Bonus Tracks)\n"
                                             "DYEAR=1980\n"
                                             "DGENRE=Hard Rock and more than thirty characters\n"
                                             "TTITLE0=Hells Bells\n"
                                             "TTITLE1=Shoot to Thrill (a title so long the server\n"
                                             "TTITLE1= split it)\n"
                                             "TTITLE2=Guest \\\\ Band / What Do You Do\\nFor Money\n"
                                             "EXTD=Recorded at \n"
                                             "EXTD=Compass Point\n"
                                             "EXTT0=first\n"
                                             "EXTT7=no such track\n"
                                             "TTITLE123=too far\n"
                                             "TTITLEx=no number\n"
                                             "garbage without equals\n"
                                             "PLAYORDER=\n"));
    EXPECT_EQ(e.discLength, "2710 seconds");
    EXPECT_EQ(e.generatedBy, "by hand");
    EXPECT_EQ(e.dtitle, "AC/DC / Back in Black (Remastered Deluxe Edition, Bonus Tracks)");
    ASSERT_EQ(e.ttitles.size(), 3u);
    EXPECT_EQ(e.ttitles[1], "Shoot to Thrill (a title so long the server split it)");
    EXPECT_EQ(e.ttitles[2], "Guest \\ Band / What Do You Do\r\nFor Money");
    EXPECT_EQ(e.extd, "Recorded at Compass Point");
    EXPECT_EQ(e.extt[0], "first");

    const TCDDBAlbum a = AlbumFromEntry(e);
    EXPECT_EQ(a.AlbumArtist, "AC/DC");
    EXPECT_EQ(a.AlbumTitle, "Back in Black (Remastered Deluxe Edition, Bonus Tracks)");
    EXPECT_EQ(a.AlbumYear, "1980");
    EXPECT_EQ(a.AlbumGenre, "Hard Rock and more than thirty");
    EXPECT_EQ(a.AlbumTrackCount, 3);
    EXPECT_EQ(a.TrackArtists[0], "AC/DC");
    EXPECT_EQ(a.TrackTitles[1], "Shoot to Thrill (a title so long the server split it)");
    EXPECT_EQ(a.TrackArtists[2], "Guest \\ Band");
    EXPECT_EQ(a.TrackTitles[2], "What Do You Do\r\nFor Money");
    EXPECT_EQ(a.DiscLength, "2710 seconds");

    // Slash split: " / " first, then a bare slash, both parts trimmed.
    EXPECT_EQ(SplitSlash("A/B").before, "A");
    EXPECT_EQ(SplitSlash("A/B").after, "B");
    EXPECT_EQ(SplitSlash("Only Title").before, "");
    EXPECT_EQ(SplitSlash("Only Title").after, "Only Title");
}

TEST(CddbEntryParse, MoreTitlesThanRowsAndFieldWidths)
{
    QString text = "DTITLE=" + QString(300, 'x') + " / " + QString(300, 'y') + "\nDYEAR=19800\n";
    for (int i = 0; i < 20; ++i)
        text += QString("TTITLE%1=T%1\n").arg(i);
    text += "TTITLE5=" + QString(20000, 'z') + "\n";
    const CddbEntry e = ParseCddbEntry(CddbLines(text));
    ASSERT_EQ(e.ttitles.size(), 20u);
    EXPECT_LE(e.ttitles[5].size(), MaxValueChars);
    const TCDDBAlbum a = AlbumFromEntry(e);
    EXPECT_EQ(a.AlbumArtist.size(), AlbumTextWidth);
    EXPECT_EQ(a.AlbumTitle.size(), AlbumTextWidth);
    EXPECT_EQ(a.AlbumYear, "1980");
    EXPECT_EQ(a.TrackTitles[5].size(), AlbumTextWidth);

    // Three rows take the first three titles; the rest is dropped.
    std::vector<TrackRow> rows(3);
    for (int i = 0; i < 3; ++i)
        rows[std::size_t(i)].title = QString("Track%1").arg(i + 1);
    TDiscInfo disc;
    disc.DiscYear = "kept";
    ApplyCddbValues(DiscValuesFromDriveEntry(ParseCddbEntry(lines("DTITLE=Solo\nTTITLE0=A\nTTITLE1=Line\\nBreak\n")), 3),
                    rows, disc);
    EXPECT_EQ(disc.DiscArtist, "");
    EXPECT_EQ(disc.DiscAlbum, "Solo");
    EXPECT_EQ(disc.DiscYear, "kept");
    EXPECT_EQ(rows[0].title, "A");
    EXPECT_EQ(rows[1].title, "Line Break");
    EXPECT_EQ(rows[2].title, "Track3");
    ApplyCddbValues(DiscValuesFromAlbum(a), rows, disc);
    EXPECT_EQ(rows[2].title, "T2");
    EXPECT_EQ(disc.DiscYear, "1980");
}

// A track title is parted into artist and title only at " / ", as the disc
// title is: a bare slash is part of the title.
TEST(CddbEntryParse, TrackTitlesPartOnlyAtASlashBetweenBlanks)
{
    const TCDDBAlbum a = AlbumFromEntry(ParseCddbEntry(lines("DTITLE=Various / Mix\n"
                                                             "TTITLE0=Either/Or\n"
                                                             "TTITLE1=AC/DC / Back in Black\n"
                                                             "TTITLE2=Face /Off\n")));
    ASSERT_EQ(a.AlbumTrackCount, 3);
    EXPECT_EQ(a.TrackTitles[0], "Either/Or");
    EXPECT_EQ(a.TrackArtists[0], "Various");
    EXPECT_EQ(a.TrackArtists[1], "AC/DC");
    EXPECT_EQ(a.TrackTitles[1], "Back in Black");
    EXPECT_EQ(a.TrackTitles[2], "Face /Off");
}

// An entry with a NUL byte (or another control character) was damaged on its
// way: the HTTP client refuses it whole, keeping the album it held, and says
// which line; a clean entry with tabs and both line ends is taken.
TEST(CddbEntryParse, ADamagedEntryIsRefusedWholeAndTheAlbumKept)
{
    TCDDBInfo info;
    TCDDBQuery& q = info.Lookup;
    const QByteArray head = "210 rock 0a0b0c0d CD database entry follows\r\nDTITLE=First / Album\r\n";
    ASSERT_TRUE(q.ParseRead(head + "TTITLE0=One\tTab\nTTITLE1=Two\r\n.\r\n"));
    EXPECT_EQ(q.Album.TrackTitles[1], "Two");

    QByteArray damaged = "210 rock 0a0b0c0d entry\r\nDTITLE=Second / Album\r\nTTITLE0=Un";
    damaged += '\0';
    damaged += "cut\r\nTTITLE1=Deux\r\n.\r\n";
    EXPECT_FALSE(q.ParseRead(damaged));
    EXPECT_EQ(q.Damage, "line 2 of the entry holds the control character 0x00");
    EXPECT_EQ(q.Album.AlbumTitle, "Album");
    EXPECT_EQ(q.Album.AlbumArtist, "First");
    EXPECT_EQ(q.Album.TrackTitles[0], "One\tTab");
    EXPECT_EQ(CddbEntryDamage({"TTITLE0=ok", "TTITLE1=bell\x07"}), "line 2 of the entry holds the control character 0x07");
    EXPECT_EQ(CddbEntryDamage({"TTITLE0=caf\xc3\xa9\tx"}), "");
}
