#include "tags/XiphCommentWriter.h"

#include "platform/FdIo.h"
#include "platform/NativePath.h"
#include "tags/TaggedCopy.h"

#include <taglib/flacfile.h>
#include <taglib/opusfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace dw {

namespace {

// Ogg page header: "OggS", version, flags, granule (8), serial (4),
// sequence (4), checksum (4), segment count at 26, segment table from 27.
constexpr size_t kOggSegmentCountAt = 26;
constexpr size_t kOggSegmentTableAt = 27;
// ID3v2 header: "ID3", version (2), flags, size as four 7-bit bytes at 6;
// a footer (flag 0x10) adds another 10 bytes.
constexpr size_t kId3HeaderSize = 10;

bool startsWith(const uint8_t* data, size_t size, const char* magic, size_t magicSize)
{
    return size >= magicSize && std::memcmp(data, magic, magicSize) == 0;
}

TagLib::String toTag(const QString& s) { return TagLib::String(s.toStdString(), TagLib::String::UTF8); }

bool validName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() > 0x7d || c == QLatin1Char('='))
            return false;
    return true;
}

void apply(TagLib::Ogg::XiphComment& tag, const std::vector<std::pair<QString, QString>>& comments)
{
    for (const auto& [name, value] : comments) {
        const TagLib::String key = toTag(name.toUpper());
        tag.removeFields(key);
        if (!value.isEmpty())
            tag.addField(key, toTag(value), true);
    }
}

// Tags the file at tempPath (a copy, or a temporary file of the caller's)
// as a file of the given kind.
bool tagFile(const QString& tempPath, TXiphFileKind kind, const std::vector<std::pair<QString, QString>>& comments,
             QString& reason)
{
    const QByteArray name = NativePath(tempPath);
    const auto saved = [&reason](TagLib::File& file, TagLib::Ogg::XiphComment* tag,
                                 const std::vector<std::pair<QString, QString>>& values) {
        if (!file.isValid() || file.readOnly() || !tag) {
            reason = QStringLiteral("cannot open the file for tagging");
            return false;
        }
        apply(*tag, values);
        if (!file.save()) {
            reason = QStringLiteral("could not write the comments");
            return false;
        }
        return true;
    };
    switch (kind) {
    case TXiphFileKind::OggVorbis: {
        TagLib::Ogg::Vorbis::File file(name.constData(), false);
        return saved(file, file.tag(), comments);
    }
    case TXiphFileKind::OggOpus: {
        TagLib::Ogg::Opus::File file(name.constData(), false);
        return saved(file, file.tag(), comments);
    }
    case TXiphFileKind::Flac: {
        TagLib::FLAC::File file(name.constData(), false);
        return saved(file, file.xiphComment(true), comments);
    }
    case TXiphFileKind::Unknown:
        break;
    }
    reason = QStringLiteral("not an Ogg Vorbis, Ogg Opus or FLAC file");
    return false;
}

}  // namespace

TXiphFileKind XiphFileKindOf(const QString& path)
{
    UniqueFd fd = OpenReadOnly(path);
    if (!fd)
        return TXiphFileKind::Unknown;
    std::array<uint8_t, 512> head{};
    ssize_t n = ReadFull(fd.get(), head.data(), head.size());
    if (n <= 0)
        return TXiphFileKind::Unknown;
    size_t size = size_t(n);
    if (startsWith(head.data(), size, "ID3", 3) && size >= kId3HeaderSize) {
        // A FLAC file may begin with an ID3v2 tag; its synchsafe size says
        // where the stream marker is.
        const uint32_t tagSize = (uint32_t(head[6] & 0x7f) << 21) | (uint32_t(head[7] & 0x7f) << 14)
                                 | (uint32_t(head[8] & 0x7f) << 7) | uint32_t(head[9] & 0x7f);
        const off_t at = off_t(kId3HeaderSize + tagSize + ((head[5] & 0x10) ? kId3HeaderSize : 0));
        std::array<uint8_t, 4> marker{};
        return ::pread(fd.get(), marker.data(), marker.size(), at) == ssize_t(marker.size())
                       && startsWith(marker.data(), marker.size(), "fLaC", 4)
                   ? TXiphFileKind::Flac
                   : TXiphFileKind::Unknown;
    }
    if (startsWith(head.data(), size, "fLaC", 4))
        return TXiphFileKind::Flac;
    if (!startsWith(head.data(), size, "OggS", 4) || size <= kOggSegmentCountAt)
        return TXiphFileKind::Unknown;
    const size_t packetAt = kOggSegmentTableAt + head[kOggSegmentCountAt];
    const uint8_t* packet = head.data() + packetAt;
    const size_t left = size > packetAt ? size - packetAt : 0;
    if (startsWith(packet, left, "\x01vorbis", 7))
        return TXiphFileKind::OggVorbis;
    if (startsWith(packet, left, "OpusHead", 8))
        return TXiphFileKind::OggOpus;
    return TXiphFileKind::Unknown;
}

namespace {

// False with *error naming the first name that is not a comment name.
bool validNames(const QString& path, const std::vector<std::pair<QString, QString>>& comments, QString* error)
{
    for (const auto& [name, value] : comments) {
        Q_UNUSED(value);
        if (!validName(name)) {
            if (error)
                *error = path + QStringLiteral(": \"") + name + QStringLiteral("\" is not a comment name");
            return false;
        }
    }
    return true;
}

}  // namespace

bool WriteXiphCommentsInPlace(const QString& path, const std::vector<std::pair<QString, QString>>& comments,
                              QString* error)
{
    if (!validNames(path, comments, error))
        return false;
    QString reason;
    if (tagFile(path, XiphFileKindOf(path), comments, reason))
        return true;
    if (error)
        *error = path + QStringLiteral(": ") + reason;
    return false;
}

bool WriteXiphComments(const QString& path, const std::vector<std::pair<QString, QString>>& comments, QString* error)
{
    if (!validNames(path, comments, error))
        return false;
    return RewriteThroughCopy(
        path,
        [&comments](const QString& tempPath, QString& reason) {
            // The copy is what gets tagged, so its kind is read from the copy.
            return tagFile(tempPath, XiphFileKindOf(tempPath), comments, reason);
        },
        error);
}

}  // namespace dw
