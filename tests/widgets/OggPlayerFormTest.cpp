// The Ogg player window on the real widgets (offscreen) and SDL's disk audio
// driver: refusing files, playing with the texts and comments shown, pause,
// balance, the position bar's jump, the end of playback and closing.

#include "player/PlayerTestUtil.h"
#include "support/TestSupport.h"

#include "platform/Dialogs.h"
#include "widgets/OggPlayerForm.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <gtest/gtest.h>

using namespace dwtest;

namespace {

template <typename W>
W* child(QWidget& form, const char* name)
{
    W* w = form.findChild<W*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QString text(QWidget& form, const char* label)
{
    return child<QLabel>(form, label)->text();
}

}  // namespace

TEST(OggPlayerForm, RefusesOtherFilesPlaysOggWithItsTextsPausesAndEndsReady)
{
    Sandbox box;
    const QString ogg = box.file("Night Song.Ogg");  // the extension test ignores case
    ASSERT_TRUE(makeToneOgg(ogg, 2, {"ARTIST=The Band", "TITLE=Night Song", "TrackNumber=7", "COMMENT=not shown"}));
    const QString oga = box.file("same.oga");
    ASSERT_TRUE(QFile::copy(ogg, oga));
    DiskAudio disk(box.file("out.raw"));
    dw::ScriptedDialogs dialogs;
    dw::ScopedDialogs scoped(dialogs);

    dw::TfrmOggPlayer form;
    EXPECT_EQ(form.objectName(), "frmOggPlayer");
    EXPECT_EQ(form.windowTitle(), "Ogg Player");
    form.show();
    auto* open = child<QPushButton>(form, "BitBtn1");
    auto* bar = child<QSlider>(form, "TrackBar1");
    auto* timer = child<QTimer>(form, "Timer2");
    EXPECT_EQ(open->toolTip(), "Press to open and play ogg file.");
    EXPECT_FALSE(bar->isEnabled());

    dialogs.queueFiles({oga});
    open->click();
    ASSERT_EQ(dialogs.shown().size(), 2u);  // the chooser, then the box
    EXPECT_EQ(dialogs.shown()[0].filter, "Sound file(*.ogg)|*.ogg| Any file(*.*)|*.*");
    EXPECT_EQ(dialogs.shown()[1].text, "Ogg file is not valid.");
    EXPECT_EQ(dialogs.shown()[1].caption, "");
    EXPECT_TRUE(open->isEnabled());
    EXPECT_EQ(form.Player().Status(), 2);

    dialogs.queueFiles({ogg});
    open->click();
    EXPECT_EQ(form.Player().Status(), 0);
    EXPECT_FALSE(open->isEnabled());
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(text(form, "lFileName"), "Night Song");
    EXPECT_EQ(text(form, "lSampleRate"), "44100 bps");
    EXPECT_EQ(text(form, "lTotalTime"), "0:02");
    EXPECT_EQ(child<QPlainTextEdit>(form, "Memo1")->toPlainText(), "Artist: The Band\nTitle: Night Song\nTrack: 7");

    child<QPushButton>(form, "BitBtn2")->click();
    EXPECT_EQ(form.Player().Status(), 1);
    EXPECT_FALSE(timer->isActive());
    child<QPushButton>(form, "BitBtn2")->click();
    EXPECT_EQ(form.Player().Status(), 0);
    EXPECT_TRUE(timer->isActive());

    child<QSlider>(form, "TrackBar2")->setValue(2);
    EXPECT_FLOAT_EQ(form.Player().StereoBalance1().GetBalance(), 0.2f);

    ASSERT_TRUE(waitFor([&] { return open->isEnabled(); }, std::chrono::seconds(20)));
    EXPECT_FALSE(bar->isEnabled());
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(form.Player().Status(), 2);
    EXPECT_EQ(bar->value(), 100);
    // The clock advanced with the timer and never passes the total.
    EXPECT_GE(form.Player().ElapsedMs(), 1000);
    EXPECT_LE(form.Player().ElapsedMs(), 2000);
    EXPECT_EQ(text(form, "lCurrentTime"), form.Player().ElapsedText());
    EXPECT_EQ(dialogs.unscripted(), 0);
}

TEST(OggPlayerForm, MovingTheBarJumpsAndClosingStopsFirst)
{
    Sandbox box;
    const QString ogg = box.file("long.ogg");
    ASSERT_TRUE(makeToneOgg(ogg, 4));
    DiskAudio disk(box.file("out.raw"));
    dw::ScriptedDialogs dialogs;
    dw::ScopedDialogs scoped(dialogs);

    dw::TfrmOggPlayer form;
    form.show();
    dialogs.queueFiles({ogg});
    child<QPushButton>(form, "BitBtn1")->click();
    ASSERT_EQ(form.Player().Status(), 0);
    auto* bar = child<QSlider>(form, "TrackBar1");
    ASSERT_TRUE(waitFor([&] { return bar->value() >= 5; }));

    const int before = form.Player().Progress();
    bar->setValue(70);  // as a click on the bar moves it
    EXPECT_NEAR(form.Player().Progress(), 70, 3) << "from " << before;
    EXPECT_EQ(form.Player().ElapsedMs(), 4 * 70 * 10);
    EXPECT_EQ(form.Player().Status(), 0);

    // Closing while playing stops the output first; the window goes once it is idle.
    EXPECT_FALSE(form.close());
    EXPECT_EQ(form.Player().Status(), 2);
    ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }, std::chrono::seconds(5)));
    const std::vector<int16_t> played = trimSilence(samplesOf(readAll(box.file("out.raw"))));
    EXPECT_LT(played.size() / 2, size_t(4 * 44100 * 0.6)) << "closing must stop the playback, not wait for its end";
}
