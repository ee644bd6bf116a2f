#include "tags/Id3v1Edit.h"

#include "app/Genres.h"
#include "tags/Id3Tag.h"
#include "tags/Id3v1Tags.h"
#include "tags/Id3v1Target.h"
#include "tags/TagFileIo.h"

namespace dw {

namespace {

TId3v1Fields fieldsOf(const Tid3tag& tag)
{
    TId3v1Fields f;
    f.title = tag.Title();
    f.artist = tag.Artist();
    f.album = tag.Album();
    f.year = tag.Year();
    f.comment = tag.Comment();
    f.track = tag.HasTrack() ? tag.Track() : 0;
    f.genre = tag.Genre();
    return f;
}

TId3v1Outcome outcome(const Tid3tag& tag, uint16_t status)
{
    TId3v1Outcome o;
    o.status = status;
    if (status >= 0x0100)
        o.message = tag.ErrorText();
    return o;
}

TId3v1Outcome refused(const QString& message)
{
    TId3v1Outcome o;
    o.badInput = true;
    o.message = message;
    return o;
}

// Sets one text field through its setter and notes what did not fit.
template <typename Setter>
void setText(Tid3tag& tag, Setter set, const QString& (Tid3tag::*get)() const, const char* name,
             const QString& value, int width, QStringList& notes)
{
    (tag.*set)(value);
    const QString stored = (tag.*get)();
    if (stored != value)
        notes << QStringLiteral("%1 cut to %2 characters").arg(QLatin1String(name)).arg(width);
    if (QString::fromLatin1(tagio::ToLatin1(stored)) != stored)
        notes << QStringLiteral("%1: characters outside ISO-8859-1 stored as \"?\"").arg(QLatin1String(name));
}

}  // namespace

QString Id3v1GenreDisplayName(int genre)
{
    const int position = Id3ToGenreList(genre);
    return position > 0 ? QString::fromLatin1(GenreNames[size_t(position - 1)]) : QString();
}

bool ParseId3v1Genre(const QString& text, int& genre)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0) {
        genre = Tid3tag::kNoGenre;
        return true;
    }
    bool isNumber = false;
    const int n = t.toInt(&isNumber, 10);
    if (isNumber) {
        if ((n < 0 || n > 147) && n != Tid3tag::kNoGenre)
            return false;
        genre = n;
        return true;
    }
    for (size_t i = 0; i < GenreNames.size(); ++i) {
        if (t.compare(QLatin1String(GenreNames[i]), Qt::CaseInsensitive) == 0) {
            genre = GenreListToId3(int(i) + 1);
            return true;
        }
    }
    for (size_t i = 0; i < Id3v1GenreNames.size(); ++i) {
        if (t.compare(QLatin1String(Id3v1GenreNames[i]), Qt::CaseInsensitive) == 0) {
            genre = int(i);
            return true;
        }
    }
    return false;
}

TId3v1Outcome ReadId3v1(const QString& path, TId3v1Fields& fields)
{
    Tid3tag tag;
    const uint16_t status = tag.ReadTag(path);
    fields = fieldsOf(tag);
    return outcome(tag, status);
}

TId3v1Outcome ChangeId3v1(const QString& path, const TId3v1Changes& changes, TId3v1Fields* fields)
{
    int track = -1, genre = -1;
    if (changes.track) {
        const QString t = changes.track->trimmed();
        bool isNumber = t.isEmpty();
        const int n = isNumber ? 0 : t.toInt(&isNumber, 10);
        if (!isNumber || n < 0 || n > 255)
            return refused(QStringLiteral("track must be a whole number from 0 to 255, not \"%1\"").arg(*changes.track));
        track = n;
    }
    if (changes.genre && !ParseId3v1Genre(*changes.genre, genre))
        return refused(QStringLiteral("genre \"%1\" is neither a genre name nor a number from 0 to 147 or 255")
                           .arg(*changes.genre));

    Tid3tag tag;
    const uint16_t read = tag.ReadTag(path);
    if (read >= 0x0100 && read != Tid3tag::ErrNoTag)
        return outcome(tag, read);

    TId3v1Outcome result;
    QStringList& notes = result.notes;
    constexpr int w = Tid3tag::kTextChars;
    if (changes.title)
        setText(tag, &Tid3tag::SetTitle, &Tid3tag::Title, "title", *changes.title, w, notes);
    if (changes.artist)
        setText(tag, &Tid3tag::SetArtist, &Tid3tag::Artist, "artist", *changes.artist, w, notes);
    if (changes.album)
        setText(tag, &Tid3tag::SetAlbum, &Tid3tag::Album, "album", *changes.album, w, notes);
    if (changes.year)
        setText(tag, &Tid3tag::SetYear, &Tid3tag::Year, "year", *changes.year, Tid3tag::kYearChars, notes);
    if (changes.comment)
        setText(tag, &Tid3tag::SetComment, &Tid3tag::Comment, "comment", *changes.comment, w, notes);
    if (track >= 0)
        tag.SetTrack(uint8_t(track));
    if (genre >= 0)
        tag.SetGenre(uint8_t(genre));
    if (tag.HasTrack() && tag.Comment().toUcs4().size() > 28)
        notes << QStringLiteral("comment cut to 28 characters to make room for the track number");

    const uint16_t saved = tag.SaveTag(path);
    if (saved >= 0x0100)
        return outcome(tag, saved);
    if (fields) {
        *fields = fieldsOf(tag);
        if (tag.HasTrack())
            fields->comment = tagio::LeftCodePoints(fields->comment, 28);
    }
    result.status = saved;
    return result;
}

TId3v1Outcome RemoveId3v1(const QString& path)
{
    // Refused before the trailer is looked for, so that another format is
    // named as such rather than reported as holding no tag.
    if (QString notMp3 = CheckId3v1Target(path); !notMp3.isEmpty()) {
        TId3v1Outcome o;
        o.status = Tid3tag::ErrNotMp3;
        o.message = std::move(notMp3);
        return o;
    }
    Tid3tag tag;
    const uint16_t read = tag.ReadTag(path);
    if (read >= 0x0100)
        return outcome(tag, read);
    return outcome(tag, tag.RemoveTagStatus());
}

}  // namespace dw
