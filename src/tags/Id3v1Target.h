#pragma once
// Whether a file may take an ID3v1 trailer. Only MPEG audio (MP3) files do:
// a FLAC, Ogg or WAV stream with 128 bytes appended no longer passes its
// format's checks. The file is judged by its content, never by its name:
// after any ID3v2 tag at its start it must begin with an MPEG audio frame,
// followed by a second one where the file is long enough to hold it.
//
// Thread-safe (reads the file only for the call's duration).

#include <QString>

namespace dw {

// Empty when path is an MP3 file that may carry an ID3v1 tag; otherwise
// "<path>: <reason>": why it cannot be read (also when it is no regular
// file), or that it is not an MP3 file, naming the format it is when that
// is known ("holds FLAC audio").
QString CheckId3v1Target(const QString& path);

}  // namespace dw
