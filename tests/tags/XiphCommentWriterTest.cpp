// Rewriting the comments of finished Ogg Vorbis, Ogg Opus and FLAC files
// (made by the reference encoders), judged by the reference readers
// (vorbiscomment, opusinfo, metaflac) and by decoding the audio before and
// after with ffmpeg: the named comments change, every other comment and
// every sample stay, even when the comment header grows over several pages.

#include "platform/NativePath.h"
#include "tags/XiphCommentWriter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>

using namespace dw;

namespace {

QByteArray run(const QString& program, const QStringList& args, int* status = nullptr)
{
    QProcess p;
    p.start(program, args);
    const bool finished = p.waitForFinished(60000);
    if (status)
        *status = finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return p.readAllStandardOutput();
}

// The comments as the format's reference reader lists them (upper-case names).
QMap<QString, QString> peerComments(const QString& file)
{
    QStringList lines;
    if (file.endsWith(".flac")) {
        lines = QString::fromUtf8(run("metaflac", {"--export-tags-to=-", file})).split('\n');
    } else if (file.endsWith(".ogg")) {
        lines = QString::fromUtf8(run("vorbiscomment", {"-l", file})).split('\n');
    } else {
        // opusinfo indents the comments by a tab after "User comments section follows...".
        const QStringList all = QString::fromUtf8(run("opusinfo", {file})).split('\n');
        const qsizetype from = all.indexOf("User comments section follows...");
        for (qsizetype i = from + 1; from >= 0 && i < all.size() && all[i].startsWith('\t'); ++i)
            lines << all[i].mid(1);
    }
    QMap<QString, QString> out;
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            out.insert(line.left(eq).toUpper(), line.mid(eq + 1));
    }
    return out;
}

QByteArray decoded(const QString& file)
{
    int status = -1;
    const QByteArray pcm = run("ffmpeg", {"-v", "error", "-nostdin", "-i", file, "-f", "s16le", "-"}, &status);
    EXPECT_EQ(status, 0) << file.toStdString();
    return pcm;
}

QStringList leftovers(const QString& folder)
{
    return QDir(folder).entryList({".*.part"}, QDir::Files | QDir::Hidden);
}

}  // namespace

TEST(XiphCommentWriter, NamedCommentsChangeWhileOtherCommentsAndTheAudioStay)
{
    dwtest::Sandbox box;
    const QString wav = box.file("tone.wav");
    int status = -1;
    run("ffmpeg", {"-v", "error", "-nostdin", "-f", "lavfi", "-i", "sine=f=440:d=3", "-ac", "2", "-ar", "44100",
                   "-y", wav}, &status);
    ASSERT_EQ(status, 0);
    const QString flac = box.file("t.flac"), ogg = box.file("t.ogg"), opus = box.file("t.opus");
    run("flac", {"--silent", "-f", "-T", "TITLE=Old", "-T", "REPLAYGAIN_TRACK_GAIN=+9.99 dB", "-T", "ARTIST=Ana",
                 "-o", flac, wav}, &status);
    ASSERT_EQ(status, 0);
    run("ffmpeg", {"-v", "error", "-nostdin", "-i", wav, "-c:a", "libvorbis", "-metadata", "TITLE=Old", "-metadata",
                   "REPLAYGAIN_TRACK_GAIN=+9.99 dB", "-metadata", "ARTIST=Ana", "-y", ogg}, &status);
    ASSERT_EQ(status, 0);
    run("opusenc", {"--quiet", "--title", "Old", "--artist", "Ana", "--comment", "R128_TRACK_GAIN=999", wav, opus},
        &status);
    ASSERT_EQ(status, 0);

    EXPECT_EQ(XiphFileKindOf(flac), TXiphFileKind::Flac);
    EXPECT_EQ(XiphFileKindOf(ogg), TXiphFileKind::OggVorbis);
    EXPECT_EQ(XiphFileKindOf(opus), TXiphFileKind::OggOpus);
    EXPECT_EQ(XiphFileKindOf(wav), TXiphFileKind::Unknown);
    // A FLAC stream behind an ID3v2 tag (10-byte header, 5 bytes of tag).
    box.write("id3.flac", QByteArray("ID3\x04\x00\x00\x00\x00\x00\x05", 10) + QByteArray(5, '\0') + box.read("t.flac"));
    EXPECT_EQ(XiphFileKindOf(box.file("id3.flac")), TXiphFileKind::Flac);

    // Far more than one Ogg page (64 KiB at most) of comments.
    const QString longText(100000, QChar('x'));
    for (const QString& file : {flac, ogg, opus}) {
        SCOPED_TRACE(file.toStdString());
        const QByteArray before = decoded(file);
        ASSERT_GT(before.size(), 100000);
        const bool isOpus = file == opus;
        const QString gainName = isOpus ? "R128_TRACK_GAIN" : "REPLAYGAIN_TRACK_GAIN";
        QString error;
        ASSERT_TRUE(WriteXiphComments(file,
                                      {{"title", QString::fromUtf8("Neu ß")},
                                       {gainName, QString()},
                                       {isOpus ? "R128_ALBUM_GAIN" : "replaygain_album_gain", isOpus ? "-512" : "-7.25 dB"},
                                       {"NOTE", longText}},
                                      &error))
            << error.toStdString();
        const QMap<QString, QString> c = peerComments(file);
        EXPECT_EQ(c.value("TITLE"), QString::fromUtf8("Neu ß"));
        EXPECT_EQ(c.value("ARTIST"), "Ana");
        EXPECT_FALSE(c.contains(gainName));
        EXPECT_EQ(c.value(isOpus ? "R128_ALBUM_GAIN" : "REPLAYGAIN_ALBUM_GAIN"), isOpus ? "-512" : "-7.25 dB");
        EXPECT_EQ(c.value("NOTE").size(), longText.size());
        EXPECT_EQ(c.count("TITLE"), 1);
        EXPECT_EQ(decoded(file), before);
        // Shrinking the header back again keeps the stream whole too; here
        // written where the file is (as into an encoder's temporary file),
        // so the file keeps its inode.
        const auto inode = [&file] {
            struct stat st {};
            return ::stat(dw::NativePath(file).constData(), &st) == 0 ? st.st_ino : ino_t(0);
        };
        const auto id = inode();
        ASSERT_TRUE(WriteXiphCommentsInPlace(file, {{"NOTE", QString()}}, &error)) << error.toStdString();
        EXPECT_EQ(inode(), id);
        EXPECT_FALSE(peerComments(file).contains("NOTE"));
        EXPECT_EQ(decoded(file), before);
    }
    EXPECT_TRUE(leftovers(box.path()).isEmpty()) << leftovers(box.path()).join(' ').toStdString();
}

TEST(XiphCommentWriter, FailuresNameTheFileAndLeaveItAsItWas)
{
    dwtest::Sandbox box;
    // A WAV file under a FLAC name is not tagged.
    const QByteArray wavBytes = QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16) + QByteArray(200, '\x11');
    box.write("fake.flac", wavBytes);
    QString error;
    EXPECT_FALSE(WriteXiphComments(box.file("fake.flac"), {{"TITLE", "x"}}, &error));
    EXPECT_EQ(error, box.file("fake.flac") + ": not an Ogg Vorbis, Ogg Opus or FLAC file");
    EXPECT_EQ(box.read("fake.flac"), wavBytes);
    // A name with '=' cannot be a comment name; nothing is touched.
    EXPECT_FALSE(WriteXiphComments(box.file("fake.flac"), {{"A=B", "x"}}, &error));
    EXPECT_TRUE(error.startsWith(box.file("fake.flac") + ": ")) << error.toStdString();
    EXPECT_FALSE(WriteXiphComments(box.file("missing.ogg"), {{"TITLE", "x"}}, &error));
    EXPECT_EQ(error, box.file("missing.ogg") + ": No such file or directory");
    EXPECT_TRUE(leftovers(box.path()).isEmpty());

    // A link is followed: the file it names is rewritten, the link stays.
    int status = -1;
    run("ffmpeg", {"-v", "error", "-nostdin", "-f", "lavfi", "-i", "sine=d=1", "-y", box.file("real.flac")}, &status);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(QFile::link(box.file("real.flac"), box.file("link.flac")));
    ASSERT_TRUE(WriteXiphComments(box.file("link.flac"), {{"TITLE", "Linked"}}, &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(box.file("link.flac")).isSymLink());
    EXPECT_EQ(peerComments(box.file("real.flac")).value("TITLE"), "Linked");
}
