#include "runner/CDRipTask.h"

#include "app/Genres.h"
#include "app/Helpers.h"
#include "app/OutputFormats.h"
#include "app/ResourceText.h"
#include "audio/formats/FlacOut.h"
#include "audio/formats/LoudnessMeter.h"
#include "audio/formats/OpusOut.h"
#include "audio/formats/VorbisOut.h"
#include "audio/formats/WaveIn.h"
#include "audio/stream/AuException.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/OutputFile.h"
#include "runner/CDRipFlacOpus.h"
#include "runner/CDRipOgg.h"
#include "runner/EncodedTags.h"
#include "runner/JobTags.h"
#include "runner/JobWmaEstimate.h"
#include "tags/Id3Tag.h"
#include "tags/Id3v24Writer.h"

#include <QMetaObject>

#include <optional>

// The encode step of a ripped track: the WAV handed to the format's encoder
// (lame, WM8EUTIL or an in-process writer) writing a temporary file of the
// task's, the encoder processes' events, and the MP3's tags.

namespace dw {

namespace {

using Clock = std::chrono::steady_clock;
using Outcome = TJobItemResult::Outcome;

}  // namespace

QString TCDRipTask::encodedPath() const
{
    const QString& wav = track_.wavFile;
    return wav.left(wav.size() - 4) + FormatExtension(settings_.OutputFormat);
}

void TCDRipTask::startEncode()
{
    failure_.clear();
    stageStart_ = Clock::now();
    events_.stage(track_.index, QStringLiteral("Encoding"));
    if (cancel_.IsCancelled()) {
        // The view stopped the job as the stage was shown.
        outputs_ << track_.wavFile;
        end(Outcome::Stopped);
        return;
    }
    const QString target = encodedPath();
    // Every encoder writes a temporary file of the task's: the file is
    // tagged there and put in place only when complete.
    encodedFile_ = std::make_unique<TOutputFile>(target);
    if (!encodedFile_->Create() || !encodedFile_->Close()) {
        const QString error = encodedFile_->Error();
        encodedFile_.reset();
        const int gen = generation_;
        QMetaObject::invokeMethod(
            this, [this, gen, error] { if (gen == generation_) encodeDone(false, error); }, Qt::QueuedConnection);
        return;
    }
    const QString temp = encodedFile_->TempPath();
    try {
        switch (settings_.OutputFormat) {
        case TOutputFormat::Ogg:
        case TOutputFormat::Flac:
        case TOutputFormat::Opus: {
            encoder_ = Encoder::Stream;
            waveIn_->SetFileName(track_.wavFile);
            const TCDRipTrackTags tags{track_.track, track_.title};
            if (settings_.OutputFormat == TOutputFormat::Flac)
                ApplyFlacSettings(static_cast<TFlacOut&>(*streamOut_), settings_, tags);
            else if (settings_.OutputFormat == TOutputFormat::Opus)
                ApplyOpusSettings(static_cast<TOpusOut&>(*streamOut_), settings_, tags);
            else
                ApplyOggSettings(static_cast<TVorbisOut&>(*streamOut_), settings_, tags);
            streamOut_->SetFileName(temp);
            streamOut_->Run();
            break;
        }
        case TOutputFormat::Wma:
            encoder_ = Encoder::Wma;
            // Set before Start: the WMA object may report its completion
            // from within it.
            wmaInputSize_ = FileSizeOrMinusOne(track_.wavFile);
            wmaTimer_.start();
            wma_.Running = true;
            wma_.InputFile = track_.wavFile;
            wma_.OutputFile = temp;
            wma_.NotifyWindow = this;
            wma_.EncodeMode = true;
            wma_.JobKind = jkRipTracks;
            wma_.SetOptions(settings_.Options, settings_.Disc());
            wma_.Start();
            break;
        default:
            encoder_ = Encoder::Mp3;
            lame_.Running = true;
            lame_.InputFile = track_.wavFile;
            lame_.OutputFile = temp;
            lame_.NotifyWindow = this;
            lame_.EncodeMode = true;
            lame_.JobKind = jkRipTracks;
            lame_.SetOptions(settings_.Options);
            lame_.Start();
            break;
        }
    } catch (const std::exception& e) {
        // A pipe or child that could not be created, or an output that would
        // not start: the item fails, the job goes on.
        wmaTimer_.stop();
        lame_.Running = false;
        wma_.Running = false;
        const QString why = ExceptionText(e);
        const int gen = generation_;
        QMetaObject::invokeMethod(
            this, [this, gen, why] { if (gen == generation_ && busy_) encodeDone(false, why); },
            Qt::QueuedConnection);
    }
}

void TCDRipTask::Stop()
{
    if (!busy_)
        return;
    switch (encoder_) {
    case Encoder::Stream:
        // The writer ends its run and reports; its partial file goes.
        streamOut_->Stop(true);
        break;
    case Encoder::Mp3:
    case Encoder::Wma: {
        // An encoder left running would finish a file after the job has
        // ended; it is ended with its temporary output instead, and reports
        // nothing more.
        wmaTimer_.stop();
        if (encoder_ == Encoder::Mp3 && lame_.Running)
            lame_.Kill(0);
        if (encoder_ == Encoder::Wma && wma_.Running)
            wma_.Kill(0);
        const int gen = generation_;
        QMetaObject::invokeMethod(
            this, [this, gen] { if (gen == generation_ && busy_) encodeDone(false, {}); }, Qt::QueuedConnection);
        break;
    }
    case Encoder::None:
        break;  // a step on the task's thread sees the token
    }
}

void TCDRipTask::jobEvent(std::unique_ptr<TProcessInfo> info)
{
    if (!busy_ || (encoder_ != Encoder::Mp3 && encoder_ != Encoder::Wma) || cancel_.IsCancelled())
        return;  // late news of a stage that has ended
    const int32_t code = info->Code;
    if (code != JOB_MP3_DONE && code != JOB_WMA_DONE) {
        if (!IsJobEventCode(code))
            events_.progress(track_.index, code, info->Elapsed, info->Estimated);
        return;
    }
    if ((code == JOB_MP3_DONE) != (encoder_ == Encoder::Mp3))
        return;
    // The WMA object sends its completion from inside Start or its reading
    // thread's call; the task moves on once that call has returned.
    const int gen = generation_;
    const int32_t result = info->Result;
    const QString text = info->Failure.Failed() ? info->Failure.Text() : info->Elapsed;
    QMetaObject::invokeMethod(
        this,
        [this, gen, code, result, text] {
            if (gen != generation_ || !busy_ || cancel_.IsCancelled())
                return;
            (code == JOB_MP3_DONE ? lame_.Running : wma_.Running) = false;
            switch (result) {
            case ENC_RESULT_ENDED: encodeDone(true, {}); break;
            case ENC_RESULT_IN_USE: encodeDone(false, encodedPath() + ResourceText(res::Operate_Fail)); break;
            case ENC_RESULT_SKIPPED:
                encodeDone(false, code == JOB_WMA_DONE ? ResourceText(res::NoWmaEncoder) : encodedPath()
                                                              + QStringLiteral(": not encoded"));
                break;
            default:
                encodeDone(false, text.isEmpty() ? track_.wavFile + QStringLiteral(": ")
                                                       + ResourceText(res::Check_Mp3Options)
                                                 : text);
                break;
            }
        },
        Qt::QueuedConnection);
}

void TCDRipTask::streamProgress(int percent)
{
    if (!busy_ || encoder_ != Encoder::Stream)
        return;
    if (percent <= 0) {
        events_.progress(track_.index, percent, {}, {});
        return;
    }
    // The stream writers report a percentage only; the times follow from it.
    const std::unique_ptr<TProcessInfo> info = MakeProgressInfo(percent, RoundedSeconds(Clock::now() - stageStart_));
    events_.progress(track_.index, percent, info->Elapsed, info->Estimated);
}

void TCDRipTask::wmaTick()
{
    if (!busy_ || encoder_ != Encoder::Wma) {
        wmaTimer_.stop();
        return;
    }
    const int64_t elapsed = RoundedSeconds(Clock::now() - stageStart_);
    if (!wma_.Running)
        return;
    // What the encoder has written so far sits in its temporary output.
    const QString writing = wma_.PendingOutputPath();
    const std::optional<int64_t> total =
        JobWmaEstimatedSeconds(elapsed, wmaInputSize_, writing.isEmpty() ? -1 : FileSizeOrMinusOne(writing),
                               settings_.WmaBitRate);
    if (total)
        events_.estimate(track_.index, JobWmaGaugePercent(elapsed, *total));
}

void TCDRipTask::encodeDone(bool ok, const QString& failure)
{
    wmaTimer_.stop();
    const QString target = encodedPath();
    QString why = failure;
    if (encoder_ == Encoder::Stream) {
        streamOut_->SetFileName(QString());
        waveIn_->SetFileName(QString());
    }
    encoder_ = Encoder::None;
    if (cancel_.IsCancelled()) {
        // The track itself was ripped whole and stays.
        outputs_ << track_.wavFile;
        end(Outcome::Stopped);
        return;
    }
    if (!ok) {
        // The writer names its temporary file; the user knows the track's.
        if (encodedFile_ && !encodedFile_->TempPath().isEmpty())
            why.replace(encodedFile_->TempPath(), target);
        if (!why.contains(target) && settings_.OutputFormat != TOutputFormat::Mp3
            && settings_.OutputFormat != TOutputFormat::Wma)
            why = target + QStringLiteral(": ") + why;
        // The ripped WAV stays: it is all the user has of the track.
        outputs_ << track_.wavFile;
        end(Outcome::Failed, why);
        return;
    }
    finishStep();
}

QString TCDRipTask::mp3Tags(const QString& temp)
{
    const QString target = encodedPath();
    QString problems;
    // The ID3v1 trailer: in ripper mode whatever the ID3 option says (a
    // ripped MP3 always carries its track's title and the disc's values), in
    // drive mode as the option says.
    if (settings_.Id3v1) {
        Tid3tag tag;
        tag.SetTitle(TrackTagTitle(settings_.Disc(), track_.title, track_.track));
        tag.SetArtist(settings_.DiscArtist);
        tag.SetAlbum(settings_.DiscAlbum);
        tag.SetYear(settings_.DiscYear);
        tag.SetGenre(GenreListToId3(settings_.DiscGenre + 1));
        tag.SetComment(settings_.DiscComment);
        tag.SetTrack(uint8_t(track_.track));
        const uint16_t status = tag.SaveTag(temp);
        if (!Tid3tag::Succeeded(status))
            problems = QString::asprintf("Error #%d! Could not save Tag!", int(status)) + QStringLiteral(" (")
                       + QString(tag.ErrorText()).replace(temp, target) + QLatin1Char(')');
    }
    // The ID3v2.4 tag: the trailer's values when the Id3v2 option is on,
    // the track's ReplayGain values when measured (the album's follow at
    // the end of the job).
    TId3v24Fields fields;
    if (settings_.Id3v2)
        fields = DiscTrackId3v24Fields(settings_.Disc(), track_.title, track_.track);
    if (!settings_.Id3v2 && !settings_.ReplayGain)
        return problems;
    TLoudness loudness = settings_.ReplayGain && itemMeter_ ? itemMeter_->Result() : TLoudness{};
    for (auto& value : ReplayGainTags(loudness))
        fields.userTexts.push_back(std::move(value));
    QString error;
    if ((settings_.Id3v2 || !fields.userTexts.empty()) && !WriteId3v24(temp, fields, &error))
        problems = problems.isEmpty() ? error.replace(temp, target)
                                      : problems + QStringLiteral("; ") + error.replace(temp, target);
    return problems;
}

}  // namespace dw
