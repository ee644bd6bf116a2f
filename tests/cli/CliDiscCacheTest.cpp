// Where the disc titles live and which disc they belong to: with two drives
// every lookup and save goes by the selected drive's disc; tags carry a title
// as entered while only file names are cleaned; and an installed program (a
// program folder the user cannot write) keeps the user's titles in the XDG
// data folder, carrying over a cache an earlier version left in the program
// folder.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/IniFile.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using dwtest::runCli;

namespace {

QJsonObject listJson(const QStringList& extra = {})
{
    const auto r = runCli(QStringList{"list", "--json"} + extra);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

QStringList titlesOf(const QJsonObject& doc)
{
    QStringList out;
    for (const QJsonValue& t : doc["tracks"].toArray())
        out << t.toObject()["title"].toString();
    return out;
}

// The title tag of an audio file as mutagen reads it (ID3v2 TIT2 for MP3).
QString titleTag(const QString& file)
{
    return dwtest::peer("/usr/bin/python3", {"-c",
                                             "import sys, mutagen\nf = mutagen.File(sys.argv[1])\n"
                                             "t = f.tags\nprint(str(t['TIT2'] if 'TIT2' in t else t['title'][0]))",
                                             file})
        .trimmed();
}

QString id3v1Title(const QString& mp3)
{
    return dwtest::peer("/usr/bin/python3", {"-c",
                                             "import sys\nfrom mutagen.id3 import ParseID3v1\n"
                                             "t = ParseID3v1(open(sys.argv[1], 'rb').read()[-128:])\n"
                                             "print(str(t['TIT2']))",
                                             mp3})
        .trimmed();
}

// Sets environment variables back as they were when it goes.
class EnvGuard {
public:
    explicit EnvGuard(QList<const char*> names) : names_(std::move(names))
    {
        for (const char* n : names_)
            old_ << (qEnvironmentVariableIsSet(n) ? std::optional<QByteArray>(qgetenv(n)) : std::nullopt);
    }
    ~EnvGuard()
    {
        for (qsizetype i = 0; i < names_.size(); ++i) {
            if (old_[i])
                qputenv(names_[i], *old_[i]);
            else
                qunsetenv(names_[i]);
        }
    }

private:
    QList<const char*> names_;
    QList<std::optional<QByteArray>> old_;
};

}  // namespace

TEST(CliDiscCache, TwoDrivesEachShowAndKeepTheirOwnDiscsTitles)
{
    dwtest::Sandbox box;
    const QString a = dwtest::makeCdImage(box.path(), {3, 4, 5}, dwtest::CdImageOptions().named("a").silent());
    const QString b = dwtest::makeCdImage(box.path(), {6, 7}, dwtest::CdImageOptions().named("b").silent());
    qputenv("DISCWRIGHT_CD_IMAGES", (a + ":" + b).toUtf8());

    ASSERT_EQ(runCli({"title", "1", "Ay one"}).status, 0);  // drive 0 is selected by default
    ASSERT_EQ(runCli({"config", "CDOptions.Index=1"}).status, 0);
    // The second drive lists its own disc with its own (default) titles...
    QJsonObject second = listJson();
    EXPECT_EQ(titlesOf(second), (QStringList{"Track01", "Track02"}));
    // ... and a rename there stays with that disc.
    const auto renamed = runCli({"title", "1", "Bee one"});
    ASSERT_EQ(renamed.status, 0) << renamed.err.toStdString();
    second = listJson();
    EXPECT_EQ(titlesOf(second), (QStringList{"Bee one", "Track02"}));
    EXPECT_EQ(listJson({"--device", b})["discKey"].toString(), second["discKey"].toString());

    ASSERT_EQ(runCli({"config", "CDOptions.Index=0"}).status, 0);
    const QJsonObject first = listJson();
    EXPECT_EQ(titlesOf(first), (QStringList{"Ay one", "Track02", "Track03"}));
    ASSERT_NE(first["discKey"].toString(), second["discKey"].toString());

    const dw::IniFile cache(box.discCache());
    EXPECT_EQ(cache.readString(first["discKey"].toString(), "1", ""), "Ay one");
    EXPECT_EQ(cache.readString(second["discKey"].toString(), "1", ""), "Bee one");
    EXPECT_EQ(cache.readInteger(second["discKey"].toString(), "TrackNumber", 0), 2);

    // A rip of the selected drive names its files after that disc's titles.
    ASSERT_EQ(runCli({"config", "CDOptions.Index=1"}).status, 0);
    for (const QString mode : {"drive", "ripper"}) {
        const QString out = box.file("out-" + mode);
        const auto r = runCli({"rip", "--output", out, "--tracks", "1", "--format", "wav", "--mode", mode});
        ASSERT_EQ(r.status, 0) << mode.toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{"Bee one.wav"}) << mode.toStdString();
    }
}

TEST(CliDiscCache, TagsHoldTheTitleAsEnteredAndOnlyFileNamesAreCleaned)
{
    dwtest::Sandbox box;
    const QString cue = dwtest::makeCdImage(box.path(), {1, 1});
    const QString title = QString::fromUtf8("Harbour Lights: über/Night?");
    ASSERT_EQ(runCli({"title", "--device", cue, "2", title}).status, 0);
    ASSERT_EQ(runCli({"config", "ID3.Use=1"}).status, 0);  // the ID3v1 trailer of drive-mode MP3s
    const QString stem = QString::fromUtf8("Harbour Lights überNight");

    struct Case {
        const char* format;
        const char* mode;
        const char* ext;
    };
    for (const Case& c : {Case{"mp3", "drive", ".mp3"}, Case{"mp3", "ripper", ".mp3"}, Case{"ogg", "drive", ".ogg"},
                          Case{"flac", "drive", ".flac"}, Case{"flac", "ripper", ".flac"},
                          Case{"opus", "ripper", ".opus"}}) {
        const QString where = QString("%1 %2").arg(c.format, c.mode);
        const QString out = box.file(QString("out-%1-%2").arg(c.format, c.mode));
        const auto r = runCli({"rip", "--device", cue, "--output", out, "--tracks", "2", "--format", c.format,
                               "--mode", c.mode});
        ASSERT_EQ(r.status, 0) << where.toStdString() << ": " << r.err.toStdString();
        const QString file = out + "/" + stem + c.ext;
        ASSERT_TRUE(QFileInfo(file).isFile()) << where.toStdString() << ": "
                                              << QDir(out).entryList(QDir::Files).join('|').toStdString();
        EXPECT_EQ(titleTag(file), title) << where.toStdString();
        if (QString(c.format) == "mp3")
            EXPECT_EQ(id3v1Title(file), title) << where.toStdString();
    }
}

// As the program is once installed: its folder belongs to root (mode 0755)
// and the user runs it. The titles go to the user's XDG data folder, and a
// cache an earlier version kept in the program folder is carried over there
// (its disc's titles and the other discs). Without a usable data folder the rename
// fails with the folder and the reason, and the exit status says so.
TEST(CliDiscCache, AnInstalledProgramKeepsTitlesInTheUsersDataFolder)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a folder only root may write and to run as another user";
    dwtest::Sandbox box;
    ASSERT_EQ(::chmod(QFile::encodeName(box.path()), 0755), 0);
    const QString program = box.file("installed");
    ASSERT_TRUE(QDir().mkpath(program));
    ASSERT_TRUE(QFile::copy(dwtest::binDir() + "/discwright-cli", program + "/discwright-cli"));
    ASSERT_EQ(::chmod(QFile::encodeName(program + "/discwright-cli"), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(program), 0755), 0);

    // The user's own folder, with the disc in it.
    const QString home = box.file("home");
    ASSERT_TRUE(QDir().mkpath(home));
    const QString cue = dwtest::makeCdImage(home, {2, 3}, dwtest::CdImageOptions().silent());
    const QString discKey = listJson({"--device", cue})["discKey"].toString();
    ASSERT_FALSE(discKey.isEmpty());
    const QByteArray old = "[" + discKey.toUtf8() + "]\nArtist=From before\nTrackNumber=2\n1=Old one\n2=Old two\n"
                           "[4242]\nTrackNumber=1\n1=Another disc\n";
    box.write(program + "/cdinfo.dat", old);
    for (const QString& path : QDir(home).entryList(QDir::Files | QDir::NoDotAndDotDot))
        ASSERT_EQ(::chown(QFile::encodeName(home + "/" + path), 65534, 65534), 0);
    ASSERT_EQ(::chown(QFile::encodeName(home), 65534, 65534), 0);

    EnvGuard env({"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"});
    qputenv("DISCWRIGHT_PROGRAM_DIR", program.toUtf8());  // the sandbox puts it back
    qputenv("HOME", home.toUtf8());
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CACHE_HOME");
    dwtest::CliRunOptions asUser;
    asUser.unprivileged = true;
    const auto cli = [&](const QStringList& args) {
        QList<QByteArray> raw;
        for (const QString& a : args)
            raw << a.toUtf8();
        return dwtest::runCliRaw(raw, asUser);
    };

    const auto renamed = cli({"title", "--device", cue, "2", "Renamed"});
    EXPECT_EQ(renamed.status, 0) << renamed.err.toStdString();
    const auto listed = cli({"list", "--device", cue, "--json"});
    EXPECT_EQ(titlesOf(QJsonDocument::fromJson(listed.out.toUtf8()).object()), (QStringList{"Old one", "Renamed"}))
        << listed.err.toStdString();
    const QString userCache = home + "/.local/share/Quobel/Discwright/cdinfo.dat";
    const dw::IniFile cache(userCache);
    EXPECT_EQ(cache.readString(discKey, "2", ""), "Renamed");
    EXPECT_EQ(cache.readString(discKey, "Artist", ""), "From before");
    EXPECT_EQ(cache.readString("4242", "1", ""), "Another disc");

    // A data folder the user cannot make: the failure is named, not swallowed.
    qputenv("XDG_DATA_HOME", program.toUtf8());
    const auto refused = cli({"title", "--device", cue, "1", "Lost?"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "discwright-cli: " + program + "/Quobel: Permission denied\n");
}
