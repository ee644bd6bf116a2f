#pragma once
// Whether an Ogg file ends where its stream ends: a file cut short (a copy
// or a download that stopped) still opens and decodes up to its last whole
// page, but that page does not carry the end-of-stream flag that closes a
// complete stream (and every link of a chain).
//
// Thread-safe over distinct streams.

#include "audio/stream/Stream.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace dw {

// The Ogg page checksum (CRC-32, polynomial 0x04C11DB7, not reflected, no
// initial or final inversion) over bytes, as if its own field were zero.
uint32_t OggPageChecksum(std::span<const uint8_t> page);

// Looks at the last whole page (sound header, checksum right) within the
// final kOggTailBytes of stream: true when it ends its logical stream, false
// when it does not, nothing when no whole page lies there (the tail is
// foreign data). The stream is left where it was.
std::optional<bool> OggLastPageEndsStream(TStream& stream);

// The open-time problem of an Ogg file (Vorbis or Opus) whose last page does
// not end its stream: a file cut short; empty otherwise, and for a stream
// that cannot seek (nothing can be told before the end). The stream is left
// where it was.
QString OggCutShortProblem(TStream* stream, bool seekable);

// Two of the largest pages (27 + 255 + 255 * 255 bytes).
constexpr int64_t kOggTailBytes = 2 * 65307;

}  // namespace dw
