#pragma once
// The output formats of rips and conversion jobs, one entry each: the name
// the windows show, the file extension, how the format is encoded, which tag
// writer applies and whether its files carry ReplayGain values. Everything
// that turns a format into a name, an extension or a rule reads it here.

#include <QString>

#include <optional>
#include <span>

namespace dw {

// The values stored as [CommonOptions] OutputFormat.
enum class TOutputFormat { Mp3 = 0, Wav = 1, Ogg = 2, Wma = 3, Flac = 4, Opus = 5 };

enum class TFormatEncoder {
    None,       // the ripped WAV file is the result
    InProcess,  // a writer of this program (Ogg Vorbis, FLAC, Opus)
    External,   // a child process (lame, WM8EUTIL)
};

enum class TFormatTags {
    None,
    Id3,             // ID3v1 trailer, and ID3v2 when that option is on
    VorbisComments,  // Ogg Vorbis, FLAC and Opus comments
    WmaFields,       // the fields the WMA encoder writes
};

struct TOutputFormatInfo {
    TOutputFormat format;
    const char* name;        // "MP3", "WAV", "OGG", "WMA", "FLAC", "Opus"
    const char* extension;   // with its dot, lower case
    const char* dialogItem;  // the options dialog's list entry
    TFormatEncoder encoder;
    const char* program;     // the external encoder; nullptr for the others
    TFormatTags tags;
    bool replayGain;         // measured and written (Opus as R128 gains)
};

// Every format, in the order of the stored values.
std::span<const TOutputFormatInfo> OutputFormats();
const TOutputFormatInfo& FormatInfo(TOutputFormat format);

// The format of a stored value; none when out of range.
std::optional<TOutputFormat> OutputFormatFromStored(int value);
// A stored value as the engines take it: out of range is WAV (nothing is
// encoded after the rip).
TOutputFormat StoredOutputFormat(int value);
// The format of a command-line name: the name in lower case ("mp3", "opus").
std::optional<TOutputFormat> OutputFormatFromName(const QString& name);

QString FormatName(TOutputFormat format);       // "MP3", ..., "Opus"
QString FormatExtension(TOutputFormat format);  // ".mp3", ..., ".opus"

}  // namespace dw
