#include "runner/ConversionTask.h"

#include "app/ResourceText.h"
#include "audio/stream/AuOutput.h"
#include "audio/formats/LoudnessMeasure.h"
#include "jobs/EncoderCommandLines.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"
#include "runner/EncodedTags.h"

// The completions of a converted file's steps: progress, the encoders' ends
// and the resampling's end, each turned into the item's result.

namespace dw {

namespace {

// What a completion says went wrong: the failure it carries, else the text
// the encoder process put in it.
QString completionText(const TProcessInfo& info)
{
    return info.Failure.Failed() ? info.Failure.Text() : info.Elapsed;
}

// Why an encoder's item failed, naming the file.
QString failureText(const TProcessInfo& info, const QString& output)
{
    if (info.Result == ENC_RESULT_IN_USE)
        return output + QStringLiteral(": the file is in use");
    const QString text = completionText(info);
    return text.isEmpty() ? output + QStringLiteral(": the encoder failed") : text;
}

}  // namespace

void TConversionTask::jobEvent(std::unique_ptr<TProcessInfo> info)
{
    // Events still queued when the item ended are dropped with it.
    if (ended_ || !info)
        return;
    switch (info->Code) {
    case JOB_MP3_DONE:
        mp3End_ = std::move(info);
        mp3Measured();
        return;
    case JOB_OGG_DONE:
        streamDone();
        return;
    case JOB_RESAMPLE_DONE:
        resampleDone();
        return;
    case JOB_WMA_DONE:
        if (inWmaStart_) {
            // Reported from within Start: handled once Start has returned.
            PostJobEvent(this, std::move(info));
            return;
        }
        wmaDone(*info);
        return;
    case JOB_NORMALIZING:
    case JOB_RIP_DONE:
        return;
    default:
        progress(*info);
        return;
    }
}

void TConversionTask::progress(const TProcessInfo& info)
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

void TConversionTask::outputProgress(TAuOutput* output)
{
    const int32_t code = output->Progress();
    const int64_t elapsed = RoundedSeconds(std::chrono::steady_clock::now() - stageStart_);
    PostJobEvent(this, MakeProgressInfo(code < 0 ? 0 : code, elapsed));
}

void TConversionTask::mp3Measured()
{
    // lame's end and the measurement of its input may come in either order.
    if (!mp3End_)
        return;
    const TProcessInfo& info = *mp3End_;
    const bool outputMade = StatPath(lame_.OutputFile).exists;
    const bool whole = info.Result == ENC_RESULT_ENDED && outputMade;
    if (scanRunning_) {
        if (whole)
            return;  // the measurement's end finishes the item
        scanStop_->store(true);
    }
    mp3Done(info);
}

void TConversionTask::mp3Done(const TProcessInfo& info)
{
    const QString output = lame_.OutputFile;
    const bool outputMade = StatPath(output).exists;
    if (!progressSeen_) {
        if (info.Result == ENC_RESULT_IN_USE)
            box(item_.input + ResourceText(res::Operate_Fail));
        else if (info.Result == ENC_RESULT_ENDED && !outputMade)
            box(ResourceText(res::Check_Mp3Options));
    }
    // A refusal or a failed encoder always says why, naming the file.
    if (info.Result == ENC_RESULT_FAILED)
        box(ResourceText(res::Check_Mp3Options) + QLatin1Char('\n') + completionText(info));

    switch (info.Result) {
    case ENC_RESULT_ENDED: {
        if (!outputMade) {
            // lame ended normally without writing anything: not a success.
            finish(Outcome::Failed, output + QStringLiteral(": the encoder ended without writing it"));
            return;
        }
        QString problems;
        if (replayGain_ && lame_.EncodeMode) {
            if (!scanWhole_)
                problems = scanFailure_ + QStringLiteral(" (the loudness was not measured)");
            else
                problems = WriteEncodedTags(output, loudness_, nullptr, nullptr);
        }
        finish(problems.isEmpty() ? Outcome::Done : Outcome::Failed, problems, {output});
        return;
    }
    case ENC_RESULT_SKIPPED:
        finish(Outcome::Skipped, output + QStringLiteral(": exists and was not replaced"));
        return;
    default:
        finish(Outcome::Failed, failureText(info, output));
        return;
    }
}

void TConversionTask::streamDone()
{
    streamRunning_ = false;
    if (!stageError_.isEmpty()) {
        box(stageError_);
        finish(Outcome::Failed, stageError_);
        return;
    }
    QString message;
    if (valuesInPlace_)
        message = valuesInPlaceError_;
    else if (replayGain_ && measure_)
        message = WriteEncodedTags(output_, measure_->TrackResult(), nullptr, nullptr);
    finish(message.isEmpty() ? Outcome::Done : Outcome::Failed, message, {output_});
}

void TConversionTask::resampleDone()
{
    if (!stageError_.isEmpty()) {
        // The buffer is not whole: the item fails with the resampler's or the
        // writer's reason instead of encoding a cut-off file.
        const QString why = stageError_;
        stageError_.clear();
        refuse(why);
        return;
    }
    const bool ogg = kind_ == jkWavToOgg;
    stage("Encoding");
    heading(ResourceText(res::Encoding));
    if (ogg)
        streamItem(buffer_->TempPath());
    else
        lameItem(buffer_->TempPath(), true);
}

void TConversionTask::wmaDone(const TProcessInfo& info)
{
    timer_.stop();
    const QString output = wma_.OutputFile;
    if (info.Result == ENC_RESULT_IN_USE && !progressSeen_)
        box(item_.input + ResourceText(res::Operate_Fail));
    if (info.Result == ENC_RESULT_ERROR_LINE || info.Result == ENC_RESULT_FAILED)
        box(completionText(info));

    switch (info.Result) {
    case ENC_RESULT_ENDED:
        finish(Outcome::Done, {}, {output});
        return;
    case ENC_RESULT_SKIPPED:
        finish(Outcome::Skipped, WmaProgram().isEmpty() ? QStringLiteral("WM8EUTIL: the WMA encoder was not found")
                                                        : output + QStringLiteral(": exists and was not replaced"));
        return;
    default:
        finish(Outcome::Failed, failureText(info, output));
        return;
    }
}

}  // namespace dw
