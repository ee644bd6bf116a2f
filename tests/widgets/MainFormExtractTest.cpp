// Extract from the main window in ripper mode, through the rip window
// (TfrmCDRip) on the real engine and a CD image: the files it writes, what
// the window shows, Stop in the middle; and where Extract stops CD playback.
#include "MainFormFixture.h"

#include "record/RecordTestAudio.h"
#include "widgets/CDRipForm.h"

#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

using dwtest::MainFormFixture;
using dwtest::ShowWatch;

constexpr qint64 BytesPerSecond = 176400;

// The texts of the rip window while it is up, and its count of completed
// tracks as it goes away.
struct RipWindowWatch {
    QString name;
    QMap<QString, QString> shownTexts;
    QString completedAtClose;
    std::unique_ptr<QObject> hideFilter;

    std::function<void(QWidget*)> onShow()
    {
        return [this](QWidget* shown) {
            if (!name.isEmpty() || !shown->isModal())
                return;
            name = shown->objectName();
            for (auto* label : shown->findChildren<QLabel*>())
                shownTexts.insert(label->objectName(), label->text());
            shownTexts.insert("bStop", shown->findChild<QPushButton*>("bStop")->text());
            hideFilter = std::make_unique<HideFilter>(shown, completedAtClose);
        };
    }

    class HideFilter : public QObject {
    public:
        HideFilter(QWidget* window, QString& out) : window_(window), out_(out) { window->installEventFilter(this); }
        bool eventFilter(QObject* object, QEvent* event) override
        {
            if (object == window_ && event->type() == QEvent::Hide)
                out_ = window_->findChild<QLabel*>("lCompleted")->text();
            return false;
        }

    private:
        QWidget* window_;
        QString& out_;
    };
};

// Ripper mode: the ticked tracks become WAV files holding exactly the
// disc's audio, through the rip window, which keeps its English texts in
// German; then one track to Ogg Vorbis, its WAV removed after encoding.
TEST_F(MainFormFixture, RipperModeExtractRipsTheTickedTracksThroughTheRipWindow)
{
    setting("CommonOptions", "OutputFormat", "1");  // WAV
    setting("Options", "Lan", "German");
    insertDisc({3, 2, 4}, {"Alpha", "Beta: B/C", "Gamma"});
    dw::TMainForm& w = start(dw::TRipModeChoice::Ripper);
    ASSERT_EQ(w.Listing().CDHandle, 0);
    ASSERT_NE(w.Component(), nullptr);
    ASSERT_EQ(list()->topLevelItemCount(), 3);
    list()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);

    RipWindowWatch rip;
    {
        ShowWatch watch(rip.onShow());
        choose("miExtract");  // returns when the rip has ended
    }
    EXPECT_EQ(rip.name, "frmCDRip");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(rip.shownTexts.value("Label1"), "Current track:");
    EXPECT_EQ(rip.shownTexts.value("lOutputFormat"), "WAV");
    EXPECT_EQ(rip.shownTexts.value("lSelectedTracks"), "2");
    EXPECT_EQ(rip.shownTexts.value("bStop"), "Stop");
    EXPECT_EQ(rip.completedAtClose, "2");
    EXPECT_EQ(dialogs_.texts(), QStringList());

    // Each file holds its track's sectors of the image, byte for byte.
    const QByteArray bin = sandbox_.read(dwtest::binPathOf(cue_));
    ASSERT_EQ(bin.size(), 9 * BytesPerSecond);
    const QString out = outputFolder() + "/";
    const QByteArray alpha = sandbox_.read(out + "Alpha.wav");
    const QByteArray gamma = sandbox_.read(out + "Gamma.wav");
    ASSERT_EQ(alpha.size(), 44 + 3 * BytesPerSecond);
    ASSERT_EQ(gamma.size(), 44 + 4 * BytesPerSecond);
    EXPECT_TRUE(alpha.mid(44) == bin.mid(0, 3 * BytesPerSecond));
    EXPECT_TRUE(gamma.mid(44) == bin.mid(5 * BytesPerSecond, 4 * BytesPerSecond));
    EXPECT_FALSE(QFile::exists(out + "Beta BC.wav"));

    // The second track to Ogg Vorbis: only the .ogg stays, and it holds the
    // track's two seconds.
    dw::AppSettings.OutputFormat = 2;
    choose("miSelectNone");
    list()->topLevelItem(1)->setCheckState(0, Qt::Checked);
    choose("miExtract");
    EXPECT_FALSE(QFile::exists(out + "Beta BC.wav"));
    const auto decoded = dwtest::runTool("oggdec", {"-Q", "-R", "-o", sandbox_.file("beta.raw"), out + "Beta BC.ogg"});
    ASSERT_TRUE(decoded.ok) << decoded.err.toStdString();
    EXPECT_EQ(QFileInfo(sandbox_.file("beta.raw")).size(), 2 * BytesPerSecond);
    EXPECT_EQ(dialogs_.texts(), QStringList());
}

// Stop in the rip window ends the rip: the track under way leaves no file
// and the tracks after it are not ripped.
TEST_F(MainFormFixture, RipperModeStopEndsTheRipAndLeavesNoPartialTrack)
{
    setting("CommonOptions", "OutputFormat", "1");
    insertDisc({600, 60, 60}, {"One", "Two", "Three"}, true);
    start(dw::TRipModeChoice::Ripper);

    bool clicked = false;
    onNextModal([&](QWidget* modal) {
        ASSERT_EQ(modal->objectName(), "frmCDRip");
        // Stop once the first track has made progress: ten minutes of audio
        // are far from done then.
        auto* poll = new QTimer(modal);
        QObject::connect(poll, &QTimer::timeout, [modal, poll, &clicked] {
            if (modal->findChild<QProgressBar*>("ProgressBar2")->value() > 0) {
                poll->stop();
                clicked = true;
                dwtest::click(modal, "bStop");
            }
        });
        poll->start(5);
    });
    choose("miExtract");

    EXPECT_TRUE(clicked);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(QDir(outputFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

// Extract leaves CD playback alone while its checks refuse the command (a
// declined output folder), and stops it once they pass, before the rip
// length is checked.
TEST_F(MainFormFixture, ExtractStopsPlaybackOnlyOnceItsChecksPass)
{
    dwtest::DiskAudio audio(sandbox_.file("none.raw"), sandbox_.file("played.raw"));
    setting("CommonOptions", "EnableRipTime", "1");
    setting("CommonOptions", "RipTime", "0");
    setting("CommonOptions", "OutputFolder", sandbox_.path() + "/later/");
    insertDisc({30, 30}, {"One", "Two"});
    dw::TMainForm& w = start();
    list()->setCurrentItem(list()->topLevelItem(0));
    choose("miPlay");
    ASSERT_TRUE(w.Playing());

    dialogs_.queueAnswer(dw::Answer::No);
    choose("miExtract");
    ASSERT_EQ(dialogs_.texts().size(), 1);
    EXPECT_TRUE(dialogs_.texts()[0].endsWith("creates a new directory?")) << dialogs_.texts()[0].toStdString();
    EXPECT_TRUE(w.Playing());

    dialogs_.clear();
    dialogs_.queueAnswer(dw::Answer::Yes);
    choose("miExtract");
    EXPECT_TRUE(QFileInfo(sandbox_.path() + "/later").isDir());
    ASSERT_EQ(dialogs_.texts().size(), 2);
    EXPECT_EQ(dialogs_.texts()[1], "You select to extract 0 second, please change it on Options dialog.");
    EXPECT_FALSE(w.Playing());
    EXPECT_EQ(QDir(sandbox_.path() + "/later").entryList(QDir::Files), QStringList());
}

}  // namespace
