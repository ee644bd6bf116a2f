#pragma once
// The disc-information cache cdinfo.dat in the program folder: one INI
// section per disc, named by the disc key, holding the disc's artist, album,
// year, genre, comment, track count and track titles. It is read into and
// written from the current-disc values of the settings record.
//
// Main thread only (it works on the process-wide settings record).

#include "app/Settings.h"
#include "cd/DiscListing.h"

#include <QString>

namespace dw {

enum class DiscCacheDirection { Read, Write };

// Path of the cache file: ProgramFolder() + "cdinfo.dat".
QString DiscCachePath();

// Reads the section of discKey into the current-disc values of settings, or
// writes them to it. An empty key does nothing. Reading a missing, damaged or
// empty file gives the defaults (empty texts, genre -1, 100 tracks, titles
// "Track01" ...). Returns false only when a write could not be saved.
bool DiscCache(const QString& discKey, DiscCacheDirection direction, TAppSettings& settings = AppSettings);

// The cache as the track listing reaches it (on AppSettings).
DiscCacheAccess DiscListingCache();

}  // namespace dw
