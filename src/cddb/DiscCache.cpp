#include "cddb/DiscCache.h"

#include "app/Genres.h"
#include "app/Helpers.h"
#include "platform/IniFile.h"
#include "platform/NativePath.h"
#include "platform/Paths.h"

#include <QDateTime>
#include <QFileInfo>

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

QString DiscCachePath() { return UserDataFolder() + QStringLiteral("cdinfo.dat"); }

QString OldDiscCachePath() { return ProgramFolder() + QStringLiteral("cdinfo.dat"); }

namespace {

// Main thread only, as the cache itself.
QString& lastError()
{
    static QString error;
    return error;
}

// The section of the user's cache that records which old caches were carried
// over: key = the old file's path, value = its size and modification time
// then. A disc key is a number, so the name never meets a disc's section.
const QString CarriedSection = QStringLiteral("CarriedOver");

QString signatureOf(const QFileInfo& info)
{
    return QString::number(info.size()) + QLatin1Char(':') + QString::number(info.lastModified().toMSecsSinceEpoch());
}

// Old caches this process has carried over (or found carried), by old and
// new path, with the old file's signature at the time.
std::map<QString, QString>& carriedOver()
{
    static std::map<QString, QString> done;
    return done;
}

// Whether the old cache (if any) has reached the user's cache. When it has
// not, it is merged in now under the user's cache's lock: the discs of the
// old file that the user's cache does not hold are copied whole; a disc in
// both keeps the user's section, which is the newer. Neither side loses a
// disc. The old file itself is only read (its folder may be read-only).
// An old file that changes later (an older version still running) is merged
// again. False when the merge could not be saved (*error says why).
bool carryOverOldCache(const QString& path, QString* error)
{
    const QString old = OldDiscCachePath();
    const QFileInfo info(old);
    if (QFileInfo(path).absoluteFilePath() == info.absoluteFilePath() || !info.isFile())
        return true;
    const QString signature = signatureOf(info);
    const QString id = old + QChar(0) + path;
    std::map<QString, QString>& done = carriedOver();
    if (const auto it = done.find(id); it != done.end() && it->second == signature)
        return true;
    if (IniFile(path).readString(CarriedSection, old, QString()) == signature) {
        done[id] = signature;
        return true;
    }
    const IniFile from(old);
    if (from.refused() || !from.loaded())
        return true;  // nothing that can be read, so nothing to carry over
    QString reason;
    if (!MakePath(QFileInfo(path).path(), &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    const bool saved = IniFile::Update(
        path,
        [&](IniFile& ini) {
            for (const QString& section : from.sections()) {
                if (section.isEmpty() || section.compare(CarriedSection, Qt::CaseInsensitive) == 0
                    || ini.hasSection(section))
                    continue;
                for (const QString& key : from.keys(section))
                    ini.writeString(section, key, from.readString(section, key, QString()));
            }
            ini.writeString(CarriedSection, old, signature);
        },
        error);
    if (saved)
        done[id] = signature;
    return saved;
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
        // No lock: the file is only ever replaced whole, by a rename. An old
        // cache that could not be carried over (the user's folder takes no
        // files) is still read for the discs the user's cache lacks.
        const bool carried = carryOverOldCache(path, nullptr);
        const IniFile ini(path);
        if (!carried && !ini.hasSection(discKey)) {
            const IniFile old(OldDiscCachePath());
            readSection(old, discKey, disc);
        } else {
            readSection(ini, discKey, disc);
        }
        known[id] = valuesOf(disc);
        return true;
    }
    QString& failure = lastError();
    failure.clear();
    const auto fail = [&] {
        if (error)
            *error = failure;
        return false;
    };
    // The folder is the user's own: made when missing. The old cache goes in
    // first, so the file written holds its discs as well.
    if (!MakePath(UserDataFolder(), &failure) || !carryOverOldCache(path, &failure))
        return fail();
    // Under the lock, on the file as it is now: other discs' sections and
    // values others changed for this disc stay.
    const auto it = known.find(id);
    const DiscValues* base = it == known.end() ? nullptr : &it->second;
    if (!IniFile::Update(path, [&](IniFile& ini) { writeSection(ini, discKey, disc, base); }, &failure))
        return fail();
    known[id] = valuesOf(disc);
    return true;
}

DiscCacheAccess DiscListingCache(TDiscInfo& disc)
{
    return [&disc](const QString& key, bool write) {
        return DiscCache(key, write ? DiscCacheDirection::Write : DiscCacheDirection::Read, disc);
    };
}

}  // namespace dw
