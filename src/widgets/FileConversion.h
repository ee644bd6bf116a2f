#pragma once
// The main window's file conversions (WAV to MP3, MP3 to WAV, WAV to OGG,
// WAV to WMA, WAV/FLAC/Opus/Ogg Vorbis to FLAC or Opus) up to the job: the
// chooser's filter for a job kind, the checks run before every conversion
// (runner/ConversionChecks, the same the command line's convert makes) and
// how a job that cannot start is reported.

#include "app/JobEvents.h"

#include <QString>

#include <exception>

namespace dw {

class Dialogs;

// "Sound file(*.wav)|*.wav| Any file(*.*)|*.*" for the kinds that read WAV
// files, "MP3 file(*.mp3)|*.mp3| Any file(*.*)|*.*" for MP3 to WAV, and
// "Sound file(*.wav;*.flac;*.opus;*.ogg)|..." for the FLAC and Opus jobs.
QString ConversionFilter(TJobKind kind);

// True when a conversion of this kind may start into folder. Otherwise shows
// the refusal and gives false: a missing output folder as "The output
// directory does not exist." followed by "Please check the output directory
// setting." (information icon; the folder is not made), an unusable folder
// or a missing encoder program with its reason (error icon).
bool ConversionMayStart(TJobKind kind, const QString& folder, Dialogs& dialogs);

// A conversion job that could not be set up or started: its reason is shown
// (error icon), never dropped.
void ReportConversionFailure(const std::exception& error, Dialogs& dialogs);

}  // namespace dw
