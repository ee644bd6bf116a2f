#pragma once
// The 128-byte ID3v1 trailer at the very end of an MP3 file: its byte
// offsets, and reading and writing it through a file descriptor so that the
// audio before it is never touched.
//
//   0 "TAG" | 3 title 30 | 33 artist 30 | 63 album 30 | 93 year 4 |
//   97 comment 30, or comment 28 + 125 zero + 126 track | 127 genre
//
// Thread-safe (pure functions over the descriptor given).

#include <array>
#include <cstdint>

namespace dw::id3v1 {

using Trailer = std::array<uint8_t, 128>;

inline constexpr int kSize = 128;
inline constexpr char kMagic[3] = {'T', 'A', 'G'};
inline constexpr int kTitle = 3;
inline constexpr int kArtist = 33;
inline constexpr int kAlbum = 63;
inline constexpr int kYear = 93;
inline constexpr int kComment = 97;
inline constexpr int kTrackMarker = 125;
inline constexpr int kTrack = 126;
inline constexpr int kGenre = 127;
inline constexpr int kTextWidth = 30;
inline constexpr int kYearWidth = 4;
inline constexpr int kLongCommentWidth = 30;
inline constexpr int kShortCommentWidth = 28;

bool HasMagic(const Trailer& t);

enum class TrailerRead {
    Found,   // the last 128 bytes, beginning with "TAG", are in the trailer
    NoTag,   // the file is shorter than 128 bytes or they do not begin so
    Failed,  // fstat or read failed (errno set)
};
// Reads the last 128 bytes of the file (without moving the position).
TrailerRead ReadTrailer(int fd, Trailer& t);

// Writes t at offset, which must be the end of the file or the start of an
// existing trailer, never inside the audio. On any failure the file is put
// back as it was: an append is cut back to the old length, a replaced
// trailer gets its old bytes back. False with errno set on failure.
bool WriteTrailerAt(int fd, int64_t offset, const Trailer& t);
// Appends t at the end of the file, as WriteTrailerAt.
bool AppendTrailer(int fd, const Trailer& t);

}  // namespace dw::id3v1
