#include "tags/Id3v24Writer.h"

#include "platform/NativePath.h"
#include "tags/TaggedCopy.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <memory>

namespace dw {

namespace {

constexpr int kMaxTrackNumber = 9999;

bool fail(QString* error, const QString& path, const QString& reason)
{
    if (error)
        *error = path + QStringLiteral(": ") + reason;
    return false;
}

TagLib::String toTag(const QString& s)
{
    return TagLib::String(s.toStdString(), TagLib::String::UTF8);
}

void setText(TagLib::ID3v2::Tag& tag, const char* id, const std::optional<QString>& value)
{
    if (!value)
        return;
    tag.removeFrames(id);
    if (value->isEmpty())
        return;
    auto frame = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(id, TagLib::String::UTF8);
    frame->setText(toTag(*value));
    tag.addFrame(frame.release());  // the tag owns its frames
}

void setComment(TagLib::ID3v2::Tag& tag, const std::optional<QString>& value)
{
    if (!value)
        return;
    // Only the plain comment (empty description) is replaced; comments that
    // other programs keep under their own descriptions stay.
    while (auto* old = TagLib::ID3v2::CommentsFrame::findByDescription(&tag, TagLib::String()))
        tag.removeFrame(old);
    if (value->isEmpty())
        return;
    auto frame = std::make_unique<TagLib::ID3v2::CommentsFrame>(TagLib::String::UTF8);
    frame->setLanguage("eng");
    frame->setText(toTag(*value));
    tag.addFrame(frame.release());
}

void setUserText(TagLib::ID3v2::Tag& tag, const QString& description, const QString& value)
{
    const TagLib::String desc = toTag(description);
    while (auto* old = TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, desc))
        tag.removeFrame(old);
    if (value.isEmpty())
        return;
    tag.addFrame(
        std::make_unique<TagLib::ID3v2::UserTextIdentificationFrame>(desc, TagLib::StringList(toTag(value)),
                                                                     TagLib::String::UTF8)
            .release());
}

std::optional<QString> trackText(const std::optional<std::pair<int, int>>& track)
{
    if (!track)
        return std::nullopt;
    const auto [number, total] = *track;
    if (number <= 0)
        return QString();
    return total > 0 ? QStringLiteral("%1/%2").arg(number).arg(total) : QString::number(number);
}

// Applies the fields to the tagged copy at tempPath; false with a reason.
bool tagCopy(const QString& tempPath, const TId3v24Fields& fields, QString& reason)
{
    const QByteArray name = NativePath(tempPath);
    TagLib::MPEG::File file(name.constData(), false);
    if (!file.isOpen() || file.readOnly()) {
        reason = QStringLiteral("cannot open the copy for tagging");
        return false;
    }
    if (file.firstFrameOffset() < 0) {
        reason = QStringLiteral("not an MP3 file (no MPEG audio frame found)");
        return false;
    }
    TagLib::ID3v2::Tag& tag = *file.ID3v2Tag(true);
    setText(tag, "TIT2", fields.title);
    setText(tag, "TPE1", fields.artist);
    setText(tag, "TALB", fields.album);
    setText(tag, "TDRC", fields.date);
    setText(tag, "TCON", fields.genre);
    setText(tag, "TRCK", trackText(fields.track));
    setComment(tag, fields.comment);
    for (const auto& [description, value] : fields.userTexts)
        setUserText(tag, description, value);
    // Only the ID3v2 tag is written; ID3v1 and APE tags are left as found.
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                   TagLib::File::DoNotDuplicate)) {
        reason = QStringLiteral("could not write the ID3v2 tag");
        return false;
    }
    return true;
}

}  // namespace

bool WriteId3v24(const QString& path, const TId3v24Fields& fields, QString* error)
{
    if (fields.track && (fields.track->first > kMaxTrackNumber || fields.track->second > kMaxTrackNumber
                         || fields.track->second < 0))
        return fail(error, path, QStringLiteral("track number out of range"));
    for (const auto& [description, value] : fields.userTexts) {
        Q_UNUSED(value);
        if (description.isEmpty())
            return fail(error, path, QStringLiteral("a user text frame needs a description"));
    }

    return RewriteThroughCopy(
        path, [&fields](const QString& tempPath, QString& reason) { return tagCopy(tempPath, fields, reason); }, error);
}

}  // namespace dw
