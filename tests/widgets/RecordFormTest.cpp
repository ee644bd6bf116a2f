// The recorder window on its real widgets under offscreen, recording through
// SDL's disk audio driver: what it records equals the driver's input, saving
// moves the new recording into place and converts it to MP3 through the job
// runner, and the messages and the closing step behave as the window's
// description says.
#include "app/ResourceText.h"
#include "app/Settings.h"
#include "platform/Dialogs.h"
#include "platform/WaveAudioCapture.h"
#include "record/Recorder.h"
#include "record/RecordTestAudio.h"
#include "record/RecordTexts.h"
#include "support/TestSupport.h"
#include "widgets/NewRecordFileForm.h"
#include "widgets/RecordForm.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>

#include <csignal>
#include <sys/resource.h>

namespace {

using namespace dw;
using dwtest::waveData;

// Acts on the next modal dialog of type D once it is up.
template <class D>
void whenModal(std::function<void(D*)> act)
{
    auto* timer = new QTimer;  // deletes itself
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(d);
        }
    });
    timer->start();
}

class RecordFormTest : public ::testing::Test {
protected:
    RecordFormTest() : input(dwtest::noiseBytes(20 * 16000, 5)), disk(box.file("in.raw"), "/dev/null")
    {
        AppSettings = TAppSettings{};
        box.write("in.raw", input);
    }
    ~RecordFormTest() override { AppSettings = TAppSettings{}; }

    // The work files live in the user's cache folder, never the program folder.
    QString work(const char* name) const { return box.cacheHome() + "/Quobel/Discwright/" + name; }
    static void trigger(QWidget& form, const char* item) { form.findChild<QAction*>(item)->trigger(); }

    // New with 8000 Hz, 16 bits, mono chosen in the new-file dialog.
    void newMono8k(TfrmRecord& form)
    {
        whenModal<TfrmNewRecordFile>([](TfrmNewRecordFile* d) {
            d->findChild<QComboBox*>("cbBitSamples")->setCurrentIndex(0);
            d->findChild<QRadioButton*>("rbChannelNumber")->setChecked(true);
            d->findChild<QPushButton*>("btOK")->click();
        });
        trigger(form, "miNew");
    }
    // Record until the device holds at least ms of audio, then Stop.
    static void recordFor(TfrmRecord& form, int64_t ms)
    {
        TRecorder& r = form.Recorder();
        const int64_t before = r.Device().Length();
        form.MediaButton(mbRecord)->click();
        ASSERT_EQ(r.Buttons(), unsigned(mbStop));
        ASSERT_TRUE(dwtest::waitFor([&] { return r.Device().Length() >= before + ms; }, std::chrono::seconds(10)));
        form.MediaButton(mbStop)->click();
        // The run-on to the next whole second is a timer: the window's thread
        // is never put to sleep for it.
        ASSERT_TRUE(dwtest::waitFor([&] { return !r.StopPending(); }, std::chrono::seconds(10)));
    }

    dwtest::Sandbox box;
    QByteArray input;
    dwtest::DiskAudio disk;
    ScriptedDialogs dialogs;
    ScopedDialogs scoped{dialogs};
};

// New, record, Save as song.WAV (accepted in any case) with "MP3 format"
// ticked: the recording is exactly the driver's input, it is moved from
// MyNoName.wav to the chosen name with a matching header, the job runner
// makes a valid song.mp3 beside it, and closing removes the working copy.
TEST_F(RecordFormTest, RecordsAndSavesAsWavAndMp3)
{
    // The user's format is FLAC: the recorder's MP3 job must leave it so.
    AppSettings.OutputFormat = 4;
    TfrmRecord form(nullptr, 1);
    form.show();
    newMono8k(form);
    TRecorder& r = form.Recorder();
    EXPECT_EQ(form.windowTitle(), "Record(NoName)");
    EXPECT_EQ(r.Buttons(), unsigned(mbRecord));
    EXPECT_EQ(r.CurrentFile(), work("MyNoName.wav"));
    EXPECT_EQ(QFile(work("MyNoName.wav")).size(), 44);
    EXPECT_EQ(form.findChild<QLabel*>("panRecordTime")->text(), "00:00:00.0");

    recordFor(form, 300);
    EXPECT_TRUE(r.Modified());
    EXPECT_EQ(form.findChild<QLabel*>("lbState")->text(), "Record over!");
    EXPECT_EQ(r.TrackBar(), 400);
    EXPECT_FALSE(r.RecordTimerActive());
    // Stopping runs on to the next whole second of the record clock.
    const QByteArray recorded = waveData(work("MyNoName.wav"));
    EXPECT_GE(recorded.size(), 14000);
    EXPECT_EQ(recorded, input.left(recorded.size()));
    EXPECT_EQ(form.findChild<QLabel*>("lbLength")->text(), LengthText(recorded.size() / 16));

    trigger(form, "miMp3Format");
    const QString song = box.file("song.WAV");
    dialogs.queueSaveFile(song);
    trigger(form, "miSave");
    EXPECT_EQ(dialogs.texts(), QStringList()) << "no message";
    EXPECT_FALSE(QFile::exists(work("MyNoName.wav")));
    EXPECT_EQ(waveData(song), recorded);
    EXPECT_EQ(r.CurrentFile(), song);
    EXPECT_FALSE(r.Modified());
    EXPECT_TRUE(r.Mp3Done());
    EXPECT_EQ(AppSettings.OutputFormat, 4);
    EXPECT_EQ(form.windowTitle(), "Record(" + song + ")");
    EXPECT_EQ(waveData(work("MyTemp.wav")), recorded);

    QProcess lame;
    lame.start("lame", {"--decode", box.file("song.mp3"), box.file("decoded.wav")});
    ASSERT_TRUE(lame.waitForFinished(30000));
    EXPECT_EQ(lame.exitCode(), 0) << lame.readAllStandardError().toStdString();
    EXPECT_GT(QFile(box.file("decoded.wav")).size(), 44 + recorded.size() / 2);

    form.close();
    EXPECT_FALSE(QFile::exists(work("MyTemp.wav")));
    EXPECT_TRUE(AppSettings.SaveMp3);
}

// The refusals and questions: a save name that is not .wav, Undo back to
// the saved file, an explicit Save of a loaded file copying the working copy
// back, no MP3 without a CD handle (the recorder closes after the WAV is
// saved), and Cancel at closing still closing.
TEST_F(RecordFormTest, RefusalsUndoAndClosing)
{
    auto form = std::make_unique<TfrmRecord>(nullptr, 0);
    form->show();
    newMono8k(*form);
    recordFor(*form, 100);
    TRecorder& r = form->Recorder();
    EXPECT_FALSE(r.CanUndo()) << "a new recording has nothing to go back to";

    dialogs.queueSaveFile(box.file("song.mp3"));
    trigger(*form, "miSave");
    EXPECT_EQ(dialogs.texts(), QStringList{"The save file should be WAV!"});
    EXPECT_EQ(r.CurrentFile(), work("MyNoName.wav"));
    dialogs.clear();

    const QString song = box.file("take.wav");
    dialogs.queueSaveFile(song);
    trigger(*form, "miSaveAs");
    const QByteArray saved = waveData(song);
    ASSERT_GT(saved.size(), 0);
    EXPECT_EQ(r.CurrentFile(), song);

    // More recorded into the loaded file changes only the working copy; Undo brings the saved state back.
    recordFor(*form, 100);
    dialogs.clear();
    EXPECT_TRUE(r.CanUndo());
    EXPECT_GT(waveData(work("MyTemp.wav")).size(), saved.size());
    EXPECT_EQ(waveData(song), saved);
    dialogs.queueAnswer(Answer::Yes);
    trigger(*form, "miUndo");
    EXPECT_EQ(dialogs.texts(), QStringList{"Discard the modification since last save file."});
    EXPECT_EQ(waveData(work("MyTemp.wav")), saved);
    EXPECT_FALSE(r.Modified());

    // Save of a loaded file with "MP3 format" ticked but no CD handle.
    recordFor(*form, 100);
    const QByteArray longer = waveData(work("MyTemp.wav"));
    trigger(*form, "miMp3Format");
    dialogs.clear();
    trigger(*form, "miSave");
    EXPECT_EQ(waveData(song), longer);
    EXPECT_EQ(dialogs.texts(), QStringList{"Please access CD devices rightly above all!"});
    ASSERT_TRUE(dwtest::waitFor([&] { return !form->isVisible(); }));
    EXPECT_FALSE(QFile::exists(work("MyTemp.wav")));
    EXPECT_FALSE(QFile::exists(box.file("take.mp3")));

    // A new recording left unsaved: Cancel at closing still closes, MyNoName.wav stays.
    form = std::make_unique<TfrmRecord>(nullptr, 0);
    form->show();
    newMono8k(*form);
    recordFor(*form, 100);
    dialogs.clear();
    dialogs.queueAnswer(Answer::Cancel);
    form->close();
    EXPECT_EQ(dialogs.texts(), QStringList{"NoName has been modified,Save it?"});
    EXPECT_FALSE(form->isVisible());
    EXPECT_GT(waveData(work("MyNoName.wav")).size(), 0);
}

// A disk that fills up while recording (a file-size limit on this process)
// ends the recording as the Stop button would, with every whole frame that
// fit in the file, and says why once the device's notice has been handled.
TEST_F(RecordFormTest, AFullDiskEndsTheRecordingWithWhatFit)
{
    TfrmRecord form(nullptr, 1);
    form.show();
    newMono8k(form);
    TRecorder& r = form.Recorder();
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = old;
    limited.rlim_cur = 44 + 6001;
    // Runs right after the recorder's own handler of the notice.
    int boxesInsideTheHandler = -1;
    QObject::connect(&r.Device(), &TWaveAudioDevice::deviceFailed,
                     [&] { boxesInsideTheHandler = int(dialogs.texts().size()); });
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    form.MediaButton(mbRecord)->click();
    const bool ended = dwtest::waitFor([&] { return !dialogs.texts().isEmpty(); }, std::chrono::seconds(10));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(ended);
    EXPECT_EQ(boxesInsideTheHandler, 0) << "no message box inside the device's notice";
    EXPECT_EQ(dialogs.texts(), QStringList{"Error while saving sound file!\nthe recording cannot be written: File too large"});
    EXPECT_EQ(form.findChild<QLabel*>("lbState")->text(), "Record over!");
    EXPECT_FALSE(r.RecordTimerActive());
    EXPECT_EQ(r.Buttons(), unsigned(mbPlay | mbNext | mbPrev | mbRecord));
    EXPECT_EQ(waveData(work("MyNoName.wav")), input.left(6000));
    EXPECT_TRUE(r.Modified());
}


// Stop returns to the window while the device's worker still has the last
// audio to write (held here where it has seen the stop): no button to
// press, nothing saved yet, and closing waits for it. Once the worker has
// ended, the recording is saved whole, the closing step asks its question
// and the window closes.
TEST_F(RecordFormTest, StopAndClosingGoOnWhileTheLastAudioIsWritten)
{
    std::mutex mutex;
    std::condition_variable wake;
    bool held = false, release = false, heldTooLong = false;
    TWaveCapture::SetStopHookForTests([&] {
        std::unique_lock lock(mutex);
        held = true;
        heldTooLong = !wake.wait_for(lock, std::chrono::seconds(20), [&] { return release; });
    });
    struct ClearHook {
        ~ClearHook() { TWaveCapture::SetStopHookForTests({}); }
    } clearHook;

    TfrmRecord form(nullptr, 1);
    form.show();
    newMono8k(form);
    TRecorder& r = form.Recorder();
    form.MediaButton(mbRecord)->click();
    ASSERT_TRUE(dwtest::waitFor([&] { return r.Device().Length() >= 300; }, std::chrono::seconds(10)));
    form.MediaButton(mbStop)->click();
    // After the run-on (a timer) the worker is held where it has seen the stop.
    ASSERT_TRUE(dwtest::waitFor([&] {
        std::lock_guard lock(mutex);
        return held;
    }));
    EXPECT_TRUE(r.StopPending());
    EXPECT_EQ(r.Buttons(), 0u);
    EXPECT_EQ(form.findChild<QLabel*>("lbState")->text(), "Recording...");
    EXPECT_EQ(QFile(work("MyNoName.wav")).size(), 44) << "saved before the worker had written all";

    dialogs.queueAnswer(Answer::No);
    form.close();
    EXPECT_TRUE(form.isVisible()) << "the window closed before the recording was saved";
    EXPECT_EQ(dialogs.texts(), QStringList());
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    wake.notify_all();
    ASSERT_TRUE(dwtest::waitFor([&] { return !form.isVisible(); }));
    EXPECT_FALSE(heldTooLong) << "the window's thread waited for the held worker";
    EXPECT_EQ(dialogs.texts(), QStringList{"NoName has been modified,Save it?"});
    EXPECT_EQ(form.findChild<QLabel*>("lbState")->text(), "Record over!");
    const QByteArray recorded = waveData(work("MyNoName.wav"));
    EXPECT_GE(recorded.size(), 300 * 16);
    EXPECT_EQ(recorded, input.left(recorded.size()));
    EXPECT_FALSE(QFile::exists(work("MyTemp.wav")));
}

}  // namespace
