#pragma once
// The disc-information cache cdinfo.dat in the user's data folder (see
// platform/Paths UserDataFolder): one INI section per disc, named by the disc key, holding the disc's artist, album,
// year, genre, comment, track count and track titles. It is read into and
// written from a disc-information value the caller gives.
//
// Main thread only (it keeps what this process last read or wrote per disc).

#include "app/DiscInfo.h"
#include "cd/DiscListing.h"

#include <QString>

namespace dw {

enum class DiscCacheDirection { Read, Write };

// Path of the cache file: UserDataFolder() + "cdinfo.dat".
QString DiscCachePath();
// Where earlier versions kept the cache: ProgramFolder() + "cdinfo.dat". It
// is only read: the first read or write of this process merges the discs it
// holds that the user's cache lacks into the user's cache (under its lock,
// noted there so that it happens once per version of the old file). While
// that cannot be saved, reads still find those discs in the old file.
QString OldDiscCachePath();

// Reads the section of discKey into disc, or writes disc to it. An empty
// key does nothing. Reading a missing, damaged or
// empty file gives the defaults (empty texts, genre -1, 100 tracks, titles
// "Track01" ...). A write makes the user's data folder when missing. Returns
// false only when a write could not be saved; *error (and
// LastDiscCacheError()) then holds "<file or folder>: <reason>".
//
// A write is a read-modify-write under the file's lock: other discs'
// sections stay as they are, and of this disc's values only those this
// process changed since it last read or wrote the section are stored, so
// processes renaming different tracks of one disc at once keep each
// other's titles. A file that exists but cannot be read is never replaced.
bool DiscCache(const QString& discKey, DiscCacheDirection direction, TDiscInfo& disc, QString* error = nullptr);

// Why the latest write failed ("<file>: <reason>"); empty after a success.
QString LastDiscCacheError();

// The cache as the track listing reaches it, reading into and writing from
// disc (the front end's current disc, which must outlive the listing).
DiscCacheAccess DiscListingCache(TDiscInfo& disc);

}  // namespace dw
