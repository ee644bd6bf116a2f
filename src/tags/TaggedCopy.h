#pragma once
// Tag writing for libraries that rewrite a file in place (TagLib): the file
// is copied through TOutputFile into a hidden temporary in its own folder,
// the library writes the copy, and only a complete, successfully saved copy
// is renamed over the original (atomically). Any failure leaves the
// original untouched and removes the copy. A symbolic link is followed: the
// file it points to is replaced and the link stays. The copy takes the
// original's permission bits.
//
// Thread-safe for different files (no shared state).

#include <QString>

#include <functional>

namespace dw {

// Writes the tag into the copy at tempPath; false with reason set.
using TTagCopyWriter = std::function<bool(const QString& tempPath, QString& reason)>;

// Copies path, lets write tag the copy and renames the copy into place.
// False with *error set ("<path>: <reason>") when the file cannot be read or
// is not a regular file, write fails, or the copy cannot be written or
// renamed.
bool RewriteThroughCopy(const QString& path, const TTagCopyWriter& write, QString* error = nullptr);

}  // namespace dw
