#pragma once
// The 148 genre names and their ID3v1 genre bytes.

#include <QString>

#include <array>
#include <cstdint>

namespace dw {

extern const std::array<const char*, 148> GenreNames;

// List position (0 none, 1..148 names) to ID3v1 byte; 255 for 0 or above 148.
uint8_t GenreListToId3(int position);
// ID3v1 byte to list position; 0 for 148 and above.
int Id3ToGenreList(int id3);
// 0-based index of the exactly matching name, or -1.
int FindGenreName(const QString& name);

}  // namespace dw
