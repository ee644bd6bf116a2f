#pragma once
// Audio CD images described by a cue sheet whose data is not the one .bin
// file beside the sheet with the sheet's name: libcdio reads the data of a
// cue sheet from "<sheet name>.bin" whatever its FILE lines say, so a sheet
// naming "Album.wav", or a file per track, would fail or be read from
// another file. Such sheets are read here into an image of our own
// (TocSheet), data files relative to the sheet's folder, a .wav file's data
// chunk taken as its audio, INDEX 00 as the start of a track's pregap.
//
// Thread-safe (no shared state).

#include "platform/TocSheet.h"

#include <QStringList>

namespace dw {

// Whether libcdio reads the cue sheet right as it stands: its FILE lines
// name one file, the .bin beside the sheet with the sheet's name.
// The words of a cue sheet line; a double-quoted word may hold blanks.
QStringList CueWords(const QString& line);

bool CueSheetFitsLibcdio(const QString& cuePath);

// Reads an audio cue sheet; nullopt with *problem set ("<sheet>: line N:
// ...") when it cannot be read or names something that is not there, and
// nullopt with *problem empty when it has tracks other than audio.
std::optional<TocImage> ReadCueSheet(const QString& cuePath, QString* problem);

}  // namespace dw
