#pragma once
// Small helpers shared across the program.

#include <QString>

#include <cstdint>

namespace dw {

// "07" for 7, "00" for 0, "10" for 10, "100" for 100; negatives as "0-5" would be
// meaningless, so they give their plain decimal text.
QString FormatTwoDigits(int n);

// Busy-waits (without serving events) for ms milliseconds on a monotonic clock.
void WaitMs(int ms);

// Appends "/" unless the path is empty or already ends with one.
QString WithTrailingBackslash(const QString& path);

// Size in bytes of the file, or -1 when it does not exist.
int64_t FileSizeOrMinusOne(const QString& path);

// Removes * / : < > ? \ | from a title; everything else stays.
QString StripFileNameChars(const QString& text);

// "MP3", "WAV", "OGG", "WMA", "FLAC", "Opus" for 0..5; empty otherwise.
QString OutputFormatName(int format);

}  // namespace dw
