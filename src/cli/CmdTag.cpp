// discwright-cli tag: shows, changes and removes the ID3v1 tag of an MP3
// file, as the tag editor does. The reading, checking and writing are the
// core's (tags/Id3v1Edit, and tags/Id3v1Target, which refuses to change a
// file that is not MP3 by content); this file parses flags and prints.

#include "app/Genres.h"
#include "cli/CliCommon.h"
#include "platform/InputFile.h"
#include "tags/Id3v1Edit.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

namespace dw::cli {

int cmdTag(const QStringList& argv);

namespace {

const char* const kUsage =
    "usage: discwright-cli tag show FILE [--json]\n"
    "       discwright-cli tag set FILE [--title T] [--artist A] [--album A] [--year Y] [--comment C] "
    "[--track N] [--genre NAME|NUMBER] [--json]\n"
    "       discwright-cli tag remove FILE\n"
    "       discwright-cli tag genres [--json]";

const QStringList kFieldOptions = {"title", "artist", "album", "year", "comment", "track", "genre"};

QString genreText(int genre)
{
    if (genre == 255)
        return QStringLiteral("none");
    const QString name = Id3v1GenreDisplayName(genre);
    return name.isEmpty() ? QStringLiteral("%1 (unknown)").arg(genre) : QStringLiteral("%1 (%2)").arg(name).arg(genre);
}

QJsonObject toJson(const QString& path, const TId3v1Fields* f)
{
    QJsonObject o;
    o["file"] = path;
    if (!f) {
        o["tag"] = QJsonValue::Null;
        return o;
    }
    QJsonObject t;
    t["title"] = f->title;
    t["artist"] = f->artist;
    t["album"] = f->album;
    t["year"] = f->year;
    t["comment"] = f->comment;
    t["track"] = f->track ? QJsonValue(f->track) : QJsonValue::Null;
    t["genre"] = f->genre == 255 ? QJsonValue::Null : QJsonValue(f->genre);
    t["genreName"] = f->genre == 255 ? QJsonValue::Null : QJsonValue(Id3v1GenreDisplayName(f->genre));
    o["tag"] = t;
    return o;
}

void printFields(const QString& path, const TId3v1Fields& f)
{
    out(QStringLiteral("File:    %1").arg(path));
    out(QStringLiteral("Title:   %1").arg(f.title));
    out(QStringLiteral("Artist:  %1").arg(f.artist));
    out(QStringLiteral("Album:   %1").arg(f.album));
    out(QStringLiteral("Year:    %1").arg(f.year));
    out(QStringLiteral("Comment: %1").arg(f.comment));
    out(QStringLiteral("Track:   %1").arg(f.track ? QString::number(f.track) : QStringLiteral("none")));
    out(QStringLiteral("Genre:   %1").arg(genreText(f.genre)));
}

int showTag(const Args& args, const QString& path)
{
    if (const QString problem = CheckInputFile(path); !problem.isEmpty())
        return fail(problem);
    TId3v1Fields fields;
    const TId3v1Outcome r = ReadId3v1(path, fields);
    if (!r.ok() && !r.noTag())
        return fail(r.message);
    if (args.has("json")) {
        printJson(QJsonDocument(toJson(path, r.noTag() ? nullptr : &fields)));
    } else if (r.noTag()) {
        out(QStringLiteral("%1: no ID3v1 tag").arg(path));
    } else {
        printFields(path, fields);
    }
    return 0;
}

int setTag(const Args& args, const QString& path)
{
    TId3v1Changes changes;
    auto take = [&](const char* name, std::optional<QString>& field) {
        if (args.options.contains(QLatin1String(name)))
            field = args.value(QLatin1String(name));
    };
    take("title", changes.title);
    take("artist", changes.artist);
    take("album", changes.album);
    take("year", changes.year);
    take("comment", changes.comment);
    take("track", changes.track);
    take("genre", changes.genre);
    bool any = false;
    for (const QString& o : kFieldOptions)
        any = any || args.options.contains(o);
    if (!any)
        return fail(QStringLiteral("tag set needs at least one of --%1\n%2").arg(kFieldOptions.join(", --"), kUsage), 2);

    TId3v1Fields written;
    const TId3v1Outcome r = ChangeId3v1(path, changes, &written);
    if (r.badInput)
        return fail(r.message, 2);
    if (!r.ok())
        return fail(r.message);
    for (const QString& note : r.notes)
        fail(QStringLiteral("warning: %1: %2").arg(path, note), 0);
    if (args.has("json"))
        printJson(QJsonDocument(toJson(path, &written)));
    return 0;
}

int removeTag(const QString& path)
{
    const TId3v1Outcome r = RemoveId3v1(path);
    if (r.noTag()) {
        out(QStringLiteral("%1: no ID3v1 tag; nothing removed").arg(path));
        return 0;
    }
    return r.ok() ? 0 : fail(r.message);
}

int genres(const Args& args)
{
    // In the order of the genre list, with the byte each is stored as.
    QJsonArray list;
    for (size_t i = 0; i < GenreNames.size(); ++i) {
        const int id3 = GenreListToId3(int(i) + 1);
        if (args.has("json"))
            list.append(QJsonObject{{"number", id3}, {"name", QString::fromLatin1(GenreNames[i])}});
        else
            out(QStringLiteral("%1 %2").arg(id3, 3).arg(QLatin1String(GenreNames[i])));
    }
    if (args.has("json"))
        printJson(QJsonDocument(list));
    return 0;
}

}  // namespace

int cmdTag(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, kFieldOptions, {"json"}, args, error))
        return fail(error + "\n" + kUsage, 2);
    const QString action = args.positional.value(0);
    if (action == "genres" && args.positional.size() == 1)
        return genres(args);
    if (args.positional.size() != 2 || (action != "show" && action != "set" && action != "remove"))
        return fail(kUsage, 2);
    const QString path = args.positional[1];
    if (action != "set") {
        for (const QString& o : kFieldOptions)
            if (args.options.contains(o))
                return fail(QStringLiteral("--%1 belongs to tag set\n%2").arg(o, kUsage), 2);
    }
    if (action == "show")
        return showTag(args, path);
    if (action == "set")
        return setTag(args, path);
    return removeTag(path);
}

}  // namespace dw::cli
