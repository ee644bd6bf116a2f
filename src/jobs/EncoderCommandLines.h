#pragma once
// Where the encoder programs are and the argument vectors they get, built
// from the job's options each time an item starts. Each value is one argument, so
// paths and tag texts with blanks or quotes arrive unchanged.

#include "app/Settings.h"

#include <QString>
#include <QStringList>

namespace dw {

// ProgramFolder() + "lame" when that is an executable file, else "lame" as
// found on PATH; empty when there is none.
QString LameProgram();
// Why encoding cannot start when LameProgram() is empty, and how to mend it.
QString LameNotFoundText();
// ProgramFolder() + "WM8EUTIL" when that is an executable file; else empty.
QString WmaProgram();

// lame, encode: -b BitRate, the stereo mode (-m s/j/f/d/m), -f or -h by
// MpegQuality, under VBR -V VBRQuality -B MaxBitRate and -t when IsVBRHead,
// then input and output. Decode: --decode input output. A relative path that
// begins with "-" is given as "./-...", so lame never takes it for a switch.
QStringList LameArguments(const TStoredOptions& options, bool encodeMode, const QString& input,
                          const QString& output);

// WM8EUTIL: -input, -output, -a_setting with the profile of WmaBitRate, and
// when tagging is on -author DiscArtist / -description DiscComment of disc
// (each only when not empty). A profile index outside 0..32 is replaced by
// 8, also in options (the caller's own copy).
QStringList WmaArguments(TStoredOptions& options, const TDiscInfo& disc, const QString& input, const QString& output);
// The same with the options and the disc of one settings value.
inline QStringList WmaArguments(TAppSettings& settings, const QString& input, const QString& output)
{
    return WmaArguments(settings.Options(), settings.Disc(), input, output);
}

}  // namespace dw
