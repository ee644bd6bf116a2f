// discwright-cli rip as a black box: CD images made by the image tool are
// ripped in both modes and compared byte for byte with the image's audio.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "support/CdImages.h"
#include "support/TestSupport.h"

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

class CliRip : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Tracks of 3 s, 2 s 10 frames and 4 s: starts at sectors 0, 225, 385; 685 in all.
        cue = dwtest::makeCdImageFrom(box.path(), {"0:03", "0:02:10", "0:04"});
        bin = readFile(dwtest::binPathOf(cue));
        ASSERT_EQ(bin.size(), 685 * kSector);
        out = box.file("out");
        // These cases are about the rip itself: WAV output, from options.ini.
        ASSERT_EQ(runCli({"config", "CommonOptions.OutputFormat=1"}).status, 0);
    }
    QByteArray track(int t) const
    {
        static const int starts[] = {0, 225, 385, 685};
        return bin.mid(starts[t - 1] * kSector, (starts[t] - starts[t - 1]) * kSector);
    }
    // The audio of a ripped WAV file after checking its header's data size.
    QByteArray audio(const QString& name) const
    {
        const QByteArray wav = readFile(out + "/" + name);
        if (wav.size() < 44)
            return "<no file>";
        EXPECT_EQ(le32(wav, 40), uint32_t(wav.size() - 44)) << name.toStdString();
        return wav.mid(44);
    }

    dwtest::Sandbox box;
    QString cue, out;
    QByteArray bin;
};

TEST_F(CliRip, BothModesRipEveryTrackBitIdentical)
{
    for (const QString mode : {"drive", "ripper", ""}) {
        QDir(out).removeRecursively();
        QStringList args{"rip", "--device", cue, "--output", out};
        if (!mode.isEmpty())
            args << "--mode" << mode;
        const auto r = runCli(args);
        ASSERT_EQ(r.status, 0) << mode.toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(r.out, out + "/Track01.wav\n" + out + "/Track02.wav\n" + out + "/Track03.wav\n");
        for (int t = 1; t <= 3; ++t)
            EXPECT_TRUE(audio(QString("Track0%1.wav").arg(t)) == track(t)) << mode.toStdString() << " track " << t;
        EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 3);
    }
}

TEST_F(CliRip, TrackChoiceTitlesRipTimeAndNormalising)
{
    // A title renamed in the disc cache names the file without the characters
    // not allowed in file names.
    ASSERT_EQ(runCli({"title", "--device", cue, "2", "A/B: C?"}).status, 0);
    auto r = runCli({"rip", "--device", cue, "--output", out, "--tracks", "2,3", "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject json = summaryOf(r.out);
    EXPECT_EQ(json["mode"].toString(), "drive");
    const QJsonArray tracks = json["tracks"].toArray();
    ASSERT_EQ(tracks.size(), 2);
    EXPECT_EQ(tracks[0].toObject()["file"].toString(), out + "/AB C.wav");
    EXPECT_TRUE(tracks[0].toObject()["ripped"].toBool());
    EXPECT_EQ(tracks[1].toObject()["track"].toInt(), 3);
    EXPECT_TRUE(audio("AB C.wav") == track(2));
    EXPECT_TRUE(audio("Track03.wav") == track(3));
    EXPECT_FALSE(QFile::exists(out + "/Track01.wav"));

    // One second of each track, in both modes, normalised to a third: every
    // sample is the exact product rounded halves to even.
    for (const QString mode : {"drive", "ripper"}) {
        QDir(out).removeRecursively();
        r = runCli({"rip", "--device", cue, "--output", out, "--tracks", "1", "--rip-time", "1", "--normalize", "33",
                    "--mode", mode});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QByteArray got = audio("Track01.wav");
        const QByteArray want = track(1).left(75 * kSector);
        ASSERT_EQ(got.size(), want.size()) << mode.toStdString();
        for (int i = 0; i < want.size(); i += 2) {
            const int in = int16_t(uint8_t(want[i]) | uint8_t(want[i + 1]) << 8);
            const int o = int16_t(uint8_t(got[i]) | uint8_t(got[i + 1]) << 8);
            const int magnitude = std::abs(in * 33);
            int q = magnitude / 100;
            if (magnitude % 100 > 50 || (magnitude % 100 == 50 && q % 2 == 1))
                ++q;
            ASSERT_EQ(o, in < 0 ? -q : q) << mode.toStdString() << " byte " << i;
        }
        EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"Track01.wav"}) << mode.toStdString();
    }

    // Settings come from options.ini when no flag overrides them.
    ASSERT_EQ(runCli({"config", "CommonOptions.OutputFolder=" + box.file("fromini") + "/"}).status, 0);
    ASSERT_EQ(runCli({"config", "CommonOptions.EnableRipTime=1"}).status, 0);
    ASSERT_EQ(runCli({"config", "CommonOptions.RipTime=2"}).status, 0);
    r = runCli({"rip", "--device", cue, "--tracks", "3", "--mode", "ripper"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QByteArray wav = readFile(box.file("fromini/Track03.wav"));
    EXPECT_TRUE(wav.mid(44) == track(3).left(150 * kSector));
    // A cut of zero seconds would rip nothing: the flag refuses it.
    r = runCli({"rip", "--device", cue, "--rip-time", "0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "discwright-cli: --rip-time takes whole seconds from 1 to 5940\n");
    EXPECT_EQ(QDir(box.file("fromini")).entryList(QDir::Files | QDir::Hidden), QStringList{"Track03.wav"});
}

TEST_F(CliRip, FailuresPrintTheFileAndTheReasonAndExitNonZero)
{
    // A folder where no file can be created: each track names its file and
    // the system's reason, and no title is blamed.
    for (const QString mode : {"drive", "ripper"}) {
        const auto r = runCli({"rip", "--device", cue, "--output", "/proc", "--tracks", "1-2", "--mode", mode});
        EXPECT_EQ(r.status, 1) << mode.toStdString();
        const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << r.err.toStdString();
        EXPECT_EQ(lines[0], "discwright-cli: /proc/Track01.wav: No such file or directory") << mode.toStdString();
        EXPECT_EQ(lines[1], "discwright-cli: /proc/Track02.wav: No such file or directory") << mode.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }

    // A track the disc lacks and bad flags are usage errors.
    auto r = runCli({"rip", "--device", cue, "--output", out, "--tracks", "4"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "discwright-cli: track 4 is not on the disc (it has tracks 1 to 3)\n");
    r = runCli({"rip", "--device", cue, "--output", out, "--tracks", "3-1"});
    EXPECT_EQ(r.status, 2);
    r = runCli({"rip", "--device", cue, "--output", out, "--mode", "fast"});
    EXPECT_EQ(r.status, 2);
    r = runCli({"rip", "--device", box.file("nothing.cue"), "--output", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "discwright-cli: " + box.file("nothing.cue") + ": No such file or directory\n");
    EXPECT_FALSE(QDir(out).exists() && !QDir(out).entryList(QDir::Files).isEmpty());

    // An image whose .bin is shorter than its sheet says is refused before
    // anything is written, in both modes.
    QFile::resize(dwtest::binPathOf(cue), 100 * kSector);
    for (const QString mode : {"drive", "ripper"}) {
        r = runCli({"rip", "--device", cue, "--output", out, "--mode", mode});
        EXPECT_NE(r.status, 0) << mode.toStdString();
        EXPECT_TRUE(!QDir(out).exists() || QDir(out).entryList(QDir::Files | QDir::Hidden).isEmpty())
            << mode.toStdString();
    }
}

}  // namespace
