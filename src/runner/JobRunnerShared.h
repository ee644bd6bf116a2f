#pragma once
// What the job runner's three source files share (JobRunner.cpp: set-up,
// display and the end of a job; JobRunnerStart.cpp: starting each item's
// stages; JobRunnerEvents.cpp: the stages' completions): constants and small
// rules of the runner. Private to them.

#include "app/OutputFormats.h"
#include "platform/FileSharing.h"
#include "platform/NativePath.h"
#include "runner/ConversionChecks.h"
#include "runner/JobRunner.h"

#include <QString>

namespace dw::jobrunner {

inline constexpr int kResampleRate = 44100;
inline constexpr int kWmaTimerMs = 1000;

using Outcome = TJobItemResult::Outcome;

// Deletes a file when it exists and nobody holds it; otherwise leaves it.
inline void deleteFile(const QString& path)
{
    if (!path.isEmpty() && StatPath(path).exists && !FileInUse(path))
        RemoveFile(path);
}

// Whether a CD job's OutputFormat encodes the ripped WAV (MP3, OGG, WMA,
// FLAC, Opus) rather than keeping it as the output.
inline bool encodesAfterRip(TOutputFormat format) { return FormatInfo(format).encoder != TFormatEncoder::None; }

// Whether a job of this kind writes files that carry loudness values: MP3,
// Ogg Vorbis, FLAC and Opus outputs (not WAV, not WMA).
inline bool measuresLoudness(TJobKind kind, TOutputFormat format)
{
    return JobWritesReplayGain(kind, format, true);
}

inline QString joined(const QString& a, const QString& b)
{
    return a.isEmpty() ? b : b.isEmpty() ? a : a + QStringLiteral("; ") + b;
}

}  // namespace dw::jobrunner
