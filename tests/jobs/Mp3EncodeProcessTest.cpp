// The lame wrapper against the real lame (and small stand-in scripts where a
// child must misbehave on purpose), results checked with ffprobe.

#include "JobsTestSupport.h"

#include "app/Settings.h"
#include "jobs/ChildProcess.h"
#include "jobs/EncoderItemChecks.h"
#include "jobs/Mp3EncodeProcess.h"
#include "platform/Dialogs.h"
#include "platform/NativePath.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace dw;

namespace {

class Mp3Process : public ::testing::Test {
protected:
    void SetUp() override { AppSettings = TAppSettings{}; }
    void TearDown() override { AppSettings = TAppSettings{}; }

    void prepare(TEncodeProcess& p, const QString& in, const QString& out, TJobKind kind, bool encode = true)
    {
        p.Running = true;
        p.InputFile = in;
        p.OutputFile = out;
        p.JobKind = kind;
        p.EncodeMode = encode;
        p.NotifyWindow = &log;
        mp3.SetOptions(AppSettings);
    }
    QString wav(const QString& name, double seconds, int channels = 2)
    {
        const QString path = box.file(name);
        jobstest::writeWav(path, 44100, channels, seconds);
        return path;
    }
    // Makes lame of the program folder a script (found before the real one).
    void fakeLame(const QByteArray& body) { jobstest::writeScript(box.programDir() + "/lame", body); }
    // Runs one item to its completion and gives it.
    TProcessInfo runItem(const QString& in, const QString& out, TJobKind kind, bool encode = true)
    {
        const size_t before = log.completions().size();
        prepare(mp3, in, out, kind, encode);
        mp3.Start();
        EXPECT_TRUE(log.waitCompletions(before + 1));
        return log.completions().empty() ? TProcessInfo{} : log.completions().back();
    }

    dwtest::Sandbox box;
    ScriptedDialogs dialogs;
    ScopedDialogs scoped{dialogs};
    jobstest::EventLog log;
    TMp3EncodeProcess mp3;
};

bool processGone(pid_t pid)
{
    return dwtest::waitFor([pid] { return ::kill(pid, 0) != 0 && errno == ESRCH; }, std::chrono::seconds(10));
}

}  // namespace

TEST_F(Mp3Process, EncodesAndDecodesWithTheRealLame)
{
    const QString in = wav("in put.wav", 6.0);
    const QString out = box.file("out put.mp3");
    prepare(mp3, in, out, jkWavToMp3);
    mp3.Start();
    EXPECT_TRUE(mp3.ChildActive());
    ASSERT_TRUE(log.waitCompletions(1));
    auto done = log.completions();
    EXPECT_EQ(done[0].Code, JOB_MP3_DONE);
    EXPECT_EQ(done[0].Result, ENC_RESULT_ENDED);
    EXPECT_FALSE(mp3.ChildActive());
    EXPECT_TRUE(mp3.Running);  // stays set after an item
    const auto progress = log.progress();
    ASSERT_FALSE(progress.empty());
    int last = 0;
    for (const auto& p : progress) {
        EXPECT_GE(p.Code, std::max(last, 1));
        EXPECT_LE(p.Code, 100);
        EXPECT_FALSE(p.Elapsed.isEmpty());
        last = p.Code;
    }
    EXPECT_EQ(last, 100);
    auto info = jobstest::probe(out);
    EXPECT_EQ(info.value("codec_name"), "mp3");
    EXPECT_EQ(info.value("sample_rate"), "44100");
    EXPECT_EQ(info.value("channels"), "2");
    EXPECT_EQ(info.value("bit_rate"), "128000");

    // The same object serves the next item, with the settings read anew: mono.
    log.events.clear();
    AppSettings.StereoMode = 4;
    const QString mono = box.file("mono.mp3");
    prepare(mp3, in, mono, jkWavToMp3);
    mp3.Start();
    ASSERT_TRUE(log.waitCompletions(1));
    EXPECT_EQ(log.completions()[0].Result, ENC_RESULT_ENDED);
    EXPECT_EQ(jobstest::probe(mono).value("channels"), "1");

    // Decoding back to WAV.
    log.events.clear();
    const QString back = box.file("back.wav");
    prepare(mp3, out, back, jkMp3ToWav, false);
    mp3.Start();
    ASSERT_TRUE(log.waitCompletions(1));
    EXPECT_EQ(log.completions()[0].Result, ENC_RESULT_ENDED);
    ASSERT_FALSE(log.progress().empty());  // from lame's frame counter
    EXPECT_GE(log.progress().back().Code, 90);
    EXPECT_EQ(mp3.ProgressColumn(), 7);
    info = jobstest::probe(back);
    EXPECT_EQ(info.value("codec_name"), "pcm_s16le");
    EXPECT_EQ(info.value("channels"), "2");
    EXPECT_NEAR(info.value("duration").toDouble(), 6.0, 0.05);
    EXPECT_GT(QFileInfo(back).size(), 44100 * 4 * 5);
}

TEST_F(Mp3Process, OverwriteAnswerAndBusyOutput)
{
    const QString in = wav("in.wav", 1.0);
    const QString out = box.file("exists.mp3");
    box.write("exists.mp3", "old");

    // Not allowed (the default): completion 0, nothing started, file
    // unchanged, and no box: the answer is the front end's, given before.
    prepare(mp3, in, out, jkWavToMp3);
    EXPECT_TRUE(mp3.OutputAwaitsOverwriteAnswer());
    mp3.Start();
    EXPECT_FALSE(mp3.ChildActive());
    ASSERT_TRUE(log.waitCompletions(1));
    EXPECT_EQ(log.completions()[0].Result, ENC_RESULT_SKIPPED);
    EXPECT_EQ(box.read("exists.mp3"), "old");

    // Allowed while the file is open elsewhere: completion 1.
    {
        QFile holder(out);
        ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
        mp3.SetOverwrite(true);
        mp3.Start();
        ASSERT_TRUE(log.waitCompletions(2));
        EXPECT_EQ(log.completions()[1].Result, ENC_RESULT_IN_USE);
        EXPECT_EQ(box.read("exists.mp3"), "old");
    }

    // An item refused anyway (its output is its input) awaits no answer.
    prepare(mp3, out, out, jkWavToMp3);
    EXPECT_FALSE(mp3.OutputAwaitsOverwriteAnswer());

    // CD and recording jobs overwrite whatever the answer.
    mp3.SetOverwrite(false);
    for (TJobKind kind : {jkRipTracks, jkRecordingToMp3}) {
        box.write("exists.mp3", "old");
        const size_t before = log.completions().size();
        prepare(mp3, in, out, kind);
        EXPECT_FALSE(mp3.OutputAwaitsOverwriteAnswer());
        mp3.Start();
        ASSERT_TRUE(log.waitCompletions(before + 1));
        EXPECT_EQ(log.completions().back().Result, ENC_RESULT_ENDED);
        EXPECT_EQ(jobstest::probe(out).value("codec_name"), "mp3");
    }
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(Mp3Process, MissingLameRaisesTheCreateProcessError)
{
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", box.file("nowhere").toUtf8());
    prepare(mp3, wav("in.wav", 0.5), box.file("out.mp3"), jkWavToMp3);
    try {
        mp3.Start();
        ADD_FAILURE() << "no exception";
    } catch (const EProcessError& e) {
        EXPECT_STREQ(e.what(), "Error while creating mp3 encoding process!2");
    }
    qputenv("PATH", oldPath);
    EXPECT_FALSE(mp3.ChildActive());
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.events.empty());
    EXPECT_FALSE(QFileInfo::exists(box.file("out.mp3")));
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
}

TEST_F(Mp3Process, FailedChildIsReportedAsFailedAndLeavesNoOutput)
{
    // lame refuses a six-channel WAV: it exits non-zero.
    const QString six = wav("six.wav", 0.5, 6);
    prepare(mp3, six, box.file("six.mp3"), jkWavToMp3);
    mp3.Start();
    ASSERT_TRUE(log.waitCompletions(1));
    EXPECT_EQ(log.completions()[0].Result, ENC_RESULT_FAILED);
    // The reason names the program and the file.
    EXPECT_TRUE(log.completions()[0].Elapsed.startsWith("lame failed on " + six + " (exit status"))
        << log.completions()[0].Elapsed.toStdString();
    EXPECT_FALSE(QFileInfo::exists(box.file("six.mp3")));

    // A child that dies of a signal nobody sent it, after writing half a file.
    fakeLame("for a; do out=$a; done\necho half > \"$out\"\nkill -9 $$\n");
    prepare(mp3, wav("in.wav", 0.5), box.file("killed.mp3"), jkWavToMp3);
    mp3.Start();
    ASSERT_TRUE(log.waitCompletions(2));
    EXPECT_EQ(log.completions()[1].Result, ENC_RESULT_FAILED);
    EXPECT_TRUE(log.completions()[1].Elapsed.contains("signal 9"));
    EXPECT_FALSE(QFileInfo::exists(box.file("killed.mp3")));
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
}

TEST_F(Mp3Process, FailedRunKeepsTheOldOutputAndASymlinkIsReplacedNotFollowed)
{
    const QString in = wav("in.wav", 1.0);
    // CD jobs overwrite without asking. lame writes half a file and fails:
    // the old output (older than the run or not) stays as it was.
    box.write("old.mp3", "old");
    fakeLame("for a; do out=$a; done\necho half > \"$out\"\nexit 1\n");
    EXPECT_EQ(runItem(in, box.file("old.mp3"), jkRipTracks).Result, ENC_RESULT_FAILED);
    EXPECT_EQ(box.read("old.mp3"), "old");
    ::utime(NativePath(box.file("old.mp3")).constData(), nullptr);  // as new as the run: still kept
    fakeLame("for a; do out=$a; done\necho half > \"$out\"\nkill -9 $$\n");
    EXPECT_EQ(runItem(in, box.file("old.mp3"), jkRipTracks).Result, ENC_RESULT_FAILED);
    EXPECT_EQ(box.read("old.mp3"), "old");
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());

    // With the real lame, an output that is a symbolic link becomes a file
    // of its own; the file the link led to is untouched.
    QFile::remove(box.programDir() + "/lame");
    box.write("target.txt", "target");
    ASSERT_TRUE(QFile::link(box.file("target.txt"), box.file("link.mp3")));
    EXPECT_EQ(runItem(in, box.file("link.mp3"), jkRipTracks).Result, ENC_RESULT_ENDED);
    EXPECT_FALSE(QFileInfo(box.file("link.mp3")).isSymLink());
    EXPECT_EQ(jobstest::probe(box.file("link.mp3")).value("codec_name"), "mp3");
    EXPECT_EQ(box.read("target.txt"), "target");
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
}

TEST_F(Mp3Process, RefusesAnOutputThatIsTheInputInAnySpelling)
{
    // A stand-in that would leave a mark if it were ever started.
    fakeLame("touch \"" + box.file("started").toUtf8() + "\"\n");
    const QString in = wav("in.wav", 0.3);
    const QByteArray original = box.read("in.wav");
    ASSERT_TRUE(QFile::link(in, box.file("soft.wav")));
    ASSERT_EQ(::link(NativePath(in).constData(), NativePath(box.file("hard.wav")).constData()), 0);
    for (const QString& out : {in, box.path() + "/./in.wav", box.path() + "/../" + QFileInfo(box.path()).fileName() +
                                   "/in.wav", box.file("soft.wav"), box.file("hard.wav")}) {
        for (TJobKind kind : {jkWavToMp3, jkRipTracks}) {
            const TProcessInfo done = runItem(in, out, kind);
            EXPECT_EQ(done.Result, ENC_RESULT_FAILED) << out.toStdString();
            EXPECT_EQ(done.Elapsed, out + ": is the input file itself; the input is never overwritten");
        }
    }
    EXPECT_EQ(box.read("in.wav"), original);
    EXPECT_TRUE(QFileInfo(box.file("soft.wav")).isSymLink());
    EXPECT_TRUE(dialogs.shown().empty());  // refused before the overwrite question
    EXPECT_FALSE(QFileInfo::exists(box.file("started")));
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
}

TEST_F(Mp3Process, RefusesUnusableItemsBeforeStartingAnything)
{
    // The command-line tests go through the plain cases; here, that no child
    // ever starts, and the cases a look at the first bytes must not let by.
    fakeLame("touch \"" + box.file("started").toUtf8() + "\"\n");
    const QString in = wav("in.wav", 0.3);
    box.write("decoy.mp3", "ID3 but not really");
    box.write("riff.wav", QByteArray("RIFF\x24\0\0\0AVI LIST", 16));
    QDir().mkpath(box.file("folder.mp3"));
    const QString notMp3 = ": not an MP3 file (no ID3 tag or MPEG audio frame at the start)";
    EXPECT_EQ(runItem(box.file("decoy.mp3"), box.file("a.wav"), jkMp3ToWav, false).Elapsed, box.file("decoy.mp3") + notMp3);
    EXPECT_EQ(runItem(in, box.file("a.wav"), jkMp3ToWav, false).Elapsed, in + notMp3);
    EXPECT_EQ(runItem(box.file("riff.wav"), box.file("a.mp3"), jkWavToMp3).Elapsed,
              box.file("riff.wav") + ": not a WAV file (no RIFF/WAVE header)");
    EXPECT_EQ(runItem(in, box.file("folder.mp3"), jkWavToMp3).Elapsed, box.file("folder.mp3") + ": Is a directory");
    for (const auto& done : log.completions())
        EXPECT_EQ(done.Result, ENC_RESULT_FAILED);
    EXPECT_FALSE(QFileInfo::exists(box.file("a.mp3")));
    EXPECT_FALSE(QFileInfo::exists(box.file("a.wav")));
    EXPECT_FALSE(QFileInfo::exists(box.file("started")));
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());
}

TEST_F(Mp3Process, FileNamesThatAreNotUtf8ReachLameAsTheirBytes)
{
    const QString in = dw::PathFromNative(NativePath(box.path()) + "/in\xff put.wav");
    const QString out = dw::PathFromNative(NativePath(box.path()) + "/out\xfe.mp3");
    const QString back = dw::PathFromNative(NativePath(box.path()) + "/back\xfd.wav");
    {
        // The fixture is written under a plain name and given its odd one by the system.
        jobstest::writeWav(box.file("plain.wav"), 44100, 2, 0.5);
        ASSERT_EQ(::rename(NativePath(box.file("plain.wav")).constData(), NativePath(in).constData()), 0);
    }
    EXPECT_EQ(runItem(in, out, jkWavToMp3).Result, ENC_RESULT_ENDED);
    EXPECT_TRUE(CheckEncoderInput(out, EncoderInputKind::Mp3).isEmpty());
    EXPECT_EQ(runItem(out, back, jkMp3ToWav, false).Result, ENC_RESULT_ENDED);
    EXPECT_TRUE(CheckEncoderInput(back, EncoderInputKind::Wav).isEmpty());
    EXPECT_GT(StatPath(back).size, 44100 * 4 / 4);
}

TEST_F(Mp3Process, OutputIsParsedFromBothPipesAcrossChunks)
{
    // Progress on stderr cut in the middle of a line, more on stdout, a last
    // line without a line break.
    fakeLame("printf '     0/100    ( 0%%)|    0:00/    0:00|\\n    30/100    (3' >&2\n"
             "sleep 0.3\n"
             "printf '0%%)|    0:03/    0:10|\\r' >&2\n"
             "printf 'Frame stats\\n'\n"
             "printf '   100/100   (100%%)|    0:09/    0:09|' >&2\n");
    prepare(mp3, wav("in.wav", 0.2), box.file("o.mp3"), jkWavToMp3);
    mp3.Start();
    ASSERT_TRUE(log.waitCompletions(1));
    EXPECT_EQ(log.completions()[0].Result, ENC_RESULT_ENDED);
    const auto p = log.progress();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].Code, 30);
    EXPECT_EQ(p[0].Elapsed, "0:03");
    EXPECT_EQ(p[0].Estimated, "0:10");
    EXPECT_EQ(p[1].Code, 100);
    EXPECT_EQ(mp3.ProgressColumn(), 15);
}

TEST_F(Mp3Process, KillEndsTheChildWithoutACompletion)
{
    fakeLame("for a; do out=$a; done\necho partial > \"$out\"\nexec sleep 60\n");
    const QString in = wav("in.wav", 0.2);
    prepare(mp3, in, box.file("first.mp3"), jkWavToMp3);
    mp3.Start();
    // The child writes a hidden temporary file beside the output.
    ASSERT_TRUE(dwtest::waitFor([&] {
        const QStringList temp = jobstest::hiddenFiles(box.path());
        return temp.size() == 1 && box.read(temp[0]) == "partial\n";
    }));
    EXPECT_TRUE(jobstest::hiddenFiles(box.path())[0].startsWith(".first.mp3."));
    EXPECT_FALSE(QFileInfo::exists(box.file("first.mp3")));
    // The caller may already have named the next item's output: that file is not touched.
    box.write("next.mp3", "keep");
    mp3.OutputFile = box.file("next.mp3");
    mp3.Kill(0);
    EXPECT_EQ(box.read("next.mp3"), "keep");
    EXPECT_FALSE(mp3.Running);
    EXPECT_FALSE(mp3.ChildActive());
    EXPECT_FALSE(QFileInfo::exists(box.file("first.mp3")));
    EXPECT_TRUE(jobstest::hiddenFiles(box.path()).isEmpty());  // the partial file is gone
    mp3.Kill(0);  // not running: nothing

    // The next item completes, and its completion is the only one.
    fakeLame("exit 0\n");
    prepare(mp3, in, box.file("second.mp3"), jkWavToMp3);
    mp3.Start();
    ASSERT_TRUE(log.waitCompletions(1));
    EXPECT_EQ(log.completions().size(), 1u);
    EXPECT_EQ(log.completions()[0].Result, ENC_RESULT_ENDED);

    // Destroying the wrapper ends a running child too.
    fakeLame("echo $$ > \"" + box.file("pid").toUtf8() + "\"\nexec sleep 60\n");
    pid_t pid = 0;
    {
        TMp3EncodeProcess local;
        prepare(local, in, box.file("third.mp3"), jkWavToMp3);
        local.Start();
        ASSERT_TRUE(dwtest::waitFor([&] { return box.read("pid").trimmed().toInt() > 0; }));
        pid = box.read("pid").trimmed().toInt();
    }
    EXPECT_TRUE(processGone(pid));
    EXPECT_EQ(log.completions().size(), 1u);
}

TEST_F(Mp3Process, AChildIgnoringSigtermIsKilledByItsThreadAndLeavesNothing)
{
    // The stand-in ignores SIGTERM and keeps writing its output anew, as a
    // child would that opens its output late.
    fakeLame("trap '' TERM\nfor a; do out=$a; done\necho $$ > \"" + box.file("pid").toUtf8() +
             "\"\nwhile :; do echo partial > \"$out\"; sleep 0.05; done\n");
    const QString in = wav("in.wav", 0.2);
    prepare(mp3, in, box.file("stubborn.mp3"), jkWavToMp3);
    mp3.Start();
    ASSERT_TRUE(dwtest::waitFor([&] {
        return box.read("pid").trimmed().toInt() > 0 && jobstest::hiddenFiles(box.path()).size() == 1;
    }));
    const pid_t pid = box.read("pid").trimmed().toInt();

    mp3.Kill(0);
    // Kill did not wait out the grace time: the child, deaf to SIGTERM, is
    // still there when it returns.
    EXPECT_EQ(::kill(pid, 0), 0);
    EXPECT_FALSE(mp3.ChildActive());
    // SIGKILL follows from the item's thread, which then removes what the
    // child wrote after the wrapper had removed it.
    EXPECT_TRUE(processGone(pid));
    EXPECT_TRUE(dwtest::waitFor([&] { return jobstest::hiddenFiles(box.path()).isEmpty(); }));
    EXPECT_FALSE(QFileInfo::exists(box.file("stubborn.mp3")));
    EXPECT_TRUE(log.completions().empty());
}
