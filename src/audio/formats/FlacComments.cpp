#include "audio/formats/FlacComments.h"

#include "tags/CommonTags.h"
#include "tags/VorbisTags.h"

namespace dw {

QList<std::pair<QByteArray, QByteArray>> CommentPairs(const TVorbisTags& tags)
{
    QList<std::pair<QByteArray, QByteArray>> pairs;
    for (int i = 0; i < tags.Count(); ++i) {
        const QString name = tags.Names(i);
        const QString value = tags.AsWideString(name);
        if (!value.isEmpty())
            pairs.append({name.toUtf8(), value.toUtf8()});
    }
    return pairs;
}

void ReadComments(const QList<QByteArray>& comments, QStringList& raw, TVorbisTags& tags, TCommonTags& common)
{
    raw.clear();
    tags.Clear();
    for (const QByteArray& text : comments) {
        raw << QString::fromUtf8(text);
        const int eq = text.indexOf('=');
        if (eq <= 0)
            continue;
        const QString key = QString::fromUtf8(text.left(eq)).toLower();
        // Only keys the container has are kept (SetValue ignores the rest);
        // the first of repeated names wins.
        if (tags.AsWideString(key).isEmpty())
            tags.SetValue(key, QString::fromUtf8(text.mid(eq + 1)));
    }
    common.Clear();
    common.SetArtist(tags.Artist());
    common.SetAlbum(tags.Album());
    common.SetTitle(tags.Title());
    common.SetValue("Year", tags.AsWideString("date").toUtf8());
    common.SetValue("Track", tags.AsWideString("tracknumber").toUtf8());
    common.SetGenre(tags.Genre());
}

}  // namespace dw
