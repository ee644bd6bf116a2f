#pragma once
// The main window's file conversions (WAV to MP3, MP3 to WAV, WAV to OGG,
// WAV to WMA, WAV/FLAC/Opus/Ogg Vorbis to FLAC or Opus) up to the job: the chooser's filter for a job kind, and the
// output-folder check run before every conversion.

#include "app/JobEvents.h"

#include <QString>

namespace dw {

class Dialogs;

// "Sound file(*.wav)|*.wav| Any file(*.*)|*.*" for the kinds that read WAV
// files, "MP3 file(*.mp3)|*.mp3| Any file(*.*)|*.*" for MP3 to WAV, and
// "Sound file(*.wav;*.flac;*.opus;*.ogg)|..." for the FLAC and Opus jobs.
QString ConversionFilter(TJobKind kind);

// True when the output folder exists. Otherwise shows "The output directory
// does not exist." followed by "Please check the output directory setting."
// (information icon) and gives false.
bool CheckOutputFolder(const QString& folder, Dialogs& dialogs);

}  // namespace dw
