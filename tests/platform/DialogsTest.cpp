// The dialogs layer without a GUI: scripted answers for tests, default answers
// for the command line, the process-wide instance, and file-filter conversion.
#include "platform/Dialogs.h"

#include <gtest/gtest.h>

namespace {

using dw::Answer;
using dw::MessageButtons;
using dw::MessageIcon;

TEST(QtFileFilter, ConvertsPipeSeparatedFiltersAndKeepsQtOnes)
{
    EXPECT_EQ(dw::QtFileFilter("Sound file(*.wav)|*.wav| Any file(*.*)|*.*"), "Sound file (*.wav);;Any file (*)");
    EXPECT_EQ(dw::QtFileFilter("Wave Files|*.wav|Windows Media Files|*.wma"),
              "Wave Files (*.wav);;Windows Media Files (*.wma)");
    EXPECT_EQ(dw::QtFileFilter("Index files (*.mp3)|*.mp3"), "Index files (*.mp3)");
    EXPECT_EQ(dw::QtFileFilter("Audio|*.wav;*.mp3"), "Audio (*.wav *.mp3)");
    // A dangling description without a pattern is dropped, not turned into a pattern.
    EXPECT_EQ(dw::QtFileFilter("MP3 file(*.mp3)|*.mp3|Broken"), "MP3 file (*.mp3)");
    EXPECT_EQ(dw::QtFileFilter("Text (*.txt);;All (*)"), "Text (*.txt);;All (*)");
    EXPECT_EQ(dw::QtFileFilter(""), "");
}

TEST(ScriptedDialogs, AnswersQuestionsInOrderAndRecordsEverything)
{
    dw::ScriptedDialogs d;
    d.queueAnswer(Answer::No);
    d.queueAnswer(Answer::Cancel);

    d.error("first");  // an OK box does not take the queued No
    EXPECT_FALSE(d.askYesNo("overwrite?", Answer::Yes, MessageIcon::Information));
    EXPECT_EQ(d.askYesNoCancel("save?"), Answer::Cancel);
    EXPECT_TRUE(d.askYesNo("again?"));  // queue empty: the default
    EXPECT_EQ(d.unscripted(), 1);

    const auto shown = d.shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(shown[0].caption, "Discwright");
    EXPECT_EQ(shown[1].text, "overwrite?");
    EXPECT_EQ(shown[1].icon, MessageIcon::Information);
    EXPECT_EQ(shown[1].buttons, MessageButtons::YesNo);
    EXPECT_EQ(shown[1].answer, Answer::No);
    EXPECT_EQ(shown[3].answer, Answer::Yes);
    EXPECT_EQ(d.texts(), (QStringList{"first", "overwrite?", "save?", "again?"}));
}

TEST(ScriptedDialogs, AnAnswerThatIsNotAButtonOfTheBoxIsNotUsed)
{
    dw::ScriptedDialogs d;
    d.queueAnswer(Answer::Yes);
    // Yes is no button of an OK/Cancel box: the default answers and the Yes waits.
    EXPECT_FALSE(d.askOkCancel("continue?", Answer::Cancel));
    EXPECT_EQ(d.unscripted(), 1);
    EXPECT_TRUE(d.askYesNo("really?", Answer::No));
    // A default that is no button of the box falls back to the first button.
    EXPECT_EQ(d.messageBox("t", "c", MessageIcon::None, MessageButtons::YesNo, Answer::Ok), Answer::Yes);
}

TEST(ScriptedDialogs, ChoosersTakeQueuedChoicesAndCancelWhenNoneIsLeft)
{
    dw::ScriptedDialogs d;
    d.queueFolder("/music");
    d.queueFiles({"/a.wav", "/b.wav"});
    d.queueFiles({"/c.mp3", "/d.mp3"});
    d.queueSaveFile("/out.wav");

    EXPECT_EQ(d.chooseFolder("Where?", "/start"), "/music");
    EXPECT_EQ(d.chooseOpenFiles("Open", "/in", "Sound file(*.wav)|*.wav", true), (QStringList{"/a.wav", "/b.wav"}));
    EXPECT_EQ(d.chooseOpenFile("Open one", "/in", "MP3|*.mp3"), "/c.mp3");  // single choice: the first
    EXPECT_EQ(d.chooseSaveFile("Save As", "/x.wav", "Wave Files|*.wav", "wav"), "/out.wav");
    EXPECT_EQ(d.chooseFolder("Again?", ""), QString());
    EXPECT_EQ(d.unscripted(), 1);

    const auto shown = d.shown();
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[0].kind, dw::ScriptedDialogs::Kind::Folder);
    EXPECT_EQ(shown[0].start, "/start");
    EXPECT_EQ(shown[1].filter, "Sound file(*.wav)|*.wav");
    EXPECT_EQ(shown[3].kind, dw::ScriptedDialogs::Kind::SaveFile);
    EXPECT_TRUE(d.texts().isEmpty());  // choosers are not boxes
}

TEST(NonInteractiveDialogs, AnswersByPolicyAndWritesOneLinePerMessage)
{
    QStringList lines;
    auto sink = [&lines](const QString& line) { lines << line; };

    dw::NonInteractiveDialogs defaults(dw::NonInteractiveDialogs::Policy::Defaults, sink);
    EXPECT_FALSE(defaults.askYesNo("Remove?", Answer::No));
    EXPECT_TRUE(defaults.askOkCancel("Go?"));
    defaults.error("Could not save Tag!");
    defaults.message("plain", "");
    EXPECT_EQ(defaults.chooseFolder("Folder", "/"), QString());
    EXPECT_TRUE(defaults.chooseOpenFiles("Open", "/", "", true).isEmpty());
    EXPECT_EQ(lines, (QStringList{"Discwright: Remove? [No]", "Discwright: Go? [OK]",
                                  "Discwright: error: Could not save Tag!", "plain"}));

    dw::NonInteractiveDialogs yes(dw::NonInteractiveDialogs::Policy::AlwaysYes, sink);
    EXPECT_TRUE(yes.askYesNo("x", Answer::No));
    EXPECT_TRUE(yes.askOkCancel("x", Answer::Cancel));
    dw::NonInteractiveDialogs no(dw::NonInteractiveDialogs::Policy::AlwaysNo, sink);
    EXPECT_EQ(no.askYesNoCancel("x", Answer::Yes), Answer::No);
    EXPECT_FALSE(no.askOkCancel("x"));
}

TEST(CurrentDialogs, ScopedInstanceIsUsedAndThePreviousOneRestored)
{
    dw::Dialogs* before = &dw::CurrentDialogs();
    {
        dw::ScriptedDialogs outer;
        dw::ScopedDialogs g1(outer);
        {
            dw::ScriptedDialogs inner;
            dw::ScopedDialogs g2(inner);
            dw::CurrentDialogs().information("to inner");
            EXPECT_EQ(inner.texts(), QStringList{"to inner"});
        }
        dw::CurrentDialogs().information("to outer");
        EXPECT_EQ(outer.texts(), QStringList{"to outer"});
    }
    EXPECT_EQ(&dw::CurrentDialogs(), before);
}

}  // namespace
