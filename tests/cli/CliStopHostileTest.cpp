// discwright-cli convert and rip stopped by Ctrl-C or SIGTERM at chosen
// moments (right at the start, on the first progress report, once the
// output's temporary file exists) in every output format and both rip
// modes, each over an existing output that --overwrite would replace: the
// old file must stay byte for byte, nothing new may appear under the final
// name and no temporary file or buffer may be left. The one-file commands
// (encode, decode, convert-wav) stopped the same way. Then what a conversion
// or a rip must refuse or survive: outputs that are inputs, titles that fill
// the name limit, an output folder that does not exist yet.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>

#include <unistd.h>

#include "support/CdImages.h"
#include "support/TestSupport.h"

using dwtest::runCli;

namespace {

constexpr int kSector = 2352;
const QByteArray kOld = "an older file the user keeps";

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every name in a folder, hidden temporary files included, sorted.
QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
}

enum class Moment { Start, FirstProgress, TempFile, TempData };

const char* nameOf(Moment m)
{
    switch (m) {
    case Moment::Start: return "at the start";
    case Moment::FirstProgress: return "on the first progress";
    case Moment::TempFile: return "once the temp file exists";
    case Moment::TempData: return "once the temp file holds data";
    }
    return "";
}

// What a temporary file must hold for Moment::TempData.
constexpr qint64 kTempData = 64 << 10;

// Runs discwright-cli (with --json unless json is false) and sends `sig` at
// the moment: the first "stage" line (the job has begun, the signal handlers
// are in place), the first "progress" line, once a hidden temporary file of
// `finalName` shows in `folder`, or once it holds kTempData bytes. The
// result, or status -1 when the moment never came.
dwtest::CliResult stopAt(const QStringList& args, Moment moment, int sig, const QString& folder,
                         const QString& finalName, bool json = true)
{
    QProcess p;
    p.start(dwtest::binDir() + "/discwright-cli", json ? args + QStringList{"--json"} : args);
    dwtest::CliResult r;
    if (!p.waitForStarted(10000))
        return r;
    const QRegularExpression temp("^\\.+" + QRegularExpression::escape(finalName) + "\\.");
    const bool reached = dwtest::waitFor(
        [&] {
            if (p.state() == QProcess::NotRunning)
                return true;
            if (moment == Moment::TempFile)
                return !filesIn(folder).filter(temp).isEmpty();
            if (moment == Moment::TempData) {
                for (const QString& name : filesIn(folder).filter(temp))
                    if (QFileInfo(folder + "/" + name).size() >= kTempData)
                        return true;
                return false;
            }
            p.waitForReadyRead(5);
            const QByteArray seen = p.peek(1 << 20);
            return seen.contains(moment == Moment::Start ? "\"event\":\"stage\"" : "\"event\":\"progress\"");
        },
        std::chrono::seconds(90));
    const bool ranOut = p.state() == QProcess::NotRunning;
    if (reached && !ranOut)
        ::kill(pid_t(p.processId()), sig);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished(10000);
        return r;
    }
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    if (ranOut) {
        r.err = "the job ended before the moment came: " + r.err;
        return r;
    }
    if (p.exitStatus() == QProcess::NormalExit)
        r.status = p.exitCode();
    return r;
}

bool makeWav(const QString& path, int rate, int seconds)
{
    return dwtest::runTool("sox", {"-n", "-r", QString::number(rate), "-c", "2", "-b", "16", path, "synth",
                                   QString::number(seconds), "pinknoise", "vol", "0.5"})
        .ok;
}

class CliStopHostile : public ::testing::Test {
protected:
    dwtest::Sandbox box;
};

TEST_F(CliStopHostile, AStoppedConversionLeavesTheOldOutputAndNothingElseInEveryFormat)
{
    // Ten minutes of noise keep every encoder busy long past the signal.
    const QString in = box.file("in");
    QDir().mkpath(in);
    const QString wav = in + "/long.wav", low = in + "/low.wav", mp3 = in + "/long.mp3";
    ASSERT_TRUE(makeWav(wav, 44100, 600));
    ASSERT_TRUE(makeWav(low, 22050, 600));
    ASSERT_TRUE(dwtest::runTool("lame", {"--quiet", "-f", "-b", "128", wav, mp3}, 300000).ok);
    const QByteArray mp3Bytes = readFile(mp3);

    struct Case {
        const char* format;
        QString input;
        QString output;  // its name in the output folder
    };
    const std::vector<Case> cases = {
        {"wav", mp3, "long.wav"},   {"mp3", wav, "long.mp3"},  {"ogg", wav, "long.ogg"},
        {"flac", wav, "long.flac"}, {"opus", wav, "long.opus"},
        // Below 44100 Hz: resampled into a buffer first.
        {"mp3", low, "low.mp3"},    {"ogg", low, "low.ogg"},
    };
    const QString out = box.file("out");
    int turn = 0;
    for (const Case& c : cases) {
        for (const Moment moment : {Moment::Start, Moment::FirstProgress, Moment::TempFile}) {
            const int sig = turn++ % 2 ? SIGTERM : SIGINT;
            const std::string what = std::string(c.format) + " from " + c.input.toStdString() + " " + nameOf(moment);
            QDir(out).removeRecursively();
            QDir().mkpath(out);
            box.write("out/" + c.output, kOld);
            const auto r = stopAt({"convert", c.format, c.input, "--output", out, "--overwrite", "--jobs", "1"}, moment,
                                  sig, out, c.output);
            EXPECT_EQ(r.status, 130) << what << ": " << r.err.toStdString();
            EXPECT_TRUE(r.err.endsWith(QString("stopped by %1\n").arg(sig == SIGINT ? "SIGINT" : "SIGTERM")))
                << what << ": " << r.err.toStdString();
            EXPECT_TRUE(readFile(out + "/" + c.output) == kOld) << what;
            EXPECT_EQ(filesIn(out), QStringList{c.output}) << what;
        }
    }
    // The inputs are never touched.
    EXPECT_TRUE(readFile(mp3) == mp3Bytes);
    EXPECT_EQ(filesIn(in), (QStringList{"long.mp3", "long.wav", "low.wav"}));
}

TEST_F(CliStopHostile, AStoppedRipLeavesTheOldOutputAndAtMostTheWholeRippedTrackInBothModes)
{
    // Ten minutes: reading the image is quick, encoding it takes a while.
    const QString cue = dwtest::makeCdImageFrom(box.path(), {"10:00"});
    const qint64 trackBytes = 10 * 60 * 75 * qint64(kSector);
    const QString out = box.file("out");
    int turn = 0;
    for (const QString mode : {"drive", "ripper"}) {
        for (const QString format : {"wav", "mp3", "ogg", "flac", "opus"}) {
            for (const Moment moment : {Moment::Start, Moment::TempFile}) {
                const int sig = turn++ % 2 ? SIGTERM : SIGINT;
                const std::string what = (mode + " " + format + " ").toStdString() + nameOf(moment);
                const QString output = "Track01." + format;
                QDir(out).removeRecursively();
                QDir().mkpath(out);
                box.write("out/" + output, kOld);
                QStringList args{"rip", "--device", cue, "--output", out, "--mode", mode, "--format", format, "--overwrite"};
                // A WAV rip has no encoding to stop in: normalising keeps
                // its temporary file there long enough.
                if (format == "wav")
                    args << "--normalize" << "50";
                const auto r = stopAt(args, moment, sig, out, output);
                EXPECT_EQ(r.status, 130) << what << ": " << r.err.toStdString();
                EXPECT_TRUE(r.err.startsWith(QString("discwright-cli: stopped by %1;").arg(sig == SIGINT ? "SIGINT" : "SIGTERM")))
                    << what << ": " << r.err.toStdString();
                EXPECT_TRUE(readFile(out + "/" + output) == kOld) << what;
                // The ripped track may stay beside it, whole, when it was
                // ripped before the stop and is not the output itself.
                QStringList left = filesIn(out);
                left.removeAll(output);
                if (format != "wav" && left == QStringList{"Track01.wav"})
                    EXPECT_EQ(QFileInfo(out + "/Track01.wav").size(), 44 + trackBytes) << what;
                else
                    EXPECT_EQ(left, QStringList()) << what;
            }
        }
    }
}

// Processes other than this test whose command line mentions text (an
// encoder child writing into a folder).
QStringList processesMentioning(const QString& text)
{
    QStringList found;
    const QByteArray needle = text.toUtf8();
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pid.toLongLong() <= 0 || pid.toLongLong() == ::getpid())
            continue;
        QByteArray cmdline = readFile("/proc/" + pid + "/cmdline");
        cmdline.replace('\0', ' ');
        if (cmdline.contains(needle))
            found << pid + ": " + QString::fromUtf8(cmdline);
    }
    return found;
}

// Seconds of audio in a file that ffmpeg decodes to its end without an
// error; -1 when it does not.
double cleanSeconds(const QString& path)
{
    const auto decoded = dwtest::runTool("ffmpeg", {"-v", "error", "-i", path, "-f", "null", "-"}, 120000);
    if (!decoded.ok || !decoded.err.trimmed().isEmpty())
        return -1;
    const auto probed = dwtest::runTool(
        "ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "default=nw=1:nk=1", path});
    bool ok = false;
    const double seconds = probed.out.trimmed().toDouble(&ok);
    return probed.ok && ok ? seconds : -1;
}

// The one-file commands, each stopped by a signal once its output's
// temporary file holds some data: the encoder programs (lame) leave the old output
// and nothing else, and their child is gone; the in-process conversions put
// what they converted in place as a whole file that decodes cleanly and is
// shorter than the input (the stop came long before the end).
TEST_F(CliStopHostile, AStoppedOneFileCommandLeavesTheOldOutputOrAWholeShorterFile)
{
    const QString in = box.file("in");
    QDir().mkpath(in);
    const QString wav = in + "/long.wav", mp3 = in + "/long.mp3", ogg = in + "/long.ogg";
    const int seconds = 300;
    ASSERT_TRUE(makeWav(wav, 44100, seconds));
    ASSERT_TRUE(dwtest::runTool("lame", {"--quiet", "-f", "-b", "128", wav, mp3}, 300000).ok);
    ASSERT_TRUE(dwtest::runTool("oggenc", {"-Q", "-q", "0", "-o", ogg, wav}, 300000).ok);

    struct Case {
        QStringList args;  // without the output
        QString output;    // its name in the output folder
        bool encoderProgram;
    };
    const std::vector<Case> cases = {
        {{"encode", "mp3", wav}, "a.mp3", true},
        {{"encode", "wav", mp3}, "b.wav", true},
        {{"encode", "ogg", wav}, "c.ogg", false},
        {{"decode", "ogg", ogg}, "d.wav", false},
        {{"convert-wav", wav, "--rate", "22050"}, "e.wav", false},
    };
    const QString out = box.file("out");
    int turn = 0;
    for (const Case& c : cases) {
        const int sig = turn++ % 2 ? SIGTERM : SIGINT;
        const QString output = out + "/" + c.output;
        const std::string what = c.args.join(' ').toStdString() + (sig == SIGINT ? " SIGINT" : " SIGTERM");
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        box.write("out/" + c.output, kOld);
        QStringList args = c.args;
        args.insert(c.args.front() == "convert-wav" ? 2 : 3, output);
        const auto r = stopAt(args << "--overwrite" << "--quiet", Moment::TempData, sig, out, c.output, false);
        EXPECT_EQ(r.status, 130) << what << ": " << r.err.toStdString();
        EXPECT_TRUE(dwtest::waitFor([&] { return processesMentioning(out).isEmpty(); }, std::chrono::seconds(30)))
            << what << ": " << processesMentioning(out).join('\n').toStdString();
        EXPECT_EQ(filesIn(out), QStringList{c.output}) << what;
        if (c.encoderProgram) {
            EXPECT_EQ(r.err, "discwright-cli: stopped; nothing was written to " + output + "\n") << what;
            EXPECT_TRUE(readFile(output) == kOld) << what;
        } else {
            EXPECT_EQ(r.err, "discwright-cli: stopped; " + output + " holds what was converted so far\n") << what;
            const double kept = cleanSeconds(output);
            EXPECT_GT(kept, 0) << what;
            EXPECT_LT(kept, seconds - 1) << what;
        }
    }
    EXPECT_EQ(filesIn(in), (QStringList{"long.mp3", "long.ogg", "long.wav"}));
}

// ---------------------------------------------------------------- refusals

class CliOutputsHostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = box.file("d");
        QDir().mkpath(dir);
        ASSERT_TRUE(makeWav(dir + "/x.wav", 44100, 2));
    }
    dwtest::Sandbox box;
    QString dir;
};

TEST_F(CliOutputsHostile, AnOutputThatIsAnInputOfTheRunIsRefusedUnderAnyName)
{
    // A real FLAC of the user's, beside the WAV whose output would replace it.
    ASSERT_EQ(runCli({"convert", "flac", dir + "/x.wav", "--output", dir}).status, 0);
    const QByteArray flac = readFile(dir + "/x.flac");
    ASSERT_FALSE(flac.isEmpty());
    for (const QString jobs : {"1", "2"}) {
        const auto r = runCli({"convert", "flac", dir + "/x.wav", dir + "/x.flac", "--output", dir, "--overwrite",
                               "--jobs", jobs});
        EXPECT_EQ(r.status, 1) << jobs.toStdString();
        EXPECT_TRUE(r.err.contains(dir + "/x.flac: is also an input of this job (" + dir + "/x.flac)"))
            << r.err.toStdString();
        // The second item would replace itself (and write the first one's output).
        EXPECT_TRUE(r.err.contains(dir + "/x.flac: is the input file itself")) << r.err.toStdString();
        EXPECT_TRUE(readFile(dir + "/x.flac") == flac);
    }
    // Through a symbolic link in another folder, and for the encoder
    // processes too: the target stays as it was.
    const QString other = box.file("other");
    QDir().mkpath(other);
    box.write("other/x.mp3", kOld);
    ASSERT_TRUE(QFile::link(other + "/x.mp3", dir + "/x.mp3"));
    const auto r = runCli({"convert", "mp3", dir + "/x.wav", other + "/x.mp3", "--output", dir, "--overwrite"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(dir + "/x.mp3: is also an input of this job (" + other + "/x.mp3)")) << r.err.toStdString();
    EXPECT_TRUE(readFile(other + "/x.mp3") == kOld);
    EXPECT_EQ(QFileInfo(dir + "/x.mp3").symLinkTarget(), other + "/x.mp3");
    EXPECT_EQ(filesIn(dir), (QStringList{"x.flac", "x.mp3", "x.wav"}));
}

TEST_F(CliOutputsHostile, AMissingOutputFolderIsMadeOneLevelDeep)
{
    const auto made = runCli({"convert", "flac", dir + "/x.wav", "--output", box.file("new")});
    EXPECT_EQ(made.status, 0) << made.err.toStdString();
    EXPECT_EQ(filesIn(box.file("new")), QStringList{"x.flac"});
    EXPECT_TRUE(dwtest::runTool("flac", {"-t", "-s", box.file("new/x.flac")}).ok);

    const auto deeper = runCli({"convert", "flac", dir + "/x.wav", "--output", box.file("a/b")});
    EXPECT_EQ(deeper.status, 1);
    EXPECT_EQ(deeper.err, "discwright-cli: Cannot create " + box.file("a/b") + ": No such file or directory\n");
    EXPECT_FALSE(QFileInfo::exists(box.file("a")));
}

TEST_F(CliOutputsHostile, TitlesThatFillTheNameLimitRipToFlacAndOpusInBothModes)
{
    const QString cue = dwtest::makeCdImageFrom(box.path(), {"0:02", "0:01", "0:01"});
    // 251 and 300 bytes: too long for a name with a five-byte extension.
    ASSERT_EQ(runCli({"title", "--device", cue, "1", QString(251, 'a')}).status, 0);
    ASSERT_EQ(runCli({"title", "--device", cue, "2", QString(150, QChar(0x00E9))}).status, 0);
    const QString out = box.file("out");
    for (const QString mode : {"drive", "ripper"}) {
        for (const QString format : {"flac", "opus"}) {
            const std::string what = (mode + " " + format).toStdString();
            QDir(out).removeRecursively();
            const auto r = runCli({"rip", "--device", cue, "--output", out, "--mode", mode, "--format", format});
            ASSERT_EQ(r.status, 0) << what << ": " << r.err.toStdString();
            const QString first = QString(250, 'a') + "." + format;
            const QString second = QString(125, QChar(0x00E9)) + "." + format;  // 250 bytes as UTF-8
            QStringList expected{"Track03." + format, first, second};
            QStringList got = filesIn(out);
            expected.sort();
            got.sort();
            EXPECT_EQ(got, expected) << what;
            const bool decodes = format == "flac"
                                     ? dwtest::runTool("flac", {"-t", "-s", out + "/" + first}).ok
                                     : dwtest::runTool("opusdec", {"--quiet", out + "/" + first, box.file("o.wav")}).ok;
            EXPECT_TRUE(decodes) << what;
        }
    }
}

TEST_F(CliOutputsHostile, AnEncodedFileThatCannotBePutInPlaceFailsItsTrackWithTheReason)
{
    const QString cue = dwtest::makeCdImageFrom(box.path(), {"0:02", "0:01"});
    const QString out = box.file("out");
    for (const QString mode : {"drive", "ripper"}) {
        QDir(out).removeRecursively();
        QDir().mkpath(out + "/Track01.flac");  // a folder where the file would go
        const auto r = runCli({"rip", "--device", cue, "--output", out, "--mode", mode, "--format", "flac", "--overwrite"});
        EXPECT_EQ(r.status, 1) << mode.toStdString();
        EXPECT_EQ(r.err, "discwright-cli: " + out + "/Track01.flac: Is a directory\n") << mode.toStdString();
        EXPECT_TRUE(dwtest::runTool("flac", {"-t", "-s", out + "/Track02.flac"}).ok) << mode.toStdString();
        EXPECT_TRUE(QFileInfo(out + "/Track01.flac").isDir());
    }
}

}  // namespace
