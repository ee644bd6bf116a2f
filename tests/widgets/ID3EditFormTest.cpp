// The tag editor on its real widgets under offscreen: what it saves is read
// back by mutagen, Remove cuts the tag off, Save As writes another file, and
// a write-protected file gives "Could not save Tag!". Every command is a
// click on its button.
#include "app/Genres.h"
#include "platform/Dialogs.h"
#include "support/TestSupport.h"
#include "UserInput.h"
#include "widgets/ID3EditForm.h"

#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using namespace dw;

// The ID3v1 frames mutagen finds in the file, as a JSON object ({} without tags).
QJsonObject mutagenTags(const QString& path)
{
    QProcess py;
    py.start("/usr/bin/python3",
             {"-c", "import sys, json, mutagen.mp3\n"
                    "t = mutagen.mp3.MP3(sys.argv[1]).tags\n"
                    "print(json.dumps({k.split(':')[0]: str(v) for k, v in (t.items() if t else [])}))",
              path});
    if (!py.waitForFinished(30000) || py.exitCode() != 0)
        return {{"error", QString::fromUtf8(py.readAllStandardError())}};
    return QJsonDocument::fromJson(py.readAllStandardOutput()).object();
}

class ID3EditFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QProcess p;
        p.start("sox", {"-n", "-r", "44100", "-c", "2", box.file("t.wav"), "synth", "0.2", "sine", "440"});
        ASSERT_TRUE(p.waitForFinished(30000));
        p.start("lame", {"--quiet", box.file("t.wav"), box.file("a.mp3")});
        ASSERT_TRUE(p.waitForFinished(30000));
        ASSERT_EQ(p.exitCode(), 0);
        ASSERT_TRUE(QFile::copy(box.file("a.mp3"), box.file("b.mp3")));
        plain = QFile(box.file("a.mp3")).size();
    }
    QLineEdit* edit(const char* name) { return form.findChild<QLineEdit*>(name); }
    QComboBox* genre() { return form.findChild<QComboBox*>("ID3genre"); }

    dwtest::Sandbox box;
    ScriptedDialogs dialogs;
    ScopedDialogs scoped{dialogs};
    TfrmID3Edit form;
    qint64 plain = 0;
};

TEST_F(ID3EditFormTest, SavesWhatMutagenReadsRemovesAndSavesAs)
{
    form.show();
    EXPECT_EQ(form.windowTitle(), "ID3 Tag Edit");
    EXPECT_FALSE(form.findChild<QPushButton*>("btSave")->isEnabled());
    EXPECT_EQ(genre()->count(), 149);

    const QString a = box.file("a.mp3");
    dialogs.queueFiles({a});
    dwtest::click(&form, "btLoad");  // no tag yet: empty fields
    EXPECT_EQ(form.windowTitle(), "ID3 Tag Edit: " + a);
    EXPECT_TRUE(form.findChild<QPushButton*>("btSave")->isEnabled());
    EXPECT_EQ(edit("ID3track")->text(), "0");
    EXPECT_EQ(genre()->currentIndex(), -1);

    edit("ID3title")->setText("A title of exactly thirty char");
    edit("ID3artist")->setText("Ärtist");
    edit("ID3album")->setText("Album");
    edit("ID3year")->setText("2001");
    edit("ID3comment")->setText("Comment");
    edit("ID3track")->setText("7");
    genre()->setCurrentIndex(genre()->findText("Rock"));
    dwtest::click(&form, "btSave");
    EXPECT_EQ(QFile(a).size(), plain + 128);
    const QJsonObject saved = mutagenTags(a);
    EXPECT_EQ(saved["TIT2"].toString(), "A title of exactly thirty char");
    EXPECT_EQ(saved["TPE1"].toString(), "Ärtist");
    EXPECT_EQ(saved["TALB"].toString(), "Album");
    EXPECT_EQ(saved["TDRC"].toString(), "2001");
    EXPECT_EQ(saved["COMM"].toString(), "Comment");
    EXPECT_EQ(saved["TRCK"].toString(), "7");
    EXPECT_EQ(saved["TCON"].toString(), "Rock");

    // Loading it again shows the tag; an empty track keeps the track stored.
    dialogs.queueFiles({a});
    dwtest::click(&form, "btLoad");
    EXPECT_EQ(edit("ID3artist")->text(), "Ärtist");
    EXPECT_EQ(genre()->currentText(), "Rock");
    edit("ID3track")->clear();
    edit("ID3album")->setText("Other");
    dwtest::click(&form, "btSave");
    EXPECT_EQ(QFile(a).size(), plain + 128);
    EXPECT_EQ(mutagenTags(a)["TRCK"].toString(), "7");
    EXPECT_EQ(mutagenTags(a)["TALB"].toString(), "Other");

    // Save As onto the other file; later saves go there.
    const QString b = box.file("b.mp3");
    dialogs.queueFiles({b});
    dwtest::click(&form, "btSaveAs");
    EXPECT_EQ(form.windowTitle(), "ID3 Tag Edit: " + b);
    EXPECT_EQ(mutagenTags(b)["TALB"].toString(), "Other");

    // Remove asks (No by default), then cuts the tag off.
    dialogs.clear();
    dialogs.queueAnswer(Answer::Yes);
    dwtest::click(&form, "btRemove");
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Do you want to remove these tags?");
    EXPECT_EQ(dialogs.shown()[0].defaultAnswer, Answer::No);
    EXPECT_EQ(QFile(b).size(), plain);
    EXPECT_EQ(mutagenTags(b), QJsonObject());
    EXPECT_EQ(edit("ID3title")->text(), "");
    EXPECT_EQ(QFile(a).size(), plain + 128) << "the first file keeps its tag";

    // A write-protected file cannot be tagged.
    QFile::setPermissions(b, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    dialogs.clear();
    dwtest::click(&form, "btSave");
    EXPECT_EQ(dialogs.texts(), QStringList{"Could not save Tag!"});
    EXPECT_EQ(QFile(b).size(), plain);
}

// A load that fails clears the fields and names the new file: the next save
// goes there and never to the file loaded before.
TEST_F(ID3EditFormTest, FailedLoadNeverWritesTheFileBefore)
{
    form.show();
    const QString a = box.file("a.mp3");
    dialogs.queueFiles({a});
    dwtest::click(&form, "btLoad");
    edit("ID3title")->setText("Kept");
    dwtest::click(&form, "btSave");
    ASSERT_EQ(mutagenTags(a)["TIT2"].toString(), "Kept");

    const QString missing = box.file("missing.mp3");
    dialogs.queueFiles({missing});
    dwtest::click(&form, "btLoad");
    EXPECT_EQ(edit("ID3title")->text(), "");
    edit("ID3title")->setText("Elsewhere");
    dialogs.clear();
    dwtest::click(&form, "btSave");
    EXPECT_EQ(dialogs.texts(), QStringList{"Could not save Tag!"});
    EXPECT_EQ(mutagenTags(a)["TIT2"].toString(), "Kept");
}

}  // namespace
