#pragma once
// A WAV-to-WAV conversion: the settings and the chain that carries them out
// (TWaveIn, TVorbisIn, TFlacIn or TOpusIn -> TDownmixer -> TFastResampler -> TAudioConverter -> TWaveOut).
// The command line and the WAV conversion window both build their chain
// here, so the checks and the choices below hold for every front end:
//
// - the input is a regular file (no FIFO, device or folder);
// - the output may not be the input file (same path, another spelling, a
//   symbolic or hard link): refused before anything is written, and an
//   existing output is refused unless the settings allow replacing it;
// - channels: 1 <-> 2 by the converter; 3 to 8 input channels are mixed
//   down to the 1 or 2 asked for (TDownmixer); more than 8 are refused;
// - IMA ADPCM is coded from 16-bit samples of 1 or 2 channels: other input
//   is converted to 16 bits and mixed down to stereo unless the settings ask
//   for mono; an explicit width other than 16 is refused;
// - the sample rate must lie within kMinRate ... kMaxRate;
// - a wider sample width is exact; a narrower one rounds to nearest and
//   adds TPDF dither as the settings' dither mode says (by default only
//   when narrowing to 8 bits; the noise is seeded, so a conversion repeated
//   gives the same file).
//
// Threads: set up and started on the main thread; the chain runs on the
// output's worker.

#include "audio/formats/AudioConverter.h"
#include "audio/formats/Dither.h"
#include "audio/formats/Downmixer.h"
#include "audio/formats/FastResampler.h"
#include "audio/formats/WaveFormat.h"
#include "audio/formats/WaveIn.h"
#include "audio/stream/AuFileIn.h"
#include "audio/formats/WaveOut.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace dw {

// The readable formats, told apart by the file's first bytes.
enum class TAudioFileKind { Wave, OggVorbis, Flac, Opus };

// "fLaC" is FLAC, also behind ID3v2 tags, and so is a file that starts at a
// FLAC frame (which the FLAC reader refuses, saying why); an Ogg file whose
// first packet starts with "OpusHead" is Opus, any other Ogg file Vorbis;
// everything else is read as WAV. A file that cannot be opened reads as WAV
// (whose reader then says why).
TAudioFileKind AudioFileKindOf(const QString& path);
// A reader for the kind, and the kind's name for messages ("WAV", "Ogg Vorbis", "FLAC", "Opus").
std::unique_ptr<TAuFileIn> MakeAudioFileIn(TAudioFileKind kind);
const char* AudioFileKindName(TAudioFileKind kind);
// Why a reader set to its file cannot open it ("<file>: not a usable FLAC
// file: <reason>" and the like), or empty when it opens or its reader does
// not say (the WAV reader reads an unusable file as not valid).
QString OpenRefusal(TAuFileIn& in);

struct TWaveConversionSettings {
    QString inPath;
    QString outPath;
    uint32_t channels = 0;    // 0: as the input (1 or 2 otherwise)
    uint32_t sampleRate = 0;  // 0: as the input
    uint32_t bits = 0;        // 0: as the input (8, 16, 24 or 32 otherwise)
    TWavType encoding = wtPCM;  // wtPCM or wtDVIADPCM
    TDitherMode dither = TDitherMode::EightBitOnly;  // which narrowing adds dither
    // An existing output is replaced only when this is set (the window writes
    // the file its save chooser named; the command line needs --overwrite).
    bool overwrite = false;

    static constexpr uint32_t kMinRate = 1000;
    static constexpr uint32_t kMaxRate = 384000;
};

// The format the output will have.
struct TWaveConversionPlan {
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t bits = 0;
    TWavType encoding = wtPCM;
    bool downmix = false;
};

class TWaveConversion {
public:
    explicit TWaveConversion(TWaveConversionSettings settings);
    TWaveConversion(const TWaveConversion&) = delete;
    TWaveConversion& operator=(const TWaveConversion&) = delete;

    // Opens the input, checks the settings against it and wires the chain.
    // Returns an empty string when the conversion can run, else the reason
    // (a line naming the file).
    QString Prepare();

    const TWaveConversionPlan& Plan() const { return plan_; }
    // The input (a WAV, Ogg Vorbis, FLAC or Opus reader, by the file's content); null before Prepare.
    TAuFileIn* Input() { return in_.get(); }
    // The output to Run; set its events first.
    TWaveOut& Output() { return out_; }

private:
    TWaveConversionSettings settings_;
    TWaveConversionPlan plan_;
    std::unique_ptr<TAuFileIn> in_;
    TDownmixer downmix_;
    TFastResampler resampler_;
    TAudioConverter converter_;
    TWaveOut out_;
};

}  // namespace dw
