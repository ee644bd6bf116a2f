#pragma once
// The process-wide settings record, for the front ends only: the window,
// the command line and the programs' start-up see this folder, the engine's
// modules do not (their include roots lack it), so a core file that names
// the record does not compile. A job gets its values as a TJobConfig
// (app/JobConfig.h) that the front end builds from the record before the
// job starts. app/Settings.h includes this header where it is visible.

#include <QString>

namespace dw {

struct TAppSettings;

// Read and written on the main thread.
extern TAppSettings AppSettings;

// Reads every options.ini key into AppSettings (disc fields untouched),
// each held to the range SettingDescriptors() states.
void LoadSettings();
// Writes every key of AppSettings to options.ini, under the file's lock and
// atomically. False with *error ("<file>: <reason>") when the file could not
// be written, or when an existing options.ini could not be read (it is then
// kept as it is).
bool SaveSettings(QString* error = nullptr);

}  // namespace dw
