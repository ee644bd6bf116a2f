// discwright-cli as a black box against inputs that are not plain audio
// files: FIFOs, devices, sockets and folders given to every command that
// reads a file (each must fail at once, naming the file, and write nothing),
// an existing output of convert-wav, tag changes on files that are not MP3
// by content, and hand-written settings outside their ranges.

#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using dwtest::runCli;

namespace {

// A hang must fail the test, not hold it: every run gets this long.
constexpr int kQuickMs = 30000;

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Makes a file with a peer tool; the test stops when the tool fails.
void make(const QString& program, const QStringList& args)
{
    const dwtest::ToolResult r = dwtest::runTool(program, args);
    ASSERT_TRUE(r.ok) << program.toStdString() << ": " << r.err.toStdString();
}

// A listening Unix socket at path, kept for the object's lifetime.
class Socket {
public:
    explicit Socket(const QString& path)
    {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (size_t(name.size()) >= sizeof addr.sun_path)
            return;
        std::memcpy(addr.sun_path, name.constData(), size_t(name.size()));
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ >= 0 && (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd_, 1) != 0)) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Socket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The PCM bytes of a WAV file's data chunk.
QByteArray pcmOf(const QByteArray& wav)
{
    const qsizetype data = wav.indexOf("data", 12);
    return data < 0 ? QByteArray() : wav.mid(data + 8);
}

}  // namespace

TEST(CliInputKinds, EveryReadingCommandRefusesWhatIsNotARegularFile)
{
    dwtest::Sandbox box;
    // Names with the extensions the commands look for, so each gets as far
    // as opening its input; the devices are reached through symbolic links.
    const QString fifo = box.file("fifo.wav"), folder = box.file("folder.wav"), sock = box.file("sock.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ASSERT_TRUE(QDir().mkdir(folder));
    const Socket listening(sock);
    ASSERT_TRUE(listening.ok());
    const QString null = box.file("null.wav"), zero = box.file("zero.wav");
    ASSERT_EQ(::symlink("/dev/null", QFile::encodeName(null).constData()), 0);
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(zero).constData()), 0);
    const QString out = box.file("out");
    ASSERT_TRUE(QDir().mkdir(out));

    const struct {
        QString path;
        QString kind;  // as the refusal names it
    } inputs[] = {
        {fifo, "is a FIFO, not a regular file"},
        {null, "is a character device, not a regular file"},
        {zero, "is a character device, not a regular file"},
        {sock, "is a socket, not a regular file"},
        {folder, "Is a directory"},
    };
    for (const auto& input : inputs) {
        const QString& in = input.path;
        // Every refusal names the file and, except where lame is handed
        // the file (its own check says "not a regular file"), what it is.
        const struct {
            QStringList args;
            bool namesKind;
        } commands[] = {
            {{"info", in}, true},
            {{"convert-wav", in, out + "/a.wav"}, true},
            {{"decode", "ogg", in, out + "/b.wav"}, true},
            {{"encode", "ogg", in, out + "/c.ogg"}, true},
            {{"encode", "mp3", in, out + "/d.mp3"}, false},
            {{"play", in}, true},
            {{"tag", "show", in}, true},
            {{"tag", "set", in, "--title", "T"}, true},
            {{"tag", "remove", in}, true},
            {{"convert", "flac", in, "--output", out}, true},
            {{"convert", "opus", in, "--output", out}, true},
            {{"convert", "ogg", in, "--output", out}, true},
            {{"convert", "mp3", in, "--output", out}, true},
            {{"convert", "wav", in, "--output", out}, false},
        };
        for (const auto& c : commands) {
            SCOPED_TRACE(c.args.join(' ').toStdString());
            const dwtest::CliResult r = runCli(c.args, kQuickMs);
            ASSERT_NE(r.status, -1) << "did not end";
            EXPECT_NE(r.status, 0);
            EXPECT_TRUE(r.err.contains(in)) << r.err.toStdString();
            if (c.namesKind)
                EXPECT_TRUE(r.err.contains(in + ": " + input.kind)) << r.err.toStdString();
        }
        EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }
}

TEST(CliInputKinds, ConvertWavKeepsAnExistingOutputUnlessAskedToReplaceIt)
{
    dwtest::Sandbox box;
    const QString in = box.file("in.wav"), old = box.file("old.wav");
    make("sox", {"-n", "-r", "22050", "-c", "1", "-b", "16", in, "synth", "0.3", "sine", "500"});
    box.write("old.wav", "a file of the user's own");

    auto r = runCli({"convert-wav", in, old, "--rate", "8000", "--quiet"}, kQuickMs);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "discwright-cli: " + old + ": already exists and replacing it was not asked for\n");
    EXPECT_EQ(box.read("old.wav"), "a file of the user's own");

    r = runCli({"convert-wav", in, old, "--rate", "8000", "--overwrite", "--quiet"}, kQuickMs);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(dwtest::peer("soxi", {"-r", old}).trimmed(), "8000");
    EXPECT_EQ(QDir(box.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"in.wav", "old.wav"}));

    r = runCli({"convert-wav", "--help"});
    EXPECT_TRUE(r.out.contains("[--overwrite]")) << r.out.toStdString();
}

TEST(CliInputKinds, TagChangesOnlyFilesThatAreMp3ByContent)
{
    dwtest::Sandbox box;
    const QString wav = box.file("t.wav");
    make("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "0.5", "sine", "440"});
    make("flac", {"-s", "-f", wav, "-o", box.file("t.flac")});
    make("opusenc", {"--quiet", wav, box.file("t.opus")});
    make("oggenc", {"-Q", wav, "-o", box.file("t.ogg")});
    make("lame", {"--quiet", wav, box.file("t.mp3")});
    // The names say nothing: a FLAC stream named .mp3, and one behind an
    // ID3v2 tag as some programs write them.
    QFile::copy(box.file("t.flac"), box.file("flac-named.mp3"));
    QByteArray id3 = QByteArray("ID3\x03\x00\x00\x00\x00\x00\x15", 10) + QByteArray("TIT2\x00\x00\x00\x0b\x00\x00\x00", 11);
    id3 += QByteArray("Some title", 10);
    box.write("id3-front.flac", id3 + box.read("t.flac"));

    // One MPEG frame header in front of what is no MPEG stream.
    box.write("sync-only.mp3", QByteArray("\xFF\xFB\x90\x00", 4) + QByteArray(5000, '\0'));

    const QStringList others = {"t.wav", "t.flac", "t.opus", "t.ogg", "flac-named.mp3", "id3-front.flac", "sync-only.mp3"};
    for (const QString& name : others) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray before = box.read(name);
        for (const QStringList& args : {QStringList{"tag", "set", box.file(name), "--title", "Over"},
                                        QStringList{"tag", "remove", box.file(name)}}) {
            const auto r = runCli(args, kQuickMs);
            EXPECT_EQ(r.status, 1);
            EXPECT_TRUE(r.err.startsWith("discwright-cli: " + box.file(name) + ": not an MP3 file"))
                << r.err.toStdString();
        }
        EXPECT_EQ(box.read(name), before);
    }
    EXPECT_TRUE(dwtest::runTool("flac", {"-t", "-s", box.file("t.flac")}).ok);
    EXPECT_TRUE(dwtest::runTool("flac", {"-t", "-s", box.file("flac-named.mp3")}).ok);
    EXPECT_TRUE(runCli({"tag", "set", box.file("t.flac"), "--title", "X"}).err.contains("it holds FLAC audio"));

    // An MP3 file takes the tag whatever it is called.
    ASSERT_TRUE(QFile::rename(box.file("t.mp3"), box.file("song.flac")));
    const QByteArray mp3 = box.read("song.flac");
    auto r = runCli({"tag", "set", box.file("song.flac"), "--title", "Kept"}, kQuickMs);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QByteArray tagged = box.read("song.flac");
    ASSERT_EQ(tagged.size(), mp3.size() + 128);
    EXPECT_EQ(tagged.left(mp3.size()), mp3);
    EXPECT_EQ(tagged.mid(mp3.size(), 7), QByteArray("TAGKept"));
    EXPECT_EQ(runCli({"tag", "remove", box.file("song.flac")}).status, 0);
    EXPECT_EQ(box.read("song.flac"), mp3);
}

TEST(CliInputKinds, HandWrittenSettingsOutsideTheirRangesAreClampedOnLoad)
{
    dwtest::Sandbox box;
    const QString ini = box.configHome() + "/Quobel/Discwright/options.ini";
    box.write(ini,
              "[CommonOptions]\nIsNormalize=1\nNormalizePercent=-300\nRipTime=-5\n[Mp3Options]\nBitRate=9999\n"
              "[CDOptions]\nIndex=-9\n[QueryCDDB]\nPort=0\n[Options]\nLan=../../elsewhere\n");
    auto r = runCli({"config"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    for (const char* line : {"CommonOptions.NormalizePercent=0\n", "CommonOptions.RipTime=0\n", "Mp3Options.BitRate=320\n",
                             "CDOptions.Index=-1\n", "QueryCDDB.Port=1\n", "Options.Lan=English\n"})
        EXPECT_TRUE(r.out.contains(QLatin1String(line))) << line;
    EXPECT_EQ(runCli({"config", "CommonOptions.NormalizePercent"}).out, "0\n");
    const QJsonObject json = QJsonDocument::fromJson(runCli({"config", "--json"}).out.toUtf8()).object();
    EXPECT_EQ(json["Mp3Options"].toObject()["BitRate"].toInt(), 320);
    EXPECT_EQ(json["QueryCDDB"].toObject()["Port"].toString(), "1");

    // The values a rip uses: a gain of 250 % from the file is 100 %, the
    // track's own samples; -300 % is 0 %, silence (not three times louder,
    // inverted).
    const QString cue = dwtest::makeCdImage(box.path(), {2});
    const auto rip = [&](const QByteArray& normalize, const QString& folder) {
        box.write(ini, "[CommonOptions]\nIsNormalize=" + normalize + "\nEnableRipTime=1\nRipTime=1\n");
        const auto done = runCli({"rip", "--device", cue, "--tracks", "1", "--format", "wav", "--output", folder,
                                  "--quiet"});
        EXPECT_EQ(done.status, 0) << done.err.toStdString();
        return pcmOf(readFile(folder + "/Track01.wav"));
    };
    const QByteArray plain = rip("0", box.file("plain"));
    ASSERT_EQ(plain.size(), 75 * 2352);
    ASSERT_NE(plain.count('\0'), plain.size());
    EXPECT_TRUE(rip("1\nNormalizePercent=250", box.file("loud")) == plain);
    EXPECT_TRUE(rip("1\nNormalizePercent=-300", box.file("negative")) == QByteArray(plain.size(), '\0'));
}
