#pragma once
// TCDRipEngine: the ripper-mode rip. Each item of the job list is pulled from
// the CD input component through a WAV writer (normalised when the settings
// ask), then encoded to the chosen format: Ogg Vorbis through our own writer,
// MP3 and WMA through the encoder processes, an MP3 getting its ID3v1 tag.
// One item after the other; the next rip starts when the previous item's
// encoding has ended. What happens is told to a TJobView.
//
// ReplayGain (when the settings ask): the CD input passes through a loudness
// measurement on its way to the WAV writer, so each track is measured from
// what is ripped (a normalised track is measured again from its scaled copy,
// the file that is encoded); the meter works on its own thread and may still
// be measuring while the track is encoded. The track's values go into its
// file once encoded: comments of Ogg Vorbis and FLAC files (REPLAYGAIN_*), of
// Opus files (R128_TRACK_GAIN), written into the writer's temporary file
// before it is put in place; TXXX frames of an ID3v2.4 tag of MP3 files.
// Every track ripped whole counts for the album; when the job's last item
// has ended (not stopped), the album's values are written into every MP3,
// Ogg Vorbis, FLAC and Opus file of the job (the comments are rewritten
// through a copy renamed into place; the audio stays as encoded).
//
// ID3v2.4: every MP3 gets its ID3v1 trailer; with the Id3v2 option (on by
// default) also an ID3v2.4 tag with the same values (see EncodedTags.h).
//
// Whole or nothing: every file is written under a temporary name and renamed
// into place when complete. A failed or stopped rip or encoding leaves no
// file of its own and an existing file as it was; an existing file is
// replaced only when the settings say Overwrite. A track whose rip failed is
// reported (naming the file and the component's reason) and not encoded. The
// ripped WAV of an encoded track is removed unless IsKeepWav, but kept when
// its encoding failed or was stopped, so that the rip is not lost.
//
// Event-driven: Start and Stop return at once; the engine advances on the
// completion events of its outputs, the encoder processes and the normalise
// step, all handled on the main thread. Main thread only.

#include "app/DiscInfo.h"
#include "app/JobEvents.h"
#include "audio/formats/LoudnessAlbum.h"
#include "audio/formats/LoudnessValues.h"
#include "runner/CDRipSettings.h"
#include "runner/JobView.h"

#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace dw {

class TCDIn;
class TMp3EncodeProcess;
class TOutputFile;
class TVorbisOut;
class TFlacOut;
class TLoudnessMeasure;
class TLoudnessMeter;
class TVorbisTags;
class TOpusOut;
class TAuFileOut;
class TWMAEncodeProcess;
class TWaveIn;
class TWaveOut;

// One item of the job and how it ended.
struct TCDRipItem {
    int Track = 0;       // the disc's track number; 0 when the item has none
    QString Title;       // the title part of the job-list text
    QString WavFile;     // the ripped track's file (outputs name what is left)
    TJobItemResult Result;
    TLoudness Loudness;  // of the ripped WAV, when ReplayGain is on and it was measured
};

class TCDRipEngine : public JobEventReceiver {
public:
    // The component must have its drive chosen; the encoder objects are the
    // program's (they are reused for every item and must outlive the engine).
    TCDRipEngine(TCDIn& cdIn, TCDRipSettings settings, TJobView& view, TMp3EncodeProcess& lame,
                 TWMAEncodeProcess& wma);
    ~TCDRipEngine() override;

    // Takes its own copy of the items and starts the rip of the first.
    void Start(const QStringList& items);
    // The Stop button: ends the stage under way (its partial output is
    // removed, an encoder process is ended), reports the rest as stopped and
    // closes. Files finished before stay.
    void Stop();

    bool IsClosed() const { return stage_ == Stage::Closed; }
    bool WasStopped() const { return stopped_; }
    const std::vector<TCDRipItem>& Items() const { return items_; }

protected:
    void jobEvent(std::unique_ptr<TProcessInfo> info) override;

private:
    enum class Stage { Idle, Ripping, Normalizing, Encoding, Closed };
    // Stream: an in-process writer (Ogg Vorbis, FLAC, Opus), streamOut_.
    enum class Encoder { None, Stream, Mp3, Wma };

    void startRip(int index);
    void ripDone();
    void startNormalize();
    void normalized(bool stopped, const QString& failure);
    void wavReady(const QString& note);
    void startEncode();
    void encodeDone(bool ok, const QString& failure);
    void writeMp3Tag(TCDRipItem& item, const QString& mp3);
    void settleLoudness(TCDRipItem& item);
    QString writeAlbumValues();  // the files that failed, with their reasons
    void wmaTick();
    void progress(int32_t code, const QString& elapsed, const QString& estimated);
    void finishItem(TJobItemResult::Outcome outcome, const QString& message = {});
    void advance();  // the next item, or closing after the last
    void close();
    void stage(const QString& word);
    QString encodedPath() const;
    TCDRipItem& current() { return items_[size_t(current_)]; }

    TCDIn& cdIn_;
    TCDRipSettings settings_;
    TJobView& view_;
    TMp3EncodeProcess& lame_;
    TWMAEncodeProcess& wma_;
    std::unique_ptr<TLoudnessMeasure> measure_;  // CD input -> measure (ReplayGain on)
    std::unique_ptr<TWaveOut> waveOut_;    // CD input -> WAV
    std::unique_ptr<TWaveIn> waveIn_;      // WAV -> Ogg Vorbis
    std::unique_ptr<TVorbisOut> vorbisOut_;
    std::unique_ptr<TFlacOut> flacOut_;
    std::unique_ptr<TOpusOut> opusOut_;
    TAuFileOut* streamOut_ = nullptr;  // the one of the three encoding now
    QTimer wmaTimer_;

    std::vector<TCDRipItem> items_;
    int current_ = -1;
    int firstTrack_ = 1;  // the disc's number of the component's track 1
    Stage stage_ = Stage::Idle;
    Encoder encoder_ = Encoder::None;
    bool stopped_ = false;
    int generation_ = 0;  // counts stages, so late completions of an ended one are dropped

    // The stage under way.
    std::unique_ptr<TOutputFile> wavFile_;      // the rip's temporary WAV
    std::unique_ptr<TOutputFile> scaledFile_;   // the normalised copy
    std::unique_ptr<TOutputFile> encodedFile_;  // the Ogg Vorbis, FLAC or Opus output
    QString failure_;                           // what the running output reported
    std::thread normalizer_;
    std::atomic<bool> normalizeStop_{false};
    QString itemNote_;  // a failure after which the item still went on (normalising)
    std::chrono::steady_clock::time_point stageStart_{};
    int64_t wmaInputSize_ = -1;
    int gauge_ = 0;

    // ReplayGain: the measurement of the track under way until its WAV is
    // kept, then the album's share of it; the normaliser's measurement of
    // the scaled copy (written on its thread, read after it was joined).
    std::unique_ptr<TLoudnessMeter> trackMeter_;
    // The current track's measurement once the album holds it: it may still
    // be measuring while the track is encoded; its result is taken when the
    // encoded file is tagged (settleLoudness).
    TLoudnessMeter* itemMeter_ = nullptr;
    QString valuesError_;  // why the track values could not go into the encoded file
    TLoudnessAlbum album_;
    std::unique_ptr<TLoudnessMeter> scaledMeter_;
    TLoudness scaledLoudness_;
    QString scaledMeasureFailure_;
};

}  // namespace dw
