// The keyed containers: key sets, case-insensitive keys, change tracking,
// variant comparison, typed reads and copying between schemes.

#include "tags/ApeV2Tags.h"
#include "tags/CommonTags.h"
#include "tags/Id3v1Tags.h"
#include "tags/Id3v2Tags.h"
#include "tags/VorbisTags.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>

using namespace dw;

namespace {

// The names a container lists, in its order.
QStringList namesOf(const TAuTags& tags)
{
    QStringList names;
    for (int i = 0; i < tags.Count(); ++i)
        names << tags.Names(i);
    return names;
}

// Every key of the scheme takes a value under any spelling of its case and
// gives it back under another; a key of no scheme takes nothing. The names
// listed are exactly the keys, sorted without regard to case.
template <typename Tags>
void expectExactlyTheKeys(const QStringList& keys)
{
    Tags tags;
    QStringList sorted = keys;
    std::sort(sorted.begin(), sorted.end(),
              [](const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
    EXPECT_EQ(namesOf(tags), sorted);
    for (int i = 0; i < keys.size(); ++i) {
        const QString value = QStringLiteral("value %1").arg(i);
        tags.SetValue(keys[i].toUpper(), value);
        EXPECT_EQ(tags.AsWideString(keys[i].toLower()), value) << keys[i].toStdString();
    }
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_EQ(tags.AsWideString(keys[i]), QStringLiteral("value %1").arg(i)) << keys[i].toStdString();
    tags.SetValue("NoSuchKey", QString("x"));
    EXPECT_FALSE(IsAssigned(tags.Value("NoSuchKey")));
    EXPECT_EQ(namesOf(tags), sorted);
}

}  // namespace

TEST(TagContainers, KeysAreCaseInsensitiveAndFixed)
{
    TVorbisTags v;
    EXPECT_TRUE(v.Empty());
    EXPECT_FALSE(v.Changed());
    v.SetValue("NoSuchKey", QString("x"));
    EXPECT_TRUE(v.Empty());
    EXPECT_FALSE(v.Changed());
    EXPECT_FALSE(IsAssigned(v.Value("NoSuchKey")));

    v.SetValue("Artist", QString("Ana"));
    EXPECT_EQ(v.Artist(), "Ana");
    EXPECT_EQ(v.AsWideString("ARTIST"), "Ana");
    EXPECT_FALSE(v.Empty());
    EXPECT_TRUE(v.Changed());
    v.SetValue("R128_TRACK_GAIN", QString("-512"));
    EXPECT_EQ(v.R128TrackGain(), "-512");

    v.Clear();
    EXPECT_TRUE(v.Empty());
    EXPECT_TRUE(v.Changed());
    EXPECT_EQ(v.Artist(), "");

    TAPEv2Tags ape;
    EXPECT_EQ(ape.Names(ape.Count()), "");
    EXPECT_EQ(ape.Names(-1), "");
}

TEST(TagContainers, EachSchemeHasExactlyItsKeys)
{
    expectExactlyTheKeys<TVorbisTags>({"album", "artist", "date", "genre", "title", "tracknumber", "tracktotal",
                                       "comment", "discnumber", "replaygain_reference_loudness",
                                       "replaygain_track_gain", "replaygain_track_peak", "replaygain_album_gain",
                                       "replaygain_album_peak", "r128_track_gain", "r128_album_gain"});
    expectExactlyTheKeys<TAPEv2Tags>({"Artist", "Composer", "Album", "Debut album", "Publisher", "Conductor",
                                      "Copyright", "ISBN", "ISRC", "EAN/UPC", "LC", "Catalog", "Language", "Genre",
                                      "Year", "Record Date", "Record Location", "File", "Related", "Abstract",
                                      "Bibliography", "Track", "Title", "Subtitle", "Comment"});
    expectExactlyTheKeys<TId3v2Tags>({"TAL", "TALB", "TP1", "TPE1", "TCO", "TCON", "TT2", "TIT2",
                                      "TRK", "TRCK", "TYE", "TYER", "COM", "COMM", "TCM", "TCOM",
                                      "TEN", "TENC", "TCR", "TCOP", "TLA", "TLAN", "WXX", "WXXX"});
    expectExactlyTheKeys<TCommonTags>({"Title", "Album", "Artist", "Genre", "Year", "Track"});
    expectExactlyTheKeys<TId3v1Tags>({"artist", "album", "genre", "year", "track", "title", "comment"});
}

TEST(TagContainers, AValueChangesOnlyWhenKindOrContentDiffers)
{
    // Each common field starts as an empty ANSI string: writing the same is
    // no change, an empty wide string is (another kind).
    TCommonTags c;
    c.SetValue("Title", QByteArray(""));
    EXPECT_FALSE(c.Changed());
    EXPECT_TRUE(c.Empty());
    c.SetValue("Title", QString(""));
    EXPECT_TRUE(c.Changed());
    EXPECT_FALSE(c.Empty());

    // Integers of different widths are different values.
    TId3v1Tags t;
    t.SetValue("genre", uint8_t{12});  // the initial value
    EXPECT_FALSE(t.Changed());
    t.SetValue("genre", int32_t{12});
    EXPECT_TRUE(t.Changed());
    EXPECT_EQ(t.GenreId(), 12);
}

TEST(TagContainers, TypedReadsConvertBetweenKinds)
{
    TVorbisTags v;
    v.SetValue("title", QByteArray("12a"));
    EXPECT_EQ(v.AsInteger("title"), 0);
    v.SetValue("title", QString("-42"));
    EXPECT_EQ(v.AsInteger("title"), -42);
    v.SetValue("title", uint32_t{4000000000u});
    EXPECT_EQ(v.AsInteger("title"), 4000000000LL);
    v.SetValue("title", int8_t{7});
    EXPECT_EQ(v.AsString("title"), "7");
    EXPECT_EQ(v.AsWideString("title"), "7");
    v.SetValue("title", QByteArray("Stra\xc3\x9f" "e"));  // ANSI is UTF-8 here
    EXPECT_EQ(v.Title(), QString::fromUtf8("Straße"));
    EXPECT_EQ(v.AsInteger("album"), 0);  // unassigned

    // The ID3v1 text properties read strings only.
    TId3v1Tags t;
    t.SetValue("artist", int16_t{5});
    EXPECT_EQ(t.Artist(), "");
    t.SetValue("artist", QString("Bo"));
    EXPECT_EQ(t.Artist(), "Bo");

    // The APEv2 year is read as wide text and handed out as ANSI.
    TAPEv2Tags ape;
    ape.SetYear("1999");
    EXPECT_EQ(ape.Year(), "1999");
    EXPECT_TRUE(std::holds_alternative<QByteArray>(ape.Value("Year")));
}

TEST(TagContainers, Id3v1GenreByName)
{
    TId3v1Tags t;
    EXPECT_EQ(t.GenreId(), 12);
    EXPECT_EQ(t.Genre(), "Other");
    t.SetGenre("  classic rock ");
    EXPECT_EQ(t.GenreId(), 1);
    EXPECT_EQ(t.Genre(), "Classic Rock");
    t.SetGenre("Not A Genre");
    EXPECT_EQ(t.GenreId(), 1);
    t.SetGenre("synthpop");
    EXPECT_EQ(t.GenreId(), 147);
    t.SetGenreId(200);
    EXPECT_EQ(t.GenreId(), 12);
    EXPECT_EQ(t.Genre(), "Other");
}

TEST(TagContainers, AssignCopiesTheKeysBothHave)
{
    TCommonTags common;
    common.SetArtist("Ana");
    common.SetTitle("Song");
    common.SetYear("2001");  // "Year": no such key in the Vorbis set
    TVorbisTags vorbis;
    vorbis.SetDate("1990");
    vorbis.Assign(common);
    EXPECT_EQ(vorbis.Artist(), "Ana");
    EXPECT_EQ(vorbis.Title(), "Song");
    EXPECT_EQ(vorbis.Date(), "");  // cleared first
    EXPECT_TRUE(vorbis.Changed());
    EXPECT_FALSE(vorbis.Empty());

    TCommonTags back;
    vorbis.AssignTo(back);
    EXPECT_EQ(back.Artist(), "Ana");
    EXPECT_FALSE(IsAssigned(back.Value("Year")));  // cleared, not in the source

    // A container assigned to itself keeps its values.
    back.Assign(back);
    EXPECT_EQ(back.Artist(), "Ana");
}

TEST(TagContainers, Id3v2AccessorsFollowTheFrameVersion)
{
    TId3v2Tags t;
    EXPECT_TRUE(t.V23Frames());
    t.SetTitle("Modern");
    EXPECT_EQ(t.AsWideString("TIT2"), "Modern");
    t.SetV23Frames(false);
    EXPECT_EQ(t.Title(), "");
    t.SetTitle("Old");
    t.SetYear("1971");
    EXPECT_EQ(t.AsWideString("TT2"), "Old");
    EXPECT_EQ(t.AsString("TYE"), "1971");
    EXPECT_TRUE(std::holds_alternative<QByteArray>(t.Value("tye")));
    EXPECT_TRUE(std::holds_alternative<QString>(t.Value("tt2")));
}
