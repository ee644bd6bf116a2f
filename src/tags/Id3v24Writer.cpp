#include "tags/Id3v24Writer.h"

#include "platform/FdIo.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace dw {

namespace {

constexpr int kMaxTrackNumber = 9999;
constexpr size_t kCopyBlock = 1 << 16;

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

// The file a path names after following symbolic links, so the tagged copy
// replaces the file and not a link to it.
QString resolvedPath(const QString& path, int& err)
{
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(NativePath(path).constData(), nullptr), &std::free);
    if (!real) {
        err = errno;
        return {};
    }
    return PathFromNative(real.get());
}

// Copies every byte of src into out's temporary file and gives it src's
// permission bits.
bool copyInto(int src, TOutputFile& out, mode_t mode, int& err)
{
    std::vector<char> buf(kCopyBlock);
    for (;;) {
        const ssize_t n = ReadFull(src, buf.data(), buf.size());
        if (n < 0 || (n > 0 && !WriteFull(out.Fd(), buf.data(), size_t(n)))) {
            err = errno;
            return false;
        }
        if (size_t(n) < buf.size())
            break;
    }
    if (::fchmod(out.Fd(), mode & 07777) != 0) {
        err = errno;
        return false;
    }
    return true;
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

    int err = 0;
    const QString target = resolvedPath(path, err);
    if (target.isEmpty())
        return fail(error, path, SystemReason(err));
    UniqueFd src = OpenReadOnly(target);
    struct stat st {};
    if (!src || ::fstat(src.get(), &st) != 0)
        return fail(error, path, SystemReason(errno));
    if (!S_ISREG(st.st_mode))
        return fail(error, path, QStringLiteral("not a regular file"));

    // The copy's descriptor stays open while TagLib writes the copy by name,
    // so that Commit can flush it to disk before the rename.
    TOutputFile out(target);
    if (!out.Create()) {
        if (error)
            *error = out.Error();
        return false;
    }
    if (!copyInto(src.get(), out, st.st_mode, err))
        return fail(error, path, SystemReason(err));
    src.reset();

    QString reason;
    if (!tagCopy(out.TempPath(), fields, reason))
        return fail(error, path, reason);
    if (!out.Commit(true)) {
        if (error)
            *error = out.Error();
        return false;
    }
    return true;
}

}  // namespace dw
