#include "tags/Id3Tag.h"

#include "platform/FileSharing.h"
#include "platform/InputFile.h"
#include "platform/NativePath.h"
#include "tags/Id3v1Layout.h"
#include "tags/Id3v1Target.h"
#include "tags/TagFileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

// The stand-in for the read-only, hidden and system attributes: no write
// permission bit at all (which even root honours here), or this process may
// not write the file.
bool writeProtected(const QString& path, const TPathInfo& info)
{
    struct stat st = {};
    const QByteArray native = NativePath(path);
    if (::stat(native.constData(), &st) == 0 && (st.st_mode & 0222) == 0)
        return true;
    return info.exists && ::access(native.constData(), W_OK) != 0;
}

// A field as the trailer stores it: the text up to the first zero byte,
// without trailing blanks and 0xFF bytes, read as ISO-8859-1.
QString readField(const uint8_t* p, int width)
{
    int end = 0;
    while (end < width && p[end] != 0)
        ++end;
    while (end > 0 && (p[end - 1] == 0x20 || p[end - 1] == 0xFF))
        --end;
    return QString::fromLatin1(reinterpret_cast<const char*>(p), end);
}

// The field padded with zero bytes (the trailer starts zeroed).
void putField(uint8_t* to, int width, const QString& text)
{
    const QByteArray bytes = tagio::ToLatin1(text).left(width);
    std::copy(bytes.begin(), bytes.end(), to);
}

// Why path, which exists, is no file to tag: what it is (a FIFO, a device,
// a folder), named as every input check names it.
QString notAFileText(const QString& path, const TPathInfo& info)
{
    const QString why = CheckInputFile(path);
    return why.isEmpty() ? path + QStringLiteral(": ") + SystemReason(info.isDir ? EISDIR : EINVAL) : why;
}

}  // namespace

uint16_t Tid3tag::failWith(uint16_t status, uint16_t errorClass, const QString& path, int err)
{
    error_ = path + QStringLiteral(": ") + SystemReason(err);
    return static_cast<uint16_t>(errorClass | (status & 0x00FF));
}

uint16_t Tid3tag::writeProtectedError(const QString& path)
{
    error_ = path + QStringLiteral(": ") + SystemReason(EACCES) + QStringLiteral(" (the file is write-protected)");
    return ErrReadOnly;
}

uint16_t Tid3tag::ReadTag(const QString& path)
{
    error_.clear();
    const TPathInfo info = StatPath(path);
    if (!info.exists)
        return failWith(Done, ErrOpen, path, info.error ? info.error : ENOENT);
    if (!info.isFile) {
        error_ = notAFileText(path, info);
        return ErrOpen;
    }
    readOnly_ = writeProtected(path, info);
    tagio::TFileHandle file(::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!file.IsOpen())
        return failWith(Done, ErrOpen, path, errno);
    if (!TakeShareLocks(file.Fd(), AccessRead, ShareRead | ShareWrite)) {
        error_ = path + QStringLiteral(": ") + SharingViolationText();
        return ErrOpen;
    }
    fileName_ = path;

    id3v1::Trailer t;
    switch (id3v1::ReadTrailer(file.Fd(), t)) {
    case id3v1::TrailerRead::Failed:
        return failWith(Done, ErrRead, path, errno);
    case id3v1::TrailerRead::NoTag:
        error_ = path + QStringLiteral(": no ID3v1 tag");
        return ErrNoTag;
    case id3v1::TrailerRead::Found:
        break;
    }
    using namespace id3v1;
    title_ = readField(&t[kTitle], kTextWidth);
    artist_ = readField(&t[kArtist], kTextWidth);
    album_ = readField(&t[kAlbum], kTextWidth);
    year_ = readField(&t[kYear], kYearWidth);
    if (t[kTrackMarker] != 0 || t[kTrack] == 0) {
        track_ = 0;
        hasTrack_ = false;
        comment_ = readField(&t[kComment], kLongCommentWidth);
    } else {
        track_ = t[kTrack];
        hasTrack_ = true;
        comment_ = readField(&t[kComment], kShortCommentWidth);
    }
    genre_ = t[kGenre];
    return genre_ > 147 && genre_ != kNoGenre ? WarnGenre : Done;
}

uint16_t Tid3tag::SaveTag(const QString& pathGiven)
{
    error_.clear();
    const QString path = pathGiven == QStringLiteral("=") ? fileName_ : pathGiven;
    const TPathInfo info = StatPath(path);
    if (!info.exists)
        return failWith(Done, ErrOpen, path, info.error ? info.error : ENOENT);
    if (!info.isFile) {
        error_ = notAFileText(path, info);
        return ErrOpen;
    }
    if (writeProtected(path, info))
        return writeProtectedError(path);
    if (QString notMp3 = CheckId3v1Target(path); !notMp3.isEmpty()) {
        error_ = std::move(notMp3);
        return ErrNotMp3;
    }
    tagio::TFileHandle file(::open(NativePath(path).constData(), O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (!file.IsOpen())
        return failWith(Done, ErrOpen, path, errno);
    if (!TakeShareLocks(file.Fd(), AccessRead | AccessWrite, ShareRead)) {
        error_ = path + QStringLiteral(": ") + SharingViolationText();
        return ErrOpen;
    }

    id3v1::Trailer old;
    const id3v1::TrailerRead found = id3v1::ReadTrailer(file.Fd(), old);
    if (found == id3v1::TrailerRead::Failed)
        return failWith(Done, ErrRead, path, errno);
    const int64_t size = tagio::FileSize(file.Fd());
    if (size < 0)
        return failWith(Done, ErrIo, path, errno);
    const int64_t offset = found == id3v1::TrailerRead::Found ? size - id3v1::kSize : size;

    using namespace id3v1;
    Trailer t{};
    std::copy(kMagic, kMagic + 3, t.begin());
    putField(&t[kTitle], kTextWidth, title_);
    putField(&t[kArtist], kTextWidth, artist_);
    putField(&t[kAlbum], kTextWidth, album_);
    putField(&t[kYear], kYearWidth, year_);
    if (hasTrack_ && track_ != 0) {
        putField(&t[kComment], kShortCommentWidth, comment_);
        t[kTrackMarker] = 0;
        t[kTrack] = track_;
    } else {
        putField(&t[kComment], kLongCommentWidth, comment_);
    }
    t[kGenre] = genre_;

    if (!WriteTrailerAt(file.Fd(), offset, t))
        return failWith(Done, ErrWrite, path, errno);
    if (!file.Close())
        return failWith(Done, ErrIo, path, errno);
    fileName_ = path;
    return Done;
}

uint16_t Tid3tag::RemoveTagStatus()
{
    error_.clear();
    const QString& path = fileName_;
    const TPathInfo info = StatPath(path);
    if (!info.exists)
        return failWith(Done, ErrOpen, path, info.error ? info.error : ENOENT);
    if (!info.isFile) {
        error_ = notAFileText(path, info);
        return ErrOpen;
    }
    if (writeProtected(path, info))
        return writeProtectedError(path);
    if (QString notMp3 = CheckId3v1Target(path); !notMp3.isEmpty()) {
        error_ = std::move(notMp3);
        return ErrNotMp3;
    }
    tagio::TFileHandle file(::open(NativePath(path).constData(), O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (!file.IsOpen())
        return failWith(Done, ErrOpen, path, errno);
    if (!TakeShareLocks(file.Fd(), AccessRead | AccessWrite, ShareRead)) {
        error_ = path + QStringLiteral(": ") + SharingViolationText();
        return ErrOpen;
    }
    id3v1::Trailer t;
    switch (id3v1::ReadTrailer(file.Fd(), t)) {
    case id3v1::TrailerRead::Failed:
        return failWith(Done, ErrRead, path, errno);
    case id3v1::TrailerRead::NoTag:
        error_ = path + QStringLiteral(": no ID3v1 tag");
        return ErrNoTag;
    case id3v1::TrailerRead::Found:
        break;
    }
    // ReadTrailer found 128 bytes, so the cut stays within the file and
    // takes exactly the trailer.
    const int64_t size = tagio::FileSize(file.Fd());
    if (size < id3v1::kSize || ::ftruncate(file.Fd(), static_cast<off_t>(size - id3v1::kSize)) != 0)
        return failWith(Done, ErrIo, path, size < id3v1::kSize && size >= 0 ? EIO : errno);
    if (!file.Close())
        return failWith(Done, ErrIo, path, errno);
    return Done;
}

void Tid3tag::SetTitle(const QString& v)
{
    title_ = tagio::LeftCodePoints(v, kTextChars);
}

void Tid3tag::SetArtist(const QString& v)
{
    artist_ = tagio::LeftCodePoints(v, kTextChars);
}

void Tid3tag::SetAlbum(const QString& v)
{
    album_ = tagio::LeftCodePoints(v, kTextChars);
}

void Tid3tag::SetComment(const QString& v)
{
    comment_ = tagio::LeftCodePoints(v, kTextChars);
}

void Tid3tag::SetYear(const QString& v)
{
    year_ = tagio::LeftCodePoints(v, kYearChars);
}

void Tid3tag::SetTrack(uint8_t v)
{
    track_ = v;
    hasTrack_ = v != 0;
}

}  // namespace dw
