#pragma once
// What the tag fuzz target does with one input, shared with the regression
// test that replays the saved inputs. The bytes become a file (an anonymous
// memory file); then:
//  - the ID3v2 container checks and reads it as a tag at the start, then
//    prepends its own tag, after which the file must be that tag followed by
//    the original bytes;
//  - the ID3v1 container and Tid3tag read the trailer; Tid3tag writes it
//    back and removes it, and the bytes before the trailer must never change.
// A broken property aborts, so the fuzzer reports it like a crash.

#include "tags/Id3Tag.h"
#include "tags/Id3v1Tags.h"
#include "tags/Id3v2Tags.h"
#include "tags/TagFileIo.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace dwfuzz {

namespace detail {

inline QByteArray contents(int fd)
{
    const int64_t size = dw::tagio::FileSize(fd);
    QByteArray bytes(size > 0 ? size : 0, Qt::Uninitialized);
    if (size > 0 && dw::tagio::ReadSomeAt(fd, 0, bytes.data(), size_t(size)) != size)
        std::abort();
    return bytes;
}

inline void reset(int fd, const uint8_t* data, size_t size)
{
    if (::ftruncate(fd, 0) != 0 || (size && !dw::tagio::WriteAllAt(fd, 0, data, size)) || ::lseek(fd, 0, SEEK_SET) != 0)
        std::abort();
}

// Aborts with the line of the property that broke.
inline void check(bool ok, unsigned line = __builtin_LINE())
{
    if (!ok) {
        std::fprintf(stderr, "tag fuzz: property at line %u broken\n", line);
        std::abort();
    }
}

}  // namespace detail

inline void feedTags(const uint8_t* data, size_t size)
{
    static const int fd = ::memfd_create("tagfuzz", MFD_CLOEXEC);
    detail::check(fd >= 0);
    const QByteArray original(reinterpret_cast<const char*>(data), qsizetype(size));

    // ID3v2 at the start.
    detail::reset(fd, data, size);
    dw::TId3v2Tags v2;
    const bool present = v2.CheckFile(fd);
    detail::check(::lseek(fd, 0, SEEK_CUR) == 0);
    const bool read = v2.ReadFromFile(fd);
    detail::check(!read || present);
    for (int i = 0; i < v2.Count(); ++i)
        (void)v2.AsWideString(v2.Names(i));
    (void)v2.Title();
    const QByteArray tag = v2.BuildTag(size % 2 == 0);
    detail::check(tag.size() >= 16 && tag.size() % 16 == 0);
    ::lseek(fd, 0, SEEK_SET);
    detail::check(v2.WriteToFile(fd, size % 2 == 0));
    detail::check(detail::contents(fd) == tag + original);
    dw::TId3v2Tags again;
    ::lseek(fd, 0, SEEK_SET);
    detail::check(again.ReadFromFile(fd));

    // ID3v1 at the end, through the container.
    detail::reset(fd, data, size);
    dw::TId3v1Tags v1;
    const bool hasTrailer = v1.CheckFile(fd);
    detail::check(v1.ReadFromFile(fd) == hasTrailer);
    (void)v1.Genre();

    // ... and through Tid3tag, by the file's name.
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    dw::Tid3tag id3;
    const uint16_t status = id3.ReadTag(path);
    detail::check(dw::Tid3tag::Succeeded(status) == hasTrailer);
    detail::check(id3.Title().size() <= 30 && id3.Comment().size() <= 30 && id3.Year().size() <= 4);
    const qsizetype audio = hasTrailer ? original.size() - 128 : original.size();
    const uint16_t saveStatus = id3.SaveTag(path);
    if (saveStatus == dw::Tid3tag::ErrNotMp3) {
        // Not MP3 by content: neither written nor cut.
        detail::check(detail::contents(fd) == original);
        detail::check(id3.RemoveTagStatus() == dw::Tid3tag::ErrNotMp3 && detail::contents(fd) == original);
        return;
    }
    detail::check(dw::Tid3tag::Succeeded(saveStatus));
    const QByteArray saved = detail::contents(fd);
    detail::check(saved.size() == audio + 128 && saved.left(audio) == original.left(audio));
    dw::Tid3tag reread;
    detail::check(reread.ReadTag(path) == (hasTrailer ? status : uint16_t(dw::Tid3tag::Done)));
    detail::check(reread.Title() == id3.Title() && reread.Track() == id3.Track() && reread.Genre() == id3.Genre());
    detail::check(id3.RemoveTagStatus() == dw::Tid3tag::Done);
    detail::check(detail::contents(fd) == original.left(audio));
}

}  // namespace dwfuzz
