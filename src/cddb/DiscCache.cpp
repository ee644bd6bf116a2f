#include "cddb/DiscCache.h"

#include "app/Genres.h"
#include "app/Helpers.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <algorithm>
#include <array>
#include <map>

namespace dw {

namespace {

constexpr int MaxTitles = 100;

QString defaultTitle(int track) { return QStringLiteral("Track") + FormatTwoDigits(track); }

void readSection(const IniFile& ini, const QString& section, TDiscInfo& s)
{
    s.DiscArtist = ini.readString(section, "Artist", QString());
    s.DiscAlbum = ini.readString(section, "Album", QString());
    s.DiscYear = ini.readString(section, "Year", QString());
    // The genre indexes the genre list; a damaged value counts as none.
    s.DiscGenre = ini.readInteger(section, "Genre", -1);
    if (s.DiscGenre < -1 || s.DiscGenre >= int(GenreNames.size()))
        s.DiscGenre = -1;
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

// The disc values as this process last read or wrote them, per file and disc.
// A write changes only the values that differ from these, so titles another
// process stored for the same disc in the meantime are kept, not overwritten
// with the older values this process happened to hold.
struct DiscValues {
    QString artist, album, year, comment;
    int genre = -1;
    int count = 0;
    std::array<QString, MaxTitles + 1> titles;
};

DiscValues valuesOf(const TDiscInfo& s)
{
    DiscValues v{s.DiscArtist, s.DiscAlbum, s.DiscYear, s.DiscComment, s.DiscGenre, s.DiscTrackCount, {}};
    for (int k = 1; k <= MaxTitles; ++k)
        v.titles[std::size_t(k)] = s.DiscTitles[std::size_t(k)];
    return v;
}

// Main thread only, as the cache itself.
std::map<QString, DiscValues>& knownValues()
{
    static std::map<QString, DiscValues> known;
    return known;
}

QString knownKey(const QString& file, const QString& discKey) { return file + QChar(0) + discKey; }

void writeSection(IniFile& ini, const QString& section, const TDiscInfo& s, const DiscValues* known)
{
    // A value this process did not change is left as the file now holds it.
    const auto put = [&](const QString& key, const QString& value, bool unchanged) {
        if (known && unchanged && ini.hasKey(section, key))
            return;
        ini.writeString(section, key, value);
    };
    put("Artist", s.DiscArtist, known && s.DiscArtist == known->artist);
    put("Album", s.DiscAlbum, known && s.DiscAlbum == known->album);
    put("Year", s.DiscYear, known && s.DiscYear == known->year);
    put("Genre", QString::number(s.DiscGenre), known && s.DiscGenre == known->genre);
    put("Comment", s.DiscComment, known && s.DiscComment == known->comment);
    const int count = std::clamp(s.DiscTrackCount, 0, MaxTitles);
    put("TrackNumber", QString::number(count), known && count == known->count);
    for (int k = 1; k <= count; ++k) {
        const QString& title = s.DiscTitles[std::size_t(k)];
        put(QString::number(k), title, known && title == known->titles[std::size_t(k)]);
    }
}

}  // namespace

QString DiscCachePath() { return ProgramFolder() + QStringLiteral("cdinfo.dat"); }

namespace {
// Main thread only, as the cache itself.
QString& lastError()
{
    static QString error;
    return error;
}
}  // namespace

QString LastDiscCacheError() { return lastError(); }

bool DiscCache(const QString& discKey, DiscCacheDirection direction, TDiscInfo& disc, QString* error)
{
    if (discKey.isEmpty())
        return true;
    const QString path = DiscCachePath();
    std::map<QString, DiscValues>& known = knownValues();
    const QString id = knownKey(path, discKey);
    if (direction == DiscCacheDirection::Read) {
        // No lock: the file is only ever replaced whole, by a rename.
        const IniFile ini(path);
        readSection(ini, discKey, disc);
        known[id] = valuesOf(disc);
        return true;
    }
    // Under the lock, on the file as it is now: other discs' sections and
    // values others changed for this disc stay.
    const auto it = known.find(id);
    const DiscValues* base = it == known.end() ? nullptr : &it->second;
    QString& failure = lastError();
    failure.clear();
    if (!IniFile::Update(path, [&](IniFile& ini) { writeSection(ini, discKey, disc, base); }, &failure)) {
        if (error)
            *error = failure;
        return false;
    }
    known[id] = valuesOf(disc);
    return true;
}

DiscCacheAccess DiscListingCache()
{
    return [](const QString& key, bool write) {
        return DiscCache(key, write ? DiscCacheDirection::Write : DiscCacheDirection::Read);
    };
}

}  // namespace dw
