#pragma once
// Copies a byte range between two open files, passing over the holes of a
// sparse source (SEEK_DATA/SEEK_HOLE) so that they stay holes in the copy:
// long runs of silence written as holes cost neither time nor disk space.
// Thread-safe (works with pread/pwrite on the descriptors given).

#include <cstdint>

namespace dw {

// Copies source bytes [from, to) to dest at offset `at`, then makes sure the
// destination reaches at + (to - from) bytes. Returns 0, or the errno of the
// first failure.
int CopyFileRange(int source, int64_t from, int64_t to, int dest, int64_t at);

}  // namespace dw
