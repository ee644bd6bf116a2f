// Damaged, truncated and unusual FLAC, Ogg Vorbis, Opus and WAV files, made
// at run time by the peer encoders and then changed byte by byte, against
// every command that reads them: convert-wav, info and convert (the job
// runner). The peer decoders (flac, oggdec, opusdec, sox, ffprobe) judge
// what the files hold; a damaged or short stream must fail the item (info:
// warn and exit non-zero) and never come out padded with silence.

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

using dwtest::runCli;
using dwtest::runTool;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs a peer that must succeed.
void make(const QString& program, const QStringList& args)
{
    const auto r = runTool(program, args);
    ASSERT_TRUE(r.ok) << program.toStdString() << ": " << r.err.toStdString();
}

// The offset of the first FLAC frame: past "fLaC" and every metadata block.
int firstFrame(const QByteArray& flac)
{
    int p = 4;
    for (;;) {
        const auto b = [&](int i) { return static_cast<uint8_t>(flac[p + i]); };
        const bool last = b(0) & 0x80;
        p += 4 + (b(1) << 16 | b(2) << 8 | b(3));
        if (last || p >= flac.size())
            return p;
    }
}

// The FLAC file with STREAMINFO's 36-bit total of samples set to total (the
// low nibble of byte 21 and bytes 22 to 25).
QByteArray withTotal(QByteArray flac, uint64_t total)
{
    flac[21] = char((static_cast<uint8_t>(flac[21]) & 0xF0) | (total >> 32));
    for (int i = 0; i < 4; ++i)
        flac[22 + i] = char(total >> (24 - 8 * i));
    return flac;
}

// Sample frames in a WAV as ffprobe counts them.
long long probeFrames(const QString& wav)
{
    return dwtest::peer("ffprobe", {"-v", "error", "-show_entries", "stream=duration_ts", "-of", "csv=p=0", wav})
        .toLongLong();
}

// Every command that reads refuses the damaged file: convert-wav and convert
// fail naming it and leave no output; info shows what it can, then warns
// and exits non-zero. reason is a part of the message all three give.
void expectRefusedEverywhere(const dwtest::Sandbox& box, const QString& in, const QString& reason)
{
    SCOPED_TRACE(in.toStdString());
    const QString wav = box.file("out.wav");
    auto r = runCli({"convert-wav", in, wav, "--overwrite", "--quiet"});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.err.contains(in) && r.err.contains(reason)) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(wav));

    r = runCli({"info", in});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.err.contains(reason)) << r.err.toStdString();

    const QString outDir = box.file("converted");
    r = runCli({"convert", "flac", in, "--output", outDir, "--quiet"});
    EXPECT_NE(r.status, 0) << r.out.toStdString();
    EXPECT_TRUE((r.err + r.out).contains(reason)) << (r.err + r.out).toStdString();
    EXPECT_TRUE(QDir(outDir).entryList(QDir::Files | QDir::Hidden).isEmpty())
        << QDir(outDir).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
}

class CliDamagedFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        wav_ = box_.file("tone.wav");
        // Noise: the encoders need many pages and frames for it.
        make("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav_, "synth", "3", "pinknoise", "vol", "0.5"});
    }
    QString flac()
    {
        const QString out = box_.file("tone.flac");
        if (!QFile::exists(out))
            make("flac", {"-s", "-f", "--blocksize=1152", wav_, "-o", out});
        return out;
    }
    dwtest::Sandbox box_;
    QString wav_;
};

TEST_F(CliDamagedFiles, DamagedOrShortFlacFailsInEveryCommand)
{
    const QByteArray good = readAll(flac());
    const int frames = firstFrame(good);

    // Cut in half: the reference decoder finds the stream short too.
    box_.write("half.flac", good.left(good.size() / 2));
    EXPECT_FALSE(runTool("flac", {"-t", "-s", box_.file("half.flac")}).ok);
    expectRefusedEverywhere(box_, box_.file("half.flac"), "FLAC");

    // Random bytes behind a valid header: no frame decodes.
    QByteArray noise = good.left(frames);
    for (int i = frames; i < good.size(); ++i)
        noise.append(char(QRandomGenerator::global()->bounded(256)));
    box_.write("noise.flac", noise);
    EXPECT_FALSE(runTool("flac", {"-t", "-s", box_.file("noise.flac")}).ok);
    expectRefusedEverywhere(box_, box_.file("noise.flac"), "lost sync");

    // STREAMINFO states 11.5 M frames for 3 s of audio: the decoded data
    // ends where the file does and nothing is made up.
    box_.write("longer.flac", withTotal(good, 11500000));
    expectRefusedEverywhere(box_, box_.file("longer.flac"), "132300 of the 11500000 sample frames");
}

TEST_F(CliDamagedFiles, FlacWhoseSampleRateChangesIsRefused)
{
    const QByteArray first = readAll(flac());
    const QString other = box_.file("other.wav");
    make("sox", {"-n", "-r", "48000", "-c", "2", "-b", "16", other, "synth", "1", "sine", "500"});
    make("flac", {"-s", "-f", "--blocksize=1152", other, "-o", box_.file("other.flac")});
    const QByteArray second = readAll(box_.file("other.flac"));
    // The 48 kHz frames follow the 44.1 kHz ones under the first header,
    // which counts them all.
    box_.write("mixed.flac", withTotal(first, 132300 + 48000) + second.mid(firstFrame(second)));
    expectRefusedEverywhere(box_, box_.file("mixed.flac"), "sample rate changes from 44100 Hz to 48000 Hz");
}

TEST_F(CliDamagedFiles, ChainedOggWhoseLinksDifferIsRefusedWhole)
{
    const QString mono = box_.file("mono.wav");
    make("sox", {"-n", "-r", "22050", "-c", "1", "-b", "16", mono, "synth", "1", "sine", "300"});
    make("oggenc", {"-Q", wav_, "-o", box_.file("a.ogg")});
    make("oggenc", {"-Q", mono, "-o", box_.file("b.ogg")});
    box_.write("chain.ogg", readAll(box_.file("a.ogg")) + readAll(box_.file("b.ogg")));
    // The reference decoder reads both links; as one stream they cannot be.
    EXPECT_TRUE(runTool("oggdec", {"-Q", box_.file("chain.ogg"), "-o", box_.file("ref.wav")}).ok);
    auto r = runCli({"convert-wav", box_.file("chain.ogg"), box_.file("x.wav"), "--quiet"});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.err.contains("link 2: 1 channels at 22050 Hz")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(box_.file("x.wav")));
    EXPECT_NE(runCli({"info", box_.file("chain.ogg")}).status, 0);

    make("opusenc", {"--quiet", wav_, box_.file("a.opus")});
    make("opusenc", {"--quiet", mono, box_.file("b.opus")});
    box_.write("chain.opus", readAll(box_.file("a.opus")) + readAll(box_.file("b.opus")));
    EXPECT_TRUE(runTool("opusdec", {"--quiet", box_.file("chain.opus"), box_.file("ref2.wav")}).ok);
    expectRefusedEverywhere(box_, box_.file("chain.opus"), "links differ in channels");
}

TEST_F(CliDamagedFiles, TruncatedOrDamagedOggOpusAndWavFail)
{
    make("oggenc", {"-Q", wav_, "-o", box_.file("t.ogg")});
    make("opusenc", {"--quiet", wav_, box_.file("t.opus")});
    for (const QString ext : {"ogg", "opus", "wav"}) {
        const QByteArray whole = readAll(ext == "wav" ? wav_ : box_.file("t." + ext));
        const QString cut = box_.file("cut." + ext);
        box_.write("cut." + ext, whole.left(whole.size() * 2 / 3));
        // The reference decoders read the intact part: less than the whole.
        const QString ref = box_.file("ref-" + ext + ".wav");
        if (ext == "ogg")
            make("oggdec", {"-Q", cut, "-o", ref});
        else if (ext == "opus")
            make("opusdec", {"--quiet", "--rate", "48000", cut, ref});
        else
            make("sox", {cut, ref});
        const long long wholeFrames = ext == "opus" ? 144000 : 132300;
        EXPECT_GT(probeFrames(ref), 0);
        EXPECT_LT(probeFrames(ref), wholeFrames * 3 / 4);
        expectRefusedEverywhere(box_, cut, "cut short");
    }

    // A page of the Vorbis stream damaged in the middle: a gap in the data.
    QByteArray damaged = readAll(box_.file("t.ogg"));
    const int page = damaged.indexOf("OggS", damaged.size() / 3);
    ASSERT_LT(page, damaged.size() / 2);
    ASSERT_GT(page, 0);
    for (int i = page + 40; i < page + 200; ++i)
        damaged[i] = char(~static_cast<uint8_t>(damaged[i]));
    box_.write("gap.ogg", damaged);
    expectRefusedEverywhere(box_, box_.file("gap.ogg"), "a gap in the data");
}

TEST_F(CliDamagedFiles, FlacFilesFromTheWildAreReadOrNamed)
{
    const QByteArray good = readAll(flac());
    make("sox", {wav_, "-t", "raw", box_.file("tone.raw")});
    const QByteArray pcm = readAll(box_.file("tone.raw"));

    // ID3v2.4 tag with a footer in front: skipped by its size.
    const QByteArray frame = QByteArray("TIT2") + QByteArray("\0\0\0\x06\0\0\x03Title", 12) + QByteArray(300, '\0');
    const int n = frame.size();
    QByteArray size;
    for (int shift : {21, 14, 7, 0})
        size.append(char(n >> shift & 0x7F));
    const QByteArray tag =
        QByteArray("ID3\x04\x00\x10", 6) + size + frame + QByteArray("3DI\x04\x00\x10", 6) + size;
    box_.write("tagged.flac", tag + good);
    auto r = runCli({"convert-wav", box_.file("tagged.flac"), box_.file("tagged.wav"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readAll(box_.file("tagged.wav")).mid(44), pcm);
    r = runCli({"info", box_.file("tagged.flac")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Sample frames:   132300")) << r.out.toStdString();

    // No "fLaC" and no stream information: named as FLAC, with the reason.
    box_.write("bare.flac", good.mid(firstFrame(good)));
    r = runCli({"info", box_.file("bare.flac")});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.err.contains("not a usable FLAC file") && r.err.contains("starts at an audio frame"))
        << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("WAV"));

    // Two comment blocks: the first stands.
    make("metaflac", {"--set-tag=TITLE=First", "--set-tag=ARTIST=Band", flac()});
    QByteArray tagged = readAll(flac());
    int p = 4, commentAt = -1, commentLen = 0;
    while (commentAt < 0 && p < tagged.size()) {
        const int len = static_cast<uint8_t>(tagged[p + 1]) << 16 | static_cast<uint8_t>(tagged[p + 2]) << 8 |
                        static_cast<uint8_t>(tagged[p + 3]);
        if ((tagged[p] & 0x7F) == 4) {
            commentAt = p;
            commentLen = 4 + len;
        }
        p += 4 + len;
    }
    ASSERT_GT(commentAt, 0);
    QByteArray second = tagged.mid(commentAt, commentLen);
    second[0] = char(second[0] & 0x7F);
    second.replace("TITLE=First", "TITLE=Other");
    tagged.insert(commentAt, second);
    box_.write("two.flac", tagged);
    r = runCli({"info", box_.file("two.flac")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("TITLE=Other") && !r.out.contains("TITLE=First")) << r.out.toStdString();
}

TEST_F(CliDamagedFiles, WavWithDataSizeZeroReadsToTheEndOfTheFile)
{
    // A writer that never fixed its header: data size 0, 490 frames behind it.
    QByteArray wav = readAll(wav_).left(44 + 490 * 4);
    for (int i = 40; i < 44; ++i)
        wav[i] = '\0';
    box_.write("open.wav", wav);
    ASSERT_EQ(probeFrames(box_.file("open.wav")), 490);
    auto r = runCli({"info", box_.file("open.wav")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Sample frames:   490")) << r.out.toStdString();
    r = runCli({"convert-wav", box_.file("open.wav"), box_.file("copy.wav"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readAll(box_.file("copy.wav")).mid(44), wav.mid(44));

    // Size 0 followed by whole chunks is an empty file, not audio.
    QByteArray empty = wav.left(44) + QByteArray("LIST\x04\0\0\0INFO", 12);
    box_.write("empty.wav", empty);
    r = runCli({"info", box_.file("empty.wav")});
    EXPECT_TRUE(r.out.contains("Sample frames:   0")) << r.out.toStdString();
}

}  // namespace
