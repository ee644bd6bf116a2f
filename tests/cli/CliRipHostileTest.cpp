// discwright-cli rip against what users and their discs do to it: titles that
// collide or are not file names, existing files, two rips at once, Ctrl-C and
// SIGTERM mid-track, a full disk, odd discs and names that are not UTF-8.
// Every case checks the files left in the output folder, hidden ones included.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>

#include "platform/NativePath.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

using dw::NativePath;
using dwtest::runCli;

namespace {

constexpr int kSector = 2352;

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The summary object: the last line of --json output (one object per line).
QJsonObject summaryOf(const QString& out)
{
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(lines.last().toUtf8()).object();
}

uint32_t le32(const QByteArray& b, int at)
{
    return uint8_t(b[at]) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16
           | uint32_t(uint8_t(b[at + 3])) << 24;
}

// Every name in a folder, hidden temporary files included, sorted.
QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// A rip started in the background, for the cases that need a running
// process (signals, two rips at once); runCli covers everything else.
struct Background {
    explicit Background(const QStringList& args)
    {
        process.start(dwtest::binDir() + "/discwright-cli", args);
        process.waitForStarted(10000);
    }
    dwtest::CliResult finish()
    {
        dwtest::CliResult r;
        if (!process.waitForFinished(120000))
            return r;
        if (process.exitStatus() == QProcess::NormalExit)
            r.status = process.exitCode();
        r.out = QString::fromUtf8(process.readAllStandardOutput());
        r.err = QString::fromUtf8(process.readAllStandardError());
        return r;
    }
    QProcess process;
};

class CliRipHostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Tracks of 2 s, 3 s and 1 s: starts at sectors 0, 150, 375; 450 in all.
        cue = dwtest::makeCdImageFrom(box.path(), {"0:02", "0:03", "0:01"});
        bin = readFile(dwtest::binPathOf(cue));
        ASSERT_EQ(bin.size(), 450 * kSector);
        out = box.file("out");
        // These cases are about the rip itself: WAV output, from options.ini.
        ASSERT_EQ(runCli({"config", "CommonOptions.OutputFormat=1"}).status, 0);
    }
    QByteArray track(int t) const
    {
        static const int starts[] = {0, 150, 375, 450};
        return bin.mid(starts[t - 1] * kSector, (starts[t] - starts[t - 1]) * kSector);
    }
    // The audio of a WAV file whose header sizes match its body; "<bad>" otherwise.
    QByteArray audio(const QString& path) const
    {
        const QByteArray wav = readFile(path);
        if (wav.size() < 44 || le32(wav, 40) != uint32_t(wav.size() - 44) || le32(wav, 4) != uint32_t(wav.size() - 8))
            return "<bad>";
        return wav.mid(44);
    }
    void title(int n, const QString& text) { ASSERT_EQ(runCli({"title", "--device", cue, QString::number(n), text}).status, 0); }

    dwtest::Sandbox box;
    QString cue, out;
    QByteArray bin;
};

TEST_F(CliRipHostile, TitlesThatCollideOrAreNoFileNamesGiveOneFileEach)
{
    title(1, "Sa/me");
    title(2, "Same");
    title(3, "Track01");
    for (const QString mode : {"drive", "ripper"}) {
        QDir(out).removeRecursively();
        const auto r = runCli({"rip", "--device", cue, "--output", out, "--mode", mode});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, out + "/Same.wav\n" + out + "/Same (2).wav\n" + out + "/Track01.wav\n");
        EXPECT_EQ(filesIn(out), (QStringList{"Same (2).wav", "Same.wav", "Track01.wav"})) << mode.toStdString();
        EXPECT_TRUE(audio(out + "/Same.wav") == track(1)) << mode.toStdString();
        EXPECT_TRUE(audio(out + "/Same (2).wav") == track(2)) << mode.toStdString();
        EXPECT_TRUE(audio(out + "/Track01.wav") == track(3)) << mode.toStdString();
    }

    // Dots, slashes, control characters and a name longer than the system allows.
    title(1, "../..");
    title(2, QString(".hidden\x01\x7f"));
    title(3, QString(300, QChar(0x00E9)));
    QDir(out).removeRecursively();
    const auto r = runCli({"rip", "--device", cue, "--output", out});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString longName = QString(125, QChar(0x00E9)) + ".wav";
    EXPECT_EQ(filesIn(out), (QStringList{"Track01.wav", "hidden.wav", longName}));
    EXPECT_TRUE(audio(out + "/Track01.wav") == track(1));
    EXPECT_TRUE(audio(out + "/" + longName) == track(3));
    EXPECT_TRUE(QDir(box.path()).entryList(QDir::Files).contains("disc.cue"));  // nothing written above out
}

TEST_F(CliRipHostile, ExistingFilesAreKeptUnlessOverwriteIsGiven)
{
    QDir().mkpath(out);
    box.write("out/Track02.wav", "an older rip");
    for (const QString mode : {"drive", "ripper"}) {
        const auto r = runCli({"rip", "--device", cue, "--output", out, "--mode", mode});
        EXPECT_EQ(r.status, 1) << mode.toStdString();
        EXPECT_EQ(r.err, "discwright-cli: " + out + "/Track02.wav: File exists\n") << mode.toStdString();
        EXPECT_EQ(box.read("out/Track02.wav"), "an older rip");
        EXPECT_TRUE(audio(out + "/Track01.wav") == track(1));
        EXPECT_EQ(filesIn(out), (QStringList{"Track01.wav", "Track02.wav", "Track03.wav"}));
        QFile::remove(out + "/Track01.wav");
        QFile::remove(out + "/Track03.wav");
    }
    const auto r = runCli({"rip", "--device", cue, "--output", out, "--tracks", "2", "--overwrite", "--mode", "ripper"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(audio(out + "/Track02.wav") == track(2));
    EXPECT_EQ(filesIn(out), QStringList{"Track02.wav"});
}

TEST_F(CliRipHostile, TwoRipsIntoOneFolderNeverSpliceTwoDiscs)
{
    // Two discs of the same layout but different audio (one silent).
    const QString other = dwtest::makeCdImageFrom(box.path(), {"0:02", "0:03", "0:01"}, dwtest::CdImageOptions().named("other").silent());
    const QByteArray silence(150 * kSector, '\0');
    for (int round = 0; round < 3; ++round) {
        QDir(out).removeRecursively();
        Background a({"rip", "--device", cue, "--output", out, "--tracks", "1", "--overwrite", "--mode", "drive"});
        Background b({"rip", "--device", other, "--output", out, "--tracks", "1", "--overwrite", "--mode", "ripper"});
        const auto ra = a.finish(), rb = b.finish();
        EXPECT_EQ(ra.status, 0) << ra.err.toStdString();
        EXPECT_EQ(rb.status, 0) << rb.err.toStdString();
        const QByteArray got = audio(out + "/Track01.wav");
        EXPECT_TRUE(got == track(1) || got == silence) << "round " << round << ": a spliced or cut file";
        EXPECT_EQ(filesIn(out), QStringList{"Track01.wav"});
    }
    // Without --overwrite exactly one of them writes the file; the other
    // reports it as existing.
    QDir(out).removeRecursively();
    Background a({"rip", "--device", cue, "--output", out, "--tracks", "1", "--mode", "drive"});
    Background b({"rip", "--device", other, "--output", out, "--tracks", "1", "--mode", "ripper"});
    const auto ra = a.finish(), rb = b.finish();
    EXPECT_EQ((ra.status == 0) + (rb.status == 0), 1) << ra.err.toStdString() << rb.err.toStdString();
    const QByteArray got = audio(out + "/Track01.wav");
    EXPECT_TRUE(got == (ra.status == 0 ? track(1) : silence));
    EXPECT_EQ((ra.status == 0 ? rb : ra).err, "discwright-cli: " + out + "/Track01.wav: File exists\n");
    EXPECT_EQ(filesIn(out), QStringList{"Track01.wav"});
}

TEST_F(CliRipHostile, InterruptAndTerminateStopTheRipAndLeaveNoPartialFile)
{
    // A long second track, so the signal lands while it is being ripped.
    const QString longDisc = dwtest::makeCdImageFrom(box.path(), {"0:01", "6:00"}, dwtest::CdImageOptions().named("long").silent());
    for (const QString mode : {"drive", "ripper"}) {
        for (int sig : {SIGINT, SIGTERM}) {
            QDir(out).removeRecursively();
            Background rip({"rip", "--device", longDisc, "--output", out, "--mode", mode, "--normalize", "50"});
            // Track 1 is done and track 2 under way once its temporary file shows.
            ASSERT_TRUE(dwtest::waitFor([&] {
                return filesIn(out).contains("Track01.wav")
                       && !filesIn(out).filter(QRegularExpression("^\\.Track02")).isEmpty();
            }, std::chrono::seconds(60))) << filesIn(out).join(' ').toStdString();
            ::kill(pid_t(rip.process.processId()), sig);
            const auto r = rip.finish();
            const QString what = mode + (sig == SIGINT ? " SIGINT" : " SIGTERM");
            EXPECT_EQ(r.status, 130) << what.toStdString() << r.err.toStdString();
            EXPECT_EQ(r.err, QString("discwright-cli: stopped by %1; 1 of 2 tracks ripped, no partial file left\n")
                                 .arg(sig == SIGINT ? "SIGINT" : "SIGTERM"))
                << what.toStdString();
            EXPECT_EQ(r.out, out + "/Track01.wav\n") << what.toStdString();
            EXPECT_EQ(filesIn(out), QStringList{"Track01.wav"}) << what.toStdString();
            EXPECT_EQ(audio(out + "/Track01.wav").size(), 75 * kSector) << what.toStdString();
        }
    }
}

TEST_F(CliRipHostile, AFullDiskNamesTheFileAndTheReasonAndLeavesNothing)
{
    QDir().mkpath(out);
    for (const QString mode : {"drive", "ripper"}) {
        dwtest::CliRunOptions limit;
        limit.fileSizeLimit = 400000;  // track 1 (352 844 bytes) fits, track 2 does not
        const auto r = dwtest::runCliRaw({"rip", "--device", NativePath(cue), "--output", NativePath(out), "--tracks",
                                          "1-2", "--mode", mode.toUtf8()},
                                         limit);
        EXPECT_EQ(r.status, 1) << mode.toStdString();
        EXPECT_EQ(r.err, "discwright-cli: " + out + "/Track02.wav: File too large\n") << mode.toStdString();
        EXPECT_EQ(filesIn(out), QStringList{"Track01.wav"}) << mode.toStdString();
        EXPECT_TRUE(audio(out + "/Track01.wav") == track(1));
        QFile::remove(out + "/Track01.wav");
    }
}

TEST_F(CliRipHostile, OddDiscsRipTheirAudioTracksAndRefuseDataTracks)
{
    // Enhanced CD: audio 1-2, data 3. Mixed mode: data 1, audio 2.
    const QString enhanced = dwtest::makeCdImageFrom(box.path(), {"0:02", "0:01"}, dwtest::CdImageOptions().named("enh").withDataTrack("0:02"));
    const QString mixed = dwtest::makeCdImageFrom(box.path(), {"0:01"}, dwtest::CdImageOptions().named("mix").withDataTrack("0:02", true));
    const QByteArray enhBin = readFile(dwtest::binPathOf(enhanced));
    const QByteArray mixBin = readFile(dwtest::binPathOf(mixed));
    for (const QString mode : {"drive", "ripper"}) {
        QDir(out).removeRecursively();
        auto r = runCli({"rip", "--device", enhanced, "--output", out, "--mode", mode});
        ASSERT_EQ(r.status, 0) << mode.toStdString() << r.err.toStdString();
        EXPECT_EQ(filesIn(out), (QStringList{"Track01.wav", "Track02.wav"}));
        EXPECT_TRUE(audio(out + "/Track02.wav") == enhBin.mid(150 * kSector, 75 * kSector));

        QDir(out).removeRecursively();
        r = runCli({"rip", "--device", mixed, "--output", out, "--mode", mode});
        ASSERT_EQ(r.status, 0) << mode.toStdString() << r.err.toStdString();
        EXPECT_EQ(filesIn(out), QStringList{"Track02.wav"});
        EXPECT_TRUE(audio(out + "/Track02.wav") == mixBin.mid(150 * kSector, 75 * kSector));

        // Asking for the data track by number: refused, and no file.
        r = runCli({"rip", "--device", mixed, "--output", out, "--tracks", "1", "--mode", mode});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, mode == "drive"
                             ? "discwright-cli: Error while reading CD information! (track 1 is a data track)\n"
                             : "discwright-cli: Error while reading CD information! (Trying to rip a data track)\n");
        EXPECT_EQ(filesIn(out), QStringList{"Track02.wav"});
    }

    // A disc numbered from 3 rips the numbers the list shows.
    const QString late = dwtest::makeCdImageFrom(box.path(), {"0:01", "0:02"}, dwtest::CdImageOptions().named("late").numberedFrom(3));
    const QByteArray lateBin = readFile(dwtest::binPathOf(late));
    ASSERT_EQ(runCli({"title", "--device", late, "4", "Four"}).status, 0);
    for (const QString mode : {"drive", "ripper"}) {
        QDir(out).removeRecursively();
        auto r = runCli({"rip", "--device", late, "--output", out, "--tracks", "4", "--mode", mode, "--json"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QJsonArray tracks = summaryOf(r.out)["tracks"].toArray();
        ASSERT_EQ(tracks.size(), 1);
        EXPECT_EQ(tracks[0].toObject()["track"].toInt(), 4);
        EXPECT_EQ(filesIn(out), QStringList{"Four.wav"});
        EXPECT_TRUE(audio(out + "/Four.wav") == lateBin.mid(75 * kSector, 150 * kSector)) << mode.toStdString();
        r = runCli({"rip", "--device", late, "--output", out, "--tracks", "2", "--mode", mode});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "discwright-cli: track 2 is not on the disc (it has tracks 3 to 4)\n");
    }
}

TEST_F(CliRipHostile, AnOutputFolderWhoseNameIsNotUtf8IsWrittenAsNamed)
{
    // The folder's name holds a Latin-1 byte; the title is plain UTF-8.
    const QByteArray folder = NativePath(box.path()) + "/m\xfasica";
    const auto t = dwtest::runCliRaw({"title", "--device", NativePath(cue), "2", "caf\xc3\xa9"});
    ASSERT_EQ(t.status, 0) << t.err.toStdString();
    for (const QByteArray mode : {"drive", "ripper"}) {
        const auto r = dwtest::runCliRaw({"rip", "--device", NativePath(cue), "--output", folder, "--tracks", "2",
                                          "--mode", mode});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QString file = dw::PathFromNative(folder + "/caf\xc3\xa9.wav");
        // Written where named, not under a folder whose name lost the byte.
        EXPECT_FALSE(QDir(box.path() + "/m" + QChar(0xFFFD) + "sica").exists());
        EXPECT_TRUE(dw::IsRegularFile(file)) << mode.toStdString();
        QFile f;
        ASSERT_TRUE(f.open(::fopen(dw::NativePath(file).constData(), "rb"), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        const QByteArray wav = f.readAll();
        EXPECT_TRUE(wav.mid(44) == track(2)) << mode.toStdString();
        dw::RemoveFile(file);
    }
}

}  // namespace
