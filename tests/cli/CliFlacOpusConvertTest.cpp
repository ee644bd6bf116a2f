// FLAC and Opus files as inputs (info, convert-wav) and as outputs of
// `convert flac|opus`, judged against the reference tools: files made by
// flac and opusenc are read back sample for sample (FLAC) or by length and
// format (Opus); ours pass `flac -t` and opusinfo and carry the settings.

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtEndian>

#include <cmath>

#include "support/TestSupport.h"

using dwtest::runCli;

namespace {

struct Tool {
    bool ok = false;
    QString out;
};

Tool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0,
            QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
}

// A 16-bit PCM WAV of two different tones (left, right), frames long.
QByteArray toneWav(uint32_t rate, int frames)
{
    QByteArray data;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c) {
            const auto v = static_cast<int16_t>(9000 * std::sin(2 * M_PI * (c ? 660.0 : 440.0) * i / rate));
            data.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
        }
    QByteArray w("RIFF");
    const auto u32 = [&w](uint32_t v) { char b[4]; qToLittleEndian(v, b); w.append(b, 4); };
    const auto u16 = [&w](uint16_t v) { char b[2]; qToLittleEndian(v, b); w.append(b, 2); };
    u32(36 + uint32_t(data.size()));
    w.append("WAVEfmt ");
    u32(16), u16(1), u16(2), u32(rate), u32(rate * 4), u16(4), u16(16);
    w.append("data");
    u32(uint32_t(data.size()));
    return w + data;
}

QJsonObject infoJson(const QString& path)
{
    const auto r = runCli({"info", path, "--json"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

}  // namespace

TEST(CliFlacOpusConvert, FlacAndOpusFilesAreReadByInfoAndConvertWav)
{
    dwtest::Sandbox box;
    const QByteArray wav = toneWav(44100, 44100);
    box.write("tone.wav", wav);
    ASSERT_TRUE(run("flac", {"-s", "-f", "-T", "TITLE=Tone", "-o", box.file("tone.flac"), box.file("tone.wav")}).ok);
    ASSERT_TRUE(run("opusenc", {"--quiet", "--bitrate", "64", "--comment", "TITLE=Tone", box.file("tone.wav"),
                                box.file("tone.opus")})
                    .ok);

    QJsonObject o = infoJson(box.file("tone.flac"));
    EXPECT_EQ(o["encoding"].toString(), "FLAC");
    EXPECT_EQ(o["channels"].toInt(), 2);
    EXPECT_EQ(o["sampleRate"].toInt(), 44100);
    EXPECT_EQ(o["bitsPerSample"].toInt(), 16);
    EXPECT_EQ(o["sampleFrames"].toInt(), 44100);
    EXPECT_TRUE(o["comments"].toArray().contains("TITLE=Tone")) << QJsonDocument(o).toJson().toStdString();

    o = infoJson(box.file("tone.opus"));
    EXPECT_EQ(o["encoding"].toString(), "Opus");
    EXPECT_EQ(o["channels"].toInt(), 2);
    EXPECT_EQ(o["sampleRate"].toInt(), 48000);
    EXPECT_EQ(o["inputSampleRate"].toInt(), 44100);
    EXPECT_EQ(o["sampleFrames"].toInt(), 48000);
    // The average bit rate is the whole file's, as opusinfo counts it.
    const QString opusinfo = run("opusinfo", {box.file("tone.opus")}).out;
    const qsizetype at = opusinfo.indexOf("Average bitrate: ");
    ASSERT_GE(at, 0) << opusinfo.toStdString();
    const double kbps = opusinfo.mid(at + 17).section(' ', 0, 0).toDouble();
    EXPECT_NEAR(o["bitRate"].toDouble() / 1000, kbps, 0.02) << opusinfo.toStdString();
    EXPECT_TRUE(o["comments"].toArray().contains("TITLE=Tone")) << QJsonDocument(o).toJson().toStdString();
    const auto text = runCli({"info", box.file("tone.opus")});
    EXPECT_TRUE(text.out.contains("Input rate:      44100 Hz")) << text.out.toStdString();

    // FLAC is lossless: back to WAV, the samples are those encoded.
    auto r = runCli({"convert-wav", box.file("tone.flac"), box.file("back.wav"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(box.read("back.wav").right(44100 * 4) == wav.right(44100 * 4));
    // Opus comes out at 48 kHz; resampled to the original rate it has the original length.
    r = runCli({"convert-wav", box.file("tone.opus"), box.file("opus.wav"), "--rate", "44100", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    o = infoJson(box.file("opus.wav"));
    EXPECT_EQ(o["sampleRate"].toInt(), 44100);
    EXPECT_NEAR(o["sampleFrames"].toInt(), 44100, 2);

    // A damaged FLAC file is refused by its own name.
    box.write("bad.flac", "fLaC" + QByteArray(64, '\x7f'));
    r = runCli({"info", box.file("bad.flac")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(box.file("bad.flac"))) << r.err.toStdString();
}

TEST(CliFlacOpusConvert, ConvertMakesFlacAndOpusWithTheirSettings)
{
    dwtest::Sandbox box;
    const QByteArray wav = toneWav(44100, 44100);
    box.write("a.wav", wav);
    ASSERT_TRUE(run("opusenc", {"--quiet", box.file("a.wav"), box.file("b.opus")}).ok);
    box.write("junk.wav", QByteArray(4000, 'x'));
    ASSERT_EQ(runCli({"config", "FlacOptions.CompressionLevel=8"}).status, 0);
    ASSERT_EQ(runCli({"config", "OpusOptions.BitRate=48"}).status, 0);
    ASSERT_EQ(runCli({"config", "OpusOptions.IsVBR=0"}).status, 0);
    const QString out = box.file("out");
    QDir().mkpath(out);

    // WAV and Opus to FLAC; the unreadable file fails by name and the rest go on.
    auto r = runCli({"convert", "flac", box.file("a.wav"), box.file("junk.wav"), box.file("b.opus"), "--output", out,
                     "--jobs", "1", "--quiet"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(box.file("junk.wav"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(out + "/junk.flac"));
    EXPECT_TRUE(run("flac", {"-t", "-s", out + "/a.flac"}).ok);
    EXPECT_EQ(run("metaflac", {"--show-max-blocksize", out + "/a.flac"}).out.trimmed(), "4096");  // level 8
    ASSERT_TRUE(run("flac", {"-s", "-d", "--force-raw-format", "--endian=little", "--sign=signed", "-o",
                             box.file("a.raw"), out + "/a.flac"})
                    .ok);
    EXPECT_TRUE(box.read("a.raw") == wav.right(44100 * 4));
    EXPECT_TRUE(run("flac", {"-t", "-s", out + "/b.flac"}).ok);
    EXPECT_EQ(run("metaflac", {"--show-sample-rate", out + "/b.flac"}).out.trimmed(), "48000");
    EXPECT_EQ(run("metaflac", {"--show-total-samples", out + "/b.flac"}).out.trimmed(), "48000");

    // FLAC to Opus at a constant 48 kbit/s.
    r = runCli({"convert", "opus", out + "/a.flac", "--output", out, "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const Tool info = run("opusinfo", {out + "/a.opus"});
    EXPECT_TRUE(info.ok);
    EXPECT_FALSE(info.out.contains("WARNING") || info.out.contains("ERROR")) << info.out.toStdString();
    const qsizetype at = info.out.indexOf("w/o overhead: ");
    ASSERT_GE(at, 0) << info.out.toStdString();
    EXPECT_NEAR(info.out.mid(at + 14).section(' ', 0, 0).toDouble(), 48.0, 1.0) << info.out.toStdString();
    const QJsonObject o = infoJson(out + "/a.opus");
    EXPECT_EQ(o["inputSampleRate"].toInt(), 44100);
    EXPECT_EQ(o["sampleFrames"].toInt(), 48000);

    // An existing output is kept unless --overwrite; the input is never its own output.
    const QByteArray before = box.read("out/a.opus");
    r = runCli({"convert", "opus", out + "/a.flac", "--output", out, "--quiet"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(box.read("out/a.opus") == before);
    r = runCli({"convert", "flac", out + "/a.flac", "--output", out, "--overwrite", "--quiet"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(out + "/a.flac")) << r.err.toStdString();
    EXPECT_TRUE(run("flac", {"-t", "-s", out + "/a.flac"}).ok);
    // Nothing else is left behind, temporary files included.
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name), QStringList({"a.flac", "a.opus", "b.flac"}));
}
