// Keyed messages: English built in, other languages from the language file,
// empty (never English) when the file or key is missing or the file is damaged.
#include "app/ResourceText.h"
#include "app/Settings.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class ResourceTextTest : public ::testing::Test {
protected:
    void SetUp() override { savedLan_ = dw::AppSettings.Lan; }
    void TearDown() override { dw::AppSettings.Lan = savedLan_; }

    void writeLanguage(const QString& name, const QByteArray& bytes)
    {
        sandbox_.write(sandbox_.programDir() + "/CLan_" + name + ".ini", bytes);
    }

    dwtest::Sandbox sandbox_;
    QString savedLan_;
};

TEST_F(ResourceTextTest, EnglishInAnyCaseUsesBuiltInTextsWithoutReadingAFile)
{
    // Even a file for the language is ignored: English needs none.
    writeLanguage("English", "[ResourceString]\nRES_Check_CDRom=from the file\n");
    writeLanguage("english", "[ResourceString]\nRES_Check_CDRom=from the file\n");
    for (const char* lan : {"English", "english", "ENGLISH"}) {
        dw::AppSettings.Lan = lan;
        EXPECT_EQ(dw::ResourceText(dw::res::Check_CDRom), "Can not find audio CD in your CD device.") << lan;
        EXPECT_EQ(dw::ResourceText("RES_Play", "Play "), "Play ") << lan;
    }
}

TEST_F(ResourceTextTest, OtherLanguageReadsTheFileAndGivesEmptyForMissingKeys)
{
    writeLanguage("French",
                  "[MainForm]\nRES_Play=wrong section\n"
                  "[ResourceString]\n"
                  "RES_Play=Jouer \n"
                  "RES_Select_Track=Veuillez choisir au moins une piste\xc2\xa0!\n");
    dw::AppSettings.Lan = "French";
    EXPECT_EQ(dw::ResourceText(dw::res::Select_Track), QString::fromUtf8("Veuillez choisir au moins une piste\xc2\xa0!"));
    // A key only in another section, or absent, gives the empty message, not English.
    EXPECT_EQ(dw::ResourceText(dw::res::Check_CDRom), QString());
    EXPECT_EQ(dw::ResourceText("RES_Not_A_Key", "English text"), QString());
    EXPECT_TRUE(dw::ResourceText(dw::res::Play).startsWith("Jouer"));
}

TEST_F(ResourceTextTest, MissingEmptyOrDamagedFilesGiveEmptyMessagesAndNeverFail)
{
    dw::AppSettings.Lan = "German";  // no file at all
    for (const dw::res::Key& k : dw::res::AllKeys)
        EXPECT_EQ(dw::ResourceText(k), QString()) << k.key;

    writeLanguage("Empty", "");
    dw::AppSettings.Lan = "Empty";
    EXPECT_EQ(dw::ResourceText(dw::res::Play), QString());

    QByteArray junk("\xff\xfe\x00[Resource\x00String\n=\n==RES_Play\n[\n]]]\nRES_Play\n", 48);
    for (int i = 0; i < 300; ++i)
        junk.append(char(i * 37 % 256));
    writeLanguage("Junk", junk);
    dw::AppSettings.Lan = "Junk";
    EXPECT_EQ(dw::ResourceText(dw::res::Play), QString());

    // A folder where the file should be.
    sandbox_.write(sandbox_.programDir() + "/CLan_Folder.ini/inside", "x");
    dw::AppSettings.Lan = "Folder";
    EXPECT_EQ(dw::ResourceText(dw::res::Play), QString());
}

TEST_F(ResourceTextTest, LanguageNamesThatLeaveTheProgramFolderReadNothing)
{
    // A file reachable through a language name with path separators is never read.
    sandbox_.write(sandbox_.programDir() + "/CLan_x/placeholder", "");
    sandbox_.write("outside.ini", "[ResourceString]\nRES_Play=outside\n");
    dw::AppSettings.Lan = "x/../../outside";
    EXPECT_EQ(dw::ResourceText(dw::res::Play), QString());
    dw::AppSettings.Lan = "x\\..\\..\\outside";
    EXPECT_EQ(dw::ResourceText(dw::res::Play), QString());
}

TEST(ResourceKeys, TableIsCompleteUniqueAndExact)
{
    std::set<std::string> seen;
    for (const dw::res::Key& k : dw::res::AllKeys) {
        EXPECT_TRUE(QString(k.key).startsWith("RES_")) << k.key;
        EXPECT_TRUE(seen.insert(k.key).second) << "duplicate " << k.key;
        EXPECT_STRNE(k.english, "") << k.key;
        EXPECT_STREQ(dw::res::EnglishText(k.key), k.english);
    }
    EXPECT_EQ(seen.size(), 50u);
    EXPECT_EQ(dw::res::EnglishText("RES_Unknown"), nullptr);

    // Texts appended to a name or number keep their leading blank.
    EXPECT_STREQ(dw::res::Clear_History.english, " list records are deleted!");
    EXPECT_STREQ(dw::res::File_Exist.english, " has existed,overite it?");
    EXPECT_STREQ(dw::res::CreateWavFileError.english,
                 " is not a valid file name.Please rename the Title in the CD tracks list.");
    EXPECT_STREQ(dw::res::Play.english, "Play ");
    // The line break of the encoder message is a real line break.
    EXPECT_STREQ(dw::res::Check_Mp3Options.english,
                 "Create MP3 file error!\nPlease check the output and lame options or run application again.");
    // The support address is the one the program names.
    EXPECT_EQ(std::string(dw::res::NoWmaEncoder.english),
              std::string("Can not find WMA encoder,please contact with ") + dw::res::SupportAddress + "!");
}

}  // namespace
