#pragma once
// Checks an encoder item before its child program starts, so that an item
// that cannot succeed, or that would destroy its own input, is refused with a
// reason before anything is written. Every path goes to the system as its
// native bytes. Thread-safe (no shared state).

#include <QString>

namespace dw {

enum class EncoderInputKind {
    Wav,  // a RIFF, RF64 or BW64 file of form WAVE
    Mp3,  // MPEG audio: an ID3v2 tag or a frame header at the start
};

// Empty when path is a non-empty regular file whose first bytes fit kind;
// else "<path>: <reason>", the system's reason when a call failed.
QString CheckEncoderInput(const QString& path, EncoderInputKind kind);

// Empty when output may be written for input; else "<path>: <reason>". The
// output must not be the input itself (the same name, another spelling of
// it, a symbolic or a hard link to it), not a folder, and its folder must
// exist and let this process create files.
QString CheckEncoderOutput(const QString& input, const QString& output);

}  // namespace dw
