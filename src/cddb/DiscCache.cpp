#include "cddb/DiscCache.h"

#include "app/Helpers.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <algorithm>

namespace dw {

namespace {

constexpr int MaxTitles = 100;

QString defaultTitle(int track) { return QStringLiteral("Track") + FormatTwoDigits(track); }

void readSection(const IniFile& ini, const QString& section, TAppSettings& s)
{
    s.DiscArtist = ini.readString(section, "Artist", QString());
    s.DiscAlbum = ini.readString(section, "Album", QString());
    s.DiscYear = ini.readString(section, "Year", QString());
    s.DiscGenre = ini.readInteger(section, "Genre", -1);
    s.DiscComment = ini.readString(section, "Comment", QString());
    const int stored = ini.readInteger(section, "TrackNumber", MaxTitles);
    // The count indexes the 100 title slots; a damaged value must not reach past them.
    s.DiscTrackCount = std::clamp(stored, 0, MaxTitles);
    for (int k = 1; k <= MaxTitles; ++k) {
        if (k > s.DiscTrackCount) {
            // Slots beyond this disc's tracks must not keep another disc's titles.
            s.DiscTitles[std::size_t(k)].clear();
            continue;
        }
        QString title = ini.readString(section, QString::number(k), defaultTitle(k));
        if (title.isEmpty())
            title = defaultTitle(k);
        s.DiscTitles[std::size_t(k)] = title;
    }
}

bool writeSection(IniFile& ini, const QString& section, const TAppSettings& s)
{
    ini.writeString(section, "Artist", s.DiscArtist);
    ini.writeString(section, "Album", s.DiscAlbum);
    ini.writeString(section, "Year", s.DiscYear);
    ini.writeInteger(section, "Genre", s.DiscGenre);
    ini.writeString(section, "Comment", s.DiscComment);
    const int count = std::clamp(s.DiscTrackCount, 0, MaxTitles);
    ini.writeInteger(section, "TrackNumber", count);
    for (int k = 1; k <= count; ++k)
        ini.writeString(section, QString::number(k), s.DiscTitles[std::size_t(k)]);
    return ini.save();
}

}  // namespace

QString DiscCachePath() { return ProgramFolder() + QStringLiteral("cdinfo.dat"); }

bool DiscCache(const QString& discKey, DiscCacheDirection direction, TAppSettings& settings)
{
    if (discKey.isEmpty())
        return true;
    IniFile ini(DiscCachePath());
    if (direction == DiscCacheDirection::Read) {
        readSection(ini, discKey, settings);
        return true;
    }
    return writeSection(ini, discKey, settings);
}

DiscCacheAccess DiscListingCache()
{
    return [](const QString& key, bool write) {
        return DiscCache(key, write ? DiscCacheDirection::Write : DiscCacheDirection::Read);
    };
}

}  // namespace dw
