#include "runner/ConversionTask.h"

#include "app/Helpers.h"
#include "app/OutputFormats.h"
#include "app/ResourceText.h"
#include "audio/formats/FastResampler.h"
#include "audio/formats/FlacOut.h"
#include "audio/formats/LoudnessMeasure.h"
#include "audio/formats/OpusOut.h"
#include "audio/formats/VorbisConvert.h"
#include "audio/formats/VorbisOut.h"
#include "audio/formats/WaveConversion.h"
#include "audio/formats/WaveIn.h"
#include "audio/formats/WaveOut.h"
#include "audio/stream/AuException.h"
#include "jobs/ChildProcess.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "jobs/WmaProfiles.h"
#include "platform/Dialogs.h"
#include "platform/FileSharing.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"
#include "runner/CDRipFlacOpus.h"
#include "runner/ConversionChecks.h"
#include "runner/EncodedTags.h"
#include "runner/JobItems.h"
#include "runner/JobWmaEstimate.h"
#include "runner/LoudnessScan.h"
#include "tags/VorbisTags.h"
#include "tags/XiphCommentWriter.h"

#include <QCoreApplication>
#include <QMetaObject>

// The steps of a converted file up to its encoder's start, and the end of
// the task; the completions are in ConversionTaskEnds.cpp.

namespace dw {

namespace {

constexpr int kResampleRate = 44100;
constexpr int kWmaTimerMs = 1000;

TOutputFormat streamFormatOf(TJobKind kind)
{
    return kind == jkToFlac ? TOutputFormat::Flac : kind == jkToOpus ? TOutputFormat::Opus : TOutputFormat::Ogg;
}

QString startFailure(const EProcessError& e)
{
    return e.program().isEmpty() || e.systemError() == 0
               ? QString::fromUtf8(e.what())
               : e.program() + QStringLiteral(": cannot start it: ") + SystemReason(e.systemError());
}

}  // namespace

TConversionTask::TConversionTask(TJobKind kind, const TJobConfig& config, TJobView& view, TMp3EncodeProcess& lame,
                                 TWMAEncodeProcess& wma, QString bufferTag)
    : kind_(kind), config_(config), view_(view), lame_(lame), wma_(wma), bufferTag_(std::move(bufferTag)),
      replayGain_(JobWritesReplayGain(kind, config.Format(), config.Options.ReplayGainUse))
{
    timer_.setInterval(kWmaTimerMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { WmaTimerTick(); });
}

TConversionTask::~TConversionTask()
{
    // Nothing of a step may report to a task that is going away.
    if (streamOut_)
        streamOut_->Stop(false);
    if (waveOut_)
        waveOut_->Stop(false);
    if (scanStop_)
        scanStop_->store(true);
    if (!ended_) {
        if (lame_.Running && lame_.NotifyWindow == this)
            lame_.Kill(0);
        if (wma_.Running && wma_.NotifyWindow == this)
            wma_.Kill(0);
    }
}

void TConversionTask::Start(const TConversionItem& item, TDone done)
{
    item_ = item;
    done_ = std::move(done);
    output_ = JobFileOutput(kind_, WithTrailingBackslash(config_.Options.OutputFolder), item.input);
    if (!item.refusal.isEmpty()) {
        stage("Encoding");
        refuse(item.refusal);
        return;
    }
    switch (kind_) {
    case jkWavToMp3:
    case jkWavToOgg:
        startWavItem();
        break;
    case jkToFlac:
    case jkToOpus:
        startFileItem();
        break;
    case jkMp3ToWav:
        stage("Decoding");
        heading(ResourceText(item.first ? res::MP3_TO_WAV : res::Decoding));
        lameItem(item.input, false);
        break;
    case jkRecordingToMp3:
        stage("Encoding");
        heading(ResourceText(item.first ? res::WAV_TO_MP3 : res::Encoding));
        lameItem(item.input, true);
        break;
    case jkWavToWma:
        stage("Encoding");
        heading(ResourceText(item.first ? res::WAV_TO_WMA : res::Encoding));
        if (!item.first)
            view_.Times(QString(), QString());
        wmaItem();
        break;
    default:
        refuse(item.input + QStringLiteral(": this job converts no files"));
        break;
    }
}

void TConversionTask::stage(const char* word)
{
    TJobStage s;
    s.word = QString::fromLatin1(word);
    s.number = item_.index + 1;
    s.count = item_.count;
    s.name = item_.input;
    view_.StageStarted(s);
}

void TConversionTask::heading(const QString& text) { view_.Heading(text); }

void TConversionTask::box(const QString& text) const
{
    // Shown once the handler that found the failure has returned; the box
    // belongs to the application, so it is shown even when the job has ended.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [text] {
            CurrentDialogs().messageBox(text, ProductCaption(), MessageIcon::Error, MessageButtons::Ok, Answer::Ok);
        },
        Qt::QueuedConnection);
}

bool TConversionTask::replaces(const QString& output) const
{
    return config_.Overwrite || config_.ReplaceOutputs.contains(output);
}

TAuFileOut& TConversionTask::streamOut()
{
    if (!streamOut_) {
        switch (streamFormatOf(kind_)) {
        case TOutputFormat::Flac:
            streamOut_ = std::make_unique<TFlacOut>();
            break;
        case TOutputFormat::Opus:
            streamOut_ = std::make_unique<TOpusOut>();
            break;
        default: {
            auto vorbis = std::make_unique<TVorbisOut>();
            vorbis->SetCompression(0.2f);
            vorbis->SetSerial(0);
            streamOut_ = std::move(vorbis);
            break;
        }
        }
        streamOut_->SetFileMode(foRewrite);
        streamOut_->OnProgress = [this](TAuOutput* o) { outputProgress(o); };
        streamOut_->OnThreadException = [this](TAuOutput* o) { stageError_ = o->GetExceptionMessage(); };
        streamOut_->OnDone = [this](TAuOutput*) { PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE)); };
    }
    return *streamOut_;
}

void TConversionTask::refuse(const QString& why)
{
    // Through the completion of the step that would have run the item, so
    // that it is reported as that step's failure.
    switch (kind_) {
    case jkWavToMp3:
    case jkMp3ToWav:
    case jkRecordingToMp3:
        PostJobEvent(this, MakeProcessInfo(JOB_MP3_DONE, ENC_RESULT_FAILED, why));
        break;
    case jkWavToWma:
        PostJobEvent(this, MakeProcessInfo(JOB_WMA_DONE, ENC_RESULT_FAILED, why));
        break;
    default:
        stageError_ = why;
        PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE));
        break;
    }
}

void TConversionTask::startWavItem()
{
    const bool ogg = kind_ == jkWavToOgg;
    waveIn_ = std::make_unique<TWaveIn>();
    waveIn_->SetFileName(item_.input);
    // A file that is no WAV this program reads fails naming the file, before
    // any encoder sees it: the Ogg writer would take it for an empty input,
    // and lame encodes whatever follows a RIFF header as sound.
    if (!waveIn_->IsValid()) {
        stage("Encoding");
        heading(ResourceText(item_.first ? (ogg ? res::WAV_TO_OGG : res::WAV_TO_MP3) : res::Encoding));
        const QString refusal = OpenRefusal(*waveIn_);  // a FIFO, a device, a folder: named as such
        refuse(!refusal.isEmpty() ? refusal : item_.input + QStringLiteral(": not a WAV file this program can read"));
        return;
    }
    if (waveIn_->GetSampleRate() >= uint32_t(kResampleRate)) {
        stage("Encoding");
        heading(ResourceText(item_.first ? (ogg ? res::WAV_TO_OGG : res::WAV_TO_MP3) : res::Encoding));
        if (ogg)
            streamItem(QString());
        else
            lameItem(item_.input, true);
        return;
    }
    stage("Resampling");
    // The buffer is created exclusively: a file of the same name that someone
    // else keeps in the folder is never written or removed.
    const QString out = WithTrailingBackslash(config_.Options.OutputFolder);
    auto buffer = std::make_unique<TOutputFile>(ogg ? OggResampleBuffer(out, bufferTag_)
                                                    : Mp3ResampleBuffer(out, bufferTag_));
    if (!buffer->Create() || !buffer->Close()) {
        refuse(buffer->Error());
        return;
    }
    buffer_ = std::move(buffer);
    resample();
}

void TConversionTask::startFileItem()
{
    stage("Encoding");
    heading(ResourceText(res::Encoding));
    if (!item_.first)
        view_.Times(QString(), QString());
    const TAudioFileKind kind = AudioFileKindOf(item_.input);
    std::unique_ptr<TAuFileIn> in = MakeAudioFileIn(kind);
    in->SetFileName(item_.input);
    // An unreadable input or an output that is the input fails the item,
    // naming the file, before the encoder is set up.
    const QString refusal = OpenRefusal(*in);
    if (!in->IsValid()) {
        refuse(!refusal.isEmpty() ? refusal
                                  : item_.input + QStringLiteral(": not a %1 file this program can read")
                                                      .arg(QLatin1String(AudioFileKindName(kind))));
        return;
    }
    if (SameFile(item_.input, output_)) {
        refuse(InputAsOutputMessage(output_));
        return;
    }
    fileIn_ = std::move(in);
    streamItem(QString());
}

void TConversionTask::lameItem(const QString& input, bool encode)
{
    lame_.SetItem(input, output_, this, encode, kind_);
    lame_.SetOverwrite(replaces(output_));
    lame_.SetOptions(config_.Options);
    // lame reads the WAV by itself: its PCM is measured beside it.
    if (encode && replayGain_) {
        scanStop_ = std::make_shared<std::atomic<bool>>(false);
        scanRunning_ = true;
        step_.Run([this, input, stop = scanStop_]() -> TBackgroundStep::Then {
            TLoudness loudness;
            std::unique_ptr<TLoudnessMeter> meter;
            bool whole = false;
            QString failure;
            try {
                whole = MeasureWaveFile(input, loudness, meter, *stop);
            } catch (const std::exception& e) {
                const QString why = ExceptionText(e);
                failure = why.contains(input) ? why : input + QStringLiteral(": ") + why;
            }
            return [this, whole, loudness, failure] {
                scanRunning_ = false;
                scanWhole_ = whole;
                loudness_ = loudness;
                scanFailure_ = failure;
                mp3Measured();
            };
        });
    }
    try {
        lame_.Start();
    } catch (const EProcessError& e) {
        // The encoder could not be started: the item fails with the reason.
        lame_.Running = false;
        PostJobEvent(this, MakeProcessInfo(JOB_MP3_DONE, ENC_RESULT_FAILED, startFailure(e)));
    }
}

void TConversionTask::wmaItem()
{
    // The estimate's start, gauge and input size belong to this item; they
    // are set before Start, which may report the item finished at once.
    wmaStart_ = std::chrono::steady_clock::now();
    gauge_ = 0;
    view_.Gauge(0);
    wmaInputSize_ = FileSizeOrMinusOne(item_.input);
    timer_.start();
    wma_.SetItem(item_.input, output_, this, true, kind_);
    wma_.SetOverwrite(replaces(output_));
    wma_.SetOptions(config_.Options, config_.Disc);
    inWmaStart_ = true;
    try {
        wma_.Start();
    } catch (const EProcessError& e) {
        wma_.Running = false;
        PostJobEvent(this, MakeProcessInfo(JOB_WMA_DONE, ENC_RESULT_FAILED, startFailure(e)));
    }
    inWmaStart_ = false;
}

void TConversionTask::streamItem(const QString& input)
{
    if (!input.isEmpty())
        waveIn_->SetFileName(input);
    stageError_.clear();
    if (StatPath(output_).exists && !replaces(output_)) {
        finish(Outcome::Skipped, output_ + QStringLiteral(": exists and was not replaced"));
        return;
    }
    TAuFileOut& encoder = streamOut();
    // Kinds 7 and 8 read the item through a reader chosen by content, kind 5
    // the WAV reader; with ReplayGain the PCM passes through the measurement
    // on its way to the encoder.
    TAuInput* reader = fileIn_ ? static_cast<TAuInput*>(fileIn_.get()) : static_cast<TAuInput*>(waveIn_.get());
    if (replayGain_) {
        measure_ = std::make_unique<TLoudnessMeasure>();
        measure_->SetInput(reader);
        encoder.SetInput(measure_.get());
        // The track's loudness is known once the encoder has read everything:
        // its values go into the finished temporary file before it is put in
        // place, which spares copying the file again afterwards.
        const bool opus = kind_ == jkToOpus;
        encoder.BeforeCommit = [this, opus](const QString& temp) {
            loudness_ = measure_->TrackResult();
            const TTagValues values = opus ? R128Tags(loudness_) : ReplayGainTags(loudness_);
            QString error;
            if (!values.empty() && !WriteXiphCommentsInPlace(temp, values, &error))
                valuesInPlaceError_ = error.replace(temp, output_);
            valuesInPlace_ = true;
        };
    } else {
        encoder.SetInput(reader);
    }
    encoder.SetFileName(output_);
    // Converted files carry no text comments.
    if (kind_ == jkWavToOgg) {
        auto& vorbis = static_cast<TVorbisOut&>(encoder);
        ApplyOggEncodeSettings(vorbis, OggSettingsFromOptions(config_.Options));
        vorbis.Comments().Clear();
    } else {
        TCDRipSettings settings = TCDRipSettings::FromConfig(config_);
        settings.TrackComments = false;
        if (kind_ == jkToFlac)
            ApplyFlacSettings(static_cast<TFlacOut&>(encoder), settings, TCDRipTrackTags{});
        else
            ApplyOpusSettings(static_cast<TOpusOut&>(encoder), settings, TCDRipTrackTags{});
    }
    stageStart_ = std::chrono::steady_clock::now();
    try {
        encoder.Run();
        streamRunning_ = true;
    } catch (const EAuException& e) {
        stageError_ = e.Message();
        PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE));
    }
}

void TConversionTask::resample()
{
    stageError_.clear();
    resampler_ = std::make_unique<TFastResampler>();
    resampler_->SetInput(waveIn_.get());
    resampler_->SetOutSampleRate(kResampleRate);
    waveOut_ = std::make_unique<TWaveOut>();
    waveOut_->SetInput(resampler_.get());
    waveOut_->SetWavType(wtPCM);
    waveOut_->SetBlockSize(512);
    waveOut_->SetCreateNonMsHeaders(true);
    waveOut_->SetFileMode(foRewrite);
    waveOut_->OnProgress = [this](TAuOutput* o) { outputProgress(o); };
    waveOut_->OnThreadException = [this](TAuOutput* o) { stageError_ = o->GetExceptionMessage(); };
    // The end of the resampling is handled before its done event returns.
    waveOut_->OnDone = [this](TAuOutput*) { SendJobEvent(this, MakeProcessInfo(JOB_RESAMPLE_DONE)); };
    waveOut_->SetFileName(buffer_->TempPath());
    stageStart_ = std::chrono::steady_clock::now();
    heading(ResourceText(res::WAV_RESAMPLE));
    try {
        waveOut_->Run();
    } catch (const EAuException& e) {
        stageError_ = e.Message();
        SendJobEvent(this, MakeProcessInfo(JOB_RESAMPLE_DONE));
    }
}

void TConversionTask::WmaTimerTick()
{
    const int64_t elapsed = RoundedSeconds(std::chrono::steady_clock::now() - wmaStart_);
    view_.Times(FormatMinutesSeconds(elapsed), estimatedText_);
    if (!wma_.Running)
        return;
    view_.StatusText(QString(), false);
    // A profile outside the table is estimated as the encoder runs it: the
    // default profile (the job's configuration itself is left as given).
    int profile = config_.Options.WmaBitRate;
    if (profile < 0 || profile >= WmaProfileCount)
        profile = WmaDefaultProfile;
    // What the encoder has written so far sits in its temporary output.
    QString writing = wma_.PendingOutputPath();
    if (writing.isEmpty())
        writing = wma_.OutputFile;
    const auto total = JobWmaEstimatedSeconds(elapsed, wmaInputSize_, FileSizeOrMinusOne(writing), profile);
    if (!total)
        return;
    estimatedText_ = FormatMinutesSeconds(*total);
    view_.Times(FormatMinutesSeconds(elapsed), estimatedText_);
    view_.ShowPercent(true);
    const int g = JobWmaGaugePercent(elapsed, *total);
    if (g > gauge_) {
        gauge_ = g;
        view_.Gauge(g);
    }
}

void TConversionTask::Stop()
{
    if (ended_)
        return;
    if (streamOut_) {
        streamOut_->Pause();
        streamOut_->Stop(false);
    }
    if (waveOut_)
        waveOut_->Stop(false);
    if (scanStop_)
        scanStop_->store(true);
    if (streamRunning_ && streamOut_->LastRunCommitted()) {
        // The encoding had ended whole and its file was in place before the
        // stop arrived (its completion was still on the way): the item is
        // done, not stopped.
        streamRunning_ = false;
        finish(valuesInPlaceError_.isEmpty() ? Outcome::Done : Outcome::Failed, valuesInPlaceError_, {output_});
        return;
    }
    finish(Outcome::Stopped, QStringLiteral("the job was stopped before this item was done"));
}

void TConversionTask::finish(Outcome outcome, const QString& message, QStringList outputs)
{
    if (ended_)
        return;
    ended_ = true;
    timer_.stop();
    if (lame_.Running && lame_.NotifyWindow == this)
        lame_.Kill(0);
    if (wma_.Running && wma_.NotifyWindow == this)
        wma_.Kill(0);
    if (scanStop_)
        scanStop_->store(true);
    // The buffer is the task's own file: removed whoever may still read it.
    buffer_.reset();
    TJobItemResult r;
    r.index = item_.index;
    r.name = item_.input;
    r.outcome = outcome;
    r.message = message;
    r.outputs = std::move(outputs);
    view_.ItemFinished(r);
    // From the event loop: the job may start the next item or let this task
    // go, which it must not do inside the task's own handler.
    QMetaObject::invokeMethod(
        this, [this, r] { if (done_) done_(r); }, Qt::QueuedConnection);
}

}  // namespace dw
