#pragma once
// Rewrites chosen Vorbis comments of a finished Ogg Vorbis, Ogg Opus or FLAC
// file through TagLib (the ReplayGain and R128 values written once a
// track or an album has been measured). The kind of file is told by its
// first bytes, not its name. Each named comment replaces every comment of
// that name (names compare without regard to case and are stored in upper
// case); an empty value removes them; every other comment, and every audio
// packet or frame, stays as it was. In an Ogg file the pages after the
// comment header may be renumbered; the audio they carry is the same.
//
// The file is never written in place: see TaggedCopy.h (a copy in the same
// folder, renamed over the original when complete).
//
// Thread-safe for different files (no shared state).

#include <QString>

#include <utility>
#include <vector>

namespace dw {

// The kinds of file whose comments can be rewritten.
enum class TXiphFileKind { Unknown, OggVorbis, OggOpus, Flac };

// The kind of the file at path from its first page or block header:
// "fLaC" (after an ID3v2 tag, if any), or "OggS" whose first packet begins
// "\x01vorbis" or "OpusHead". Unknown when unreadable or anything else.
TXiphFileKind XiphFileKindOf(const QString& path);

// Sets the comments (name, value) in the file at path. False with *error
// set ("<path>: <reason>") when the file cannot be read, is none of the
// three kinds, a name is not a valid comment name (printable ASCII other
// than '='), or the copy cannot be written or renamed.
bool WriteXiphComments(const QString& path, const std::vector<std::pair<QString, QString>>& comments,
                       QString* error = nullptr);

// The same, written into the file at path itself: only for a file of the
// caller's own that is not in place yet (an encoder's temporary file before
// it is renamed), where a copy would only cost time.
bool WriteXiphCommentsInPlace(const QString& path, const std::vector<std::pair<QString, QString>>& comments,
                              QString* error = nullptr);

}  // namespace dw
