// The main window's jobs on the real engines: Extract of ticked tracks into
// the job window, Stop in the middle, and the file conversions with a
// scripted open dialog.
#include "MainFormFixture.h"

#include "app/ResourceText.h"
#include "cd/CDRipThread.h"
#include "widgets/FileConversion.h"
#include "widgets/RipForm.h"

#include <QDataStream>
#include <QFileInfo>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

namespace {

using dwtest::MainFormFixture;
using dwtest::ShowWatch;

// A 16-bit stereo PCM WAV file of a tone.
void writeWav(const QString& path, int seconds, int rate = 44100)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 data = quint32(seconds) * quint32(rate) * 4;
    out.writeRawData("RIFF", 4);
    out << quint32(36 + data);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(2) << quint32(rate) << quint32(rate * 4) << quint16(4)
        << quint16(16);
    out.writeRawData("data", 4);
    out << data;
    for (int i = 0; i < seconds * rate; ++i) {
        const auto v = qint16(8000 * std::sin(i * 2 * M_PI * 440 / rate));
        out << v << v;
    }
}

TEST_F(MainFormFixture, ExtractRipsTheTickedTracksThroughTheJobWindow)
{
    setting("CommonOptions", "OutputFormat", "1");  // WAV
    insertDisc({3, 2, 4}, {"Alpha", "Beta: B/C", "Gamma"});
    dw::TMainForm& w = start();
    list()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);

    // The job may be over before a poll would see its window: the window
    // is caught as it is shown.
    QString windowName;
    ShowWatch watch([&](QWidget* shown) {
        if (windowName.isEmpty() && shown->isModal())
            windowName = shown->objectName();
    });
    choose("miExtract");  // returns when the job has closed

    EXPECT_EQ(windowName, "RipForm");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    const QString out = outputFolder() + "/";
    EXPECT_EQ(QFileInfo(out + "Alpha.wav").size(), 44 + 3 * 176400);
    EXPECT_EQ(QFileInfo(out + "Gamma.wav").size(), 44 + 4 * 176400);
    EXPECT_FALSE(QFile::exists(out + "Beta BC.wav"));
    EXPECT_EQ(dialogs_.texts(), QStringList());
    EXPECT_FALSE(w.Playing());
}

TEST_F(MainFormFixture, StopInTheMiddleEndsTheJobAndKeepsWhatWasDone)
{
    setting("CommonOptions", "OutputFormat", "1");
    insertDisc({240, 240, 240}, {"One", "Two", "Three"}, true);
    start();

    // The rip thread is held before its second read of the disc until the
    // Stop click has been made: the first track is under way, not done.
    std::mutex mutex;
    std::condition_variable changed;
    int reads = 0;
    bool released = false;
    dw::TCDRipThread::SetReadHookForTests([&] {
        std::unique_lock lock(mutex);
        if (++reads == 2)  // a generous bound, so a fault cannot hang the suite
            changed.wait_for(lock, std::chrono::minutes(2), [&] { return released; });
    });
    const auto release = [&] {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    };
    bool stopped = false;
    onNextModal([&](QWidget* modal) {
        auto* form = qobject_cast<dw::TRipForm*>(modal);
        ASSERT_NE(form, nullptr);
        // Stop once the first track's rip is under way.
        auto* poll = new QTimer(form);
        QObject::connect(poll, &QTimer::timeout, [form, poll, &stopped, &release] {
            if (form->windowTitle().startsWith("Extracting(01/03)")) {
                poll->stop();
                stopped = true;
                form->findChild<QPushButton*>("btStop")->click();
                release();
            }
        });
        poll->start(5);
    });
    choose("miExtract");
    release();
    dw::TCDRipThread::SetReadHookForTests(nullptr);

    EXPECT_TRUE(stopped);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // Nothing after the stop was ripped, and no partial file is left as a
    // track. The worker may have finished the first track while the click
    // travelled; then that track is kept whole.
    EXPECT_FALSE(QFile::exists(outputFolder() + "/Two.wav"));
    EXPECT_FALSE(QFile::exists(outputFolder() + "/Three.wav"));
    const QFileInfo one(outputFolder() + "/One.wav");
    if (one.exists())
        EXPECT_EQ(one.size(), 44 + 240 * 176400);
}

TEST_F(MainFormFixture, FileConversionsTakeTheChosenFilesIntoTheOutputFolder)
{
    insertDisc({10});
    start();
    const QString a = sandbox_.path() + "/song a.wav";
    const QString b = sandbox_.path() + "/song b.wav";
    writeWav(a, 1);
    writeWav(b, 1);

    dialogs_.queueFiles({a, b});
    choose("miWavToMp3");
    ASSERT_FALSE(dialogs_.shown().empty());
    EXPECT_EQ(dialogs_.shown().front().kind, dw::ScriptedDialogs::Kind::OpenFiles);
    EXPECT_EQ(dialogs_.shown().front().filter, "Sound file(*.wav)|*.wav| Any file(*.*)|*.*");
    EXPECT_GT(QFileInfo(outputFolder() + "/song a.mp3").size(), 1000);
    EXPECT_GT(QFileInfo(outputFolder() + "/song b.mp3").size(), 1000);

    // Converting them again asks about each existing output before anything
    // runs, in list order: the one answered No stays as it was (its item is
    // skipped), the other is replaced; nothing is asked while the job runs.
    dialogs_.clear();
    const auto contents = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray before = contents(outputFolder() + "/song a.mp3");
    QFile::resize(outputFolder() + "/song b.mp3", 10);
    dialogs_.queueFiles({a, b});
    dialogs_.queueAnswer(dw::Answer::No);
    dialogs_.queueAnswer(dw::Answer::Yes);
    choose("miWavToMp3");
    const QString exists = dw::ResourceText(dw::res::File_Exist);
    EXPECT_EQ(dialogs_.texts(), (QStringList{outputFolder() + "/song a.mp3" + exists,
                                             outputFolder() + "/song b.mp3" + exists}));
    EXPECT_EQ(contents(outputFolder() + "/song a.mp3"), before);
    EXPECT_GT(QFileInfo(outputFolder() + "/song b.mp3").size(), 1000);

    // MP3 back to WAV, with its own filter.
    dialogs_.clear();
    dialogs_.queueFiles({outputFolder() + "/song a.mp3"});
    QDir().mkpath(outputFolder() + "/wav");
    dw::AppSettings.OutputFolder = outputFolder() + "/wav/";
    choose("miMp3ToWav");
    EXPECT_EQ(dialogs_.shown().front().filter, "MP3 file(*.mp3)|*.mp3| Any file(*.*)|*.*");
    EXPECT_GT(QFileInfo(outputFolder() + "/wav/song a.wav").size(), 176400 / 2);

    // WAV to FLAC, then that FLAC on to Opus: the filter takes the four
    // kinds the jobs read, and the results decode.
    dialogs_.clear();
    dialogs_.queueFiles({b});
    QDir().mkpath(outputFolder() + "/flac");
    dw::AppSettings.OutputFolder = outputFolder() + "/flac/";
    choose("miWavToFlac");
    EXPECT_EQ(dialogs_.shown().front().filter,
              "Sound file(*.wav;*.flac;*.opus;*.ogg)|*.wav;*.flac;*.opus;*.ogg| Any file(*.*)|*.*");
    const QString flac = outputFolder() + "/flac/song b.flac";
    QProcess peer;
    peer.start("metaflac", {"--show-total-samples", "--show-sample-rate", flac});
    ASSERT_TRUE(peer.waitForFinished(30000));
    EXPECT_EQ(peer.readAllStandardOutput(), "44100\n44100\n") << peer.readAllStandardError().toStdString();
    peer.start("flac", {"--test", "--silent", flac});
    ASSERT_TRUE(peer.waitForFinished(30000));
    EXPECT_EQ(peer.exitCode(), 0) << peer.readAllStandardError().toStdString();

    dialogs_.clear();
    dialogs_.queueFiles({flac});
    choose("miWavToOpus");
    EXPECT_EQ(dialogs_.shown().front().filter, dw::ConversionFilter(dw::jkToFlac));
    QFile opus(outputFolder() + "/flac/song b.opus");
    ASSERT_TRUE(opus.open(QIODevice::ReadOnly));
    const QByteArray head = opus.read(64);
    EXPECT_TRUE(head.startsWith("OggS")) << head.toHex().toStdString();
    EXPECT_TRUE(head.contains("OpusHead"));
    EXPECT_GT(opus.size(), 1000);
    EXPECT_EQ(dialogs_.texts(), QStringList());

    // A cancelled chooser starts nothing; a missing output folder is reported.
    dialogs_.clear();
    dialogs_.queueFiles({});
    choose("miWavToOgg");
    EXPECT_EQ(dialogs_.texts(), QStringList());
    dw::AppSettings.OutputFolder = sandbox_.path() + "/gone/";
    dialogs_.queueFiles({a});
    choose("miWavToOgg");
    EXPECT_EQ(dialogs_.texts(),
              QStringList{"The output directory does not exist.Please check the output directory setting."});
    EXPECT_FALSE(QFile::exists(sandbox_.path() + "/gone"));
}

}  // namespace
