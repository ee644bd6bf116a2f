#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <ftw.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "app/Settings.h"
#include "platform/IniFile.h"
#include "platform/NativePath.h"
#include "support/TestSupport.h"

using namespace dw;

namespace {

QString folderOf(const dwtest::Sandbox& box) { return box.configHome() + "/Quobel/Discwright/"; }

// Sets an environment variable for one test and restores it afterwards.
class EnvVar {
public:
    EnvVar(const char* name, const QByteArray& value)
        : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~EnvVar()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* name_;
    QByteArray old_;
    bool had_;
};

// Permission bits bind root only through another identity: when the tests
// run as root, the block runs as "nobody" (the saved user id stays root, so
// the destructor can switch back).
class AsUnprivilegedUser {
public:
    AsUnprivilegedUser()
    {
        if (::geteuid() != 0)
            return;
        active_ = true;
        groups_.resize(size_t(std::max(0, ::getgroups(0, nullptr))));
        if (::getgroups(int(groups_.size()), groups_.data()) < 0)
            groups_.clear();
        if (::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 0) == 0)
            (void)::setresuid(65534, 65534, 0);
    }
    ~AsUnprivilegedUser()
    {
        if (!active_)
            return;
        if (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0 ||
            ::setgroups(groups_.size(), groups_.data()) != 0)
            std::abort();  // the remaining tests must not run with another identity
    }
    AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
    AsUnprivilegedUser& operator=(const AsUnprivilegedUser&) = delete;

    bool ok() const { return ::geteuid() != 0; }

private:
    std::vector<gid_t> groups_;
    bool active_ = false;
};

void setMode(const QString& path, mode_t mode) { ASSERT_EQ(::chmod(NativePath(path).constData(), mode), 0); }

// Removes a folder tree by its byte name (Qt cannot name non-UTF-8 entries).
void removeTree(const QByteArray& root)
{
    ::nftw(root.constData(), [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); }, 16,
           FTW_DEPTH | FTW_PHYS);
}

QByteArray head(const QString& file, qint64 n)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.read(n) : QByteArray();
}

}  // namespace

TEST(Settings, DefaultsWhenNoFile)
{
    dwtest::Sandbox box;
    EnvVar home("HOME", box.path().toUtf8());
    AppSettings = TAppSettings{};
    AppSettings.DiscArtist = "kept";
    LoadSettings();
    EXPECT_TRUE(QDir(folderOf(box)).exists());
    EXPECT_EQ(AppSettings.OutputFolder, box.path() + "/Music/");
    EXPECT_EQ(AppSettings.OutputFormat, 0);
    EXPECT_EQ(AppSettings.NormalizePercent, 95);
    EXPECT_EQ(AppSettings.BitRate, 128);
    EXPECT_EQ(AppSettings.MaxBitRate, 320);
    EXPECT_EQ(AppSettings.VBRQuality, 4);
    EXPECT_EQ(AppSettings.StereoMode, 1);
    EXPECT_TRUE(AppSettings.IsUseCompress);
    EXPECT_EQ(AppSettings.CompressPosition, 30);
    EXPECT_EQ(AppSettings.WmaBitRate, 8);
    EXPECT_EQ(AppSettings.Index, -1);
    EXPECT_EQ(AppSettings.Server, DefaultCddbServer);
    EXPECT_EQ(AppSettings.Script, "/~cddb/cddb.cgi");
    EXPECT_EQ(AppSettings.Port, "80");
    EXPECT_EQ(AppSettings.Lan, "English");
    EXPECT_EQ(AppSettings.DiscArtist, "kept");  // disc fields are not settings
}

TEST(Settings, DefaultOutputFolderIsTheMusicFolder)
{
    dwtest::Sandbox box;
    EnvVar home("HOME", box.file("home").toUtf8());
    QDir().mkpath(box.file("home"));
    const QString settings = folderOf(box);
    EXPECT_EQ(DefaultOutputFolder(settings), box.file("home") + "/Music/");

    // The XDG user-dirs file moves it.
    box.write(box.configHome() + "/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n");
    EXPECT_EQ(DefaultOutputFolder(settings), box.file("home") + "/Tunes/");
    LoadSettings();
    EXPECT_EQ(AppSettings.OutputFolder, box.file("home") + "/Tunes/");

    // Without a home folder the settings folder serves.
    EnvVar gone("HOME", box.file("no-such-home").toUtf8());
    EXPECT_EQ(DefaultOutputFolder(settings), settings);
}

TEST(Settings, ClampingAndTolerantParsing)
{
    dwtest::Sandbox box;
    QDir().mkpath(folderOf(box));
    box.write(folderOf(box) + "options.ini",
              "[CommonOptions]\nIsKeepWav=7\n[Mp3Options]\nBitRate=abc\n[OggOptions]\nCompressPosition=5\n");
    LoadSettings();
    EXPECT_TRUE(AppSettings.IsKeepWav);
    EXPECT_EQ(AppSettings.BitRate, 128);
    EXPECT_EQ(AppSettings.CompressPosition, 30);

    box.write(folderOf(box) + "options.ini", "[OggOptions]\nCompressPosition=250\n");
    LoadSettings();
    EXPECT_EQ(AppSettings.CompressPosition, 100);
}

// Every number of the table, written by hand far below and far above its
// range, loads as the nearer end of the range; texts that break their rule
// load as the default, and what loads passes the check a typed value must.
TEST(Settings, EveryValueIsHeldToTheTableOnLoad)
{
    dwtest::Sandbox box;
    QDir().mkpath(folderOf(box));
    const QString file = folderOf(box) + "options.ini";
    int numbers = 0;
    for (const bool below : {true, false}) {
        QByteArray ini;
        for (const SettingDescriptor& d : SettingDescriptors()) {
            if (d.min > d.max || d.type == SettingDescriptor::Boolean)
                continue;
            const long long v = below ? (long long)d.min - 100000 : (long long)d.max + 100000;
            ini += QByteArray("[") + d.section + "]\n" + d.key + "=" + QByteArray::number(v) + "\n";
        }
        box.write(file, ini);
        LoadSettingsFrom(AppSettings, file, box.path() + "/");
        for (const SettingDescriptor& d : SettingDescriptors()) {
            if (d.min > d.max || d.type == SettingDescriptor::Boolean)
                continue;
            SCOPED_TRACE(std::string(d.section) + "." + d.key);
            EXPECT_EQ(SettingValue(AppSettings, d.section, d.key), QString::number(below ? d.min : d.max));
            ++numbers;
        }
    }
    ASSERT_GT(numbers, 0);

    box.write(file, "[CommonOptions]\nOutputFolder=\nNormalizePercent=-300\nRipTime=0\n"
                    "[QueryCDDB]\nServer=two words\nScript=cgi\nPort=http\n[Options]\nLan=../../tmp/x\n");
    LoadSettingsFrom(AppSettings, file, box.path() + "/");
    EXPECT_EQ(AppSettings.OutputFolder, box.path() + "/");
    EXPECT_EQ(AppSettings.NormalizePercent, 0);
    EXPECT_EQ(AppSettings.RipTime, 0);  // "not set" stays a valid value
    EXPECT_EQ(AppSettings.Server, QString::fromLatin1(DefaultCddbServer));
    EXPECT_EQ(AppSettings.Script, "/~cddb/cddb.cgi");
    EXPECT_EQ(AppSettings.Port, "80");
    EXPECT_EQ(AppSettings.Lan, "English");
    for (const SettingDescriptor& d : SettingDescriptors()) {
        QString problem;
        EXPECT_TRUE(CheckSettingValue(d.section, d.key, SettingValue(AppSettings, d.section, d.key), nullptr, &problem))
            << problem.toStdString();
    }
}

TEST(Settings, SaveWritesEveryKeyInOrderAndRoundTrips)
{
    dwtest::Sandbox box;
    LoadSettings();
    AppSettings.OutputFormat = 2;
    AppSettings.OggMaxBitRate = 3;
    AppSettings.WmaBitRate = 12;
    AppSettings.ProxyAddress = "proxy.example";
    AppSettings.Lan = "German";
    ASSERT_TRUE(SaveSettings());

    const QString text = QString::fromUtf8(box.read(folderOf(box) + "options.ini"));
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    QStringList sections;
    for (const QString& l : lines)
        if (l.startsWith('['))
            sections << l;
    EXPECT_EQ(sections, (QStringList{"[CommonOptions]", "[Mp3Options]", "[OggOptions]", "[WMAOptions]", "[FlacOptions]",
                                     "[OpusOptions]", "[WaveConvert]", "[CDOptions]", "[RecordOptions]", "[QueryCDDB]", "[ID3]",
                                     "[ReplayGain]", "[Id3v2]", "[Options]"}));
    EXPECT_EQ(lines.size(), 37 + 14);
    // Same key names in different sections stay apart.
    IniFile ini(folderOf(box) + "options.ini");
    EXPECT_EQ(ini.readInteger("OggOptions", "MaxBitRate", -1), 3);
    EXPECT_EQ(ini.readInteger("Mp3Options", "MaxBitRate", -1), 320);
    EXPECT_EQ(ini.readInteger("WMAOptions", "BitRate", -1), 12);
    EXPECT_EQ(ini.readString("CommonOptions", "IsKeepWav", ""), "0");

    TAppSettings saved = AppSettings;
    AppSettings = TAppSettings{};
    LoadSettings();
    for (const SettingDescriptor& d : SettingDescriptors())
        EXPECT_EQ(SettingValue(AppSettings, d.section, d.key), SettingValue(saved, d.section, d.key))
            << d.section << "." << d.key;
}

TEST(Settings, FallsBackToProgramFolderWhenAppDataCannotBeCreated)
{
    dwtest::Sandbox box;
    EnvVar home("HOME", box.file("no-such-home").toUtf8());
    // A file where the configuration folder should be makes creation fail.
    box.write("blocked", "x");
    qputenv("XDG_CONFIG_HOME", box.file("blocked").toUtf8());
    LoadSettings();
    EXPECT_EQ(AppSettings.OutputFolder, box.programDir() + "/");
    ASSERT_TRUE(SaveSettings());
    EXPECT_TRUE(QFile::exists(box.programDir() + "/options.ini"));
}

TEST(Settings, UnwritableSettingsFolderFallsBackOrReportsTheFailure)
{
    dwtest::Sandbox box;
    ASSERT_TRUE(QDir().mkpath(folderOf(box)));
    setMode(box.path(), 0755);
    setMode(folderOf(box), 0555);
    setMode(box.programDir(), 0777);
    {
        AsUnprivilegedUser user;
        ASSERT_TRUE(user.ok());
        // An existing folder that takes no files is passed over.
        EXPECT_EQ(GetAppDataFolder(), box.programDir() + "/");
        AppSettings.Lan = "German";
        QString error;
        EXPECT_TRUE(SaveSettings(&error)) << error.toStdString();
    }
    EXPECT_EQ(IniFile(box.programDir() + "/options.ini").readString("Options", "Lan", ""), "German");

    // Neither folder writable: the save says which file and why.
    QFile::remove(box.programDir() + "/options.ini");
    setMode(box.programDir(), 0555);
    QString error;
    bool saved = true;
    {
        AsUnprivilegedUser user;
        ASSERT_TRUE(user.ok());
        saved = SaveSettings(&error);
    }
    setMode(box.programDir(), 0755);
    setMode(folderOf(box), 0755);
    EXPECT_FALSE(saved);
    EXPECT_EQ(error, box.programDir() + "/options.ini: Permission denied");
}

TEST(Settings, UnreadableOrOversizedFileIsKeptNotReplacedByDefaults)
{
    dwtest::Sandbox box;
    const QString file = folderOf(box) + "options.ini";
    const QByteArray mine = "[Mp3Options]\nBitRate=256\n[Options]\nLan=German\n";
    box.write(file, mine);
    setMode(box.path(), 0755);
    setMode(folderOf(box), 0777);
    setMode(file, 0000);
    QString saveError, storeError;
    {
        AsUnprivilegedUser user;
        ASSERT_TRUE(user.ok());
        LoadSettings();  // defaults, as for a missing file
        EXPECT_EQ(AppSettings.BitRate, 128);
        EXPECT_FALSE(SaveSettings(&saveError));
        EXPECT_FALSE(StoreSetting(file, "Mp3Options", "BitRate", "320", &storeError));
    }
    setMode(file, 0644);
    EXPECT_EQ(saveError, file + ": Permission denied");
    EXPECT_EQ(storeError, file + ": Permission denied");
    EXPECT_EQ(box.read(file), mine);

    // Larger than the reader takes (a sparse file, so it costs no disk space).
    ASSERT_EQ(::truncate(NativePath(file).constData(), IniFile::MaxFileSize + 1), 0);
    LoadSettings();
    EXPECT_EQ(AppSettings.Lan, "English");
    EXPECT_FALSE(SaveSettings(&saveError));
    EXPECT_TRUE(saveError.startsWith(file + ": ")) << saveError.toStdString();
    EXPECT_TRUE(saveError.contains("larger than")) << saveError.toStdString();
    EXPECT_EQ(QFileInfo(file).size(), IniFile::MaxFileSize + 1);
    EXPECT_EQ(head(file, mine.size()), mine);
}

TEST(Settings, NonUtf8SettingsFolderIsUsedAsNamed)
{
    dwtest::Sandbox box;
    const QByteArray config = box.path().toUtf8() + "/conf\xff\xfe";
    EnvVar xdg("XDG_CONFIG_HOME", config);
    AppSettings = TAppSettings{};
    AppSettings.Lan = "Deutsch";
    ASSERT_TRUE(SaveSettings());
    const QByteArray file = config + "/Quobel/Discwright/options.ini";
    struct stat st {};
    ASSERT_EQ(::stat(file.constData(), &st), 0);
    AppSettings = TAppSettings{};
    LoadSettings();
    EXPECT_EQ(AppSettings.Lan, "Deutsch");
    removeTree(config);
}

TEST(Settings, ValuesOutsideTheirRangeAreRefusedNamingTheRange)
{
    // Every ranged setting takes its bounds and refuses one beyond each.
    for (const SettingDescriptor& d : SettingDescriptors()) {
        if (d.min > d.max)
            continue;
        const QString name = QString("%1.%2").arg(d.section, d.key);
        TAppSettings s;
        for (int v : {d.min, d.max}) {
            EXPECT_TRUE(SetSettingValue(s, d.section, d.key, QString::number(v))) << name.toStdString() << " " << v;
            EXPECT_EQ(SettingValue(s, d.section, d.key), QString::number(v)) << name.toStdString();
        }
        for (int v : {d.min - 1, d.max + 1}) {
            QString problem;
            EXPECT_FALSE(SetSettingValue(s, d.section, d.key, QString::number(v), &problem)) << name.toStdString();
            const QString range = d.type == SettingDescriptor::Boolean ? QString("0 or 1")
                                                                       : QString("from %1 to %2").arg(d.min).arg(d.max);
            EXPECT_TRUE(problem.contains(name) && problem.contains(range)) << problem.toStdString();
        }
    }
    TAppSettings s;
    EXPECT_TRUE(SetSettingValue(s, "mp3options", "bitrate", "192"));
    EXPECT_EQ(s.BitRate, 192);
    EXPECT_TRUE(SetSettingValue(s, "ID3", "Use", "yes"));
    EXPECT_TRUE(s.Use);
    EXPECT_TRUE(SetSettingValue(s, "QueryCDDB", "Port", "8080"));
    EXPECT_EQ(s.Port, "8080");
    struct Refused {
        const char *section, *key, *value;
    };
    for (const Refused& r : {Refused{"Mp3Options", "BitRate", "fast"}, Refused{"ID3", "Use", "7"},
                             Refused{"ID3", "Use", "maybe"}, Refused{"QueryCDDB", "Port", "http"},
                             Refused{"QueryCDDB", "Server", "two words"}, Refused{"QueryCDDB", "Script", "cddb.cgi"},
                             Refused{"Options", "Lan", "../../etc/x"}, Refused{"CommonOptions", "OutputFolder", ""},
                             Refused{"Nope", "Key", "1"}}) {
        TAppSettings before;
        QString problem;
        EXPECT_FALSE(SetSettingValue(before, r.section, r.key, r.value, &problem))
            << r.section << "." << r.key << "=" << r.value;
        EXPECT_FALSE(problem.isEmpty());
        EXPECT_EQ(SettingValue(before, r.section, r.key), SettingValue(TAppSettings{}, r.section, r.key));
    }
    bool ok = true;
    SettingValue(s, "Options", "Missing", &ok);
    EXPECT_FALSE(ok);
}

TEST(Settings, StoreSettingChangesOnlyItsKey)
{
    dwtest::Sandbox box;
    const QString file = box.file("options.ini");
    box.write(file, "; mine\n[Mp3Options]\nBitRate=256\n[Custom]\nx=1\n");
    ASSERT_TRUE(StoreSetting(file, "mp3options", "vbrquality", "9", nullptr));
    EXPECT_EQ(box.read(file), "; mine\n[Mp3Options]\nBitRate=256\nVBRQuality=9\n[Custom]\nx=1\n");
    QString error;
    EXPECT_FALSE(StoreSetting(file, "Mp3Options", "VBRQuality", "10", &error));
    EXPECT_EQ(error, "'10' is not a valid value for Mp3Options.VBRQuality (a whole number from 0 to 9)");
    EXPECT_TRUE(box.read(file).contains("VBRQuality=9"));
}
