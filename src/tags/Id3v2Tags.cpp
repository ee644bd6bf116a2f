#include "tags/Id3v2Tags.h"

#include "tags/Id3v2Layout.h"
#include "tags/TagFileIo.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace dw {

namespace {

constexpr std::array<const char*, TId3v2Tags::kSlots> kV22Names = {"TAL", "TP1", "TCO", "TT2", "TRK", "TYE",
                                                                   "COM", "TCM", "TEN", "TCR", "TLA", "WXX"};
constexpr std::array<const char*, TId3v2Tags::kSlots> kV23Names = {"TALB", "TPE1", "TCON", "TIT2", "TRCK", "TYER",
                                                                   "COMM", "TCOM", "TENC", "TCOP", "TLAN", "WXXX"};

// Reads the tag area [pos, end) of a file through a window of 64 KiB, so
// walking many small frames costs few system calls and a hostile tag size
// costs no memory.
class TAreaReader {
public:
    TAreaReader(int fd, int64_t end) : fd_(fd), end_(end) {}

    // n bytes at pos into out; false when they do not lie wholly before the
    // end of the area or cannot be read.
    bool Read(int64_t pos, size_t n, uint8_t* out)
    {
        if (pos < 0 || int64_t(n) > end_ - pos)
            return false;
        if (pos < winStart_ || pos + int64_t(n) > winStart_ + int64_t(window_.size())) {
            if (n > kWindow)
                return tagio::ReadSomeAt(fd_, pos, out, n) == int64_t(n);
            const size_t want = static_cast<size_t>(std::min<int64_t>(kWindow, end_ - pos));
            window_.resize(want);
            const int64_t got = tagio::ReadSomeAt(fd_, pos, window_.data(), want);
            window_.resize(got > 0 ? size_t(got) : 0);
            winStart_ = pos;
            if (window_.size() < n)
                return false;
        }
        std::copy_n(window_.begin() + (pos - winStart_), n, out);
        return true;
    }

private:
    static constexpr size_t kWindow = 64 * 1024;
    int fd_;
    int64_t end_;
    int64_t winStart_ = 0;
    std::vector<uint8_t> window_;
};

bool isKnownFrame(const QString& name, bool v2)
{
    const auto& names = v2 ? kV22Names : kV23Names;
    for (int s = 0; s < TId3v2Tags::kSlots; ++s)
        if (s != int(TId3v2Tags::Slot::Comment) && name == QLatin1String(names[size_t(s)]))
            return true;
    return false;
}

constexpr int64_t kChunk = 256 * 1024;

// Copies what lies at [from + shift, size + shift) down to [from, size), from
// the front, and cuts the file to size: undoes moveUp from offset from on.
void moveDown(int fd, int64_t from, int64_t size, int64_t shift)
{
    std::vector<uint8_t> buf;
    while (from < size) {
        const size_t m = size_t(std::min<int64_t>(kChunk, size - from));
        buf.resize(m);
        if (tagio::ReadSomeAt(fd, from + shift, buf.data(), m) != int64_t(m) ||
            !tagio::WriteAllAt(fd, from, buf.data(), m))
            break;
        from += int64_t(m);
    }
    (void)::ftruncate(fd, off_t(size));
}

// Moves [0, size) of the file up by shift bytes, from the end down, in
// chunks. On a failure the content is put back where it was and the file cut
// to size; errno tells the first failure.
bool moveUp(int fd, int64_t size, int64_t shift)
{
    std::vector<uint8_t> buf;
    for (int64_t end = size; end > 0;) {
        const int64_t begin = std::max<int64_t>(0, end - kChunk);
        const size_t n = size_t(end - begin);
        buf.resize(n);
        const bool readOk = tagio::ReadSomeAt(fd, begin, buf.data(), n) == int64_t(n);
        if (!readOk || !tagio::WriteAllAt(fd, begin + shift, buf.data(), n)) {
            const int err = errno ? errno : EIO;
            // [0, begin) is as it was but for what this chunk's write reached
            // below end, which is within [begin, end) and is in buf;
            // [end, size) lies at [end + shift, size + shift).
            if (readOk)
                (void)tagio::WriteAllAt(fd, begin, buf.data(), n);
            moveDown(fd, end, size, shift);
            errno = err;
            return false;
        }
        end = begin;
    }
    return true;
}

}  // namespace

QString TId3v2Tags::FrameName(Slot slot, bool v23)
{
    return QLatin1String((v23 ? kV23Names : kV22Names)[size_t(slot)]);
}

TId3v2Tags::TId3v2Tags()
{
    for (int s = 0; s < kSlots; ++s) {
        AddTag(QLatin1String(kV22Names[size_t(s)]));
        AddTag(QLatin1String(kV23Names[size_t(s)]));
    }
}

bool TId3v2Tags::CheckFile(int fd)
{
    if (fd == -1)
        return false;
    const off_t pos = ::lseek(fd, 0, SEEK_CUR);
    uint8_t h[id3v2::kHeaderSize];
    const int64_t got = tagio::ReadSome(fd, h, sizeof h);
    const bool valid = got > 0 && id3v2::ParseHeader(h, size_t(got)).has_value();
    if (pos >= 0)
        ::lseek(fd, pos, SEEK_SET);
    return valid;
}

bool TId3v2Tags::ReadFromFile(int fd)
{
    if (fd == -1)
        return false;
    Clear();
    const off_t start = ::lseek(fd, 0, SEEK_CUR);
    if (start < 0)
        return false;
    uint8_t hb[id3v2::kHeaderSize];
    const int64_t got = tagio::ReadSomeAt(fd, start, hb, sizeof hb);
    const auto header = got > 0 ? id3v2::ParseHeader(hb, size_t(got)) : std::nullopt;
    if (!header)
        return false;
    v23Frames_ = header->major != 2;
    const int64_t end = int64_t(start) + header->TotalLength();
    const int64_t fileSize = tagio::FileSize(fd);
    const bool whole = fileSize >= end;
    if (whole) {
        // The frames end before a footer.
        const int64_t framesEnd = int64_t(start) + id3v2::kHeaderSize + header->size;
        TAreaReader area(fd, framesEnd);
        int64_t pos = int64_t(start) + id3v2::kHeaderSize;
        if (header->HasExtendedHeader()) {
            uint8_t e[4];
            if (area.Read(pos, 4, e))
                pos += header->major == 3 ? 4 + int64_t(id3v2::ReadBigEndian(e, 4)) : int64_t(id3v2::ReadSyncsafe(e));
            else
                pos = framesEnd;
        }
        const bool v2 = header->major == 2;
        const size_t headerSize = size_t(id3v2::FrameHeaderSize(header->major));
        uint8_t fb[10];
        while (pos < framesEnd && area.Read(pos, headerSize, fb)) {
            const id3v2::FrameHeader frame = id3v2::ReadFrameHeader(fb, header->major);
            pos += int64_t(headerSize);
            // A damaged frame is stepped over when its size still fits, so
            // the frames after it are kept.
            const id3v2::FrameStep step = id3v2::NextFrameStep(frame, fb[0], framesEnd - pos);
            if (step == id3v2::FrameStep::End)
                break;
            int skip = 0;
            if (step == id3v2::FrameStep::Read && isKnownFrame(frame.name, v2) && frame.size <= kMaxTextFrame &&
                id3v2::FrameReadable(frame, header->major, skip) && uint32_t(skip) < frame.size) {
                QByteArray data(qsizetype(frame.size - uint32_t(skip)), Qt::Uninitialized);
                if (!area.Read(pos + skip, size_t(data.size()), reinterpret_cast<uint8_t*>(data.data())))
                    break;
                const bool unsync =
                    header->major == 4 ? (frame.formatFlags & 0x02) != 0 : header->Unsynchronised();
                const id3v2::Text text = id3v2::DecodeText(unsync ? id3v2::Resynchronise(data) : data);
                if (const auto* a = std::get_if<QByteArray>(&text))
                    SetValue(frame.name, *a);
                else if (const auto* w = std::get_if<QString>(&text))
                    SetValue(frame.name, *w);
            }
            pos += int64_t(frame.size);
        }
    }
    ::lseek(fd, off_t(end), SEEK_SET);
    return whole;
}

QByteArray TId3v2Tags::BuildTag(bool unicode) const
{
    QByteArray frames;
    for (int s = 0; s < kSlots; ++s) {
        if (s == int(Slot::Comment))
            continue;
        const QString name = FrameName(Slot(s), true);
        const TTagValue v = Value(name);
        QByteArray text;
        char encoding = 0;
        if (unicode && std::holds_alternative<QString>(v)) {
            text = std::get<QString>(v).toUtf8();
            encoding = 3;
        } else {
            text = tagio::ToLatin1(QString::fromUtf8(AsString(name)));
        }
        if (text.isEmpty())
            break;
        if (uint64_t(text.size()) + 1 > id3v2::kMaxSyncsafe)
            return {};
        uint8_t fh[10] = {};
        std::copy_n(name.toLatin1().constData(), 4, fh);
        id3v2::WriteSyncsafe(fh + 4, uint32_t(text.size() + 1));
        frames.append(reinterpret_cast<const char*>(fh), sizeof fh);
        frames += encoding;
        frames += text;
    }
    const qsizetype padding = 16 - (frames.size() + id3v2::kHeaderSize) % 16;
    if (uint64_t(frames.size() + padding) > id3v2::kMaxSyncsafe)
        return {};
    uint8_t h[id3v2::kHeaderSize] = {'I', 'D', '3', 4, 0, 0};
    id3v2::WriteSyncsafe(h + 6, uint32_t(frames.size() + padding));
    QByteArray tag(reinterpret_cast<const char*>(h), sizeof h);
    tag += frames;
    tag.append(padding, '\0');
    return tag;
}

bool TId3v2Tags::WriteToFile(int fd, bool unicode)
{
    if (fd == -1)
        return false;
    // Every write of a descriptor opened for appending lands at the end,
    // which would scramble the content being moved.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_APPEND)) {
        if (flags >= 0)
            errno = EINVAL;
        return false;
    }
    const QByteArray tag = BuildTag(unicode);
    const int64_t size = tagio::FileSize(fd);
    if (tag.isEmpty() || size < 0)
        return false;
    // Reserve the room first, so moving the content up cannot run out of
    // space half-way.
    const int rc = ::posix_fallocate(fd, off_t(size), off_t(tag.size()));
    if (rc != 0) {
        (void)::ftruncate(fd, off_t(size));
        errno = rc;
        return false;
    }
    if (!moveUp(fd, size, tag.size()))
        return false;
    if (tagio::WriteAllAt(fd, 0, tag.constData(), size_t(tag.size())))
        return true;
    const int err = errno;
    moveDown(fd, 0, size, tag.size());
    errno = err;
    return false;
}

}  // namespace dw
