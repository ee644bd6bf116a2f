#include "runner/EncodedTags.h"

#include "app/Genres.h"
#include "runner/JobTags.h"
#include "tags/XiphCommentWriter.h"

#include <QStringList>

namespace dw {

namespace {

constexpr int kMaxTrack = 9999;

QString lowerSuffix(const QString& file)
{
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = file.lastIndexOf(QLatin1Char('/'));
    return dot > slash ? file.mid(dot + 1).toLower() : QString();
}

bool hasText(const TId3v24Fields& f)
{
    return f.title || f.artist || f.album || f.date || f.genre || f.comment || f.track || !f.userTexts.empty();
}

}  // namespace

TId3v24Fields DiscTrackId3v24Fields(const TDiscInfo& disc, const QString& title, int track)
{
    TId3v24Fields fields;
    fields.title = TrackTagTitle(disc, title, track);
    fields.artist = disc.DiscArtist;
    fields.album = disc.DiscAlbum;
    fields.date = disc.DiscYear;
    fields.genre = disc.DiscGenre >= 0 && size_t(disc.DiscGenre) < GenreNames.size()
                       ? QString::fromLatin1(GenreNames[size_t(disc.DiscGenre)])
                       : QString();
    fields.comment = disc.DiscComment;
    const bool numbered = track > 0 && track <= kMaxTrack;
    const int total = disc.DiscTrackCount >= track && disc.DiscTrackCount <= kMaxTrack ? disc.DiscTrackCount : 0;
    fields.track = std::make_pair(numbered ? track : 0, numbered ? total : 0);
    return fields;
}

bool CarriesLoudnessTags(const QString& file)
{
    const QString ext = lowerSuffix(file);
    return ext == QLatin1String("mp3") || ext == QLatin1String("ogg") || ext == QLatin1String("flac")
           || ext == QLatin1String("opus");
}

QString WriteEncodedTags(const QString& file, const TLoudness& track, const TLoudness* album,
                         const TId3v24Fields* mp3Text)
{
    const QString ext = lowerSuffix(file);
    QString error;
    if (ext == QLatin1String("mp3")) {
        TId3v24Fields fields = mp3Text ? *mp3Text : TId3v24Fields{};
        for (auto& value : ReplayGainTags(track, album))
            fields.userTexts.push_back(std::move(value));
        if (hasText(fields) && !WriteId3v24(file, fields, &error))
            return error;
        return {};
    }
    if (!CarriesLoudnessTags(file))
        return {};
    const TTagValues values = ext == QLatin1String("opus") ? R128Tags(track, album) : ReplayGainTags(track, album);
    if (!values.empty() && !WriteXiphComments(file, values, &error))
        return error;
    return {};
}

QString WriteAlbumTags(const std::vector<TAlbumFile>& files, const TLoudness& album)
{
    if (!album.measured)
        return {};
    QStringList problems;
    for (const TAlbumFile& f : files) {
        const QString problem = WriteEncodedTags(f.file, f.track, &album);
        if (!problem.isEmpty())
            problems << problem;
    }
    return problems.join(QStringLiteral("; "));
}

}  // namespace dw
