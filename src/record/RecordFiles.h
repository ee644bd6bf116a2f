#pragma once
// The recorder's files: where its two work files live, the 44-byte empty WAV
// a new recording starts from, and the copies and moves of saving. Every
// file written here is written under a temporary name and renamed into place
// when complete (platform/OutputFile), so a failed copy leaves the target as
// it was.
//
// Main thread (plain functions; each opens files only for its own duration).

#include "platform/WaveAudioFile.h"

#include <QString>

namespace dw {

inline constexpr char NoNameFileName[] = "MyNoName.wav";
inline constexpr char WorkFileName[] = "MyTemp.wav";

// The folder of the work files, with a trailing "/": the user's cache folder
// of the program (platform/Paths UserCacheFolder), created when missing.
QString RecorderWorkFolder();

// Writes the empty WAV file of a new recording (header only, data size 0).
// False with *error set.
bool WriteEmptyWave(const QString& path, const TWaveAudioFormat& format, QString* error);

// Copies from to to (replacing it). False with *error set; to is then unchanged.
bool CopyWholeFile(const QString& from, const QString& to, QString* error);

// Renames from to to; across file systems copies and then removes from.
// An existing `to` is replaced. False with *error set.
bool MoveWholeFile(const QString& from, const QString& to, QString* error);

}  // namespace dw
