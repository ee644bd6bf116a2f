#include "tags/Mp3TagInfo.h"

#include "platform/FdIo.h"
#include "platform/NativePath.h"
#include "tags/GenreText.h"
#include "tags/Id3v1Tags.h"
#include "tags/Id3v2Tags.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dw {

namespace {

void add(QList<QPair<QString, QString>>& list, const char* name, const QString& value)
{
    const QString text = value.trimmed();
    if (!text.isEmpty())
        list.append({QString::fromLatin1(name), text});
}

}  // namespace

bool LooksLikeMp3(const QString& path)
{
    const UniqueFd file = OpenReadOnly(path);
    unsigned char head[4] = {};
    if (file.get() < 0 || ::pread(file.get(), head, sizeof head, 0) != ssize_t(sizeof head))
        return false;
    if (head[0] == 'I' && head[1] == 'D' && head[2] == '3')
        return true;
    // Frame sync (11 set bits), a valid layer and a bit-rate index that is
    // neither "free" nor the forbidden value.
    return head[0] == 0xFF && (head[1] & 0xE0) == 0xE0 && (head[1] & 0x06) != 0 && (head[2] & 0xF0) != 0xF0;
}

bool ReadMp3TagInfo(const QString& path, TMp3TagInfo* info, QString* error)
{
    const UniqueFd file = OpenReadOnly(path);
    if (file.get() < 0) {
        if (error)
            *error = path + QStringLiteral(": ") + SystemReason(errno);
        return false;
    }
    *info = TMp3TagInfo();

    TId3v2Tags v2;
    if (v2.CheckFile(file.get()) && v2.ReadFromFile(file.get())) {
        info->hasId3v2 = true;
        info->id3v2Is23 = v2.V23Frames();
        add(info->id3v2, "title", v2.Title());
        add(info->id3v2, "artist", v2.Artist());
        add(info->id3v2, "album", v2.Album());
        add(info->id3v2, "year", QString::fromLatin1(v2.Year()));
        add(info->id3v2, "track", QString::fromLatin1(v2.Track()));
        add(info->id3v2, "genre", GenreDisplayText(v2.Genre().trimmed()));
        add(info->id3v2, "comment", v2.Comment());
        add(info->id3v2, "composer", v2.Composer());
        add(info->id3v2, "encoder", v2.Encoder());
        add(info->id3v2, "copyright", v2.Copyright());
        add(info->id3v2, "language", v2.Language());
        add(info->id3v2, "link", v2.Link());
    }

    TId3v1Tags v1;
    if (v1.CheckFile(file.get()) && v1.ReadFromFile(file.get())) {
        info->hasId3v1 = true;
        // The container has read the trailer's Latin-1 text into UTF-8; the
        // year is shown as the trailer writes it ("0000" included).
        add(info->id3v1, "title", QString::fromUtf8(v1.Title()));
        add(info->id3v1, "artist", QString::fromUtf8(v1.Artist()));
        add(info->id3v1, "album", QString::fromUtf8(v1.Album()));
        add(info->id3v1, "year", QString::fromUtf8(v1.YearText()));
        add(info->id3v1, "track", v1.Track() ? QString::number(v1.Track()) : QString());
        // 255 (and any byte past the list) is "no genre", not "Other".
        const int64_t genre = v1.AsInteger("genre");
        add(info->id3v1, "genre", genre >= 0 && genre < 148 ? QString::fromLatin1(Id3v1GenreNames[size_t(genre)]) : QString());
        add(info->id3v1, "comment", QString::fromUtf8(v1.Comment()));
    }
    info->id3v2Frames = ListId3v2Frames(file.get(), path);
    return true;
}

}  // namespace dw
