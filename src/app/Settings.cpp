#include "app/Settings.h"

#include <QDir>

#include <algorithm>
#include <variant>

#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace dw {

TAppSettings AppSettings;

const char* const DefaultCddbServer = "gnudb.gnudb.org";

namespace {

using Member = std::variant<QString TAppSettings::*, int TAppSettings::*, bool TAppSettings::*>;

struct Entry {
    SettingDescriptor d;
    Member m;
};

// The persisted settings in the order the file holds them.
const std::array<Entry, 30>& entries()
{
    using T = SettingDescriptor;
    static const std::array<Entry, 30> e{{
        {{"CommonOptions", "OutputFolder", T::Text}, &TAppSettings::OutputFolder},
        {{"CommonOptions", "OutputFormat", T::Integer}, &TAppSettings::OutputFormat},
        {{"CommonOptions", "IsKeepWav", T::Boolean}, &TAppSettings::IsKeepWav},
        {{"CommonOptions", "IsNormalize", T::Boolean}, &TAppSettings::IsNormalize},
        {{"CommonOptions", "NormalizePercent", T::Integer}, &TAppSettings::NormalizePercent},
        {{"CommonOptions", "EnableRipTime", T::Boolean}, &TAppSettings::EnableRipTime},
        {{"CommonOptions", "RipTime", T::Integer}, &TAppSettings::RipTime},
        {{"Mp3Options", "IsSelectVBR", T::Boolean}, &TAppSettings::IsSelectVBR},
        {{"Mp3Options", "IsVBRHead", T::Boolean}, &TAppSettings::IsVBRHead},
        {{"Mp3Options", "BitRate", T::Integer}, &TAppSettings::BitRate},
        {{"Mp3Options", "MaxBitRate", T::Integer}, &TAppSettings::MaxBitRate},
        {{"Mp3Options", "MpegQuality", T::Integer}, &TAppSettings::MpegQuality},
        {{"Mp3Options", "VBRQuality", T::Integer}, &TAppSettings::VBRQuality},
        {{"Mp3Options", "StereoMode", T::Integer}, &TAppSettings::StereoMode},
        {{"OggOptions", "IsUseCompress", T::Boolean}, &TAppSettings::IsUseCompress},
        {{"OggOptions", "CompressPosition", T::Integer}, &TAppSettings::CompressPosition},
        {{"OggOptions", "MaxBitRate", T::Integer}, &TAppSettings::OggMaxBitRate},
        {{"OggOptions", "NomalBitRate", T::Integer}, &TAppSettings::OggNomalBitRate},
        {{"OggOptions", "MinBitRate", T::Integer}, &TAppSettings::OggMinBitRate},
        {{"WMAOptions", "BitRate", T::Integer}, &TAppSettings::WmaBitRate},
        {{"CDOptions", "Index", T::Integer}, &TAppSettings::Index},
        {{"CDOptions", "CDDb", T::Boolean}, &TAppSettings::CDDb},
        {{"RecordOptions", "SaveMp3", T::Boolean}, &TAppSettings::SaveMp3},
        {{"QueryCDDB", "Server", T::Text}, &TAppSettings::Server},
        {{"QueryCDDB", "Script", T::Text}, &TAppSettings::Script},
        {{"QueryCDDB", "UseProxy", T::Boolean}, &TAppSettings::UseProxy},
        {{"QueryCDDB", "ProxyAddress", T::Text}, &TAppSettings::ProxyAddress},
        {{"QueryCDDB", "Port", T::Text}, &TAppSettings::Port},
        {{"ID3", "Use", T::Boolean}, &TAppSettings::Use},
        {{"Options", "Lan", T::Text}, &TAppSettings::Lan},
    }};
    return e;
}

std::array<SettingDescriptor, 30> makeDescriptors()
{
    std::array<SettingDescriptor, 30> d{};
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

int clampCompress(int v) { return std::clamp(v, 30, 100); }

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
    const QString folder = UserAppDataFolder() + "Quobel/Discwright/";
    QDir dir;
    if (QDir(folder).exists() || dir.mkpath(folder))
        return folder;
    return ProgramFolder();
}

QString SettingsFilePath() { return GetAppDataFolder() + "options.ini"; }

void LoadSettingsFrom(TAppSettings& s, const QString& file, const QString& defaultOutputFolder)
{
    const IniFile ini(file);
    const TAppSettings d = defaults(defaultOutputFolder);
    for (const Entry& e : entries()) {
        const QString sec = QLatin1String(e.d.section), key = QLatin1String(e.d.key);
        std::visit(
            [&](auto member) {
                using M = decltype(member);
                if constexpr (std::is_same_v<M, QString TAppSettings::*>)
                    s.*member = ini.readString(sec, key, d.*member);
                else if constexpr (std::is_same_v<M, int TAppSettings::*>)
                    s.*member = ini.readInteger(sec, key, d.*member);
                else
                    s.*member = ini.readBool(sec, key, d.*member);
            },
            e.m);
    }
    s.CompressPosition = clampCompress(s.CompressPosition);
}

bool SaveSettingsTo(const TAppSettings& s, const QString& file, QString* error)
{
    IniFile ini(file);
    for (const Entry& e : entries()) {
        const QString sec = QLatin1String(e.d.section), key = QLatin1String(e.d.key);
        std::visit(
            [&](auto member) {
                using M = decltype(member);
                if constexpr (std::is_same_v<M, QString TAppSettings::*>)
                    ini.writeString(sec, key, s.*member);
                else if constexpr (std::is_same_v<M, int TAppSettings::*>)
                    ini.writeInteger(sec, key, s.*member);
                else
                    ini.writeBool(sec, key, s.*member);
            },
            e.m);
    }
    if (ini.save())
        return true;
    if (error)
        *error = ini.errorString();
    return false;
}

void LoadSettings()
{
    const QString folder = GetAppDataFolder();
    LoadSettingsFrom(AppSettings, folder + "options.ini", folder);
}

bool SaveSettings() { return SaveSettingsTo(AppSettings, SettingsFilePath()); }

std::span<const SettingDescriptor> SettingDescriptors()
{
    static const std::array<SettingDescriptor, 30> d = makeDescriptors();
    return d;
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
            if constexpr (std::is_same_v<M, QString TAppSettings::*>)
                return s.*member;
            else if constexpr (std::is_same_v<M, int TAppSettings::*>)
                return QString::number(s.*member);
            else
                return (s.*member) ? QStringLiteral("1") : QStringLiteral("0");
        },
        e->m);
}

bool SetSettingValue(TAppSettings& s, const QString& section, const QString& key, const QString& value)
{
    const Entry* e = findEntry(section, key);
    if (!e)
        return false;
    return std::visit(
        [&](auto member) -> bool {
            using M = decltype(member);
            if constexpr (std::is_same_v<M, QString TAppSettings::*>) {
                s.*member = value;
                return true;
            } else if constexpr (std::is_same_v<M, int TAppSettings::*>) {
                int v = 0;
                if (!IniFile::parseInteger(value, v))
                    return false;
                if (member == &TAppSettings::CompressPosition)
                    v = clampCompress(v);
                s.*member = v;
                return true;
            } else {
                const QString t = value.trimmed().toLower();
                int v = 0;
                if (t == "true" || t == "yes" || t == "on")
                    s.*member = true;
                else if (t == "false" || t == "no" || t == "off")
                    s.*member = false;
                else if (IniFile::parseInteger(t, v))
                    s.*member = v != 0;
                else
                    return false;
                return true;
            }
        },
        e->m);
}

}  // namespace dw
