// The main window on the real core over CD images: start-up listing with
// cached titles, ticking, renaming with the cache written on closing, the
// no-drive window, and the German language file over every window.
#include "MainFormFixture.h"

#include "widgets/AboutForm.h"
#include "widgets/EditTrackNameForm.h"
#include "widgets/ID3EditForm.h"
#include "widgets/NewRecordFileForm.h"
#include "widgets/NoDeviceHintForm.h"
#include "widgets/OggPlayerForm.h"
#include "widgets/OptionSetForm.h"
#include "widgets/RecordForm.h"
#include "widgets/ResampleForm.h"
#include "widgets/RipForm.h"
#include "widgets/TranslateForm.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

namespace {

using dwtest::MainFormFixture;
using dwtest::waitFor;

QString statusText(QWidget* window)
{
    return window->findChild<QLabel*>("Panel1")->text();
}

TEST_F(MainFormFixture, StartsWithTheDiscListedWithCachedTitlesAndTicks)
{
    insertDisc({247, 3, 4440}, {"Harbour Lights", "", "Long Road"});
    dw::TMainForm& w = start();

    EXPECT_TRUE(w.windowTitle().startsWith("Discwright "));
    QTreeWidget* rows = list();
    ASSERT_EQ(rows->topLevelItemCount(), 3);
    const QStringList expected[] = {{"1", "Harbour Lights", "04:07", "41.55"},
                                    {"2", "Track02", "00:03", "00.50"},
                                    {"3", "Long Road", "74:00", "746.93"}};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(rows->topLevelItem(r)->text(c), expected[r][c]) << r << "," << c;
        EXPECT_EQ(rows->topLevelItem(r)->checkState(0), Qt::Checked);
    }
    EXPECT_EQ(rows->headerItem()->text(2), "Length(min)");
    EXPECT_FALSE(statusText(&w).isEmpty());
    EXPECT_TRUE(action("miExtract")->isEnabled());
    EXPECT_FALSE(action("miPlay")->isEnabled());  // no row selected yet

    // Select None disables Extract; a click with Ctrl ticks the clicked row only.
    choose("miSelectNone");
    EXPECT_FALSE(action("miExtract")->isEnabled());
    const QRect second = rows->visualItemRect(rows->topLevelItem(1));
    dwtest::clickAt(rows->viewport(), second.center(), Qt::ControlModifier);
    EXPECT_EQ(rows->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(rows->topLevelItem(1)->checkState(0), Qt::Checked);
    EXPECT_TRUE(action("miExtract")->isEnabled());
    EXPECT_TRUE(action("miPlay")->isEnabled());
    EXPECT_EQ(dw::BuildJobList(w.Listing().Rows), QStringList{"02Track02"});
    dwtest::clickAt(rows->viewport(), second.center(), Qt::ControlModifier);
    EXPECT_EQ(rows->topLevelItem(1)->checkState(0), Qt::Unchecked);
    choose("miSelectAll");
    EXPECT_EQ(dw::BuildJobList(w.Listing().Rows).size(), 3);
}

TEST_F(MainFormFixture, RenameChangesTheRowAndTheCacheWhenTheWindowCloses)
{
    insertDisc({30, 40}, {"First", "Second"});
    dw::TMainForm& w = start();
    QTreeWidget* rows = list();
    rows->setCurrentItem(rows->topLevelItem(1));

    bool okWhenEmpty = true;
    onNextModal([&](QWidget* modal) {
        ASSERT_EQ(modal->objectName(), "frmEditTrackName");
        auto* edit = modal->findChild<QLineEdit*>("Edit1");
        auto* ok = modal->findChild<QPushButton*>("btOK");
        EXPECT_EQ(edit->text(), "Second");
        EXPECT_EQ(edit->selectedText(), "Second");
        edit->clear();
        okWhenEmpty = ok->isEnabled();
        dwtest::typeText(edit, "A/B: C?");
        dwtest::pressKey(edit, Qt::Key_Return);
    });
    choose("miRenameTitle");  // F2
    EXPECT_FALSE(okWhenEmpty);
    EXPECT_EQ(rows->topLevelItem(1)->text(1), "A/B: C?");
    EXPECT_EQ(dw::BuildJobList(w.Listing().Rows).at(1), "02AB C");

    // Cancel keeps the title.
    onNextModal([](QWidget* modal) { modal->findChild<QPushButton*>("btCancel")->click(); });
    emit rows->itemDoubleClicked(rows->topLevelItem(1), 1);
    EXPECT_EQ(rows->topLevelItem(1)->text(1), "A/B: C?");

    const QString key = dw::ComputeDiscKey();
    w.close();
    dw::TDiscInfo cached;
    dw::DiscCache(key, dw::DiscCacheDirection::Read, cached);
    EXPECT_EQ(cached.DiscTitles[1], "First");
    EXPECT_EQ(cached.DiscTitles[2], "A/B: C?");
    EXPECT_TRUE(QFile::exists(settingsFile()));  // the settings were saved too
}

TEST_F(MainFormFixture, WithoutAnyDriveTheNoDeviceWindowIsShown)
{
    if (!dw::ListCdDrives().empty())
        GTEST_SKIP() << "this machine has a CD drive";
    QString shown;
    onNextModal([&](QWidget* modal) {
        shown = modal->objectName();
        modal->findChild<QPushButton*>("btClose")->click();
    });
    dw::TMainForm& w = start();
    EXPECT_EQ(shown, "frmNoDeviceHint");
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_EQ(statusText(&w), "Can not find audio CD in your CD device.");
}

// The texts a user sees in a window: captions of the window and of every
// control a language file addresses, menu items and list headings.
QMap<QString, QString> visibleTexts(QWidget* window)
{
    QMap<QString, QString> texts;
    texts.insert(window->objectName(), window->windowTitle());
    for (QObject* o : window->findChildren<QObject*>()) {
        const QString name = o->objectName();
        if (name.isEmpty() || name.startsWith("qt_") || o->property(dw::NoTranslateProperty).toBool())
            continue;
        if (auto* a = qobject_cast<QAction*>(o); a && !a->isSeparator())
            texts.insert(name, a->text());
        else if (auto* m = qobject_cast<QMenu*>(o))
            texts.insert(name, m->title());
        else if (auto* t = qobject_cast<QToolButton*>(o); t && t->defaultAction())
            texts.insert(name, t->defaultAction()->iconText());
        else if (auto* b = qobject_cast<QAbstractButton*>(o))
            texts.insert(name, b->text());
        else if (auto* l = qobject_cast<QLabel*>(o); l && !l->text().isEmpty())
            texts.insert(name, l->text());
        else if (auto* g = qobject_cast<QGroupBox*>(o))
            texts.insert(name, g->title());
        else if (auto* tabs = qobject_cast<QTabWidget*>(o))
            for (int i = 0; i < tabs->count(); ++i)
                texts.insert(name + "_Page" + QString::number(i), tabs->tabText(i));
        else if (auto* tree = qobject_cast<QTreeWidget*>(o))
            for (int c = 0; c < tree->columnCount(); ++c)
                texts.insert(name + "_Column" + QString::number(c), tree->headerItem()->text(c));
    }
    return texts;
}

// Every English text of the window changed, apart from the words both
// languages share.
void expectAllTranslated(const QMap<QString, QString>& english, const QMap<QString, QString>& german,
                         const QString& window)
{
    static const QStringList same{"Discwright", "OK", "&OK", "Version", "&RealPlayer", "&Windows Media Player",
                                  // German words spelt as in English
                                  "Album:", "Genre:", "Format:", "Mono", "Stereo", "Position", "Start", "Balance",
                                  "&Pause", "Tags",
                                  // names of formats
                                  "MP3", "OGG", "WMA", "CD-ROM", "FLAC", "Opus", "FLAC / Opus",
                                  // values and symbols, not words
                                  "%", "...", "-", "0:00", "0 bps", "kbit/s"};
    int checked = 0;
    for (auto it = english.cbegin(); it != english.cend(); ++it) {
        if (it.value().isEmpty() || same.contains(it.value()) || it.value().startsWith("Discwright "))
            continue;
        ++checked;
        EXPECT_NE(german.value(it.key()), it.value()) << qPrintable(window) << ": " << qPrintable(it.key());
        EXPECT_FALSE(german.value(it.key()).isEmpty()) << qPrintable(window) << ": " << qPrintable(it.key());
    }
    EXPECT_GE(checked, 3) << qPrintable(window);
}

TEST_F(MainFormFixture, TheGermanFileTranslatesEveryWindowAndEnglishComesBack)
{
    insertDisc({30}, {"Eins"});
    dw::TMainForm& w = start();
    const auto mainEnglish = visibleTexts(&w);
    EXPECT_TRUE(action("miEnglish")->isChecked());

    dwtest::chooseMenuItem(&w, "miGerman");
    EXPECT_EQ(dw::AppSettings.Lan, "German");
    EXPECT_TRUE(action("miGerman")->isChecked());
    EXPECT_FALSE(action("miEnglish")->isChecked());
    expectAllTranslated(mainEnglish, visibleTexts(&w), "MainForm");
    EXPECT_EQ(w.findChild<QMenu*>("N1")->title(), "&Datei");

    // Each window translates itself when shown.
    auto compare = [&](auto makeWindow, const char* name) {
        dw::AppSettings.Lan = "English";
        auto english = makeWindow();
        english->show();
        const auto englishTexts = visibleTexts(english.get());
        dw::AppSettings.Lan = "German";
        auto german = makeWindow();
        german->show();
        expectAllTranslated(englishTexts, visibleTexts(german.get()), name);
    };
    compare([&] { return std::make_unique<dw::TfrmEditTrackName>("x", &w); }, "frmEditTrackName");
    compare([&] { return std::make_unique<dw::TfrmAbout>(&w); }, "frmAbout");
    compare([&] { return std::make_unique<dw::TfrmNoDeviceHint>(&w); }, "frmNoDeviceHint");
    compare([&] { return std::make_unique<dw::TRipForm>(&w); }, "RipForm");
    compare([&] { return std::make_unique<dw::TOptionSetForm>(&w, w.Listing(), w.Component()); }, "OptionSetForm");
    compare([&] { return std::make_unique<dw::TfrmID3Edit>(&w); }, "frmID3Edit");
    compare([&] { return std::make_unique<dw::TfrmOggPlayer>(&w); }, "frmOggPlayer");
    compare([&] { return std::make_unique<dw::TfrmNewRecordFile>(&w); }, "frmNewRecordFile");
    compare([&] { return std::make_unique<dw::TfrmRecord>(&w, 0); }, "frmRecord");

    // The WAV conversion window keeps its English texts in every language,
    // even under a language file that has a section for it (the shipped one
    // has none).
    const QString german = sandbox_.programDir() + "/CLan_German.ini";
    EXPECT_FALSE(dw::IniFile(german).hasSection("frmResample"));
    dw::AppSettings.Lan = "English";
    auto resampleEnglish = std::make_unique<dw::TfrmResample>(&w);
    resampleEnglish->show();
    const auto resampleTexts = visibleTexts(resampleEnglish.get());
    EXPECT_GE(resampleTexts.size(), 10);
    {
        dw::IniFile withSection(german);
        withSection.writeString("frmResample", "frmResample", "WAV-Konverter");
        withSection.writeString("frmResample", "btConvert", "Umwandeln");
        withSection.writeString("frmResample", "GroupBox1", "Eingabedatei");
        ASSERT_TRUE(withSection.save());
    }
    dw::AppSettings.Lan = "German";
    auto resampleGerman = std::make_unique<dw::TfrmResample>(&w);
    resampleGerman->show();
    EXPECT_EQ(visibleTexts(resampleGerman.get()), resampleTexts);
    EXPECT_EQ(resampleGerman->windowTitle(), "Wave File Converter");
    resampleEnglish.reset();
    resampleGerman.reset();

    // Back to English through the English file; a language without a file
    // changes nothing and says where the file was looked for.
    dwtest::chooseMenuItem(&w, "miEnglish");
    EXPECT_EQ(visibleTexts(&w), mainEnglish);
    dwtest::chooseMenuItem(&w, "miKurdish");
    EXPECT_EQ(dw::AppSettings.Lan, "English");
    EXPECT_TRUE(action("miEnglish")->isChecked());
    EXPECT_FALSE(action("miKurdish")->isChecked());
    ASSERT_FALSE(dialogs_.texts().isEmpty());
    EXPECT_TRUE(dialogs_.texts().last().endsWith("CLan_Kurdish.ini can not be found."));
}

}  // namespace
