// The main window with two drives: the disc shown, renamed and saved is the
// selected drive's, never the first drive's; a save that fails on closing is
// shown with the folder and the reason.
#include "widgets/MainFormFixture.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

using dwtest::MainFormFixture;

dw::TDiscInfo cachedDisc(const QString& image)
{
    dw::TDiscInfo disc;
    dw::DiscCache(dw::DiscKeyOf(image), dw::DiscCacheDirection::Read, disc);
    return disc;
}

void cacheTitles(const QString& image, const QStringList& titles)
{
    dw::TDiscInfo disc;
    for (int i = 0; i < titles.size(); ++i)
        disc.DiscTitles[size_t(i + 1)] = titles[i];
    disc.DiscTrackCount = int(titles.size());
    ASSERT_TRUE(dw::DiscCache(dw::DiscKeyOf(image), dw::DiscCacheDirection::Write, disc));
}

}  // namespace

TEST_F(MainFormFixture, TheSelectedDriveKeysTheTitlesAndAFailedSaveIsShown)
{
    if (!dw::ListCdDrives().empty())
        GTEST_SKIP() << "a physical drive comes first in the drive list here";
    const QString a = dwtest::makeCdImage(sandbox_.path(), {3, 4, 5}, dwtest::CdImageOptions().named("a").silent());
    const QString b = dwtest::makeCdImage(sandbox_.path(), {6, 7}, dwtest::CdImageOptions().named("b").silent());
    qputenv("DISCWRIGHT_CD_IMAGES", (a + ":" + b).toUtf8());
    ASSERT_NE(dw::DiscKeyOf(a), dw::DiscKeyOf(b));
    cacheTitles(a, {"Ay one", "Ay two", "Ay three"});
    cacheTitles(b, {"Bee one", "Bee two"});
    setting("CDOptions", "Index", "1");

    dw::TMainForm& w = start();
    QTreeWidget* rows = list();
    ASSERT_EQ(rows->topLevelItemCount(), 2);
    EXPECT_EQ(rows->topLevelItem(0)->text(1), "Bee one");
    EXPECT_EQ(w.Listing().DiscKey, dw::DiscKeyOf(b));

    // Renamed through the window's own dialog, saved on closing to the
    // second disc only.
    rows->setCurrentItem(rows->topLevelItem(1));
    onNextModal([](QWidget* modal) {
        auto* edit = modal->findChild<QLineEdit*>("Edit1");
        edit->clear();
        dwtest::typeText(edit, "Renamed");
        dwtest::pressKey(edit, Qt::Key_Return);
    });
    action("miRenameTitle")->trigger();
    w.close();
    EXPECT_TRUE(dialogs_.texts().isEmpty()) << dialogs_.texts().join('|').toStdString();
    EXPECT_EQ(cachedDisc(b).DiscTitles[2], "Renamed");
    const dw::TDiscInfo first = cachedDisc(a);
    EXPECT_EQ(first.DiscTrackCount, 3);
    EXPECT_EQ(first.DiscTitles[1], "Ay one");
    EXPECT_EQ(first.DiscTitles[2], "Ay two");
    window_.reset();

    // The data folder cannot be made: closing says so, naming it and why.
    dw::AppSettings = dw::TAppSettings{};
    sandbox_.write("blocked", "a file, not a folder");
    qputenv("XDG_DATA_HOME", sandbox_.file("blocked").toUtf8());
    start().close();
    const QStringList shown = dialogs_.texts();
    ASSERT_EQ(shown.size(), 1) << shown.join('|').toStdString();
    EXPECT_EQ(shown[0], "The disc titles could not be saved: " + sandbox_.file("blocked") + "/Quobel: Not a directory");
}
