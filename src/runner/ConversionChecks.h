#pragma once
// The checks a file conversion passes before its job starts, and the
// ReplayGain rule of the output formats, for the main window and the command
// line alike. A front end only decides whether a missing output folder is
// made (the command line) or refused (the window) and shows the failure.
//
// Any thread (plain functions over the file system and the format table).

#include "app/JobEvents.h"
#include "app/JobFailure.h"
#include "app/OutputFormats.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace dw {

// The conversion job that writes the format (WAV: MP3 to WAV).
TJobKind ConversionKindFor(TOutputFormat format);

// The format a job of this kind writes; a rip (kind 1) writes ripFormat.
TOutputFormat JobOutputFormat(TJobKind kind, TOutputFormat ripFormat);

// Whether a job writes ReplayGain values: asked for (replayGainOn) and its
// output format carries them (MP3, Ogg Vorbis, FLAC, Opus; not WAV, not WMA).
bool JobWritesReplayGain(TJobKind kind, TOutputFormat ripFormat, bool replayGainOn);

// The formats that carry ReplayGain values as command-line names joined for a
// sentence: "mp3, ogg, flac and opus" (lastJoin " and ") or "... or opus".
QString ReplayGainFormatNames(const QString& lastJoin);
// Why some outputs get no values: "WAV and WMA files carry no ReplayGain values".
QString NoReplayGainReason();

enum class TMissingFolder {
    Refuse,  // "The output directory does not exist.Please check the output directory setting."
    Create,  // made (one level); a failure names the folder and the reason
};

// The output folder (missing: Refused, or Write when it cannot be made; not
// a folder, not writable: Write) and the encoder program the kind needs
// (lame for MP3 to and from WAV; missing: Encode). Nothing when the job may
// start.
std::optional<TJobFailure> CheckConversion(TJobKind kind, const QString& outputFolder, TMissingFolder missing);

// The outputs of a conversion that exist now and that the job would keep
// unless told to replace them (every kind but the recording's MP3, which is
// always replaced), once each, in item order; outputs that are one of the
// inputs are left out (those items are refused anyway). A front end that
// asks the user asks about these before the job starts.
QStringList ExistingConversionOutputs(TJobKind kind, const QString& outputFolder, const QStringList& files);

}  // namespace dw
