// The WAV conversion window on its real widgets under offscreen: with the
// same choices it writes the same file as discwright-cli convert-wav, and its
// refusals and failures show where the window's description says. Every
// command is a click on its button.
#include "platform/Dialogs.h"
#include "support/TestSupport.h"
#include "UserInput.h"
#include "widgets/ResampleForm.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>

#include <gtest/gtest.h>

namespace {

using namespace dw;

class WavConvertFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.show();
        QProcess sox;
        sox.start("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", box.file("in.wav"), "synth", "0.5", "sine",
                          "440", "sine", "660"});
        ASSERT_TRUE(sox.waitForFinished(30000));
        ASSERT_EQ(sox.exitCode(), 0);
    }
    QString status() const { return form.findChild<QStatusBar*>("StatusBar1")->currentMessage(); }
    QString field(const char* name) const { return form.findChild<QLabel*>(name)->text(); }
    // Converts with the current choices and waits for the end.
    void convert()
    {
        dwtest::click(&form, "btConvert");
        // Done: Convert is enabled again (at once when nothing started).
        ASSERT_TRUE(dwtest::waitFor([&] { return form.findChild<QPushButton*>("btConvert")->isEnabled(); }));
    }
    void chooseOutput(const QString& path)
    {
        dialogs.queueSaveFile(path);
        dwtest::click(&form, "btOutput");
    }
    QByteArray read(const QString& name) const { return box.read(name); }

    dwtest::Sandbox box;
    ScriptedDialogs dialogs;
    ScopedDialogs scoped{dialogs};
    TfrmResample form;
};

// The initial choices (1 channel, 22050 Hz, 8 bits, RAW PCM) on a 44100 Hz
// stereo 16-bit file give the bytes convert-wav gives; 24 bits give an
// extensible header, and RAW PCM 16 bits afterwards a plain one again.
TEST_F(WavConvertFormTest, WritesWhatConvertWavWrites)
{
    dialogs.queueFiles({box.file("in.wav")});
    dwtest::click(&form, "btInput");
    EXPECT_EQ(field("lbInFileName"), "in.wav");
    EXPECT_EQ(field("lbInChannels"), "2");
    EXPECT_EQ(field("lbInSampleRate"), "44100");
    EXPECT_EQ(field("lbInBits"), "16");
    EXPECT_EQ(field("lbInEncoding"), "Raw PCM");

    chooseOutput(box.file("win.wav"));
    EXPECT_EQ(field("lbOutFileName"), "win.wav");
    convert();
    EXPECT_EQ(status(), "Success!");
    const auto cli = dwtest::runCli({"convert-wav", box.file("in.wav"), box.file("cli.wav"), "--channels", "1",
                                     "--rate", "22050", "--bits", "8", "--quiet"});
    ASSERT_EQ(cli.status, 0) << cli.err.toStdString();
    const QByteArray made = read("win.wav");
    EXPECT_EQ(made, read("cli.wav"));
    EXPECT_EQ(made.mid(22, 2), QByteArray("\x01\0", 2));  // mono
    EXPECT_EQ(made.mid(34, 2), QByteArray("\x08\0", 2));  // 8 bits

    form.findChild<QSpinBox*>("SpinEdit2")->setValue(24);
    form.findChild<QSpinBox*>("SpinEdit1")->setValue(2);
    form.findChild<QLineEdit*>("Edit1")->setText("44100");
    chooseOutput(box.file("win24.wav"));
    convert();
    EXPECT_EQ(status(), "Success!");
    EXPECT_EQ(read("win24.wav").mid(20, 2), QByteArray("\xfe\xff", 2));
    ASSERT_EQ(dwtest::runCli({"convert-wav", box.file("in.wav"), box.file("cli24.wav"), "--bits", "24"}).status, 0);
    EXPECT_EQ(read("win24.wav"), read("cli24.wav"));

    form.findChild<QSpinBox*>("SpinEdit2")->setValue(16);
    form.findChild<QComboBox*>("ComboBox1")->setCurrentIndex(1);  // DVI IMA ADPCM
    chooseOutput(box.file("ima.wav"));
    convert();
    ASSERT_EQ(dwtest::runCli({"convert-wav", box.file("in.wav"), box.file("cli-ima.wav"), "--encoding", "ima-adpcm"})
                  .status,
              0);
    EXPECT_EQ(read("ima.wav"), read("cli-ima.wav"));
    form.findChild<QComboBox*>("ComboBox1")->setCurrentIndex(0);
    chooseOutput(box.file("pcm.wav"));
    convert();
    EXPECT_EQ(read("pcm.wav"), read("in.wav").left(read("pcm.wav").size())) << "same format: passed through";
    EXPECT_EQ(read("pcm.wav").mid(20, 2), QByteArray("\x01\0", 2));
    EXPECT_EQ(dialogs.texts(), QStringList());
}

// A .wma output is not taken, so Convert reports the missing output name; a
// rate that is no integer starts nothing; 8-bit ADPCM fails in the status bar.
TEST_F(WavConvertFormTest, RefusesAndReportsFailures)
{
    dialogs.queueFiles({box.file("in.wav")});
    dwtest::click(&form, "btInput");
    chooseOutput(box.file("out.wma"));
    EXPECT_EQ(field("lbOutFileName"), "");
    dwtest::click(&form, "btConvert");
    EXPECT_EQ(dialogs.texts(), QStringList{"The output file name is not set!"});

    chooseOutput(box.file("out.wav"));
    form.findChild<QLineEdit*>("Edit1")->setText("22k");
    dialogs.clear();
    dwtest::click(&form, "btConvert");
    EXPECT_EQ(dialogs.texts(), QStringList{"'22k' is not a valid integer value"});
    EXPECT_FALSE(QFile::exists(box.file("out.wav")));

    form.findChild<QLineEdit*>("Edit1")->setText("22050");
    form.findChild<QComboBox*>("ComboBox1")->setCurrentIndex(1);
    convert();
    EXPECT_EQ(status(), "Cannot encode 8 bit sound into ADPCM.");
    EXPECT_FALSE(QFile::exists(box.file("out.wav")));
}

}  // namespace

#include "widgets/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

namespace {

// The main window's WAV to WAV, Record and ID3 Tag Edit commands are
// available and each opens its window modally.
TEST(MainWindowRecordingWindows, CommandsOpenTheirWindows)
{
    dwtest::Sandbox box;
    dw::TMainForm main;
    for (const auto& [item, window] : {std::pair{"miWavToWav", "frmResample"}, std::pair{"miRecord", "frmRecord"},
                                       std::pair{"miID3TagEdit", "frmID3Edit"}}) {
        auto* action = main.findChild<QAction*>(item);
        ASSERT_NE(action, nullptr) << item;
        EXPECT_TRUE(action->isEnabled()) << item;
        QString opened;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened = modal->objectName();
                modal->close();
            }
        });
        poll.start();
        action->trigger();
        poll.stop();
        EXPECT_EQ(opened, window) << item;
    }
}

}  // namespace
