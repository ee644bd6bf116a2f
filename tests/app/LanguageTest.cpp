// The Language menu's logic: item name to language, choosing a language by its
// file, the "can not be found" box, and which item is ticked at start.
#include "app/Language.h"
#include "app/Settings.h"
#include "platform/Dialogs.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override { settings_.Lan = "English"; }

    QString languageFile(const QString& name) const { return sandbox_.programDir() + "/CLan_" + name + ".ini"; }

    dwtest::Sandbox sandbox_;
    dw::TAppSettings settings_;
    dw::ScriptedDialogs dialogs_;
};

TEST_F(LanguageTest, ItemNamesGiveLanguagesAndFilesInTheProgramFolder)
{
    const QStringList& items = dw::LanguageMenuItemNames();
    ASSERT_EQ(items.size(), 22);
    EXPECT_EQ(items.first(), "miArabic");
    EXPECT_EQ(items.at(20), "miTurkish");
    EXPECT_EQ(items.last(), "miOther");
    EXPECT_EQ(dw::LanguageOfMenuItem("miNetherlands"), "Netherlands");
    EXPECT_EQ(dw::LanguageOfMenuItem("miOther"), "Other");
    EXPECT_EQ(dw::LanguageFilePath("French"), languageFile("French"));
    EXPECT_EQ(dw::LanguageFilePath(""), QString());
    EXPECT_EQ(dw::LanguageFilePath("../French"), QString());
    EXPECT_EQ(dw::LanguageFilePath("a\\b"), QString());
    EXPECT_TRUE(dw::IsEnglish("eNgLiSh"));
    EXPECT_FALSE(dw::IsEnglish("English "));
}

TEST_F(LanguageTest, ChoosingALanguageWithAFileSetsItAndTicksTheItem)
{
    sandbox_.write(languageFile("Netherlands"), "[MainForm]\n");
    const dw::LanguageChoice c = dw::ChooseLanguage("miNetherlands", settings_, dialogs_);
    EXPECT_TRUE(c.changed);
    EXPECT_EQ(settings_.Lan, "Netherlands");
    EXPECT_EQ(c.itemToTick, "miNetherlands");
    EXPECT_EQ(c.path, languageFile("Netherlands"));
    EXPECT_TRUE(dialogs_.shown().empty());

    // Even an empty file counts: it exists.
    sandbox_.write(languageFile("Czech"), "");
    EXPECT_TRUE(dw::ChooseLanguage("miCzech", settings_, dialogs_).changed);
    EXPECT_EQ(settings_.Lan, "Czech");
}

TEST_F(LanguageTest, AMissingFileShowsTheNotFoundBoxAndKeepsTheLanguage)
{
    settings_.Lan = "French";
    const dw::LanguageChoice c = dw::ChooseLanguage("miGerman", settings_, dialogs_);
    EXPECT_FALSE(c.changed);
    EXPECT_TRUE(c.itemToTick.isEmpty());
    EXPECT_EQ(settings_.Lan, "French");
    const auto shown = dialogs_.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, languageFile("German") + " can not be found.");
    EXPECT_EQ(shown[0].caption, "Discwright");
    EXPECT_EQ(shown[0].buttons, dw::MessageButtons::Ok);

    // English needs its file too when chosen from the menu.
    dialogs_.clear();
    EXPECT_FALSE(dw::ChooseLanguage("miEnglish", settings_, dialogs_).changed);
    EXPECT_EQ(settings_.Lan, "French");
    EXPECT_EQ(dialogs_.texts(), QStringList{languageFile("English") + " can not be found."});

    // A folder with the file's name is not a language file.
    sandbox_.write(languageFile("Greek") + "/x", "");
    EXPECT_FALSE(dw::ChooseLanguage("miGreek", settings_, dialogs_).changed);
}

TEST_F(LanguageTest, OtherWithoutAFileInvitesTranslatorsAboveTheNotFoundText)
{
    dw::ChooseLanguage("miOther", settings_, dialogs_);
    ASSERT_EQ(dialogs_.texts().size(), 1);
    const QString text = dialogs_.texts().first();
    EXPECT_EQ(text, QString::fromUtf8(dw::TranslationInvitation) + "\n\n" + languageFile("Other") + " can not be found.");
    EXPECT_FALSE(QString::fromUtf8(dw::TranslationInvitation).isEmpty());
}

TEST_F(LanguageTest, ItemNamesThatWouldLeaveTheProgramFolderAreNotFound)
{
    sandbox_.write("CLan_Evil.ini", "[ResourceString]\n");  // one level above the program folder
    sandbox_.write(sandbox_.programDir() + "/CLan_x/keep", "");
    const dw::LanguageChoice c = dw::ChooseLanguage("mix/../../CLan_Evil", settings_, dialogs_);
    EXPECT_FALSE(c.changed);
    EXPECT_EQ(settings_.Lan, "English");
    EXPECT_EQ(dialogs_.texts().size(), 1);
}

TEST_F(LanguageTest, TickAtStartFindsTheItemIgnoringCase)
{
    EXPECT_EQ(dw::LanguageMenuItemFor("english"), "miEnglish");
    EXPECT_EQ(dw::LanguageMenuItemFor("NETHERLANDS"), "miNetherlands");
    EXPECT_EQ(dw::LanguageMenuItemFor("Other"), "miOther");
    EXPECT_EQ(dw::LanguageMenuItemFor("Klingon"), QString());
    EXPECT_EQ(dw::LanguageMenuItemFor(""), QString());
}

}  // namespace
