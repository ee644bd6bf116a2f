#include "cd/DriveRecords.h"

#include <algorithm>
#include <cstring>

namespace dw {

namespace {

void put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Writes text into a fixed field, cut so that a NUL always follows it.
void putText(uint8_t* field, std::size_t size, const QString& text)
{
    std::memset(field, 0, size);
    const QByteArray bytes = text.toLatin1().left(qsizetype(size - 1));
    std::memcpy(field, bytes.constData(), std::size_t(bytes.size()));
}

// Reads a NUL-terminated text from a fixed field, never past its end.
QString getText(const uint8_t* field, std::size_t size)
{
    std::size_t n = 0;
    while (n < size && field[n] != 0)
        ++n;
    return QString::fromLatin1(reinterpret_cast<const char*>(field), qsizetype(n));
}

// Frames of a minute-second-frame address, lead-in included.
int msfFrames(const TocEntry& e) { return (e.minute() * 60 + e.second()) * 75 + e.frame(); }

}  // namespace

void EncodeCdList(const CdList& list, std::span<uint8_t, CdListSize> out)
{
    std::fill(out.begin(), out.end(), uint8_t(0));
    const int count = std::min<int>({int(list.entries.size()), int(list.capacity), CdListMaxEntries});
    out[0] = list.capacity;
    out[1] = uint8_t(count);
    for (int i = 0; i < count; ++i) {
        uint8_t* e = out.data() + 2 + std::size_t(i) * CdListEntrySize;
        const CdListEntry& src = list.entries[std::size_t(i)];
        e[0] = src.adapter;
        e[1] = src.target;
        e[2] = src.lun;
        putText(e + CdListVendorOffset, CdListVendorSize, src.vendor);
        putText(e + CdListProductOffset, CdListProductSize, src.product);
    }
}

CdList DecodeCdList(std::span<const uint8_t, CdListSize> in)
{
    CdList list;
    list.capacity = in[0];
    const int count = std::min<int>({int(in[1]), int(in[0]), CdListMaxEntries});
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = in.data() + 2 + std::size_t(i) * CdListEntrySize;
        CdListEntry entry;
        entry.adapter = e[0];
        entry.target = e[1];
        entry.lun = e[2];
        entry.vendor = getText(e + CdListVendorOffset, CdListVendorSize);
        entry.product = getText(e + CdListProductOffset, CdListProductSize);
        list.entries.push_back(entry);
    }
    return list;
}

void EncodeOpenRequest(const OpenRequest& req, std::span<uint8_t, OpenRequestSize> out)
{
    out[0] = uint8_t(OpenRequestSize);
    out[1] = 1;
    out[2] = req.adapter;
    out[3] = req.target;
    out[4] = req.lun;
    out[5] = req.readType;
    put32(out.data() + 6, req.flags);
    out[10] = 0;
    out[11] = 0;
}

std::optional<OpenRequest> DecodeOpenRequest(std::span<const uint8_t, OpenRequestSize> in)
{
    if (in[0] != OpenRequestSize)
        return std::nullopt;
    OpenRequest req;
    req.adapter = in[2];
    req.target = in[3];
    req.lun = in[4];
    req.readType = in[5];
    req.flags = get32(in.data() + 6);
    return req;
}

bool EncodeToc(const DiscLayout& layout, bool msf, std::span<uint8_t, TocSize> out, QString* error)
{
    std::fill(out.begin(), out.end(), uint8_t(0));
    const int tracks = layout.trackCount();
    auto refuse = [&](const QString& why) {
        std::fill(out.begin(), out.end(), uint8_t(0));
        if (error)
            *error = why;
        return false;
    };
    if (tracks <= 0)
        return refuse(QStringLiteral("the disc has no tracks"));
    if (tracks > TocMaxTracks)
        return refuse(QStringLiteral("the table of contents has %1 tracks; at most %2 fit")
                          .arg(tracks)
                          .arg(TocMaxTracks));
    if (layout.firstTrack < 1 || layout.firstTrack + tracks - 1 > TocMaxTracks)
        return refuse(QStringLiteral("the track numbers %1 to %2 are outside 1 to 99")
                          .arg(layout.firstTrack)
                          .arg(layout.firstTrack + tracks - 1));
    for (int i = 0; i < tracks; ++i) {
        if (layout.starts[std::size_t(i)] < 0 || layout.starts[std::size_t(i) + 1] <= layout.starts[std::size_t(i)])
            return refuse(QStringLiteral("the track addresses of the table of contents are out of order"));
    }
    // Minute-second-frame addresses hold at most 255:59:74.
    if (msf && int64_t(layout.starts.back()) + 150 >= int64_t(256) * 60 * 75)
        return refuse(QStringLiteral("the disc is too long for minute-second-frame addresses"));

    put16(out.data(), uint16_t(2 + TocEntrySize * std::size_t(tracks + 1)));
    out[2] = uint8_t(layout.firstTrack);
    out[3] = uint8_t(layout.firstTrack + tracks - 1);
    for (int i = 0; i <= tracks; ++i) {
        uint8_t* e = out.data() + 4 + std::size_t(i) * TocEntrySize;
        const bool leadOut = i == tracks;
        const bool data = !leadOut && std::size_t(i) < layout.audio.size() && !layout.audio[std::size_t(i)];
        e[1] = data ? 0x14 : 0x10;
        e[2] = leadOut ? TocLeadOutTrack : uint8_t(layout.firstTrack + i);
        const int32_t lsn = layout.starts[std::size_t(i)];
        if (msf) {
            const int32_t frames = lsn + 150;
            e[4] = 0;
            e[5] = uint8_t(frames / (60 * 75));
            e[6] = uint8_t(frames / 75 % 60);
            e[7] = uint8_t(frames % 75);
        } else {
            const uint32_t v = uint32_t(lsn);
            e[4] = uint8_t(v >> 24);
            e[5] = uint8_t(v >> 16);
            e[6] = uint8_t(v >> 8);
            e[7] = uint8_t(v);
        }
    }
    return true;
}

std::optional<CdToc> DecodeToc(std::span<const uint8_t, TocSize> in, QString* error)
{
    auto refuse = [&](const QString& why) -> std::optional<CdToc> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    CdToc toc;
    toc.firstTrack = in[2];
    toc.lastTrack = in[3];
    if (toc.firstTrack < 1 || toc.lastTrack < toc.firstTrack)
        return refuse(QStringLiteral("the table of contents names no tracks (first %1, last %2)")
                          .arg(toc.firstTrack)
                          .arg(toc.lastTrack));
    if (toc.lastTrack > TocMaxTracks)
        return refuse(QStringLiteral("the table of contents has more than %1 tracks").arg(TocMaxTracks));
    const int entries = toc.trackCount() + 1;  // at most 100
    int previous = -1;
    for (int i = 0; i < entries; ++i) {
        const uint8_t* e = in.data() + 4 + std::size_t(i) * TocEntrySize;
        TocEntry entry;
        entry.control = e[1];
        entry.track = e[2];
        std::copy(e + 4, e + 8, entry.address.begin());
        if (entry.second() > 59 || entry.frame() > 74)
            return refuse(QStringLiteral("the table of contents holds an invalid address"));
        const int frames = msfFrames(entry);
        if (frames <= previous)
            return refuse(QStringLiteral("the track addresses of the table of contents are out of order"));
        previous = frames;
        toc.entries.push_back(entry);
    }
    return toc;
}

void EncodeReadBufferHeader(const ReadBufferHeader& h, std::span<uint8_t> buffer)
{
    if (buffer.size() < ReadBufferHeaderSize)
        return;
    uint8_t* p = buffer.data();
    put32(p + 0, h.startSector);
    put32(p + 4, h.sectorCount);
    put32(p + 8, h.capacity);
    put32(p + 12, h.bytesReturned);
    put32(p + 16, h.status);
    put32(p + 20, h.dataOffset);
}

std::optional<ReadBufferHeader> DecodeReadBufferHeader(std::span<const uint8_t> buffer)
{
    if (buffer.size() < ReadBufferHeaderSize)
        return std::nullopt;
    const uint8_t* p = buffer.data();
    ReadBufferHeader h;
    h.startSector = get32(p + 0);
    h.sectorCount = get32(p + 4);
    h.capacity = get32(p + 8);
    h.bytesReturned = get32(p + 12);
    h.status = get32(p + 16);
    h.dataOffset = get32(p + 20);
    return h;
}

}  // namespace dw
