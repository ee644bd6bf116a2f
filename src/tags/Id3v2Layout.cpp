#include "tags/Id3v2Layout.h"

namespace dw::id3v2 {

std::optional<Header> ParseHeader(const uint8_t* b, size_t got)
{
    if (got < static_cast<size_t>(kHeaderSize) || b[0] != 'I' || b[1] != 'D' || b[2] != '3')
        return std::nullopt;
    Header h;
    h.major = b[3];
    h.revision = b[4];
    h.flags = b[5];
    if (h.revision == 0xFF)
        return std::nullopt;
    const bool flagsOk = (h.major == 2 && (h.flags & 0x3F) == 0) || (h.major == 3 && (h.flags & 0x1F) == 0) ||
                         (h.major == 4 && (h.flags & 0x0F) == 0);
    if (!flagsOk)
        return std::nullopt;
    for (int i = 6; i < 10; ++i)
        if (b[i] & 0x80)
            return std::nullopt;
    h.size = ReadSyncsafe(b + 6);
    return h;
}

uint32_t ReadSyncsafe(const uint8_t* p)
{
    return (uint32_t(p[0] & 0x7F) << 21) | (uint32_t(p[1] & 0x7F) << 14) | (uint32_t(p[2] & 0x7F) << 7) |
           uint32_t(p[3] & 0x7F);
}

void WriteSyncsafe(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t((v >> 21) & 0x7F);
    p[1] = uint8_t((v >> 14) & 0x7F);
    p[2] = uint8_t((v >> 7) & 0x7F);
    p[3] = uint8_t(v & 0x7F);
}

uint32_t ReadBigEndian(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

void WriteBigEndian32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

int FrameHeaderSize(uint8_t major)
{
    return major == 2 ? 6 : 10;
}

std::optional<FrameHeader> ParseFrameHeader(const uint8_t* p, uint8_t major)
{
    if (p[0] < 'A' || p[0] > 'Z')
        return std::nullopt;
    return ReadFrameHeader(p, major);
}

bool ValidFrameName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (QChar c : name)
        if (!((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))))
            return false;
    return true;
}

FrameStep NextFrameStep(const FrameHeader& f, uint8_t firstByte, int64_t left)
{
    if (firstByte == 0 || int64_t(f.size) > left)
        return FrameStep::End;
    if (f.size == 0 || !ValidFrameName(f.name))
        return FrameStep::Skip;
    return FrameStep::Read;
}

FrameHeader ReadFrameHeader(const uint8_t* p, uint8_t major)
{
    FrameHeader f;
    const int nameLength = major == 2 ? 3 : 4;
    f.name = QString::fromLatin1(reinterpret_cast<const char*>(p), nameLength);
    if (major == 2) {
        f.size = ReadBigEndian(p + 3, 3);
    } else if (major == 4 && !((p[4] | p[5] | p[6] | p[7]) & 0x80)) {
        // Version 2.4 stores frame sizes syncsafe. A size with a top bit set
        // cannot be syncsafe: some writers put a plain number there.
        f.size = ReadSyncsafe(p + 4);
        f.formatFlags = p[9];
    } else {
        f.size = ReadBigEndian(p + 4, 4);
        f.formatFlags = p[9];
    }
    return f;
}

bool FrameReadable(const FrameHeader& f, uint8_t major, int& skip)
{
    skip = 0;
    if (major == 3)
        return (f.formatFlags & 0xC0) == 0;  // compression, encryption
    if (major == 4) {
        if (f.formatFlags & 0x0C)  // compression, encryption
            return false;
        if (f.formatFlags & 0x01)  // data-length indicator
            skip = 4;
    }
    return true;
}

QByteArray Resynchronise(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        out += data[i];
        if (uint8_t(data[i]) == 0xFF && i + 1 < data.size() && data[i + 1] == 0)
            ++i;
    }
    return out;
}

namespace {

// UTF-16 code units from begin up to a zero unit (or the end), little- or
// big-endian.
QString utf16Text(const QByteArray& data, qsizetype begin, bool bigEndian)
{
    QString s;
    for (qsizetype i = begin; i + 1 < data.size(); i += 2) {
        const uint8_t a = uint8_t(data[i]), b = uint8_t(data[i + 1]);
        const char16_t unit = bigEndian ? char16_t((a << 8) | b) : char16_t((b << 8) | a);
        if (unit == 0)
            break;
        s += QChar(unit);
    }
    return s;
}

QByteArray untilZero(const QByteArray& data, qsizetype begin)
{
    const qsizetype zero = data.indexOf('\0', begin);
    return data.mid(begin, zero < 0 ? -1 : zero - begin);
}

}  // namespace

Text DecodeText(const QByteArray& data)
{
    if (data.isEmpty())
        return {};
    switch (uint8_t(data[0])) {
    case 0:
        return QString::fromLatin1(untilZero(data, 1)).toUtf8();
    case 1: {
        const uint8_t b1 = data.size() > 1 ? uint8_t(data[1]) : 0, b2 = data.size() > 2 ? uint8_t(data[2]) : 0;
        if (b1 == 0xFF && b2 == 0xFE)
            return utf16Text(data, 3, false);
        if (b1 == 0xFE && b2 == 0xFF)
            return utf16Text(data, 3, true);
        return utf16Text(data, 1, false);
    }
    case 2:
        return utf16Text(data, 1, true);
    case 3:
        return QString::fromUtf8(untilZero(data, 1));
    default:
        return {};
    }
}

}  // namespace dw::id3v2
