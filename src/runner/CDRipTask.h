#pragma once
// TCDRipTask: what happens to one ripped track of a ripper-mode rip after it
// was read: [normalise] -> keep the WAV -> encode -> tag -> commit. A task
// has its own encoder (its own stream writer, or a lame or WMA process
// object), so that the engine can run as many tasks side by side as it has
// workers.
//
// Normalising, tagging and putting files in place run on a thread of the
// task's own (TBackgroundStep); the encoders report on the main thread. The
// task tells the engine what it does through its events, always from the
// event loop.
//
// Whole or nothing: the WAV is put in place only whole (and normalised when
// asked); the encoded file is written under a temporary name, tagged there
// and put in place when complete. A stop removes whatever of the task's own
// is not in place yet, except the WAV of a track read (and normalised) whole,
// which stays; a track whose encoded file was already put in place counts as
// done.
//
// Main thread only (apart from its own steps).

#include "app/JobEvents.h"
#include "audio/formats/LoudnessValues.h"
#include "platform/CancelToken.h"
#include "runner/BackgroundStep.h"
#include "runner/CDRipSettings.h"
#include "runner/JobView.h"

#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace dw {

class TAuFileOut;
class TLoudnessMeter;
class TMp3EncodeProcess;
class TOutputFile;
class TWMAEncodeProcess;
class TWaveIn;

// How a task ended.
struct TCDRipTaskEnd {
    TJobItemResult::Outcome outcome = TJobItemResult::Outcome::Done;
    QString message;
    QStringList outputs;  // the files the track left (complete ones only)
    TLoudness loudness;   // the track's values, when measured
};

// The track a task works on.
struct TCDRipTaskTrack {
    int index = 0;   // the job item's index
    int track = 0;   // the disc's track number
    QString title;
    QString wavFile;  // the final name of the WAV
};

class TCDRipTask : public JobEventReceiver {
public:
    struct Events {
        // The task's stage: "Normalizing" or "Encoding".
        std::function<void(int index, const QString& word)> stage;
        // Progress of the encoding: a percentage (0 when unknown) and the times.
        std::function<void(int index, int percent, const QString& elapsed, const QString& estimated)> progress;
        // The WMA encoder's estimated share done.
        std::function<void(int index, int percent)> estimate;
        // The WAV is in place: the track counts for the album, which keeps
        // the measurement; the task still reads its result.
        std::function<void(int index, std::unique_ptr<TLoudnessMeter> meter)> wavKept;
        std::function<void(int index, TCDRipTaskEnd end)> done;
    };

    // lame and wma: the encoder process objects this task uses (the
    // program's for the first task); they must outlive the task.
    TCDRipTask(const TCDRipSettings& settings, const TCancelToken& cancel, TMp3EncodeProcess& lame,
               TWMAEncodeProcess& wma, Events events);
    ~TCDRipTask() override;

    // raw: the whole track under its temporary name; meter: its measurement
    // from the read (ReplayGain on); note: what already went wrong with it
    // (the job goes on, the item is reported failed).
    void Start(const TCDRipTaskTrack& track, std::unique_ptr<TOutputFile> raw, std::unique_ptr<TLoudnessMeter> meter,
               const QString& note);
    // After the job's token was cancelled: ends the encoder under way; done
    // follows from the event loop.
    void Stop();
    bool Busy() const { return busy_; }

protected:
    void jobEvent(std::unique_ptr<TProcessInfo> info) override;

private:
    enum class Encoder { None, Stream, Mp3, Wma };

    void prepared(std::unique_ptr<TOutputFile> wav, std::unique_ptr<TOutputFile> scaled, bool stopped,
                  const QString& failure);
    void startEncode();
    void encodeDone(bool ok, const QString& failure);
    void finishStep();
    void end(TJobItemResult::Outcome outcome, const QString& message = {});
    void note(const QString& text);
    void streamProgress(int percent);
    void wmaTick();
    QString encodedPath() const;
    QString mp3Tags(const QString& temp);  // the MP3's tags; empty or what failed

    TCDRipSettings settings_;
    TCancelToken cancel_;
    TMp3EncodeProcess& lame_;
    TWMAEncodeProcess& wma_;
    Events events_;
    std::unique_ptr<TWaveIn> waveIn_;
    std::unique_ptr<TAuFileOut> streamOut_;  // the format's own writer (Ogg Vorbis, FLAC, Opus)
    QTimer wmaTimer_;

    // The track under way.
    bool busy_ = false;
    TCDRipTaskTrack track_;
    Encoder encoder_ = Encoder::None;
    int generation_ = 0;  // so that late news of an ended track is dropped
    std::unique_ptr<TOutputFile> raw_;
    std::unique_ptr<TOutputFile> encodedFile_;
    std::unique_ptr<TLoudnessMeter> meter_;  // until the WAV is kept
    TLoudnessMeter* itemMeter_ = nullptr;    // the album's, read when the file is tagged
    TLoudness loudness_;
    QString note_;
    QString failure_;  // what the stream writer reported
    QStringList outputs_;
    std::chrono::steady_clock::time_point stageStart_{};
    int64_t wmaInputSize_ = -1;
    // Last: a step still running reads the members above, so it is waited
    // for before they go.
    TBackgroundStep step_;
};

}  // namespace dw
