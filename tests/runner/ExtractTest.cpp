// The extract command's checks as the main window runs them: what each one
// shows through the dialogs, and that a refused command writes nothing.

#include "app/Settings.h"
#include "cd/RipperLibrary.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"
#include "runner/Extract.h"
#include "support/CdImages.h"
#include "support/JobWait.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace dw;

namespace {

class ExtractTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetExplicitCdDevices({dwtest::makeCdImage(box.path(), {1, 2})});
        ASSERT_EQ(disc.Open(TRipModeChoice::Ripper, 0), TDiscProblem::None) << disc.Message().toStdString();
        ASSERT_EQ(disc.Rows().size(), 2u);
        settings.Options.OutputFormat = int(TOutputFormat::Wav);
        settings.Options.OutputFolder = box.file("out") + "/";
    }
    void TearDown() override
    {
        SetExplicitCdDevices({});
        CR_DeInit();
    }
    TExtractResult run()
    {
        TExtract extract(disc, view);
        return dwtest::runExtract(extract, settings);
    }

    dwtest::Sandbox box;
    TExtractDisc disc{AppSettings};
    TJobConfig settings;
    TJobView view;
    ScriptedDialogs dialogs;
    ScopedDialogs scoped{dialogs};
};

TEST_F(ExtractTest, EachCheckShowsItsMessageAndStartsNothing)
{
    // A missing folder is asked about; No leaves it missing.
    dialogs.queueAnswer(Answer::No);
    TExtractResult r = run();
    EXPECT_FALSE(r.Ran);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, box.file("out") + "/,The output directory does not exist.\ncreates a new directory?");
    EXPECT_EQ(dialogs.shown()[0].buttons, MessageButtons::YesNo);
    EXPECT_FALSE(QDir(box.file("out")).exists());

    // Yes creates it; a cut of zero seconds is then refused.
    dialogs.clear();
    dialogs.queueAnswer(Answer::Yes);
    settings.Options.EnableRipTime = true;
    settings.Options.RipTime = 0;
    r = run();
    EXPECT_FALSE(r.Ran);
    EXPECT_TRUE(QDir(box.file("out")).exists());
    EXPECT_EQ(dialogs.texts().last(), "You select to extract 0 second, please change it on Options dialog.");
    EXPECT_EQ(r.Message, dialogs.texts().last());

    // No ticked track comes first of all.
    dialogs.clear();
    for (TrackRow& row : disc.Rows())
        row.checked = false;
    r = run();
    EXPECT_EQ(dialogs.texts(), QStringList{"Please select a track at least!"});

    // A folder that cannot be made names itself and the reason.
    dialogs.clear();
    disc.Rows()[1].checked = true;
    settings.Options.EnableRipTime = false;
    settings.Options.OutputFolder = box.file("none/deeper");
    dialogs.queueAnswer(Answer::Yes);
    r = run();
    EXPECT_FALSE(r.Ran);
    EXPECT_EQ(r.Message, "Cannot create " + box.file("none/deeper") + ": No such file or directory");
    EXPECT_EQ(dialogs.shown().back().icon, MessageIcon::Error);

    // Everything in order: the ticked track alone is ripped, and nothing is shown.
    dialogs.clear();
    settings.Options.OutputFolder = box.file("out");
    r = run();
    ASSERT_TRUE(r.Ran);
    EXPECT_TRUE(r.AllDone());
    EXPECT_TRUE(dialogs.texts().isEmpty());
    ASSERT_EQ(r.Items.size(), 1u);
    EXPECT_EQ(r.Items[0].Track, 2);
    EXPECT_EQ(QDir(box.file("out")).entryList(QDir::Files | QDir::Hidden), QStringList{"Track02.wav"});
}

TEST_F(ExtractTest, TheEndComesOnceAfterTheRipClosedAlsoWhenStoppedBeforeItStarted)
{
    // Notes the close, and through a posted call when its handler has returned.
    struct EndView : TJobView {
        int closed = 0;
        bool handlerLeft = false;
        void Closed() override
        {
            ++closed;
            QTimer::singleShot(0, [left = &handlerLeft] { *left = true; });
        }
    };
    const auto runWith = [this](TExtract& extract, EndView& v, bool& closedBefore) {
        return dwtest::waitForEnd<TExtractResult>([&](TExtract::TEnd onEnd) {
            extract.Start(settings, [&v, &closedBefore, onEnd](const TExtractResult& r) {
                closedBefore = v.closed == 1 && v.handlerLeft;
                onEnd(r);
            });
        });
    };
    dialogs.queueAnswer(Answer::Yes);  // the output folder is made

    // Stopped before the start: the job ends at once, nothing is ripped.
    EndView stoppedView;
    TExtract stopped(disc, stoppedView);
    stopped.Stop();
    bool closedBefore = false;
    const TExtractResult s = runWith(stopped, stoppedView, closedBefore);
    EXPECT_TRUE(closedBefore) << "the end came before the rip's close had been handled";
    ASSERT_TRUE(s.Ran) << s.Message.toStdString();
    EXPECT_TRUE(s.Stopped);
    EXPECT_FALSE(s.AllDone());
    ASSERT_EQ(s.Items.size(), 2u);
    for (const TCDRipItem& item : s.Items)
        EXPECT_NE(item.Result.outcome, TJobItemResult::Outcome::Done) << item.Track;
    EXPECT_TRUE(QDir(box.file("out")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // A stop after the end changes nothing.
    stopped.Stop();

    // Run to its end.
    EndView view;
    TExtract extract(disc, view);
    closedBefore = false;
    const TExtractResult r = runWith(extract, view, closedBefore);
    EXPECT_TRUE(closedBefore);
    EXPECT_TRUE(r.AllDone());
    ASSERT_EQ(r.Items.size(), 2u);
    EXPECT_EQ(QDir(box.file("out")).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"Track01.wav", "Track02.wav"}));
}

}  // namespace
