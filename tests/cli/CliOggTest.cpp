// discwright-cli encode ogg, decode ogg and info on Ogg files, run as a
// black box on WAV files made by sox, with the results judged by the Vorbis
// tools (ogginfo, oggdec, vorbiscomment).

#include "support/TestSupport.h"

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

using dwtest::runCli;

namespace {

dwtest::ToolResult tool(const QString& program, const QStringList& args)
{
    return dwtest::runTool(program, args, 120000);
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Files in the folder other than those named (left-over temporary files).
QStringList otherFiles(const QString& folder, const QStringList& expected)
{
    QStringList rest;
    for (const QString& f : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (!expected.contains(f))
            rest << f;
    return rest;
}

// The command table lists the Ogg commands with the others.
TEST(CliOgg, HelpListsTheOggCommands)
{
    const auto r = runCli({"help"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const auto listed = [&](const char* pattern) {
        return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(r.out).hasMatch();
    };
    EXPECT_TRUE(listed(R"(^\s*encode [a-z0-9|]*\bogg\b)")) << r.out.toStdString();
    EXPECT_TRUE(listed(R"(^\s*decode ogg IN\.ogg OUT\.wav)")) << r.out.toStdString();
}

TEST(CliOgg, EncodeWithCommentsDecodeAndInfoAgreeWithTheVorbisTools)
{
    dwtest::Sandbox box;
    const QString wav = box.file("in.wav"), ogg = box.file("out.ogg"), back = box.file("back.wav");
    ASSERT_TRUE(tool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "4", "sine", "300-3000"}).ok);
    auto r = runCli({"encode", "ogg", wav, ogg, "--tag", QString::fromUtf8("ARTIST=Sigur Rós"), "--tag=title=Hoppípolla",
                     "--tag", "album=", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(tool("ogginfo", {ogg}).ok);
    const auto listed = tool("vorbiscomment", {"-l", ogg});
    EXPECT_EQ(QString::fromUtf8(listed.out), QString::fromUtf8("artist=Sigur Rós\ntitle=Hoppípolla\n"));

    r = runCli({"info", ogg, "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(o["channels"].toInt(), 2);
    EXPECT_EQ(o["sampleRate"].toInt(), 44100);
    EXPECT_EQ(o["sampleFrames"].toInteger(), 4 * 44100);
    EXPECT_EQ(o["nominalBitRate"].toInteger(), 96000);  // the default quality 0.2 (oggenc -q 2)
    EXPECT_EQ(o["comments"].toArray().size(), 2);

    r = runCli({"decode", "ogg", ogg, back, "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_TRUE(tool("oggdec", {"-Q", "-o", box.file("peer.wav"), ogg}).ok);
    EXPECT_TRUE(fileBytes(back).mid(44) == fileBytes(box.file("peer.wav")).mid(44));
    EXPECT_EQ(fileBytes(back).size(), 44 + 4 * 44100 * 4);

    // convert-wav takes the Ogg file as its input: mono, 8 bits, the same PCM
    // as the decoded file put through the same conversion.
    r = runCli({"convert-wav", ogg, box.file("mono.wav"), "--channels", "1", "--bits", "8", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = runCli({"convert-wav", back, box.file("mono-peer.wav"), "--channels", "1", "--bits", "8", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(fileBytes(box.file("mono.wav")).size(), 44 + 4 * 44100);
    EXPECT_TRUE(fileBytes(box.file("mono.wav")) == fileBytes(box.file("mono-peer.wav")));
    QFile::remove(box.file("mono.wav"));
    QFile::remove(box.file("mono-peer.wav"));

    // Bit-rate mode from the flags: the file states the rates asked for.
    r = runCli({"encode", "ogg", wav, ogg, "--bitrate", "128", "--min", "96", "--max", "160", "--overwrite", "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject m = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(m["nominalBitRate"].toInteger(), 128000);
    EXPECT_EQ(m["lowerBitRate"].toInteger(), 96000);
    EXPECT_EQ(m["upperBitRate"].toInteger(), 160000);
    EXPECT_EQ(otherFiles(box.path(), {"in.wav", "out.ogg", "back.wav", "peer.wav"}), QStringList());
}

TEST(CliOgg, RefusalsNameTheFileAndLeaveNothingBehind)
{
    dwtest::Sandbox box;
    const QString wav = box.file("in.wav");
    ASSERT_TRUE(tool("sox", {"-n", "-r", "22050", "-c", "1", "-b", "16", wav, "synth", "1", "sine", "440"}).ok);
    ASSERT_TRUE(QFile::link(wav, box.file("link.ogg")));
    box.write("text.wav", "no RIFF here");
    const QByteArray original = fileBytes(wav);

    struct Case {
        QStringList args;
        int status;
        const char* says;
    };
    const QList<Case> cases = {
        {{"encode", "ogg", wav, box.file("link.ogg"), "--overwrite"}, 1, "is the input file itself"},
        {{"encode", "ogg", wav, wav, "--overwrite"}, 1, "is the input file itself"},
        {{"encode", "ogg", wav, box.file("a.ogg"), "--bitrate", "100"}, 2, "must be one of 24, 32, 45"},
        {{"encode", "ogg", wav, box.file("a.ogg"), "--bitrate", "128", "--max", "96"}, 2, "must not be below"},
        {{"encode", "ogg", wav, box.file("a.ogg"), "--quality", "11"}, 2, "from -1 to 10"},
        {{"encode", "ogg", wav, box.file("a.ogg"), "--quality", "3", "--bitrate", "128"}, 2, "exclude each other"},
        {{"encode", "ogg", wav, box.file("a.ogg"), "--tag", "COMPOSER=x"}, 1, "COMPOSER is not written"},
        {{"encode", "ogg", box.file("text.wav"), box.file("a.ogg")}, 1, "text.wav: not a WAV file"},
        {{"decode", "ogg", wav, box.file("a.wav")}, 1, "Failed to open an ogg file: -132"},
        {{"decode", "ogg", box.file("none.ogg"), box.file("a.wav")}, 1, "none.ogg: No such file"},
        {{"encode", "ogg", wav, box.file("in.wav")}, 1, "is the input file itself"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const auto r = runCli(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    }
    // An existing output is replaced only with --overwrite.
    box.write("old.ogg", "keep me");
    auto r = runCli({"encode", "ogg", wav, box.file("old.ogg")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("old.ogg: already exists")) << r.err.toStdString();
    EXPECT_EQ(box.read("old.ogg"), QByteArray("keep me"));
    EXPECT_EQ(fileBytes(wav), original);
    EXPECT_EQ(otherFiles(box.path(), {"in.wav", "link.ogg", "old.ogg", "text.wav"}), QStringList());
}

TEST(CliOgg, AMissingLibraryIsNamedForEncodingAndDecoding)
{
    dwtest::Sandbox box;
    const QString wav = box.file("in.wav"), ogg = box.file("in.ogg");
    ASSERT_TRUE(tool("sox", {"-n", "-r", "8000", "-c", "1", "-b", "16", wav, "synth", "1", "sine", "440"}).ok);
    ASSERT_EQ(runCli({"encode", "ogg", wav, ogg, "--quiet"}).status, 0);
    // A library folder holding every library but the encoder's.
    QDir().mkpath(box.file("libs"));
    for (const char* name : {"libogg.so.0", "libvorbis.so.0", "libvorbisfile.so.3"}) {
        const QString target = QFileInfo("/usr/lib/x86_64-linux-gnu/" + QString(name)).exists()
                                   ? "/usr/lib/x86_64-linux-gnu/" + QString(name)
                                   : "/usr/lib/" + QString(name);
        ASSERT_TRUE(QFile::link(target, box.file("libs/") + name));
    }
    qputenv("DISCWRIGHT_VORBIS_LIBDIR", box.file("libs").toLocal8Bit());
    const auto enc = runCli({"encode", "ogg", wav, box.file("new.ogg")});
    const auto dec = runCli({"decode", "ogg", ogg, box.file("new.wav")});
    const auto info = runCli({"info", ogg});
    qunsetenv("DISCWRIGHT_VORBIS_LIBDIR");
    for (const auto& r : {enc, dec, info}) {
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains("libvorbisenc.so.2 library could not be loaded.")) << r.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(box.file("new.ogg")));
    EXPECT_FALSE(QFileInfo::exists(box.file("new.wav")));
}

TEST(CliOgg, CtrlCKeepsWhatWasEncodedUnderTheFinalName)
{
    dwtest::Sandbox box;
    const QString wav = box.file("long.wav"), ogg = box.file("long.ogg");
    ASSERT_TRUE(tool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "600", "sine", "300-3000"}).ok);
    QProcess p;
    p.start(dwtest::binDir() + "/discwright-cli", {"encode", "ogg", wav, ogg, "--quiet"});
    ASSERT_TRUE(p.waitForStarted());
    auto partSize = [&] {
        qint64 biggest = 0;
        for (const QFileInfo& fi : QDir(box.path()).entryInfoList({".long.ogg*"}, QDir::Files | QDir::Hidden))
            biggest = std::max(biggest, fi.size());
        return biggest;
    };
    ASSERT_TRUE(dwtest::waitFor([&] { return partSize() > (64 << 10) || p.state() == QProcess::NotRunning; }));
    // Ten minutes of audio take far longer to encode than the first 64 KiB.
    ASSERT_EQ(p.state(), QProcess::Running) << "the encoding ended before it could be interrupted";
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 130) << p.readAllStandardError().toStdString();
    // The pages written so far play; the rest of the ten minutes is not there.
    ASSERT_TRUE(tool("oggdec", {"-Q", "-R", "-o", box.file("part.raw"), ogg}).ok);
    const qint64 decoded = QFileInfo(box.file("part.raw")).size();
    EXPECT_GT(decoded, 0);
    EXPECT_LT(decoded, 600LL * 44100 * 4);
    EXPECT_EQ(otherFiles(box.path(), {"long.wav", "long.ogg", "part.raw"}), QStringList());
}

}  // namespace
