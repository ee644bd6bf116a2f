#include "tags/Id3v1Tags.h"

#include "tags/Id3v1Layout.h"
#include "tags/TagFileIo.h"

#include <unistd.h>

namespace dw {

const std::array<const char*, 148> Id3v1GenreNames = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal",
    "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip",
    "Gospel", "Noise", "Alt. Rock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental pop",
    "Instrumental rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk",
    "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk",
    "Jungle", "Native American", "Cabaret", "New Wave", "Psychedelic", "Rave", "Showtunes", "Trailer", "Lo-Fi",
    "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk",
    "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic", "Bluegrass",
    "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock",
    "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber music",
    "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore", "Ballad", "Power Ballad", "Rhythmic soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo",
    "A Cappella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie",
    "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal",
    "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Thrash Metal", "Anime", "JPop",
    "Synthpop",
};

namespace {

constexpr uint8_t kOtherGenre = 12;

// The bytes up to the first zero byte (what follows it is not text), with
// leading and trailing blanks and control characters (every byte up to 0x20)
// removed, read as ISO-8859-1 and kept as UTF-8.
QByteArray trimmedField(const uint8_t* p, int size)
{
    int begin = 0, end = 0;
    while (end < size && p[end] != 0)
        ++end;
    while (begin < end && p[begin] <= 0x20)
        ++begin;
    while (end > begin && p[end - 1] <= 0x20)
        --end;
    return QString::fromLatin1(reinterpret_cast<const char*>(p + begin), end - begin).toUtf8();
}

void putField(uint8_t* to, int width, const QByteArray& utf8)
{
    const QByteArray bytes = tagio::ToLatin1(QString::fromUtf8(utf8)).left(width);
    std::copy(bytes.begin(), bytes.end(), to);
}

}  // namespace

TId3v1Tags::TId3v1Tags()
{
    AddTag("artist");
    AddTag("album");
    AddTag("genre", uint8_t{kOtherGenre});
    AddTag("year");
    AddTag("track");
    AddTag("title");
    AddTag("comment");
}

QByteArray TId3v1Tags::textOf(const char* key) const
{
    const TTagValue v = Value(key);
    return IsString(v) ? TagValueToAnsi(v) : QByteArray();
}

uint8_t TId3v1Tags::GenreId() const
{
    const int64_t id = AsInteger("genre");
    return id >= 0 && id < 148 ? static_cast<uint8_t>(id) : kOtherGenre;
}

QString TId3v1Tags::Genre() const
{
    return QString::fromLatin1(Id3v1GenreNames[GenreId()]);
}

void TId3v1Tags::SetGenre(const QString& name)
{
    const QString wanted = name.trimmed();
    for (size_t i = 0; i < Id3v1GenreNames.size(); ++i) {
        if (wanted.compare(QLatin1String(Id3v1GenreNames[i]), Qt::CaseInsensitive) == 0) {
            SetGenreId(static_cast<uint8_t>(i));
            return;
        }
    }
}

bool TId3v1Tags::CheckFile(int fd)
{
    if (fd == -1)
        return false;
    const off_t pos = ::lseek(fd, 0, SEEK_CUR);
    id3v1::Trailer t;
    const bool found = id3v1::ReadTrailer(fd, t) == id3v1::TrailerRead::Found;
    if (pos >= 0)
        ::lseek(fd, pos, SEEK_SET);
    return found;
}

bool TId3v1Tags::ReadFromFile(int fd)
{
    if (fd == -1)
        return false;
    Clear();
    id3v1::Trailer t;
    if (id3v1::ReadTrailer(fd, t) != id3v1::TrailerRead::Found)
        return false;
    ::lseek(fd, 0, SEEK_END);
    using namespace id3v1;
    SetTitle(trimmedField(&t[kTitle], kTextWidth));
    SetArtist(trimmedField(&t[kArtist], kTextWidth));
    SetAlbum(trimmedField(&t[kAlbum], kTextWidth));
    SetYearText(trimmedField(&t[kYear], kYearWidth));
    const uint8_t marker = t[kTrackMarker], track = t[kTrack];
    if ((marker == 0x00 && track != 0x00) || (marker == 0x20 && track != 0x20)) {
        SetComment(trimmedField(&t[kComment], kShortCommentWidth));
        SetTrack(track);
    } else {
        SetComment(trimmedField(&t[kComment], kLongCommentWidth));
        SetTrack(0);
    }
    SetGenreId(t[kGenre]);
    return true;
}

bool TId3v1Tags::WriteToFile(int fd, bool)
{
    if (fd == -1)
        return false;
    using namespace id3v1;
    Trailer t{};
    std::copy(kMagic, kMagic + 3, t.begin());
    putField(&t[kTitle], kTextWidth, Title());
    putField(&t[kArtist], kTextWidth, Artist());
    putField(&t[kAlbum], kTextWidth, Album());
    // A year read as text is written back as it was ("0000" stays); a number
    // is written in decimal, and no year as an empty field, not as "0".
    if (const TTagValue year = Value("year"); IsString(year))
        putField(&t[kYear], kYearWidth, TagValueToAnsi(year));
    else if (Year() != 0)
        putField(&t[kYear], kYearWidth, QByteArray::number(Year()));
    if (Track() != 0) {
        putField(&t[kComment], kShortCommentWidth, Comment());
        t[kTrackMarker] = 0;
        t[kTrack] = Track();
    } else {
        putField(&t[kComment], kLongCommentWidth, Comment());
    }
    // The stored byte, not GenreId(): 255 ("none") and the bytes above 147
    // that other programs use survive a read and a write.
    t[kGenre] = static_cast<uint8_t>(AsInteger("genre"));
    return AppendTrailer(fd, t);
}

}  // namespace dw
