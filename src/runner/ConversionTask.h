#pragma once
// TConversionTask: one file of a conversion job carried through its steps:
// [resample to 44100 Hz into a buffer] -> encode -> ReplayGain values -> in
// place. The encoder is lame (WAV to MP3, MP3 to WAV, the recording to MP3),
// WM8EUTIL (WAV to WMA) or one of the in-process stream writers (Ogg Vorbis,
// FLAC, Opus); every one of them writes a temporary file that is put in
// place only when complete.
//
// What the task does it shows on its view (captions, headings, times, the
// gauge); how it ended comes once through its done callback as a
// TJobItemResult, always from the event loop, never from inside one of the
// task's handlers. Message boxes are shown from the event loop after the
// handler that found the failure has returned; the job goes on meanwhile.
//
// The encoders report to the task through the job-event protocol of the
// encoder processes and stream components (JobEvents.h); above the task
// everything is typed.
//
// Conversions carry no text tags. With ReplayGain on, an MP3, Ogg Vorbis,
// FLAC or Opus output gets its track values: a stream writer measures the
// PCM it encodes, lame's input is measured beside it on a step thread.
//
// An existing output is replaced only when the job's configuration says so
// (Overwrite, or the output is one the user agreed to replace before the
// job); otherwise the item is skipped. The recording's MP3 always replaces.
//
// Main thread only (apart from its own step thread).

#include "app/JobConfig.h"
#include "app/JobEvents.h"
#include "audio/formats/LoudnessValues.h"
#include "runner/BackgroundStep.h"
#include "runner/JobView.h"

#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace dw {

class TAuFileIn;
class TAuFileOut;
class TAuOutput;
class TFastResampler;
class TLoudnessMeasure;
class TMp3EncodeProcess;
class TOutputFile;
class TWMAEncodeProcess;
class TWaveIn;
class TWaveOut;

// The file a task converts.
struct TConversionItem {
    int index = 0;       // 0-based, within the whole list
    int count = 0;       // items in the whole list
    QString input;       // full path
    bool first = false;  // the first item its view shows: the headings name the job
    QString refusal;     // set: the item fails with this reason without running
};

class TConversionTask : public JobEventReceiver {
public:
    using TDone = std::function<void(const TJobItemResult&)>;

    // config, view and the encoder objects must outlive the task. bufferTag
    // marks the names of the task's resampling buffer.
    TConversionTask(TJobKind kind, const TJobConfig& config, TJobView& view, TMp3EncodeProcess& lame,
                    TWMAEncodeProcess& wma, QString bufferTag);
    ~TConversionTask() override;
    TConversionTask(const TConversionTask&) = delete;
    TConversionTask& operator=(const TConversionTask&) = delete;

    // Starts the item; one item per task.
    void Start(const TConversionItem& item, TDone done);
    // Stops the step under way; done follows from the event loop (the item
    // is done when its file was already in place, otherwise stopped).
    void Stop();
    bool Ended() const { return ended_; }

    // One tick of the WMA time estimate (its timer calls it every second).
    void WmaTimerTick();

protected:
    void jobEvent(std::unique_ptr<TProcessInfo> info) override;

private:
    using Outcome = TJobItemResult::Outcome;

    // Steps.
    void startWavItem();
    void startFileItem();
    void lameItem(const QString& input, bool encode);
    void wmaItem();
    void streamItem(const QString& input);
    void resample();
    void refuse(const QString& why);
    void stage(const char* word);
    void heading(const QString& text);

    // Completions.
    void progress(const TProcessInfo& info);
    void mp3Done(const TProcessInfo& info);
    void mp3Measured();
    void streamDone();
    void resampleDone();
    void wmaDone(const TProcessInfo& info);
    void outputProgress(TAuOutput* output);

    void finish(Outcome outcome, const QString& message, QStringList outputs = {});
    void box(const QString& text) const;
    bool replaces(const QString& output) const;
    TAuFileOut& streamOut();

    const TJobKind kind_;
    const TJobConfig& config_;
    TJobView& view_;
    TMp3EncodeProcess& lame_;
    TWMAEncodeProcess& wma_;
    const QString bufferTag_;
    const bool replayGain_;

    TConversionItem item_;
    TDone done_;
    QString output_;

    std::unique_ptr<TWaveIn> waveIn_;
    std::unique_ptr<TFastResampler> resampler_;
    std::unique_ptr<TWaveOut> waveOut_;
    std::unique_ptr<TAuFileIn> fileIn_;     // kinds 7 and 8: the reader chosen by content
    std::unique_ptr<TAuFileOut> streamOut_;  // the writer of kinds 5, 7 and 8
    std::unique_ptr<TLoudnessMeasure> measure_;
    std::unique_ptr<TOutputFile> buffer_;    // the resampling buffer this task created

    bool progressSeen_ = false;
    bool streamRunning_ = false;
    QString stageError_;  // a stream component's failure in the running step
    // The stream writer's track values went into its temporary file before it
    // was put in place (set on the writer's thread, read once its done event
    // has arrived), and what went wrong doing so.
    bool valuesInPlace_ = false;
    QString valuesInPlaceError_;
    TLoudness loudness_;

    // lame's input measured beside it: the measurement's end and lame's end
    // may come in either order; the item ends once both are in.
    std::shared_ptr<std::atomic<bool>> scanStop_;
    bool scanRunning_ = false;
    bool scanWhole_ = false;
    QString scanFailure_;
    std::unique_ptr<TProcessInfo> mp3End_;

    std::chrono::steady_clock::time_point stageStart_{};
    std::chrono::steady_clock::time_point wmaStart_{};
    int64_t wmaInputSize_ = -1;
    QTimer timer_;
    int gauge_ = 0;
    QString estimatedText_;
    bool inWmaStart_ = false;
    bool ended_ = false;
    // Last: a step still running reads the members above.
    TBackgroundStep step_;
};

}  // namespace dw
