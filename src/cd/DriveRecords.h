#pragma once
// Byte records the drive library exchanges with its callers, all packed and
// little-endian unless noted, with functions that write and read them field
// by field.

#include "platform/CdDrives.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace dw {

constexpr int CdSectorBytes = 2352;

// ---- Drive list: 970 bytes, zero-filled -----------------------------------
// byte 0 capacity (the caller sets 8), byte 1 count (filled in), then 8
// entries of 121 bytes: bytes 0-2 host adapter, target, LUN; offset 69 vendor
// name (9 bytes, NUL-terminated), offset 78 product name (17 bytes,
// NUL-terminated). Other bytes are zero.
constexpr std::size_t CdListSize = 970;
constexpr std::size_t CdListEntrySize = 121;
constexpr int CdListMaxEntries = 8;
constexpr std::size_t CdListVendorOffset = 69;
constexpr std::size_t CdListVendorSize = 9;
constexpr std::size_t CdListProductOffset = 78;
constexpr std::size_t CdListProductSize = 17;
using CdListRecord = std::array<uint8_t, CdListSize>;

struct CdListEntry {
    uint8_t adapter = 0, target = 0, lun = 0;
    QString vendor;   // at most 8 characters are stored
    QString product;  // at most 16 characters are stored
};
struct CdList {
    uint8_t capacity = CdListMaxEntries;
    std::vector<CdListEntry> entries;  // count = entries.size(), at most capacity and 8
};
void EncodeCdList(const CdList& list, std::span<uint8_t, CdListSize> out);
// Reads capacity, count and the first min(count, capacity, 8) entries.
CdList DecodeCdList(std::span<const uint8_t, CdListSize> in);

// ---- Open request: 12 bytes ------------------------------------------------
// size (12), version (1), adapter, target, LUN, read type, 32-bit flags, two bytes 0.
constexpr std::size_t OpenRequestSize = 12;
using OpenRequestRecord = std::array<uint8_t, OpenRequestSize>;
struct OpenRequest {
    uint8_t adapter = 0, target = 0, lun = 0;
    uint8_t readType = 0;
    uint32_t flags = 0;
};
void EncodeOpenRequest(const OpenRequest& req, std::span<uint8_t, OpenRequestSize> out);
// Nullopt when the size byte is not 12.
std::optional<OpenRequest> DecodeOpenRequest(std::span<const uint8_t, OpenRequestSize> in);

// ---- Table of contents: 804 bytes ------------------------------------------
// 16-bit length (bytes that follow the length field: 2 + 8 per entry), first
// track, last track, then 100 entries of 8 bytes; entry i describes the i-th
// track of the disc, the entry after the last track the lead-out. Entry bytes:
// 0 reserved, 1 ADR/control ($10 audio, $14 data), 2 track number ($AA for
// the lead-out), 3 reserved, 4-7 the start address: 0, minute, second, frame
// (lead-in included) in minute-second-frame mode, otherwise the sector number
// big-endian as drives report it.
constexpr std::size_t TocSize = 804;
constexpr int TocMaxEntries = 100;
constexpr int TocMaxTracks = TocMaxEntries - 1;
constexpr std::size_t TocEntrySize = 8;
constexpr uint8_t TocLeadOutTrack = 0xAA;
using TocRecord = std::array<uint8_t, TocSize>;

struct TocEntry {
    uint8_t control = 0x10;
    uint8_t track = 0;
    std::array<uint8_t, 4> address {};
    uint8_t minute() const { return address[1]; }
    uint8_t second() const { return address[2]; }
    uint8_t frame() const { return address[3]; }
    bool isData() const { return (control & 0x04) != 0; }
};
struct CdToc {
    int firstTrack = 0;
    int lastTrack = 0;
    std::vector<TocEntry> entries;  // tracks first..last, then the lead-out
    int trackCount() const { return lastTrack - firstTrack + 1; }
};
// Builds the record from a disc layout. False, with a plain message, when the
// disc has no tracks or more than 99, or its addresses do not go forward.
bool EncodeToc(const DiscLayout& layout, bool msf, std::span<uint8_t, TocSize> out, QString* error = nullptr);
// Reads a record in minute-second-frame mode, refusing (nullopt and a plain
// message) a first/last pair that is not 1..99 ascending with at most 99
// tracks, and addresses that do not go forward.
std::optional<CdToc> DecodeToc(std::span<const uint8_t, TocSize> in, QString* error = nullptr);

// ---- Read buffer: 24-byte header, then the data area ------------------------
// six 32-bit fields: start sector, sector count, capacity in bytes
// (= count x 2352), bytes returned, status, data offset. Data starts at
// header end + data offset.
constexpr std::size_t ReadBufferHeaderSize = 24;
constexpr uint32_t ReadStatusDone = 1;
constexpr uint32_t ReadStatusError = 4;
struct ReadBufferHeader {
    uint32_t startSector = 0;
    uint32_t sectorCount = 0;
    uint32_t capacity = 0;
    uint32_t bytesReturned = 0;
    uint32_t status = 0;
    uint32_t dataOffset = 0;
};
void EncodeReadBufferHeader(const ReadBufferHeader& h, std::span<uint8_t> buffer);  // buffer >= 24 bytes
std::optional<ReadBufferHeader> DecodeReadBufferHeader(std::span<const uint8_t> buffer);

}  // namespace dw
