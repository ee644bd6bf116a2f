#pragma once
// The last steps of a ripped track, shared by the drive mode's rip thread and
// the ripper mode's job: the raw WAV waits in a temporary file in the output
// folder; it is normalised (when the settings ask) into a second temporary
// file, and only the finished result is renamed to the track's file name. A
// failure or a stop leaves no file behind and an existing file as it was.
//
// Any thread; the objects passed belong to the caller.

#include "app/ScaleWaveVolume.h"
#include "cd/RipSettings.h"

#include <QString>

namespace dw {

class TOutputFile;

enum class TFinishStatus { Done, Stopped, Failed };

// Normalises (when asked) and commits raw, whose temporary file holds the
// whole track with its header, under raw's final name, replacing an existing
// file only when settings.Overwrite. error gets "<file>: <system reason>" on
// failure. normalizing, when given, is called once before the normalise step.
TFinishStatus FinishRippedFile(TOutputFile& raw, const TRipSettings& settings, const ScaleProgress& progress,
                               QString& error, const std::function<void()>& normalizing = {});

// True when path may not be written because a file is already there and the
// settings keep existing files; error then gets "<file>: File exists".
bool OutputTaken(const QString& path, const TRipSettings& settings, QString& error);

}  // namespace dw
