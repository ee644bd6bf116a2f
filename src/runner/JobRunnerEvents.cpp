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

// ---------------------------------------------------------------- events

void TJobRunner::jobEvent(std::unique_ptr<TProcessInfo> info)
{
    // Events still queued when the job ended are dropped with it.
    if (closed_ || !info)
        return;
    switch (info->Code) {
    case JOB_NORMALIZING:
        stage("Normalizing", ripIndex_);
        return;
    case JOB_RIP_DONE:
        ripDone(std::move(info));
        return;
    case JOB_MP3_DONE:
        mp3Done(*info);
        return;
    case JOB_OGG_DONE:
        streamDone(*info);
        return;
    case JOB_RESAMPLE_DONE:
        resampleDone();
        return;
    case JOB_WMA_DONE:
        if (inWmaStart_) {
            // Reported from within Start: handled once Start has returned,
            // so the next item never starts inside the previous one's Start.
            PostJobEvent(this, std::move(info));
            return;
        }
        wmaDone(*info);
        return;
    default:
        progress(*info);
        return;
    }
}

void TJobRunner::progress(const TProcessInfo& info)
{
    timer_.stop();
    progressSeen_ = true;
    estimatedText_ = info.Estimated;
    view_.Times(info.Elapsed, info.Estimated);
    if (info.Code > 0) {
        view_.StatusText(QString(), false);
        view_.ShowPercent(true);
        gauge_ = info.Code;
        view_.Gauge(info.Code);
    }
}

void TJobRunner::outputProgress(TAuOutput* output)
{
    const int32_t code = output->Progress();
    const int64_t elapsed = RoundedSeconds(std::chrono::steady_clock::now() - stageStart_);
    PostJobEvent(this, MakeProgressInfo(code < 0 ? 0 : code, elapsed));
}

void TJobRunner::outputFailed(TAuOutput* output) { stageError_ = output->GetExceptionMessage(); }

void TJobRunner::ripError(int code)
{
    if (closed_ || stalled_)
        return;
    const res::Key* key = code == RIP_ERROR_DRIVE_PARAMS ? &res::ModifyCDParmsError
                          : code == RIP_ERROR_READ_TOC   ? &res::ReadTocError
                          : code == RIP_ERROR_CREATE_WAV ? &res::CreateFileError
                                                         : nullptr;
    if (!key)
        return;
    errorBox(ResourceText(*key));
    // Nothing more comes from this track's rip: the job stays here until
    // it is stopped, or ends now when the front end cannot stop it.
    stalled_ = true;
    QString why = ripThread_ ? ripThread_->ErrorText() : QString();
    if (why.isEmpty())
        why = QString::fromUtf8(key->english);
    finishItem(ripIndex_, Outcome::Failed, why);
    if (endOnStall_)
        QMetaObject::invokeMethod(this, [this] { Stop(); }, Qt::QueuedConnection);
}

void TJobRunner::ripDone(std::unique_ptr<TProcessInfo> info)
{
    const int index = ripIndex_;
    const TJobItem& item = items_[std::size_t(index)];
    const QString wav = JobTrackWav(out(), item);
    if (info->Result != RIP_RESULT_OK && !ripFailure_[std::size_t(index)].isEmpty()) {
        // Refused before the rip: the refusal says it all.
        errorBox(ripFailure_[std::size_t(index)]);
    } else if (info->Result != RIP_RESULT_OK) {
        const bool created = info->Result == RIP_RESULT_CREATE_FAILED;
        const QString box = created ? wav + ResourceText(res::CreateWavFileError) : ResourceText(res::ReadCDAudioError);
        QString why = ripThread_ ? ripThread_->ErrorText() : QString();
        if (why.isEmpty())
            why = created ? wav + QStringLiteral(": the file could not be created")
                          : QStringLiteral("track %1: the disc could not be read").arg(item.track);
        errorBox(box + QLatin1Char('\n') + why);
        // One line for the result: a file's failure names the file and the
        // system's reason; a disc's failure is the message with its reason.
        ripFailure_[std::size_t(index)] =
            created ? why : ResourceText(res::ReadCDAudioError) + QStringLiteral(" (") + why + QLatin1Char(')');
    } else {
        ripped_[std::size_t(index)] = true;
    }
    ++ripIndex_;

    const TOutputFormat format = config_.Format();
    if (!encodesAfterRip(format)) {
        if (info->Result == RIP_RESULT_OK)
            finishItem(index, Outcome::Done, {}, {wav});
        else
            finishItem(index, Outcome::Failed, ripFailure_[std::size_t(index)]);
        if (ripIndex_ == int(items_.size()))
            closeJob();
        else
            ripTrack(ripIndex_);
        return;
    }
    const int32_t doneCode = format == TOutputFormat::Mp3 ? JOB_MP3_DONE : format == TOutputFormat::Wma ? JOB_WMA_DONE : JOB_OGG_DONE;
    if (format == TOutputFormat::Wma)
        ripThread_.reset();
    if (info->Result != RIP_RESULT_OK) {
        // The track is done with: its encoding is skipped, reported through
        // the encoder's completion (without a second message).
        info->Code = doneCode;
        info->Result = ENC_RESULT_RIP_FAILED;
        progressSeen_ = true;
        PostJobEvent(this, std::move(info));
        return;
    }
    stage("Encoding", index);
    heading(ResourceText(res::Encoding));
    if (format == TOutputFormat::Mp3)
        lameItem(wav, ChangeFileExt(wav, FormatExtension(format)), true);
    else if (format == TOutputFormat::Wma)
        wmaItem(wav, ChangeFileExt(wav, FormatExtension(format)));
    else
        streamItem(wav, ChangeFileExt(wav, FormatExtension(streamFormat())), index);
}

void TJobRunner::mp3Done(const TProcessInfo& info)
{
    const int index = encodeIndex_;
    const QString itemText = items_[std::size_t(index)].text;
    const QString output = lame_->OutputFile;
    const bool outputMade = StatPath(output).exists;
    if (!progressSeen_) {
        if (info.Result == ENC_RESULT_IN_USE)
            errorBox(itemText + ResourceText(res::Operate_Fail));
        else if (info.Result == ENC_RESULT_ENDED && !outputMade)
            errorBox(ResourceText(res::Check_Mp3Options));
    }
    // A refusal or a failed encoder always says why, naming the file.
    if (info.Result == ENC_RESULT_FAILED)
        errorBox(ResourceText(res::Check_Mp3Options) + QLatin1Char('\n') + info.Elapsed);

    Outcome outcome = Outcome::Done;
    QString message;
    QStringList outputs;
    // The scan read the encoder's input beside it; only a whole encoding
    // keeps its measurement.
    TLoudness loudness;
    std::unique_ptr<TLoudnessMeter> meter;
    QString scanFailure;
    if (info.Result == ENC_RESULT_ENDED && outputMade) {
        if (scan_->Started() && !scan_->Wait(loudness, meter, &scanFailure))
            scanFailure += QStringLiteral(" (the loudness was not measured)");
    } else {
        scan_->Cancel();
    }
    switch (info.Result) {
    case ENC_RESULT_ENDED: {
        outputs << output;
        if (kind_ == jkRipTracks && config_.Options.IsKeepWav)
            outputs << lame_->InputFile;
        const TJobItem& item = items_[std::size_t(index)];
        const bool trailer = kind_ == jkRipTracks && config_.Options.Use && progressSeen_;
        if (trailer) {
            QString why;
            const uint16_t status = WriteTrackId3(output, config_.Disc, item.title, item.track, &why);
            if (status > 255) {
                CurrentDialogs().message(QStringLiteral("Error #%1! Could not save Tag!").arg(status));
                outcome = Outcome::Failed;
                message = why;
            }
        }
        if (!outputMade)
            break;
        loudness_[std::size_t(index)] = loudness;
        if (kind_ == jkRipTracks)
            album_.Add(std::move(meter));
        // The ID3v2.4 tag carries the disc's and the track's values when its
        // option is on, whether or not the ID3v1 trailer is written.
        std::optional<TId3v24Fields> text;
        if (kind_ == jkRipTracks && config_.Options.Id3v2Use)
            text = DiscTrackId3v24Fields(config_.Disc, item.title, item.track);
        const QString problems = joined(scanFailure, tagEncoded(index, output, text ? &*text : nullptr));
        if (!problems.isEmpty()) {
            outcome = Outcome::Failed;
            message = joined(message, problems);
        }
        break;
    }
    case ENC_RESULT_SKIPPED:
        outcome = Outcome::Skipped;
        message = output + QStringLiteral(": exists and was not replaced");
        break;
    case ENC_RESULT_IN_USE:
        outcome = Outcome::Failed;
        message = output + QStringLiteral(": the file is in use");
        break;
    case ENC_RESULT_RIP_FAILED:
        outcome = Outcome::Failed;
        message = ripFailure_[std::size_t(index)];
        break;
    default:
        outcome = Outcome::Failed;
        message = info.Elapsed.isEmpty() ? output + QStringLiteral(": the encoder failed") : info.Elapsed;
        break;
    }
    if (const QString album = tagAlbum(index); !album.isEmpty()) {
        outcome = Outcome::Failed;
        message = joined(message, album);
    }
    finishItem(index, outcome, message, outputs);

    progressSeen_ = false;
    ++encodeIndex_;
    advance(encodeIndex_);
}

void TJobRunner::streamDone(const TProcessInfo& info)
{
    streamRunning_ = false;
    const int index = streamIndex_;
    const QString output = encodedOutput(index, streamFormat());
    Outcome outcome = Outcome::Failed;
    QString message;
    QStringList outputs;
    if (info.Result == ENC_RESULT_RIP_FAILED) {
        message = ripFailure_[std::size_t(index)];
    } else if (streamSkipped_) {
        outcome = Outcome::Skipped;
        message = output + QStringLiteral(": exists and was not replaced");
    } else if (!stageError_.isEmpty()) {
        errorBox(stageError_);
        message = stageError_;
    } else {
        outputs << output;
        if (kind_ == jkRipTracks && config_.Options.IsKeepWav)
            outputs << JobTrackWav(out(), items_[std::size_t(index)]);
        if (valuesInPlace_) {
            encoded_[std::size_t(index)] = output;
            message = valuesInPlaceError_;
        } else {
            keepStreamLoudness(index);
            message = tagEncoded(index, output, nullptr);
        }
        outcome = message.isEmpty() ? Outcome::Done : Outcome::Failed;
    }
    if (const QString album = tagAlbum(index); !album.isEmpty()) {
        outcome = Outcome::Failed;
        message = joined(message, album);
    }
    finishItem(index, outcome, message, outputs);
    stageError_.clear();
    streamSkipped_ = false;
    progressSeen_ = false;
    ++streamIndex_;
    advance(streamIndex_);
}

void TJobRunner::keepStreamLoudness(int index)
{
    if (!replayGain_)
        return;
    loudness_[std::size_t(index)] = measure_->TrackResult();
    std::unique_ptr<TLoudnessMeter> meter = measure_->TakeMeter();
    if (kind_ == jkRipTracks)
        album_.Add(std::move(meter));
}

QString TJobRunner::tagEncoded(int index, const QString& output, const TId3v24Fields* mp3Text)
{
    encoded_[std::size_t(index)] = output;
    if (!replayGain_ && !mp3Text)
        return {};
    return WriteEncodedTags(output, loudness_[std::size_t(index)], nullptr, mp3Text);
}

QString TJobRunner::tagAlbum(int index)
{
    // The last item of a CD job ends the album, however that item itself
    // ended; a stopped job has none.
    if (!replayGain_ || kind_ != jkRipTracks || stopped_ || index + 1 != int(items_.size()))
        return {};
    std::vector<TAlbumFile> files;
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (!encoded_[i].isEmpty())
            files.push_back({encoded_[i], loudness_[i]});
    return WriteAlbumTags(files, album_.Result());
}

void TJobRunner::resampleDone()
{
    const bool ogg = kind_ == jkWavToOgg;
    const int index = ogg ? streamIndex_ : encodeIndex_;
    if (!stageError_.isEmpty()) {
        // The buffer is not whole: the item fails with the resampler's or
        // the writer's reason instead of encoding a cut-off file.
        const QString why = stageError_;
        if (ogg) {
            PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE));
        } else {
            stageError_.clear();
            PostJobEvent(this, MakeProcessInfo(JOB_MP3_DONE, ENC_RESULT_FAILED, why));
        }
        return;
    }
    stage("Encoding", index);
    heading(ResourceText(res::Encoding));
    if (ogg)
        streamItem(bufferFor(), encodedOutput(index, TOutputFormat::Ogg), index);
    else
        lameItem(bufferFor(), encodedOutput(index, TOutputFormat::Mp3), true);
}

void TJobRunner::wmaDone(const TProcessInfo& info)
{
    timer_.stop();
    const int index = encodeIndex_;
    const QString output = wma_->OutputFile;
    if (info.Result == ENC_RESULT_IN_USE && !progressSeen_)
        errorBox(items_[std::size_t(index)].text + ResourceText(res::Operate_Fail));
    if (info.Result == ENC_RESULT_ERROR_LINE || info.Result == ENC_RESULT_FAILED)
        errorBox(info.Elapsed);

    switch (info.Result) {
    case ENC_RESULT_ENDED: {
        QStringList outputs{output};
        if (kind_ == jkRipTracks && config_.Options.IsKeepWav)
            outputs << wma_->InputFile;
        finishItem(index, Outcome::Done, {}, outputs);
        break;
    }
    case ENC_RESULT_SKIPPED:
        finishItem(index, Outcome::Skipped,
                   WmaProgram().isEmpty() ? QStringLiteral("WM8EUTIL: the WMA encoder was not found")
                                          : output + QStringLiteral(": exists and was not replaced"));
        break;
    case ENC_RESULT_IN_USE:
        finishItem(index, Outcome::Failed, output + QStringLiteral(": the file is in use"));
        break;
    case ENC_RESULT_RIP_FAILED:
        finishItem(index, Outcome::Failed, ripFailure_[std::size_t(index)]);
        break;
    default:
        finishItem(index, Outcome::Failed,
                   info.Elapsed.isEmpty() ? output + QStringLiteral(": the encoder failed") : info.Elapsed);
        break;
    }
    progressSeen_ = false;
    ++encodeIndex_;
    if (encodeIndex_ == int(items_.size())) {
        // The WMA object reported from inside its own call: the job closes
        // once that call has returned.
        QMetaObject::invokeMethod(this, [this] { closeJob(); }, Qt::QueuedConnection);
        return;
    }
    advance(encodeIndex_);
}

void TJobRunner::advance(int nextIndex)
{
    if (nextIndex >= int(items_.size())) {
        closeJob();
        return;
    }
    if (kind_ == jkRipTracks) {
        heading(ResourceText(res::Extracting));
        ripTrack(ripIndex_);
        return;
    }
    startItem(nextIndex, false);
}

}  // namespace dw
