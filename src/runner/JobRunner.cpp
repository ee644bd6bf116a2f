#include "runner/JobRunner.h"

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
#include "cd/CDRipThread.h"
#include "cd/RippedFile.h"
#include "jobs/ChildProcess.h"
#include "jobs/EncoderCommandLines.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "jobs/WmaProfiles.h"
#include "platform/Dialogs.h"
#include "platform/FileSharing.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"
#include "runner/CDRipFlacOpus.h"
#include "runner/EncodedTags.h"
#include "runner/JobRunnerShared.h"
#include "runner/JobTags.h"
#include "runner/JobWmaEstimate.h"
#include "runner/LoudnessScan.h"
#include "tags/XiphCommentWriter.h"

#include <QFileInfo>
#include <QMetaObject>

#include <optional>

namespace dw {

using namespace jobrunner;

TJobRunner::TJobRunner(TJobKind kind, int cdHandle, QStringList items, const TJobConfig& config, TJobView& view,
                       TJobEncoders encoders)
    : kind_(kind), cdHandle_(cdHandle), config_(config), items_(ResolveJobItems(kind, items, config.Format())),
      view_(view)
{
    count_ = int(items_.size());
    for (int i = 0; i < count_; ++i)
        numbers_.push_back(i + 1);
    if (!encoders.lame)
        ownLame_ = std::make_unique<TMp3EncodeProcess>();
    if (!encoders.wma)
        ownWma_ = std::make_unique<TWMAEncodeProcess>();
    lame_ = encoders.lame ? encoders.lame : ownLame_.get();
    wma_ = encoders.wma ? encoders.wma : ownWma_.get();

    waveIn_ = std::make_unique<TWaveIn>();
    resampler_ = std::make_unique<TFastResampler>();
    resampler_->SetInput(waveIn_.get());
    resampler_->SetOutSampleRate(kResampleRate);
    waveOut_ = std::make_unique<TWaveOut>();
    waveOut_->SetInput(resampler_.get());
    waveOut_->SetWavType(wtPCM);
    waveOut_->SetBlockSize(512);
    waveOut_->SetCreateNonMsHeaders(true);
    waveOut_->SetFileMode(foRewrite);
    vorbisOut_ = std::make_unique<TVorbisOut>();
    vorbisOut_->SetInput(waveIn_.get());
    vorbisOut_->SetCompression(0.2f);
    vorbisOut_->SetFileMode(foRewrite);
    vorbisOut_->SetSerial(0);
    flacOut_ = std::make_unique<TFlacOut>();
    flacOut_->SetInput(waveIn_.get());
    flacOut_->SetFileMode(foRewrite);
    opusOut_ = std::make_unique<TOpusOut>();
    opusOut_->SetInput(waveIn_.get());
    opusOut_->SetFileMode(foRewrite);

    waveOut_->OnProgress = [this](TAuOutput* o) { outputProgress(o); };
    waveOut_->OnThreadException = [this](TAuOutput* o) { outputFailed(o); };
    // The end of the resampling is handled before its done event returns; the
    // end of a stream encoding is posted like every other completion.
    waveOut_->OnDone = [this](TAuOutput*) { SendJobEvent(this, MakeProcessInfo(JOB_RESAMPLE_DONE)); };
    for (TAuOutput* encoder : {static_cast<TAuOutput*>(vorbisOut_.get()), static_cast<TAuOutput*>(flacOut_.get()),
                               static_cast<TAuOutput*>(opusOut_.get())}) {
        encoder->OnProgress = [this](TAuOutput* o) { outputProgress(o); };
        encoder->OnThreadException = [this](TAuOutput* o) { outputFailed(o); };
        encoder->OnDone = [this](TAuOutput*) { PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE)); };
    }

    timer_.setInterval(kWmaTimerMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { WmaTimerTick(); });

    replayGain_ = config_.Options.ReplayGainUse && measuresLoudness(kind_, config_.Format());
    measure_ = std::make_unique<TLoudnessMeasure>();
    scan_ = std::make_unique<TLoudnessScan>();
    loudness_.assign(items_.size(), TLoudness{});
    encoded_.assign(items_.size(), QString());

    ripped_.assign(items_.size(), false);
    ripFailure_.assign(items_.size(), QString());
    finished_.assign(items_.size(), false);
    results_.resize(items_.size());
    for (int i = 0; i < count_; ++i) {
        results_[std::size_t(i)].index = i;
        results_[std::size_t(i)].name = items_[std::size_t(i)].name;
    }
}

TJobRunner::~TJobRunner()
{
    // Nothing of a stage may report to a runner that is going away.
    waveOut_->Stop(false);
    vorbisOut_->Stop(false);
    flacOut_->Stop(false);
    opusOut_->Stop(false);
    cleanUp();
}

void TJobRunner::SetNumbering(std::vector<int> numbers, int count)
{
    if (numbers.size() == items_.size())
        numbers_ = std::move(numbers);
    count_ = count;
    for (std::size_t i = 0; i < results_.size(); ++i)
        results_[i].index = numbers_[i] - 1;
}

QString TJobRunner::out() const { return WithTrailingBackslash(config_.Options.OutputFolder); }

int TJobRunner::number(int index) const { return numbers_[std::size_t(index)]; }

QString TJobRunner::encodedOutput(int index, TOutputFormat format) const
{
    const TJobItem& item = items_[std::size_t(index)];
    if (kind_ == jkRipTracks)
        return ChangeFileExt(JobTrackWav(out(), item), FormatExtension(format));
    return JobFileOutput(kind_, out(), item.text);
}

TAuFileOut* TJobRunner::streamEncoder() const
{
    const TOutputFormat format = config_.Format();
    if (kind_ == jkToFlac || (kind_ == jkRipTracks && format == TOutputFormat::Flac))
        return flacOut_.get();
    if (kind_ == jkToOpus || (kind_ == jkRipTracks && format == TOutputFormat::Opus))
        return opusOut_.get();
    return vorbisOut_.get();
}

TOutputFormat TJobRunner::streamFormat() const
{
    const TAuFileOut* encoder = streamEncoder();
    return encoder == flacOut_.get()   ? TOutputFormat::Flac
           : encoder == opusOut_.get() ? TOutputFormat::Opus
                                       : TOutputFormat::Ogg;
}

QString TJobRunner::bufferFor() const { return buffer_ ? buffer_->TempPath() : QString(); }

bool TJobRunner::makeBuffer(QString& why)
{
    // Created exclusively: a file of the same name that someone else keeps
    // in the folder is never written or removed.
    buffer_.reset();
    const QString name = kind_ == jkWavToOgg ? OggResampleBuffer(out(), bufferTag_) : Mp3ResampleBuffer(out(), bufferTag_);
    auto buffer = std::make_unique<TOutputFile>(name);
    if (!buffer->Create() || !buffer->Close()) {
        why = buffer->Error();
        return false;
    }
    buffer_ = std::move(buffer);
    return true;
}

void TJobRunner::refuseItem(int index, const QString& why)
{
    switch (kind_) {
    case jkWavToMp3:
    case jkMp3ToWav:
    case jkRecordingToMp3:
        encodeIndex_ = index;
        PostJobEvent(this, MakeProcessInfo(JOB_MP3_DONE, ENC_RESULT_FAILED, why));
        break;
    case jkWavToWma:
        encodeIndex_ = index;
        PostJobEvent(this, MakeProcessInfo(JOB_WMA_DONE, ENC_RESULT_FAILED, why));
        break;
    default:
        streamIndex_ = index;
        stageError_ = why;
        PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE));
        break;
    }
}

// ---------------------------------------------------------------- display

void TJobRunner::stage(const char* word, int index)
{
    TJobStage s;
    s.word = QString::fromLatin1(word);
    s.number = number(index);
    s.count = count_;
    s.name = items_[std::size_t(index)].name;
    view_.StageStarted(s);
}

void TJobRunner::heading(const QString& text) { view_.Heading(text); }

void TJobRunner::errorBox(const QString& text)
{
    CurrentDialogs().messageBox(text, ProductCaption(), MessageIcon::Error, MessageButtons::Ok, Answer::Ok);
}

// ---------------------------------------------------------------- WMA estimate

void TJobRunner::WmaTimerTick()
{
    const int64_t elapsed = RoundedSeconds(std::chrono::steady_clock::now() - wmaStart_);
    view_.Times(FormatMinutesSeconds(elapsed), estimatedText_);
    if (!wma_->Running)
        return;
    view_.StatusText(QString(), false);
    // A profile outside the table is estimated as the encoder runs it: the
    // default profile (the job's configuration itself is left as given).
    int profile = config_.Options.WmaBitRate;
    if (profile < 0 || profile >= WmaProfileCount)
        profile = WmaDefaultProfile;
    // What the encoder has written so far sits in its temporary output.
    QString writing = wma_->PendingOutputPath();
    if (writing.isEmpty())
        writing = wma_->OutputFile;
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

// ---------------------------------------------------------------- end

void TJobRunner::finishItem(int index, Outcome outcome, const QString& message, QStringList outputs)
{
    if (index < 0 || index >= int(items_.size()) || finished_[std::size_t(index)])
        return;
    finished_[std::size_t(index)] = true;
    TJobItemResult& r = results_[std::size_t(index)];
    r.outcome = outcome;
    r.message = message;
    r.outputs = std::move(outputs);
    view_.ItemFinished(r);
}

void TJobRunner::Stop()
{
    if (closed_)
        return;
    stopped_ = true;
    // A stream stage stops at once, and nothing of it arrives afterwards.
    for (TAuOutput* encoder : {static_cast<TAuOutput*>(vorbisOut_.get()), static_cast<TAuOutput*>(flacOut_.get()),
                               static_cast<TAuOutput*>(opusOut_.get())}) {
        encoder->Pause();
        encoder->Stop(false);
    }
    waveOut_->Stop(false);
    if (streamRunning_ && streamEncoder()->LastRunCommitted()) {
        // The encoding had ended whole and its file was in place before the
        // stop arrived (its completion was still on the way): the item is
        // done, not stopped.
        streamRunning_ = false;
        const int index = streamIndex_;
        const QString output = encodedOutput(index, streamFormat());
        encoded_[std::size_t(index)] = output;
        finishItem(index, valuesInPlaceError_.isEmpty() ? Outcome::Done : Outcome::Failed, valuesInPlaceError_,
                   {output});
    }
    if (ripThread_ && ripIndex_ < int(items_.size()) && ripThread_->Track == items_[std::size_t(ripIndex_)].track &&
        ripThread_->StopAndWait()) {
        // The track's WAV was renamed into place before the stop reached the
        // thread: it is ripped, and a WAV rip is done, not stopped.
        const int index = ripIndex_++;
        ripped_[std::size_t(index)] = true;
        if (!encodesAfterRip(config_.Format()))
            finishItem(index, Outcome::Done, {}, {JobTrackWav(out(), items_[std::size_t(index)])});
    }
    for (std::size_t i = 0; i < items_.size(); ++i)
        finishItem(int(i), Outcome::Stopped, QStringLiteral("the job was stopped before this item was done"));
    closeJob();
}

void TJobRunner::closeJob()
{
    if (closed_)
        return;
    cleanUp();
    closed_ = true;
    timer_.stop();
    view_.Closed();
    if (OnClosed)
        OnClosed();
}

void TJobRunner::cleanUp()
{
    if (cleanedUp_)
        return;
    cleanedUp_ = true;
    // The scan may be reading a WAV that is removed below.
    scan_->Cancel();
    if (ripThread_) {
        ripThread_->Stopped = true;
        ripThread_.reset();
    }
    if (kind_ == jkRipTracks && ripIndex_ == int(items_.size()) && encodesAfterRip(config_.Format()) &&
        !config_.Options.IsKeepWav) {
        // Only the WAVs this job ripped: a file of the same name that was
        // there before (a rip that refused to replace it) is not ours.
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (ripped_[i])
                deleteFile(JobTrackWav(out(), items_[i]));
    }
    if (lame_->Running)
        lame_->Kill(0);
    if (wma_->Running)
        wma_->Kill(0);
    // The buffer is the job's own file: removed whoever may still read it.
    buffer_.reset();
}

}  // namespace dw
