#include "app/Settings.h"


#include <algorithm>
#include <variant>

#include "platform/IniFile.h"
#include "platform/NativePath.h"
#include "platform/Paths.h"

namespace dw {

// The process-wide record (declared for the front ends in frontend/AppSettings.h).
TAppSettings AppSettings;

const QString& TextLanguage() { return AppSettings.Lan; }

const char* const DefaultCddbServer = "gnudb.gnudb.org";

namespace {

using Member = std::variant<QString TStoredOptions::*, int TStoredOptions::*, bool TStoredOptions::*>;

// What a text setting accepts beyond being a single line.
enum class TextRule { Any, NotEmpty, HostName, ScriptPath, LanguageName };

struct Entry {
    SettingDescriptor d;
    Member m;
    TextRule rule = TextRule::Any;
};

constexpr int MaxPort = 65535;
// RipTime cuts a track; no track of an audio CD is longer than 99:59. 0 is
// the default and stands for "not set" (a rip with it on asks for a length).
constexpr int MaxRipSeconds = 99 * 60 + 59;
// Positions in the options dialog's lists: three Ogg bit-rate lists of 15
// entries, the WMA profile list of 33, the drive list of at most 8 drives.
constexpr int LastOggBitRate = 14;
constexpr int LastWmaProfile = 32;
constexpr int LastDrive = 7;

// The persisted settings in the order the file holds them, with the values
// the options dialog lets the user choose.
// The count of persisted settings.
constexpr std::size_t SettingCount = 37;

const std::array<Entry, SettingCount>& entries()
{
    using T = SettingDescriptor;
    constexpr T::Type Txt = T::Text, Int = T::Integer, Bool = T::Boolean;
    static const std::array<Entry, SettingCount> e{{
        {{"CommonOptions", "OutputFolder", Txt}, &TStoredOptions::OutputFolder, TextRule::NotEmpty},
        {{"CommonOptions", "OutputFormat", Int, 0, 5}, &TStoredOptions::OutputFormat},
        {{"CommonOptions", "IsKeepWav", Bool, 0, 1}, &TStoredOptions::IsKeepWav},
        {{"CommonOptions", "IsNormalize", Bool, 0, 1}, &TStoredOptions::IsNormalize},
        {{"CommonOptions", "NormalizePercent", Int, 0, 100}, &TStoredOptions::NormalizePercent},
        {{"CommonOptions", "EnableRipTime", Bool, 0, 1}, &TStoredOptions::EnableRipTime},
        {{"CommonOptions", "RipTime", Int, 0, MaxRipSeconds}, &TStoredOptions::RipTime},
        {{"Mp3Options", "IsSelectVBR", Bool, 0, 1}, &TStoredOptions::IsSelectVBR},
        {{"Mp3Options", "IsVBRHead", Bool, 0, 1}, &TStoredOptions::IsVBRHead},
        {{"Mp3Options", "BitRate", Int, 32, 320}, &TStoredOptions::BitRate},
        {{"Mp3Options", "MaxBitRate", Int, 32, 320}, &TStoredOptions::MaxBitRate},
        {{"Mp3Options", "MpegQuality", Int, 0, 2}, &TStoredOptions::MpegQuality},
        {{"Mp3Options", "VBRQuality", Int, 0, 9}, &TStoredOptions::VBRQuality},
        {{"Mp3Options", "StereoMode", Int, 0, 4}, &TStoredOptions::StereoMode},
        {{"OggOptions", "IsUseCompress", Bool, 0, 1}, &TStoredOptions::IsUseCompress},
        {{"OggOptions", "CompressPosition", Int, 30, 100}, &TStoredOptions::CompressPosition},
        {{"OggOptions", "MaxBitRate", Int, 0, LastOggBitRate}, &TStoredOptions::OggMaxBitRate},
        {{"OggOptions", "NomalBitRate", Int, 0, LastOggBitRate}, &TStoredOptions::OggNomalBitRate},
        {{"OggOptions", "MinBitRate", Int, 0, LastOggBitRate}, &TStoredOptions::OggMinBitRate},
        {{"WMAOptions", "BitRate", Int, 0, LastWmaProfile}, &TStoredOptions::WmaBitRate},
        {{"FlacOptions", "CompressionLevel", Int, 0, 8}, &TStoredOptions::FlacCompressionLevel},
        {{"FlacOptions", "Verify", Bool, 0, 1}, &TStoredOptions::FlacVerify},
        {{"OpusOptions", "BitRate", Int, 6, 510}, &TStoredOptions::OpusBitRate},
        {{"OpusOptions", "IsVBR", Bool, 0, 1}, &TStoredOptions::OpusVbr},
        {{"WaveConvert", "Dither", Int, 0, 2}, &TStoredOptions::WaveDither},
        {{"CDOptions", "Index", Int, -1, LastDrive}, &TStoredOptions::Index},
        {{"CDOptions", "CDDb", Bool, 0, 1}, &TStoredOptions::CDDb},
        {{"RecordOptions", "SaveMp3", Bool, 0, 1}, &TStoredOptions::SaveMp3},
        {{"QueryCDDB", "Server", Txt}, &TStoredOptions::Server, TextRule::HostName},
        {{"QueryCDDB", "Script", Txt}, &TStoredOptions::Script, TextRule::ScriptPath},
        {{"QueryCDDB", "UseProxy", Bool, 0, 1}, &TStoredOptions::UseProxy},
        {{"QueryCDDB", "ProxyAddress", Txt}, &TStoredOptions::ProxyAddress},
        {{"QueryCDDB", "Port", Txt, 1, MaxPort}, &TStoredOptions::Port},
        {{"ID3", "Use", Bool, 0, 1}, &TStoredOptions::Use},
        {{"ReplayGain", "Use", Bool, 0, 1}, &TStoredOptions::ReplayGainUse},
        {{"Id3v2", "Use", Bool, 0, 1}, &TStoredOptions::Id3v2Use},
        {{"Options", "Lan", Txt}, &TStoredOptions::Lan, TextRule::LanguageName},
    }};
    return e;
}

std::array<SettingDescriptor, SettingCount> makeDescriptors()
{
    std::array<SettingDescriptor, SettingCount> d{};
    for (size_t i = 0; i < d.size(); ++i)
        d[i] = entries()[i].d;
    return d;
}

const Entry* findEntry(const QString& section, const QString& key)
{
    for (const Entry& e : entries())
        if (section.compare(QLatin1String(e.d.section), Qt::CaseInsensitive) == 0 &&
            key.compare(QLatin1String(e.d.key), Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}

QString nameOf(const Entry& e) { return QString::fromLatin1(e.d.section) + '.' + QString::fromLatin1(e.d.key); }

// What the setting accepts, as the refusal message names it.
QString allowed(const Entry& e)
{
    if (e.d.type == SettingDescriptor::Boolean)
        return QStringLiteral("0 or 1");
    if (e.d.min <= e.d.max)
        return QStringLiteral("a whole number from %1 to %2").arg(e.d.min).arg(e.d.max);
    switch (e.rule) {
    case TextRule::NotEmpty: return QStringLiteral("a text that is not empty");
    case TextRule::HostName: return QStringLiteral("a host name without blanks");
    case TextRule::ScriptPath: return QStringLiteral("a path beginning with /");
    case TextRule::LanguageName: return QStringLiteral("a language name without / or \\");
    case TextRule::Any: break;
    }
    return QStringLiteral("a single line of text");
}

bool textFits(const Entry& e, const QString& v)
{
    if (v.contains('\n') || v.contains('\r') || v.contains(QChar(0)))
        return false;
    const auto hasBlank = [&] { return std::any_of(v.begin(), v.end(), [](QChar c) { return c.isSpace(); }); };
    switch (e.rule) {
    case TextRule::Any: return true;
    case TextRule::NotEmpty: return !v.trimmed().isEmpty();
    case TextRule::HostName: return !v.isEmpty() && !hasBlank();
    case TextRule::ScriptPath: return v.startsWith('/') && !hasBlank();
    case TextRule::LanguageName:
        // The name becomes part of a file name in the program folder.
        return !v.trimmed().isEmpty() && !v.contains('/') && !v.contains('\\');
    }
    return false;
}

// A text setting as the file holds it, held to what the setting accepts: a
// number setting (the proxy port) clamped into its range, any other text
// that breaks its rule replaced by the default.
QString heldText(const Entry& e, const QString& value, const QString& fallback)
{
    if (e.d.min <= e.d.max) {
        int v = 0;
        if (!IniFile::parseInteger(value, v))
            return fallback;
        return QString::number(std::clamp(v, e.d.min, e.d.max));
    }
    return textFits(e, value) ? value : fallback;
}

TAppSettings defaults(const QString& outputFolder)
{
    TAppSettings d;
    d.OutputFolder = outputFolder;
    d.Server = QString::fromLatin1(DefaultCddbServer);
    return d;
}

}  // namespace

QString GetAppDataFolder()
{
    // A folder that exists but takes no files would lose every save silently.
    const QString folder = UserAppDataFolder() + "Quobel/Discwright/";
    if (MakePath(folder) && FolderWritable(folder))
        return folder;
    return ProgramFolder();
}

QString SettingsFilePath() { return GetAppDataFolder() + "options.ini"; }

QString DefaultOutputFolder(const QString& settingsFolder)
{
    const QString music = MusicFolder();
    return music.isEmpty() ? settingsFolder : music;
}

void LoadSettingsFrom(TAppSettings& s, const QString& file, const QString& defaultOutputFolder)
{
    const IniFile ini(file);
    const TAppSettings d = defaults(defaultOutputFolder);
    for (const Entry& e : entries()) {
        const QString sec = QLatin1String(e.d.section), key = QLatin1String(e.d.key);
        std::visit(
            [&](auto member) {
                using M = decltype(member);
                if constexpr (std::is_same_v<M, QString TStoredOptions::*>)
                    s.*member = heldText(e, ini.readString(sec, key, d.*member), d.*member);
                else if constexpr (std::is_same_v<M, int TStoredOptions::*>)
                    s.*member = std::clamp(ini.readInteger(sec, key, d.*member), e.d.min, e.d.max);
                else
                    s.*member = ini.readBool(sec, key, d.*member);
            },
            e.m);
    }
}

bool SaveSettingsTo(const TAppSettings& s, const QString& file, QString* error)
{
    // Every key, as the program's close saves them; under the lock, so a
    // concurrent single-key change is not interleaved with this write.
    const auto writeAll = [&](IniFile& ini) {
        for (const Entry& e : entries()) {
            const QString sec = QLatin1String(e.d.section), key = QLatin1String(e.d.key);
            std::visit(
                [&](auto member) {
                    using M = decltype(member);
                    if constexpr (std::is_same_v<M, QString TStoredOptions::*>)
                        ini.writeString(sec, key, s.*member);
                    else if constexpr (std::is_same_v<M, int TStoredOptions::*>)
                        ini.writeInteger(sec, key, s.*member);
                    else
                        ini.writeBool(sec, key, s.*member);
                },
                e.m);
        }
    };
    return IniFile::Update(file, writeAll, error);
}

void LoadSettings()
{
    const QString folder = GetAppDataFolder();
    LoadSettingsFrom(AppSettings, folder + "options.ini", DefaultOutputFolder(folder));
}

bool SaveSettings(QString* error) { return SaveSettingsTo(AppSettings, SettingsFilePath(), error); }

std::span<const SettingDescriptor> SettingDescriptors()
{
    static const std::array<SettingDescriptor, SettingCount> d = makeDescriptors();
    return d;
}

const SettingDescriptor* FindSetting(const QString& section, const QString& key)
{
    const Entry* e = findEntry(section, key);
    return e ? &SettingDescriptors()[size_t(e - entries().data())] : nullptr;
}

QString SettingValue(const TAppSettings& s, const QString& section, const QString& key, bool* ok)
{
    const Entry* e = findEntry(section, key);
    if (ok)
        *ok = e != nullptr;
    if (!e)
        return {};
    return std::visit(
        [&](auto member) -> QString {
            using M = decltype(member);
            if constexpr (std::is_same_v<M, QString TStoredOptions::*>)
                return s.*member;
            else if constexpr (std::is_same_v<M, int TStoredOptions::*>)
                return QString::number(s.*member);
            else
                return (s.*member) ? QStringLiteral("1") : QStringLiteral("0");
        },
        e->m);
}

bool CheckSettingValue(const QString& section, const QString& key, const QString& value, QString* stored,
                       QString* problem)
{
    const Entry* e = findEntry(section, key);
    if (!e) {
        if (problem)
            *problem = QStringLiteral("unknown setting %1.%2").arg(section, key);
        return false;
    }
    QString result;
    bool ok = false;
    if (e->d.type == SettingDescriptor::Boolean) {
        const QString t = value.trimmed().toLower();
        ok = true;
        if (t == "1" || t == "true" || t == "yes" || t == "on")
            result = QStringLiteral("1");
        else if (t == "0" || t == "false" || t == "no" || t == "off")
            result = QStringLiteral("0");
        else
            ok = false;
    } else if (e->d.min <= e->d.max) {
        int v = 0;
        ok = IniFile::parseInteger(value, v) && v >= e->d.min && v <= e->d.max;
        result = QString::number(v);
    } else {
        ok = textFits(*e, value);
        result = value;
    }
    if (!ok) {
        if (problem)
            *problem = QStringLiteral("'%1' is not a valid value for %2 (%3)").arg(value, nameOf(*e), allowed(*e));
        return false;
    }
    if (stored)
        *stored = result;
    return true;
}

bool SetSettingValue(TAppSettings& s, const QString& section, const QString& key, const QString& value,
                     QString* problem)
{
    QString stored;
    if (!CheckSettingValue(section, key, value, &stored, problem))
        return false;
    const Entry* e = findEntry(section, key);
    std::visit(
        [&](auto member) {
            using M = decltype(member);
            if constexpr (std::is_same_v<M, QString TStoredOptions::*>)
                s.*member = stored;
            else if constexpr (std::is_same_v<M, int TStoredOptions::*>)
                s.*member = stored.toInt();
            else
                s.*member = stored == QLatin1String("1");
        },
        e->m);
    return true;
}

bool StoreSetting(const QString& file, const QString& section, const QString& key, const QString& value,
                  QString* error)
{
    QString stored;
    if (!CheckSettingValue(section, key, value, &stored, error))
        return false;
    const Entry* e = findEntry(section, key);
    return IniFile::Update(
        file, [&](IniFile& ini) { ini.writeString(QLatin1String(e->d.section), QLatin1String(e->d.key), stored); },
        error);
}

}  // namespace dw
