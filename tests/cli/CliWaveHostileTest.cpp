// discwright-cli convert-wav and info against hostile input: the input named
// as output in every spelling, a failed overwrite, odd WAV layouts, a folder
// that cannot be written, options the writer cannot take as they stand
// (downmix, ADPCM from wide or many-channel input), and info on files that
// lie about their sizes. Results are checked with sox and ffprobe.

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <unistd.h>

using dwtest::runCli;

namespace {

QByteArray tool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << ": " << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput().trimmed();
}

QByteArray le32(uint32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList leftovers(const dwtest::Sandbox& box)
{
    return QDir(box.path()).entryList(QDir::Files | QDir::Hidden).filter(".part");
}

TEST(CliWaveHostile, TheInputIsNeverOverwritten)
{
    dwtest::Sandbox box;
    const QString in = box.file("a.wav");
    tool("sox", {"-n", "-r", "8000", "-c", "1", "-b", "16", in, "synth", "0.5", "sine", "300"});
    const QByteArray before = readFile(in);
    ASSERT_EQ(::symlink("a.wav", box.file("link.wav").toLocal8Bit().constData()), 0);
    ASSERT_EQ(::link(in.toLocal8Bit().constData(), box.file("hard.wav").toLocal8Bit().constData()), 0);
    for (const QString& out : {in, box.path() + "/./a.wav", box.file("link.wav"), box.file("hard.wav")}) {
        SCOPED_TRACE(out.toStdString());
        auto r = runCli({"convert-wav", in, out, "--bits", "8", "--quiet"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(out + ": ")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("input file")) << r.err.toStdString();
    }
    EXPECT_EQ(readFile(in), before);
    EXPECT_TRUE(leftovers(box).isEmpty());
}

TEST(CliWaveHostile, AFailedOverwriteKeepsTheOldFileAndFoldersAreNamed)
{
    dwtest::Sandbox box;
    const QString in = box.file("in.wav");
    tool("sox", {"-n", "-r", "8000", "-c", "1", "-b", "8", in, "synth", "0.2", "sine", "300"});
    box.write("old.wav", "a good old file");
    // 8-bit into ADPCM with --bits 8 asked for: refused, old file intact.
    auto r = runCli({"convert-wav", in, box.file("old.wav"), "--bits", "8", "--encoding", "ima-adpcm", "--overwrite"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("Cannot encode 8 bit sound into ADPCM.")) << r.err.toStdString();
    EXPECT_EQ(box.read("old.wav"), "a good old file");
    EXPECT_TRUE(leftovers(box).isEmpty());

    // A folder that cannot be written: the message names it and the reason.
    QDir(box.path()).mkdir("ro");
    QFile::setPermissions(box.file("ro"), QFile::ReadOwner | QFile::ExeOwner);
    if (::access(box.file("ro").toLocal8Bit().constData(), W_OK) != 0) {  // not root
        auto ro = runCli({"convert-wav", in, box.file("ro/out.wav")});
        EXPECT_EQ(ro.status, 1);
        EXPECT_TRUE(ro.err.contains(box.file("ro") + ": Permission denied")) << ro.err.toStdString();
    }
    QFile::setPermissions(box.file("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A name longer than the system takes: named, with the reason, nothing left.
    const QString longName = box.file(QString(300, 'x') + ".wav");
    auto tooLong = runCli({"convert-wav", in, longName});
    EXPECT_EQ(tooLong.status, 1);
    EXPECT_TRUE(tooLong.err.contains(longName + ": File name too long")) << tooLong.err.toStdString();
    EXPECT_TRUE(leftovers(box).isEmpty());
    auto missing = runCli({"convert-wav", in, box.file("no/such/out.wav")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains("No such file or directory")) << missing.err.toStdString();
    EXPECT_TRUE(missing.err.contains(box.file("no"))) << missing.err.toStdString();
}

TEST(CliWaveHostile, ChannelsAndAdpcmAreHonouredOrRefused)
{
    dwtest::Sandbox box;
    // 5.1 at 24 bits; only the front-left channel carries a tone.
    const QString surround = box.file("51.wav");
    tool("sox", {"-n", "-r", "48000", "-c", "6", "-b", "24", surround, "synth", "0.5", "sine", "440", "sine", "0",
                 "sine", "0", "sine", "0", "sine", "0", "sine", "0", "vol", "0.5"});
    auto st = runCli({"convert-wav", surround, box.file("st.wav"), "--channels", "2", "--quiet"});
    ASSERT_EQ(st.status, 0) << st.err.toStdString();
    EXPECT_EQ(tool("soxi", {"-c", box.file("st.wav")}), "2");
    // FL goes to the left only.
    const QByteArray stats = [&] {
        QProcess p;
        p.start("sox", {box.file("st.wav"), "-n", "remix", "2", "stat"});
        p.waitForFinished(60000);
        return p.readAllStandardError();
    }();
    EXPECT_TRUE(stats.contains("Maximum amplitude:     0.000000")) << stats.toStdString();

    auto mono = runCli({"convert-wav", surround, box.file("mono.wav"), "--channels", "1"});
    ASSERT_EQ(mono.status, 0) << mono.err.toStdString();
    EXPECT_EQ(tool("soxi", {"-c", box.file("mono.wav")}), "1");

    // ADPCM from 24-bit 6-channel input: 16-bit stereo coded.
    auto ima = runCli({"convert-wav", surround, box.file("ima.wav"), "--encoding", "ima-adpcm"});
    ASSERT_EQ(ima.status, 0) << ima.err.toStdString();
    EXPECT_EQ(tool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,channels", "-of", "csv=p=0",
                               box.file("ima.wav")}),
              "adpcm_ima_wav,2");
    auto wide = runCli({"convert-wav", surround, box.file("w.wav"), "--encoding", "ima-adpcm", "--bits", "24"});
    EXPECT_EQ(wide.status, 1);
    EXPECT_FALSE(QFileInfo::exists(box.file("w.wav")));

    // The range in the usage text is the range checked.
    auto rate = runCli({"convert-wav", surround, box.file("r.wav"), "--rate", "999"});
    EXPECT_EQ(rate.status, 2);
    EXPECT_TRUE(rate.err.contains("1000 to 384000")) << rate.err.toStdString();
    auto usage = runCli({"convert-wav"});
    EXPECT_TRUE(usage.err.contains("--rate 1000-384000")) << usage.err.toStdString();
}

TEST(CliWaveHostile, OddLayoutsAndLyingSizes)
{
    dwtest::Sandbox box;
    const QByteArray fmt = QByteArray("fmt ") + le32(16) + QByteArray::fromHex("01000100401f0000803e00000200" "1000");
    const QByteArray samples(800, '\x11');
    // An odd LIST chunk with its pad byte, then a 100000-byte chunk.
    const QByteArray odd = QByteArray("LIST") + le32(5) + "abcde" + QByteArray(1, '\0') + QByteArray("JUNK") +
                           le32(100000) + QByteArray(100000, 'j');
    const QByteArray body = "WAVE" + odd + fmt + "data" + le32(samples.size()) + samples;
    box.write("odd.wav", "RIFF" + le32(body.size()) + body);
    auto info = runCli({"info", box.file("odd.wav"), "--json"});
    ASSERT_EQ(info.status, 0) << info.err.toStdString();
    EXPECT_TRUE(info.out.contains("\"sampleFrames\": 400")) << info.out.toStdString();
    auto conv = runCli({"convert-wav", box.file("odd.wav"), box.file("odd-out.wav"), "--quiet"});
    ASSERT_EQ(conv.status, 0) << conv.err.toStdString();
    EXPECT_EQ(readFile(box.file("odd-out.wav")).mid(44), samples);

    // Sizes that lie: data beyond the end of the file, a huge fmt chunk.
    const QByteArray liar = "WAVE" + fmt + "data" + le32(0x7FFFFFF0) + samples;
    box.write("liar.wav", "RIFF" + le32(0xFFFFFFF0u) + liar);
    const QByteArray hugeFmt = QByteArray("WAVEfmt ") + le32(0xFFFFFFF0u) + QByteArray(64, '\1');
    box.write("hugefmt.wav", "RIFF" + le32(100) + hugeFmt);
    const QByteArray liarBefore = box.read("liar.wav");
    // What the file holds is shown, and the shortfall is a warning.
    auto l = runCli({"info", box.file("liar.wav"), "--json"});
    EXPECT_EQ(l.status, 1);
    EXPECT_TRUE(l.err.contains("ends after 800 of the 2147483632 bytes")) << l.err.toStdString();
    EXPECT_TRUE(l.out.contains("\"sampleFrames\": 400")) << l.out.toStdString();
    auto h = runCli({"info", box.file("hugefmt.wav")});
    EXPECT_EQ(h.status, 1);
    EXPECT_TRUE(h.err.contains(box.file("hugefmt.wav"))) << h.err.toStdString();
    // info only reads: a file it cannot write is no obstacle, and nothing changes.
    QFile::setPermissions(box.file("liar.wav"), QFile::ReadOwner);
    EXPECT_EQ(runCli({"info", box.file("liar.wav")}).status, 1);
    EXPECT_EQ(box.read("liar.wav"), liarBefore);
}

}  // namespace
