#pragma once
// Telling a FLAC file by its first bytes: the "fLaC" marker, either at the
// start or behind ID3v2 tags that some tools put in front of the stream
// (each skipped by its syncsafe size, ten more bytes when its footer flag is
// set), or a file that starts straight at a FLAC frame (sync code 0xFFF8 or
// 0xFFF9), which the FLAC reader then refuses by its reason.
//
// Thread-safe (reads with pread: the descriptor's offset is left alone).

#include <cstddef>
#include <cstdint>
#include <functional>

namespace dw {

// readAt(pos, dst, n) fills dst with the n bytes at pos; false when it cannot.
using TReadAt = std::function<bool(int64_t pos, uint8_t* dst, size_t n)>;

// The offset past the ID3v2 tags at the start (0 without one).
int64_t Id3v2TagsEnd(const TReadAt& readAt);

// Whether the bytes hold a FLAC stream as described above.
bool FlacStreamAt(const TReadAt& readAt);

// The same for the file open on fd.
bool FlacStreamInFile(int fd);

}  // namespace dw
