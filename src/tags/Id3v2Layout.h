#pragma once
// Byte layouts of an ID3v2 tag at the start of a file: the 10-byte tag
// header, frame headers of versions 2.2 (6 bytes) and 2.3/2.4 (10 bytes),
// syncsafe numbers (four 7-bit groups, most significant first) and the
// decoding of text frames by their encoding byte.
//
// Pure functions; thread-safe.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>

namespace dw::id3v2 {

inline constexpr int kHeaderSize = 10;
inline constexpr uint32_t kMaxSyncsafe = 0x0FFFFFFF;

struct Header {
    uint8_t major = 0;
    uint8_t revision = 0;
    uint8_t flags = 0;
    uint32_t size = 0;  // decoded: the bytes after the header, footer not counted
    // Header, tag body and footer when the flags announce one.
    int64_t TotalLength() const { return int64_t(size) + kHeaderSize + ((flags & 0x10) ? kHeaderSize : 0); }
    bool Unsynchronised() const { return (flags & 0x80) != 0; }
    bool HasExtendedHeader() const { return major >= 3 && (flags & 0x40) != 0; }
};

// A valid header: "ID3", a revision other than 0xFF, major version 2, 3 or 4
// with no flag bits that version does not define, no size byte with its top
// bit set. got is the number of bytes actually read (fewer than 10 is invalid).
std::optional<Header> ParseHeader(const uint8_t* bytes, size_t got);

uint32_t ReadSyncsafe(const uint8_t* p);           // p[0..3], top bits ignored
void WriteSyncsafe(uint8_t* p, uint32_t value);     // value <= kMaxSyncsafe
uint32_t ReadBigEndian(const uint8_t* p, int bytes);  // 3 or 4 bytes
void WriteBigEndian32(uint8_t* p, uint32_t value);

struct FrameHeader {
    QString name;        // 3 or 4 characters
    uint32_t size = 0;   // data bytes after the header
    uint8_t formatFlags = 0;  // second flag byte (2.3/2.4); 0 for 2.2
};
// Frame header size for a major version: 6 for 2.2, 10 otherwise.
int FrameHeaderSize(uint8_t major);
// Decodes a frame header of the version; nullopt when its first character is
// not an upper-case letter A-Z (the padding or the end of the frames).
std::optional<FrameHeader> ParseFrameHeader(const uint8_t* p, uint8_t major);
// Decodes a frame header of the version whatever its name holds, so that a
// frame with a damaged name can be stepped over by its size.
FrameHeader ReadFrameHeader(const uint8_t* p, uint8_t major);
// Whether a frame name is made of upper-case letters A-Z and digits only.
bool ValidFrameName(const QString& name);

// How a walk over the frames goes on at a frame header.
enum class FrameStep {
    End,    // zero bytes (the padding), or a frame larger than what is left
    Skip,   // a damaged frame (a bad name, no data) whose size fits: step over it
    Read,   // a frame to decode
};
// The step for frame header f (read by ReadFrameHeader from first byte
// firstByte) with left bytes of the frame area after its header.
FrameStep NextFrameStep(const FrameHeader& f, uint8_t firstByte, int64_t left);

// Whether the frame's data can be read as it stands, and how many bytes of
// it precede the text (a 2.4 data-length indicator). Compressed and
// encrypted frames cannot.
bool FrameReadable(const FrameHeader& f, uint8_t major, int& skip);
// Undoes unsynchronisation: every 0xFF 0x00 becomes 0xFF.
QByteArray Resynchronise(const QByteArray& data);

// A decoded text frame: ANSI text (ISO-8859-1 in the file, kept as UTF-8)
// for encoding 0, wide text for the Unicode encodings; monostate for an
// encoding byte that is not known (the frame is then ignored).
using Text = std::variant<std::monostate, QByteArray, QString>;
Text DecodeText(const QByteArray& data);

}  // namespace dw::id3v2
