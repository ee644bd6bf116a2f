#include <gtest/gtest.h>

#include <QFile>

#include "app/ResourceText.h"
#include "app/Settings.h"
#include "cd/CDIn.h"
#include "cd/DiscListing.h"
#include "cd/DriveLibrary.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

using namespace dw;

namespace {

// Settings, drive list and handles as a fresh program start would have them.
struct ListingEnv {
    dwtest::Sandbox box;
    ListingEnv()
    {
        AppSettings = TAppSettings();
        SetExplicitCdDevices({});
    }
    ~ListingEnv()
    {
        SetExplicitCdDevices({});
        for (int h = 1; h <= MaxCdHandles; ++h)
            CloseCDHandle(h);
        AppSettings = TAppSettings();
    }
    void images(const QStringList& paths) { SetExplicitCdDevices(paths); }
};

std::vector<QString> lengths(const DiscListing& l)
{
    std::vector<QString> out;
    for (const TrackRow& r : l.Rows)
        out.push_back(r.length);
    return out;
}

}  // namespace

TEST(TrackRows, LengthAndSizeTexts)
{
    EXPECT_EQ(TrackLengthText(4, 7), "04:07");
    EXPECT_EQ(TrackLengthText(74, 0), "74:00");
    EXPECT_EQ(TrackSizeText(74, 0), "746.93");
    EXPECT_EQ(TrackSizeText(0, 3), "00.50");
    EXPECT_EQ(TrackSizeText(4, 7), "41.55");
    EXPECT_EQ(TrackSizeText(0, 0), "00.00");
    EXPECT_EQ(TrackSizeText(0, 1), "00.17");
    // 8192 s is 137812.5 hundredths and 24576 s is 413437.5: halves go to the even neighbour.
    EXPECT_EQ(TrackSizeText(136, 32), "1378.12");
    EXPECT_EQ(TrackSizeText(409, 36), "4134.38");
}

TEST(TrackRows, TitlesDefaultIntoTheSettingsAndJobListStripsNames)
{
    TAppSettings s;
    s.DiscTitles[2] = "Kept";
    const TrackRow r1 = MakeTrackRow(1, 4, 7, s);
    EXPECT_EQ(r1.title, "Track01");
    EXPECT_EQ(s.DiscTitles[1], "Track01");
    EXPECT_TRUE(r1.checked);
    EXPECT_EQ(MakeTrackRow(2, 0, 3, s).title, "Kept");
    EXPECT_EQ(MakeTrackRow(12, 0, 3, s).title, "Track12");

    std::vector<TrackRow> rows{r1, MakeTrackRow(2, 1, 0, s), MakeTrackRow(3, 1, 0, s)};
    rows[0].title = "A/B: C?";
    rows[1].checked = false;
    rows[2].title = "x*<y>|\\\"z\"";
    EXPECT_EQ(BuildJobList(rows), (QStringList{"01AB C", "03xy\"z\""}));
    rows[0].checked = rows[2].checked = false;
    EXPECT_TRUE(BuildJobList(rows).isEmpty());
}

TEST(DiscListing, ListsTracksFromTheTableOfContents)
{
    ListingEnv env;
    // 1:30 then 0:40 makes the second track's seconds borrow a minute
    // (01:32 -> 02:12); frames are ignored.
    const QString img = dwtest::makeCdImageFrom(env.box.path(), {"1:30", "0:40", "0:05:74"},
                                                dwtest::CdImageOptions().named("Demo Disc"));
    env.images({img});
    DiscListing listing(AppSettings);
    listing.Show(-3);
    ASSERT_NE(listing.CDHandle, 0);
    EXPECT_FALSE(listing.NoAudioCd);
    EXPECT_EQ(listing.DriveDescription, "Image   Demo Disc");
    EXPECT_EQ(listing.Status, listing.DriveDescription);
    EXPECT_EQ(listing.IdleStatusText, listing.DriveDescription);
    EXPECT_EQ(lengths(listing), (std::vector<QString>{"01:30", "00:40", "00:05"}));
    ASSERT_EQ(listing.Rows.size(), 3u);
    EXPECT_EQ(listing.Rows[2].track, 3);
    EXPECT_EQ(listing.Rows[2].title, "Track03");
    EXPECT_EQ(listing.Rows[0].size, "15.14");

    listing.Activate(AppSettings.Index);
    EXPECT_EQ(listing.Status, listing.DriveDescription);
}

TEST(DiscListing, NoDriveNoAudioCdAndOutOfRangePosition)
{
    ListingEnv env;
    DiscListing none(AppSettings);
    env.images({env.box.file("missing.cue")});
    none.Show(0);
    EXPECT_EQ(none.CDHandle, 0);
    EXPECT_EQ(none.Status, "No CD devices found!");
    EXPECT_TRUE(none.Rows.empty());

    const QString data = dwtest::makeCdImageFrom(env.box.path(), {}, dwtest::CdImageOptions().named("data").withDataTrack("5"));
    const QString audio = dwtest::makeCdImage(env.box.path(), {5, 5}, dwtest::CdImageOptions().named("audio"));
    env.images({data, audio});
    // The chosen drive decides, not the first: drive 0 holds a data disc,
    // drive 1 the audio CD that is listed and keyed.
    DiscListing first(AppSettings);
    first.Show(0);
    EXPECT_NE(first.CDHandle, 0);
    EXPECT_TRUE(first.NoAudioCd);
    EXPECT_TRUE(first.Rows.empty());
    first.Activate(AppSettings.Index);
    EXPECT_EQ(first.Status, "Can not find audio CD in your CD device.");
    DiscListing second(AppSettings);
    second.Show(1);
    EXPECT_EQ(second.DriveDescription, "Image   audio");
    EXPECT_FALSE(second.NoAudioCd);
    EXPECT_EQ(second.Rows.size(), 2u);
    EXPECT_EQ(second.DrivePath, audio);
    EXPECT_EQ(second.DiscKey, DiscKeyOf(audio));

    // Position 5 with one drive uses drive 0.
    env.images({audio});
    DiscListing five(AppSettings);
    five.Show(5);
    EXPECT_EQ(five.DriveDescription, "Image   audio");
    EXPECT_EQ(five.Rows.size(), 2u);
}

TEST(DiscListing, DetectionFreesAStaleHandleWhenAllAreTaken)
{
    ListingEnv env;
    const QString audio = dwtest::makeCdImage(env.box.path(), {5}, dwtest::CdImageOptions().named("audio"));
    env.images({audio});
    DiscListing holder(AppSettings);
    std::vector<std::unique_ptr<DiscListing>> stale;
    for (int i = 0; i < MaxCdHandles; ++i) {
        stale.push_back(std::make_unique<DiscListing>(AppSettings));
        ASSERT_NE(stale.back()->DetectDriveMode(0), 0);
    }
    EXPECT_EQ(holder.DetectDriveMode(0), 1);  // handle 1 was closed and reused
    EXPECT_EQ(holder.Status, holder.DriveDescription);
}

TEST(DiscListing, RefreshFollowsTheDiscAndStatusFollowsTheLanguage)
{
    ListingEnv env;
    const QString audio = dwtest::makeCdImage(env.box.path(), {5, 6}, dwtest::CdImageOptions().named("audio"));
    const QString data = dwtest::makeCdImageFrom(env.box.path(), {}, dwtest::CdImageOptions().named("data").withDataTrack("5"));
    env.images({audio});
    DiscListing listing(AppSettings);
    listing.Show(0);
    ASSERT_EQ(listing.Rows.size(), 2u);

    env.images({data});  // the disc was swapped for a data disc
    listing.Refresh(AppSettings.Index);
    EXPECT_TRUE(listing.Rows.empty());
    EXPECT_EQ(listing.Status, "Can not find audio CD in your CD device.");

    env.images({audio});
    listing.Refresh(AppSettings.Index);
    EXPECT_EQ(listing.Rows.size(), 2u);
    EXPECT_EQ(listing.Status, listing.DriveDescription);

    // Another language without the message leaves the status line empty.
    env.box.write("program/CLan_French.ini", "[ResourceString]\nRES_NotRead_Cd=Pas lu\n");
    AppSettings.Lan = "French";
    env.images({data});
    listing.Refresh(AppSettings.Index);
    EXPECT_EQ(listing.Status, "");
}

TEST(DiscListing, UnreadableTableOfContentsLeavesTheListEmpty)
{
    ListingEnv env;
    // A cue sheet whose second track starts before the first one.
    QByteArray bin(2352 * 600, '\1');
    env.box.write("back.bin", bin);
    env.box.write("back.cue",
                  "FILE \"back.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:05:00\n"
                  "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n");
    env.images({env.box.file("back.cue")});
    DiscListing listing(AppSettings);
    listing.Show(0);
    if (listing.CDHandle == 0)
        GTEST_SKIP() << "libcdio refuses this cue sheet itself";
    EXPECT_TRUE(listing.Rows.empty());
    EXPECT_EQ(listing.Status, "Not get CD device information!");
    EXPECT_TRUE(listing.ErrorDetail.contains("out of order")) << listing.ErrorDetail.toStdString();
}

TEST(DiscListing, ClosingCopiesTitlesAndClosesTheHandle)
{
    ListingEnv env;
    const QString audio = dwtest::makeCdImage(env.box.path(), {5, 6}, dwtest::CdImageOptions().named("audio"));
    env.images({audio});
    ScriptedDialogs dialogs;
    ScopedDialogs scoped(dialogs);
    QString writtenKey;
    int writes = 0;
    DiscListing listing(AppSettings, [&](const QString& key, bool write) {
        if (write) {
            writtenKey = key;
            ++writes;
        }
        return true;
    });
    listing.Show(0);
    ASSERT_EQ(listing.Rows.size(), 2u);
    const int handle = listing.CDHandle;
    listing.Rows[1].title = "Second";
    EXPECT_TRUE(listing.CloseDisc());
    EXPECT_EQ(writes, 1);
    EXPECT_FALSE(writtenKey.isEmpty());
    EXPECT_EQ(AppSettings.DiscTrackCount, 2);
    EXPECT_EQ(AppSettings.DiscTitles[2], "Second");
    EXPECT_EQ(listing.CDHandle, 0);
    EXPECT_EQ(CloseCDHandle(handle), 0);  // already closed
    EXPECT_TRUE(dialogs.texts().isEmpty());

    // A handle that is no longer open reports the closing error.
    DiscListing broken(AppSettings);
    broken.Show(0);
    ASSERT_NE(broken.CDHandle, 0);
    CloseCDHandle(broken.CDHandle);
    broken.CloseDisc();
    EXPECT_EQ(dialogs.texts(), QStringList{"Error while closing CD handle!"});
}

TEST(DiscListing, RipperModeListsThroughTheComponentAndFollowsTheDisc)
{
    ListingEnv env;
    const QString audio = dwtest::makeCdImageFrom(env.box.path(), {"1:30", "0:40"}, dwtest::CdImageOptions().named("audio"));
    const QString data = dwtest::makeCdImageFrom(env.box.path(), {}, dwtest::CdImageOptions().named("data").withDataTrack("5"));
    env.images({audio});
    AppSettings.Index = 7;  // out of range: drive 0 is used
    TCDIn cd;
    DiscListing listing(AppSettings);  // no handle: ripper mode
    listing.Activate(AppSettings.Index, &cd);
    EXPECT_FALSE(listing.NoAudioCd);
    EXPECT_EQ(cd.GetCurrentDrive(), 0);
    EXPECT_EQ(lengths(listing), (std::vector<QString>{"01:30", "00:40"}));
    EXPECT_EQ(listing.Rows[1].title, "Track02");
    EXPECT_EQ(listing.Status, cd.DriveName());
    EXPECT_EQ(listing.IdleStatusText, listing.Status);
    EXPECT_FALSE(listing.DiscKey.isEmpty());

    env.images({data});
    listing.Refresh(AppSettings.Index, &cd);
    EXPECT_EQ(listing.Status, "Can not find audio CD in your CD device.");

    DiscListing noDisc(AppSettings);
    noDisc.Activate(AppSettings.Index, &cd);
    EXPECT_TRUE(noDisc.NoAudioCd);
    EXPECT_TRUE(noDisc.Rows.empty());
    EXPECT_EQ(noDisc.Status, "Can not find audio CD in your CD device.");
}
