#pragma once
// TJobRunner: carries one batch of work through its stages: CD tracks ripped
// to WAV and encoded per OutputFormat (MP3, Ogg Vorbis, WMA, FLAC, Opus), or
// files converted (WAV to MP3, MP3 to WAV, the recording to MP3, WAV to Ogg
// Vorbis, WAV to WMA, WAV, FLAC, Opus or Ogg Vorbis to FLAC or to Opus). It is a stage machine driven by job events: every worker (the
// track rip thread, the lame and WMA encoder processes, the stream chains it
// owns) reports progress and completion to it as WM_JOB_EVENT, and each
// completion starts the next stage or the next item. Items run strictly one
// after another. What it shows goes to a TJobView; messages and questions go
// through platform/Dialogs.
//
// The job runs with the TJobConfig it is given (the stored options, the disc
// and its titles, whether a ripped track replaces an existing file), a copy
// taken when the runner is made: a change of the settings in the window or on
// disk while the job runs does not reach it.
//
// The chains: a WAV reader through a resampler to 44100 Hz into a WAV buffer
// file (sources below 44100 Hz, before MP3 or Ogg encoding), and a reader
// into one of the stream encoders (Ogg Vorbis, FLAC, Opus). The reader is the
// WAV reader, or for kinds 7 and 8 one chosen by the input's content; FLAC
// and Opus take any rate, so those items are never resampled. The three
// encoders report their end alike, as JOB_OGG_DONE.
//
// Beyond the window it replaces, every item ends in one TJobItemResult: a
// failure of a stream component, of a rip or of an encoder is a failed item
// with a message naming the file and the reason; a stalled rip (the drive
// could not be set up or its table of contents read) is a failed item, and
// with SetEndOnStall the job then ends as if stopped, so a front end that
// cannot press Stop does not wait for ever.
//
// ReplayGain ([ReplayGain] Use): every item that encodes to MP3, Ogg
// Vorbis, FLAC or Opus is measured from the PCM the job reads anyway. A
// stream encoder reads through a TLoudnessMeasure placed between its reader
// and itself; lame reads its WAV by itself, so a TLoudnessScan reads the
// same WAV alongside it (no decoding). Once the encoder has ended the
// track's values are written into the finished file (EncodedTags.h). A CD
// job (drive mode) is one album: when its last item has ended and the job
// was not stopped, every encoded file of the job also gets the album's
// values. Conversions get track values only (their files need not be one
// album). WAV and WMA outputs get none.
//
// Tags of CD tracks: an MP3 gets the ID3v1 trailer when [ID3] Use is set,
// and an ID3v2.4 tag with the disc's and the track's values (title, artist,
// album, date, genre, comment, track "n/total") when [Id3v2] Use is (on by
// default); OGG, FLAC and Opus tracks always carry the same values as
// Vorbis comments. An MP3 with ReplayGain values always gets the ID3v2.4
// tag they live in. Converted files get no text tags.
//
// Main thread only. The view's Closed() must not delete the runner (it may
// be called from inside an encoder's report); delete it afterwards.

#include "app/JobConfig.h"
#include "app/JobEvents.h"
#include "app/OutputFormats.h"
#include "audio/formats/LoudnessAlbum.h"
#include "audio/formats/LoudnessValues.h"
#include "runner/JobItems.h"
#include "runner/JobView.h"

#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace dw {

class TCDRipThread;
class TFastResampler;
class TMp3EncodeProcess;
class TVorbisOut;
class TWMAEncodeProcess;
class TWaveIn;
class TWaveOut;
class TAuOutput;
class TAuFileIn;
class TAuFileOut;
class TFlacOut;
class TOpusOut;
class TLoudnessMeasure;
class TLoudnessScan;
class TOutputFile;
struct TId3v24Fields;

// The encoder objects a runner uses. The window passes the program's two
// objects; when one is not given the runner makes its own.
struct TJobEncoders {
    TMp3EncodeProcess* lame = nullptr;
    TWMAEncodeProcess* wma = nullptr;
};

class TJobRunner : public JobEventReceiver {
public:
    // items: track items (kind 1) or full paths; copied. cdHandle is the
    // drive library's handle for kind 1, ignored otherwise. config is what
    // every stage reads (copied).
    TJobRunner(TJobKind kind, int cdHandle, QStringList items, const TJobConfig& config, TJobView& view,
               TJobEncoders encoders = {});
    // Cleans up a job still running (as closing the window does).
    ~TJobRunner() override;
    TJobRunner(const TJobRunner&) = delete;
    TJobRunner& operator=(const TJobRunner&) = delete;

    // ---- Before Start ----
    // The numbers the captions and results give the items (1-based) and the
    // count they show, when the items are part of a larger batch run by
    // several runners. Default: 1..n of n.
    void SetNumbering(std::vector<int> numbers, int count);
    // A mark in the names of this runner's resampling buffers. Each buffer
    // is a file of the job's own, created under a unique name (never one
    // that was already there) and the only buffer the job removes.
    void SetBufferTag(const QString& tag) { bufferTag_ = tag; }
    // Whether a stalled rip ends the job (front ends without a Stop button).
    void SetEndOnStall(bool end) { endOnStall_ = end; }
    // Called once the job has ended, after the view's Closed().
    std::function<void()> OnClosed;

    // Starts the first item. An item that cannot start is reported and the
    // job goes on with the next one.
    void Start();
    // The Stop button: stops the running stage, cleans up and closes. Files
    // already complete stay; ripped WAVs stay unless every track was ripped.
    void Stop();

    bool IsClosed() const { return closed_; }
    bool WasStopped() const { return stopped_; }
    bool IsStalled() const { return stalled_; }
    // The configuration the job runs with.
    const TJobConfig& Config() const { return config_; }
    // One result per item, in item order, once the job has closed.
    const std::vector<TJobItemResult>& Results() const { return results_; }

    // One tick of the WMA time estimate (the timer calls it every second).
    void WmaTimerTick();

protected:
    void jobEvent(std::unique_ptr<TProcessInfo> info) override;
    void ripError(int code) override;

private:
    // Stage steps.
    void startItem(int index, bool first);
    void ripTrack(int index);
    void lameItem(const QString& input, const QString& output, bool encode);
    void wmaItem(const QString& input, const QString& output);
    // Encodes input (empty: the reader as it is set) with the stream encoder
    // of the job's format into output.
    void streamItem(const QString& input, const QString& output, int index);
    void resample(const QString& buffer);
    void stage(const char* word, int index);
    void heading(const QString& text);
    // A WAV file item of kinds 2 and 5: encoded at once at 44100 Hz or more,
    // resampled into the buffer first below.
    void startWavItem(int index, bool first);
    // A file item of kinds 7 and 8: read by content, encoded at its own rate.
    void startFileItem(int index, bool first);
    // The stream encoder of the job's format and the format it writes.
    TAuFileOut* streamEncoder() const;
    TOutputFormat streamFormat() const;

    // Completion handlers.
    void progress(const TProcessInfo& info);
    void ripDone(std::unique_ptr<TProcessInfo> info);
    void mp3Done(const TProcessInfo& info);
    void streamDone(const TProcessInfo& info);
    void resampleDone();
    void wmaDone(const TProcessInfo& info);
    // The next item after an encoder completion, or the end of the job.
    void advance(int nextIndex);

    // Stream component events.
    void outputProgress(TAuOutput* output);
    void outputFailed(TAuOutput* output);

    // ReplayGain and ID3v2.4 of an item whose encoder ended with output:
    // the track's values (and text frames). Empty, or what could not be
    // written.
    QString tagEncoded(int index, const QString& output, const TId3v24Fields* mp3Text);
    // After the last item of a CD job that was not stopped: the album's
    // values into every encoded file of the job. Empty, or the failures.
    QString tagAlbum(int index);
    // The measurement of the stream encoding that ended, kept for the item.
    void keepStreamLoudness(int index);

    void finishItem(int index, TJobItemResult::Outcome outcome, const QString& message,
                    QStringList outputs = {});
    void errorBox(const QString& text);
    void closeJob();
    void cleanUp();

    QString out() const;
    int number(int index) const;
    QString encodedOutput(int index, TOutputFormat format) const;
    // The buffer of the running resampling; empty when there is none.
    QString bufferFor() const;
    // Makes a new buffer of the job's own (the last one goes); false with
    // the reason when it cannot be created.
    bool makeBuffer(QString& why);
    // Fails item `index` without running it, through the completion of the
    // stage that would have run it.
    void refuseItem(int index, const QString& why);

    TJobKind kind_;
    int cdHandle_;
    // The job's own copy. Overwrite: whether a ripped track replaces an
    // existing WAV or encoded file; without, an existing file fails its item
    // before the track is read.
    const TJobConfig config_;
    std::vector<TJobItem> items_;
    TJobView& view_;
    std::vector<int> numbers_;
    int count_ = 0;
    QString bufferTag_;
    bool endOnStall_ = false;

    std::unique_ptr<TMp3EncodeProcess> ownLame_;
    std::unique_ptr<TWMAEncodeProcess> ownWma_;
    TMp3EncodeProcess* lame_;
    TWMAEncodeProcess* wma_;

    std::unique_ptr<TWaveIn> waveIn_;
    std::unique_ptr<TFastResampler> resampler_;
    std::unique_ptr<TWaveOut> waveOut_;
    std::unique_ptr<TAuFileIn> fileIn_;  // kinds 7 and 8: the item's reader (outlives the encoders)
    std::unique_ptr<TVorbisOut> vorbisOut_;
    std::unique_ptr<TFlacOut> flacOut_;
    std::unique_ptr<TOpusOut> opusOut_;
    std::unique_ptr<TOutputFile> buffer_;  // the resampling buffer this job created

    // ReplayGain (read once when the runner is made): the measurement in the
    // stream chain, the scan beside lame, each item's loudness and encoded
    // file, and the album of a CD job.
    bool replayGain_ = false;
    std::unique_ptr<TLoudnessMeasure> measure_;
    std::unique_ptr<TLoudnessScan> scan_;
    std::vector<TLoudness> loudness_;
    std::vector<QString> encoded_;
    TLoudnessAlbum album_;

    std::unique_ptr<TCDRipThread> ripThread_;
    int ripIndex_ = 0;
    int encodeIndex_ = 0;
    int streamIndex_ = 0;
    bool progressSeen_ = false;
    std::chrono::steady_clock::time_point stageStart_{};
    std::chrono::steady_clock::time_point wmaStart_{};
    int64_t wmaInputSize_ = -1;
    QTimer timer_;
    int gauge_ = 0;
    QString estimatedText_;

    bool streamRunning_ = false;  // a stream encoder was started and its end not yet handled
    QString stageError_;          // a stream component's failure in the running stage
    bool streamSkipped_ = false;  // the user declined to replace the stream encoder's output
    // The stream encoder's track values went into its temporary file before
    // it was put in place (set on the encoder's thread, read once its done
    // event has arrived), and what went wrong doing so.
    bool valuesInPlace_ = false;
    QString valuesInPlaceError_;
    bool inWmaStart_ = false;     // inside the WMA object's Start (its completion is re-posted)
    std::vector<bool> ripped_;    // WAVs this job ripped whole
    std::vector<QString> ripFailure_;  // why a track's rip failed
    std::vector<TJobItemResult> results_;
    std::vector<bool> finished_;
    bool started_ = false;
    bool closed_ = false;
    bool cleanedUp_ = false;
    bool stopped_ = false;
    bool stalled_ = false;
};

}  // namespace dw
