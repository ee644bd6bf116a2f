#pragma once
// Track titles as file names. A title may hold anything a user or a CDDB
// entry typed; the file it names must be a plain, visible file of its own in
// the output folder. These rules apply wherever a job list is built, so the
// drive mode, the ripper mode and the encoders all write the same names.

#include <QString>
#include <QStringList>

#include <vector>

namespace dw {

// The longest file name, in bytes, that the usual Linux file systems accept.
inline constexpr int MaxFileNameBytes = 255;
// Room kept for the extension that follows a stem (".wav", ".mp3", ".ogg",
// ".wma"); a job writing a longer one (".flac", ".opus") passes its length.
inline constexpr int FileExtensionBytes = 4;

// A title as a file-name stem: StripFileNameChars, then control characters
// (0x00-0x1F, 0x7F) removed, blanks at both ends and leading dots removed (no
// hidden files, no "." or ".."); what is left empty becomes "Track" + two
// digits of the track. The result is shortened at a character boundary so
// that it and an extension of extensionBytes bytes fit in MaxFileNameBytes as
// the system stores them.
QString SafeFileStem(const QString& title, int track, int extensionBytes = FileExtensionBytes);

// The stem cut at a character boundary so that stem + suffix takes at most
// maxBytes bytes as the system stores the name.
QString FitFileStem(const QString& stem, const QString& suffix, int maxBytes);

// One stem per track of a job, in order: SafeFileStem of each, and a stem
// already used by an earlier track of the job (compared without regard to
// case, as some file systems do) gets " (2)", " (3)", ... so that no two
// tracks of a job write the same file.
struct TTitledTrack {
    int track = 0;
    QString title;
};
QStringList UniqueFileStems(const std::vector<TTitledTrack>& tracks, int extensionBytes = FileExtensionBytes);

}  // namespace dw
