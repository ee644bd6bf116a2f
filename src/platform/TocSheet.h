#pragma once
// Audio CD images described by a cdrdao table-of-contents sheet (.toc).
//
// libcdio reads such an image as one data file whose byte offsets are the
// disc's positions, takes the file names as given (relative to the current
// folder, not to the sheet's), has no silence of its own (SILENCE, ZERO,
// PREGAP) and counts a track that has a pregap (START) from its pregap to
// past its end. So an audio sheet is read here and handed to libcdio as a
// sheet of our own: every track one FILE line from its index 1 (the START
// position) to the next track's, naming the data file by its absolute path.
// When the sheet's audio is not one such file (silence, several files, or
// offsets that differ from the positions), the image is assembled once per
// process into an unnamed temporary file in the user's cache folder, silence
// as holes that take no space, and that file is named instead.
//
// A .wav data file's audio is its data chunk. Cue sheets that libcdio would
// read wrong are turned into the same image (CueSheet).
//
// Sheets with data tracks are left to libcdio, their file names made
// absolute. Everything the sheet says is bounds-checked: the
// sheet's size, the track count, lengths, and every range against its file.
//
// Thread-safe (the cache of assembled images is locked).

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

typedef struct _CdIo CdIo_t;

namespace dw {

// One stretch of a track: bytes of a file, or silence when path is empty.
struct TocSegment {
    QString path;        // absolute; empty: silence
    int64_t offset = 0;  // in the file
    int64_t bytes = 0;
};

struct TocTrack {
    std::vector<TocSegment> segments;
    int64_t pregapBytes = 0;  // bytes before index 1 (START, PREGAP)
};

struct TocImage {
    std::vector<TocTrack> tracks;
};

// Reads an audio sheet; nullopt with *problem set ("<sheet>: line N: ...")
// when it cannot be read or names something that is not there, and nullopt
// with *problem empty when it is not an audio sheet this reader handles.
std::optional<TocImage> ReadTocSheet(const QString& sheetPath, QString* problem);

// The sheet handed to libcdio for image, naming the data by dataPath: a file
// holding the audio of the whole disc at the disc's byte positions (each
// track padded to whole sectors).
QByteArray NormalisedTocSheet(const TocImage& image, const QByteArray& dataPath);

// The one file holding image's audio at the disc's positions, when there is
// one; empty otherwise.
QString DirectDataFile(const TocImage& image);

// Opens a .toc image through libcdio as described above; a CdIo_t* owned by
// the caller, or null (with *problem set when the sheet is at fault).
CdIo_t* OpenTocImage(const QString& sheetPath, QString* problem);
// Opens an audio image read from any sheet the same way.
CdIo_t* OpenAudioImage(const TocImage& image, QString* problem);

// Where the audio of a data file named by a sheet lies: the whole file, or
// for a .wav file its data chunk. False with *problem ("<file>: <reason>")
// when the file cannot be opened, is not a regular file or is no WAVE file.
bool AudioRangeOfFile(const QString& path, int64_t* offset, int64_t* bytes, QString* problem);

}  // namespace dw
