#pragma once
// Vorbis comments as the FLAC and Opus readers and writers move them: the
// "NAME=value" pairs a writer stores from a TVorbisTags container, and the
// containers a reader fills from the comments of a file.

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <utility>

namespace dw {

class TCommonTags;
class TVorbisTags;

// The container's comments in its order as UTF-8 (name, value); empty
// values are left out, as the Ogg Vorbis writer does.
QList<std::pair<QByteArray, QByteArray>> CommentPairs(const TVorbisTags& tags);

// Fills `raw` with every comment as the file holds it, `tags` with the
// fields the container knows and `common` from `tags` (as the Ogg Vorbis
// reader does). A comment without "=" has an empty name and value.
void ReadComments(const QList<QByteArray>& comments, QStringList& raw, TVorbisTags& tags, TCommonTags& common);

}  // namespace dw
