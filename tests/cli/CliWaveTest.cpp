// discwright-cli info and convert-wav, run as a black box on files made by
// sox, with the results checked by sox and ffprobe.

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>

using dwtest::runCli;

namespace {

bool run(const QString& program, const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// sox's view of a file: "channels rate bits encoding-name".
QString soxInfo(const QString& file)
{
    QByteArray c, r, b, e;
    run("sox", {"--i", "-c", file}, &c);
    run("sox", {"--i", "-r", file}, &r);
    run("sox", {"--i", "-b", file}, &b);
    run("sox", {"--i", "-e", file}, &e);
    return QString("%1 %2 %3 %4").arg(c.trimmed(), r.trimmed(), b.trimmed(), e.trimmed());
}

uint16_t tagOf(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray h = f.read(22);
    return h.size() < 22 ? 0 : uint16_t(uint8_t(h[20]) | (uint8_t(h[21]) << 8));
}

TEST(CliWave, InfoShowsTheFormat)
{
    dwtest::Sandbox box;
    const QString pcm = box.file("tone.wav");
    ASSERT_TRUE(run("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", pcm, "synth", "1.5", "sine", "440"}));
    auto text = runCli({"info", pcm});
    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains("Raw PCM"));
    EXPECT_TRUE(text.out.contains("Channels:        2"));
    EXPECT_TRUE(text.out.contains("Sample rate:     44100 Hz"));
    EXPECT_TRUE(text.out.contains("Sample frames:   66150"));
    EXPECT_TRUE(text.out.contains("Duration:        1.500 s"));

    const QString ima = box.file("ima.wav");
    ASSERT_TRUE(run("sox", {"-n", "-r", "22050", "-c", "1", "-e", "ima-adpcm", ima, "synth", "1", "sine", "300"}));
    auto json = runCli({"info", ima, "--json"});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(o["encoding"].toString(), "DVI IMA ADPCM");
    EXPECT_EQ(o["channels"].toInt(), 1);
    EXPECT_EQ(o["sampleRate"].toInt(), 22050);
    EXPECT_EQ(o["bitsPerSample"].toInt(), 16);
    EXPECT_EQ(o["sampleFrames"].toInt(), 22050);
    EXPECT_DOUBLE_EQ(o["duration"].toDouble(), 1.0);
}

TEST(CliWave, InfoRefusesWhatIsNotWav)
{
    dwtest::Sandbox box;
    box.write("notwav.wav", "this is plain text, not a RIFF file at all");
    for (const QString& file : {box.file("notwav.wav"), box.file("missing.wav")}) {
        auto r = runCli({"info", file});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST(CliWave, ConvertsRateChannelsBitsAndEncoding)
{
    dwtest::Sandbox box;
    const QString in = box.file("in.wav");
    ASSERT_TRUE(run("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", in, "synth", "1", "sine", "440", "sine", "660"}));

    // Nothing given: the output has the input's format.
    auto same = runCli({"convert-wav", in, box.file("same.wav"), "--quiet"});
    ASSERT_EQ(same.status, 0) << same.err.toStdString();
    EXPECT_EQ(soxInfo(box.file("same.wav")), "2 44100 16 Signed Integer PCM");
    EXPECT_EQ(QFileInfo(box.file("same.wav")).size(), QFileInfo(in).size());

    auto small = runCli({"convert-wav", in, box.file("small.wav"), "--channels", "1", "--rate", "22050", "--bits", "8"});
    ASSERT_EQ(small.status, 0) << small.err.toStdString();
    EXPECT_EQ(soxInfo(box.file("small.wav")), "1 22050 8 Unsigned Integer PCM");
    EXPECT_EQ(tagOf(box.file("small.wav")), 1);

    // 24 bits: an extensible header.
    auto wide = runCli({"convert-wav", in, box.file("wide.wav"), "--bits", "24"});
    ASSERT_EQ(wide.status, 0) << wide.err.toStdString();
    EXPECT_EQ(tagOf(box.file("wide.wav")), 0xFFFE);
    EXPECT_EQ(soxInfo(box.file("wide.wav")), "2 44100 24 Signed Integer PCM");

    auto ima = runCli({"convert-wav", in, box.file("ima.wav"), "--encoding", "ima-adpcm", "--rate", "22050"});
    ASSERT_EQ(ima.status, 0) << ima.err.toStdString();
    QByteArray probe;
    ASSERT_TRUE(run("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,channels,sample_rate", "-of",
                                "csv=p=0", box.file("ima.wav")},
                    &probe));
    EXPECT_EQ(probe.trimmed(), "adpcm_ima_wav,22050,2");

    auto bad = runCli({"convert-wav", in, box.file("bad.wav"), "--bits", "8", "--encoding", "ima-adpcm"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.err.contains("Cannot encode 8 bit sound into ADPCM.")) << bad.err.toStdString();

    auto badArg = runCli({"convert-wav", in, box.file("x.wav"), "--channels", "3"});
    EXPECT_NE(badArg.status, 0);
    EXPECT_EQ(badArg.err.count('\n'), 1);
}

TEST(CliWave, InterruptLeavesACorrectlySizedFile)
{
    dwtest::Sandbox box;
    const QString in = box.file("long.wav");
    ASSERT_TRUE(run("sox", {"-n", "-r", "48000", "-c", "2", "-b", "16", in, "synth", "600", "sine", "440"}));
    const QString outFile = box.file("part.wav");
    QProcess p;
    p.start(dwtest::binDir() + "/discwright-cli", {"convert-wav", in, outFile, "--rate", "44100", "--quiet"});
    ASSERT_TRUE(p.waitForStarted());
    // The output grows under a hidden temporary name beside its final one.
    auto partSize = [&] {
        qint64 biggest = 0;
        for (const QFileInfo& fi : QDir(box.path()).entryInfoList({".part.wav*"}, QDir::Files | QDir::Hidden))
            biggest = std::max(biggest, fi.size());
        return biggest;
    };
    const bool started = dwtest::waitFor([&] { return partSize() > (1 << 20) || p.state() == QProcess::NotRunning; });
    ASSERT_TRUE(started);
    // Ten minutes of audio take far longer to convert than the first MiB.
    ASSERT_EQ(p.state(), QProcess::Running) << "the conversion ended before it could be interrupted";
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 130) << p.readAllStandardError().toStdString();

    QFile f(outFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray h = f.read(44);
    auto at32 = [&](int o) { return uint32_t(uint8_t(h[o])) | uint32_t(uint8_t(h[o + 1])) << 8 |
                                    uint32_t(uint8_t(h[o + 2])) << 16 | uint32_t(uint8_t(h[o + 3])) << 24; };
    const qint64 size = f.size();
    EXPECT_LT(size, 44 + 600LL * 44100 * 4);
    EXPECT_EQ(at32(4), uint32_t(size - 8));
    EXPECT_EQ(at32(40), uint32_t(size - 44));
    EXPECT_EQ(partSize(), 0);  // put in place, nothing left behind
    EXPECT_TRUE(QDir(box.path()).entryList({".part.wav*"}, QDir::Files | QDir::Hidden).isEmpty());
}

// The samples of a WAV file: the bytes of its "data" chunk.
QByteArray dataOf(const QByteArray& file)
{
    for (qsizetype at = 12; at + 8 <= file.size();) {
        const uint32_t size = uint32_t(uint8_t(file[at + 4])) | uint32_t(uint8_t(file[at + 5])) << 8 |
                              uint32_t(uint8_t(file[at + 6])) << 16 | uint32_t(uint8_t(file[at + 7])) << 24;
        if (file.mid(at, 4) == "data")
            return file.mid(at + 8, size);
        at += 8 + qsizetype(size) + (size & 1);
    }
    return {};
}

// --dither chooses which narrowing adds dither (auto: only to 8 bits), and
// without it the stored WaveConvert.Dither option does; without dither a
// sample is rounded to the nearest step (ties to even) and clipped, with it
// the output stays within one step of that and is the same on every run.
TEST(CliWave, DitherFlagAndStoredOption)
{
    dwtest::Sandbox box;
    const QString in16 = box.file("in16.wav"), in24 = box.file("in24.wav");
    ASSERT_TRUE(run("sox", {"-n", "-r", "8000", "-c", "1", "-b", "16", in16, "synth", "1", "sine", "441", "vol", "0.3"}));
    ASSERT_TRUE(run("sox", {"-n", "-r", "8000", "-c", "1", "-b", "24", in24, "synth", "1", "sine", "441", "vol", "0.3"}));
    const auto convert = [&](const QString& in, const QString& bits, const QStringList& more) {
        const QString out = box.file("out.wav");
        const auto r = runCli(QStringList{"convert-wav", in, out, "--bits", bits, "--overwrite", "--quiet"} + more);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        return dataOf(box.read("out.wav"));
    };

    const QByteArray samples = dataOf(box.read("in16.wav"));
    ASSERT_EQ(samples.size(), 2 * 8000);
    QByteArray rounded;
    for (qsizetype i = 0; i + 1 < samples.size(); i += 2) {
        const int x = int16_t(uint16_t(uint8_t(samples[i]) | uint8_t(samples[i + 1]) << 8));
        rounded.append(char(std::clamp(int(std::nearbyint(x / 256.0)), -128, 127) + 128));
    }
    const QByteArray off = convert(in16, "8", {"--dither", "off"});
    EXPECT_EQ(off, rounded);
    const QByteArray stored = convert(in16, "8", {});
    EXPECT_EQ(stored, convert(in16, "8", {"--dither", "auto"}));
    EXPECT_EQ(stored, convert(in16, "8", {}));  // the same noise every run
    ASSERT_EQ(stored.size(), off.size());
    EXPECT_NE(stored, off);
    for (qsizetype i = 0; i < off.size(); ++i)
        ASSERT_LE(std::abs(int(uint8_t(stored[i])) - int(uint8_t(off[i]))), 1) << i;

    // 24 to 16 bits is dithered only when asked for.
    const QByteArray plain16 = convert(in24, "16", {"--dither", "off"});
    const QByteArray on16 = convert(in24, "16", {"--dither", "on"});
    EXPECT_EQ(convert(in24, "16", {}), plain16);
    EXPECT_NE(on16, plain16);

    // The stored option rules when the flag is not given.
    ASSERT_EQ(runCli({"config", "WaveConvert.Dither=2"}).status, 0);
    EXPECT_EQ(convert(in16, "8", {}), off);
    ASSERT_EQ(runCli({"config", "WaveConvert.Dither=1"}).status, 0);
    EXPECT_EQ(convert(in24, "16", {}), on16);
    EXPECT_EQ(convert(in16, "8", {"--dither", "auto"}), stored);

    const auto bad = runCli({"convert-wav", in16, box.file("bad.wav"), "--dither", "maybe"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.err.contains("--dither")) << bad.err.toStdString();
    EXPECT_FALSE(QFile::exists(box.file("bad.wav")));
}

}  // namespace
