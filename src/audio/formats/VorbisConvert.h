#pragma once
// Ogg Vorbis conversions as whole operations, for the front ends: a WAV file
// encoded to Ogg Vorbis with the Ogg settings of options.ini (or given ones)
// and comments, an Ogg Vorbis file decoded to a 16-bit WAV file, and what an
// Ogg Vorbis file holds. Each conversion refuses an output that is its input
// (under any name), writes through a temporary file renamed into place, and
// reports progress and can be stopped.
//
// Threads: call from the main thread. A conversion starts and returns at
// once; its output's worker converts while the caller's event loop runs, and
// its end arrives as a callback on the main thread.

#include "audio/formats/VorbisBitRate.h"
#include "platform/CancelToken.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace dw {

struct TStoredOptions;
class TAuInput;
class TAuOutput;
class TVorbisOut;

// How the encoder is set up.
struct TOggEncodeSettings {
    bool byQuality = true;
    float quality = 0.2f;  // the library's scale, -0.1 to 1.0
    TVorbisBitRate nominal = brAutoSelect;
    TVorbisBitRate maximum = brAutoSelect;
    TVorbisBitRate minimum = brAutoSelect;
};

// The Ogg values of options.ini, the one mapping every Ogg Vorbis output
// uses (single conversions, conversion jobs, rips in both modes): by quality
// (useCompress), (compressPosition - 10) / 100; otherwise the positions in
// the three bit-rate lists, each meaning the bit rate the options dialog shows
// there (0 automatic, 1 45 kbit/s, ..., 14 320 kbit/s; any other value
// automatic). Without a nominal rate the encoder works by quality 0.2.
TOggEncodeSettings OggSettingsFromValues(bool useCompress, int compressPosition, int nominalPosition,
                                         int maximumPosition, int minimumPosition);
// The same from the stored options.
TOggEncodeSettings OggSettingsFromOptions(const TStoredOptions& settings);

// Sets an output that is not running up for these settings; whatever an
// earlier file of the same output was set to does not carry over.
void ApplyOggEncodeSettings(TVorbisOut& out, const TOggEncodeSettings& settings);

// Bit-rate mode with a nominal rate and optional bounds, as given in kbit/s
// (0 = not given). False with *problem when a rate is not one the encoder
// offers or the bounds are not minimum <= nominal <= maximum.
bool OggBitRateSettings(int nominalKbps, int minimumKbps, int maximumKbps, TOggEncodeSettings* out,
                        QString* problem);
// Quality mode at q on the 0-10 scale of Vorbis tools (-1 to 10; 2 is the
// library's 0.2). False with *problem when q is out of range.
bool OggQualitySettings(double q, TOggEncodeSettings* out, QString* problem);

// The comment names the encoder writes (lower case).
QStringList OggCommentNames();

// Progress and stop for a running conversion. Cancelling the token stops the
// conversion as Stop() does (from any thread: the stop is carried out on the
// main thread's event loop).
struct TConversionControl {
    std::function<void(int percent)> progress;  // 0..100, -1 unknown
    TCancelToken cancel;
};

struct TConversionResult {
    bool ok = false;       // the whole input was converted
    bool stopped = false;  // stopped on request; the output holds what was done
    QString error;         // "<file>: <reason>" when it failed
};

// Called once on the main thread when a conversion has ended; the
// conversion object may be destroyed from inside it.
using TConversionDone = std::function<void(const TConversionResult&)>;

// One conversion under way: its reader and writer, the stop on the
// cancellation token and the completion. Made by StartWaveToOgg / StartOggToWave.
class TOggConversion {
public:
    TOggConversion(std::unique_ptr<TAuInput> input, std::unique_ptr<TAuOutput> output, TConversionControl control,
                   TConversionDone done);
    // Refused before anything started: done gets error from the event loop.
    TOggConversion(const QString& error, TConversionDone done);
    // Ends a conversion under way without calling done: the worker is told
    // to stop and waited for until it has parked, which takes as long as the
    // writer needs to close its file (its input is not read further).
    ~TOggConversion();
    TOggConversion(const TOggConversion&) = delete;
    TOggConversion& operator=(const TOggConversion&) = delete;

    // Asks the conversion to end; done follows with stopped set and the
    // output holding what was converted.
    void Stop();
    bool Finished() const { return finished_; }

private:
    void start();
    void outputDone();
    void finish(const TConversionResult& result);

    std::unique_ptr<TAuInput> input_;
    std::unique_ptr<TAuOutput> output_;
    TConversionControl control_;
    TConversionDone done_;
    std::unique_ptr<TCancelCallback> onCancel_;
    bool stopAsked_ = false;
    bool finished_ = false;
    // Cleared when the object goes, so that a posted step does nothing then.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

struct TOggEncodeRequest {
    QString input;   // a WAV file
    QString output;  // the Ogg Vorbis file
    TOggEncodeSettings settings;
    QList<QPair<QString, QString>> comments;  // names from OggCommentNames, any case
    bool overwrite = false;
};
// Starts encoding and returns at once; done reports the end (also a request
// refused before anything started).
std::unique_ptr<TOggConversion> StartWaveToOgg(const TOggEncodeRequest& request, TConversionControl control,
                                               TConversionDone done);

struct TOggDecodeRequest {
    QString input;   // an Ogg Vorbis file
    QString output;  // a 16-bit PCM WAV file
    bool overwrite = false;
};
std::unique_ptr<TOggConversion> StartOggToWave(const TOggDecodeRequest& request, TConversionControl control,
                                               TConversionDone done);

// What an Ogg Vorbis file holds.
struct TOggInfo {
    int channels = 0;
    int sampleRate = 0;
    int64_t frames = 0;       // sample frames of all logical streams
    double seconds = 0;
    long nominalBitRate = 0;  // bits per second; 0 or less = not set
    long upperBitRate = 0;
    long lowerBitRate = 0;
    int streams = 0;          // logical streams (a chain has several)
    QStringList comments;     // "NAME=value" as the file holds them
};
// False with *error ("<file>: <reason>") when the file cannot be read as Ogg Vorbis.
bool ReadOggInfo(const QString& path, TOggInfo* info, QString* error);

// Whether the file starts like an Ogg file (for choosing a reader).
bool LooksLikeOgg(const QString& path);

}  // namespace dw
