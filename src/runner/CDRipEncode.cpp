#include "runner/CDRipEngine.h"

#include "app/FileNames.h"
#include "app/Genres.h"
#include "app/Helpers.h"
#include "app/OutputFormats.h"
#include "app/ResourceText.h"
#include "app/ScaleWaveVolume.h"
#include "audio/formats/FlacOut.h"
#include "audio/formats/LoudnessMeasure.h"
#include "audio/formats/OpusOut.h"
#include "audio/formats/VorbisOut.h"
#include "audio/formats/WaveIn.h"
#include "audio/formats/WaveOut.h"
#include "cd/CDIn.h"
#include "cd/RippedFile.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/FileSharing.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"
#include "runner/CDRipFlacOpus.h"
#include "runner/CDRipOgg.h"
#include "runner/EncodedTags.h"
#include "runner/JobItems.h"
#include "runner/JobTags.h"
#include "runner/JobWmaEstimate.h"
#include "runner/LoudnessScan.h"
#include "tags/Id3Tag.h"
#include "tags/Id3v24Writer.h"
#include "tags/VorbisTags.h"
#include "tags/XiphCommentWriter.h"

#include <QMetaObject>

#include <optional>

// The encode stage of the ripper-mode engine: the ripped WAV handed to the
// format's encoder (lame, WM8EUTIL or an in-process writer), the encoder
// processes' events, and the MP3's tags.

namespace dw {

namespace {

using Clock = std::chrono::steady_clock;
using Outcome = TJobItemResult::Outcome;

}  // namespace

QString TCDRipEngine::encodedPath() const
{
    const QString& wav = items_[size_t(current_)].WavFile;
    return wav.left(wav.size() - 4) + FormatExtension(settings_.OutputFormat);
}

void TCDRipEngine::startEncode()
{
    TCDRipItem& item = current();
    stage_ = Stage::Encoding;
    failure_.clear();
    stage(QStringLiteral("Encoding"));
    view_.Heading(QStringLiteral("Encoding..."));
    view_.StatusText(QStringLiteral("Encoding..."), true);
    view_.Gauge(0);
    if (stopped_)
        return;
    const QString target = encodedPath();
    try {
        switch (settings_.OutputFormat) {
        case TOutputFormat::Ogg:
        case TOutputFormat::Flac:
        case TOutputFormat::Opus: {
            encoder_ = Encoder::Stream;
            streamOut_ = settings_.OutputFormat == TOutputFormat::Flac   ? static_cast<TAuFileOut*>(flacOut_.get())
                         : settings_.OutputFormat == TOutputFormat::Opus ? static_cast<TAuFileOut*>(opusOut_.get())
                                                                : static_cast<TAuFileOut*>(vorbisOut_.get());
            encodedFile_ = std::make_unique<TOutputFile>(target);
            if (!encodedFile_->Create() || !encodedFile_->Close()) {
                const QString error = encodedFile_->Error();
                encodedFile_.reset();
                encodeDone(false, error);
                return;
            }
            waveIn_->SetFileName(item.WavFile);
            const TCDRipTrackTags track{item.Track, item.Title};
            if (settings_.OutputFormat == TOutputFormat::Flac)
                ApplyFlacSettings(*flacOut_, settings_, track);
            else if (settings_.OutputFormat == TOutputFormat::Opus)
                ApplyOpusSettings(*opusOut_, settings_, track);
            else
                ApplyOggSettings(*vorbisOut_, settings_, track);
            // The track's values go into the finished temporary file just
            // before it is put in place: the measurement may still have been
            // running while the encoding started. Opus files carry R128
            // gains instead of REPLAYGAIN_* values.
            valuesError_.clear();
            if (settings_.ReplayGain) {
                const int index = current_;
                const bool opus = settings_.OutputFormat == TOutputFormat::Opus;
                streamOut_->BeforeCommit = [this, index, opus, target](const QString& temp) {
                    TCDRipItem& encoded = items_[size_t(index)];
                    settleLoudness(encoded);
                    const TTagValues values = opus ? R128Tags(encoded.Loudness) : ReplayGainTags(encoded.Loudness);
                    QString error;
                    if (!values.empty() && !WriteXiphCommentsInPlace(temp, values, &error))
                        valuesError_ = error.replace(temp, target);
                };
            } else {
                streamOut_->BeforeCommit = nullptr;
            }
            streamOut_->SetFileName(encodedFile_->TempPath());
            streamOut_->Run();
            break;
        }
        case TOutputFormat::Wma:
            encoder_ = Encoder::Wma;
            // Set before Start: the WMA object may report its completion
            // from within it.
            wmaInputSize_ = FileSizeOrMinusOne(item.WavFile);
            wmaTimer_.start();
            wma_.Running = true;
            wma_.InputFile = item.WavFile;
            wma_.OutputFile = target;
            wma_.NotifyWindow = this;
            wma_.EncodeMode = true;
            wma_.JobKind = jkRipTracks;
            wma_.SetOptions(settings_.Options, settings_.Disc());
            wma_.Start();
            break;
        default:
            encoder_ = Encoder::Mp3;
            lame_.Running = true;
            lame_.InputFile = item.WavFile;
            lame_.OutputFile = target;
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
        encodedFile_.reset();
        const QString why = ExceptionText(e);
        const int gen = generation_;
        QMetaObject::invokeMethod(
            this, [this, gen, why] { if (gen == generation_ && stage_ == Stage::Encoding) encodeDone(false, why); },
            Qt::QueuedConnection);
    }
}

void TCDRipEngine::jobEvent(std::unique_ptr<TProcessInfo> info)
{
    if (stage_ != Stage::Encoding || (encoder_ != Encoder::Mp3 && encoder_ != Encoder::Wma))
        return;  // late news of a stage that has ended
    const int32_t code = info->Code;
    if (code != JOB_MP3_DONE && code != JOB_WMA_DONE) {
        if (!IsJobEventCode(code))
            progress(code, info->Elapsed, info->Estimated);
        return;
    }
    if ((code == JOB_MP3_DONE) != (encoder_ == Encoder::Mp3))
        return;
    // The WMA object sends its completion from inside Start or its reading
    // thread's call; the engine moves on once that call has returned.
    const int gen = generation_;
    const int32_t result = info->Result;
    const QString text = info->Elapsed;
    QMetaObject::invokeMethod(
        this,
        [this, gen, code, result, text] {
            if (gen != generation_ || stage_ != Stage::Encoding)
                return;
            (code == JOB_MP3_DONE ? lame_.Running : wma_.Running) = false;
            const QString& input = current().WavFile;
            switch (result) {
            case ENC_RESULT_ENDED: encodeDone(true, {}); break;
            case ENC_RESULT_IN_USE: encodeDone(false, encodedPath() + ResourceText(res::Operate_Fail)); break;
            case ENC_RESULT_SKIPPED:
                encodeDone(false, code == JOB_WMA_DONE ? ResourceText(res::NoWmaEncoder) : encodedPath()
                                                              + QStringLiteral(": not encoded"));
                break;
            default:
                encodeDone(false, text.isEmpty() ? input + QStringLiteral(": ") + ResourceText(res::Check_Mp3Options)
                                                 : text);
                break;
            }
        },
        Qt::QueuedConnection);
}

void TCDRipEngine::progress(int32_t code, const QString& elapsed, const QString& estimated)
{
    if (stage_ != Stage::Ripping && stage_ != Stage::Encoding)
        return;
    QString e = elapsed, t = estimated;
    if (e.isEmpty() && code > 0) {
        // The stream outputs report a percentage only; the times follow from it.
        const std::unique_ptr<TProcessInfo> info = MakeProgressInfo(code, RoundedSeconds(Clock::now() - stageStart_));
        e = info->Elapsed;
        t = info->Estimated;
    }
    view_.Times(e, t);
    if (code > 0) {
        view_.StatusText({}, false);
        view_.ShowPercent(true);
        gauge_ = std::min(code, 100);
        view_.Gauge(gauge_);
    }
}

void TCDRipEngine::wmaTick()
{
    if (stage_ != Stage::Encoding || encoder_ != Encoder::Wma) {
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
    if (!total)
        return;
    view_.ShowPercent(true);
    const int g = JobWmaGaugePercent(elapsed, *total);
    if (g > gauge_) {
        gauge_ = g;
        view_.Gauge(g);
    }
}

void TCDRipEngine::encodeDone(bool ok, const QString& failure)
{
    wmaTimer_.stop();
    TCDRipItem& item = current();
    const QString target = encodedPath();
    QString why = failure;
    if (encoder_ == Encoder::Stream) {
        if (streamOut_)
            streamOut_->SetFileName(QString());
        waveIn_->SetFileName(QString());
        if (encodedFile_) {
            // Taken before the commit, which forgets the name whether or not
            // it succeeds.
            const QString temp = encodedFile_->TempPath();
            if (ok && !encodedFile_->Commit(settings_.Rip.Overwrite)) {
                ok = false;
                why = encodedFile_->Error();
            }
            // The writer names its temporary file; the user knows the track's.
            if (!temp.isEmpty())
                why.replace(temp, target);
            encodedFile_.reset();
        }
        if (!ok && !why.contains(target))
            why = target + QStringLiteral(": ") + why;
    }
    encoder_ = Encoder::None;
    if (!ok) {
        // The ripped WAV stays: it is all the user has of the track.
        item.Result.outputs << item.WavFile;
        finishItem(Outcome::Failed, why);
        return;
    }
    item.Result.outputs << target;
    if (!valuesError_.isEmpty())
        itemNote_ = itemNote_.isEmpty() ? valuesError_ : itemNote_ + QStringLiteral("; ") + valuesError_;
    valuesError_.clear();
    if (settings_.OutputFormat == TOutputFormat::Mp3)
        writeMp3Tag(item, target);
    if (settings_.IsKeepWav || FileInUse(item.WavFile) || !RemoveFile(item.WavFile))
        item.Result.outputs << item.WavFile;
    finishItem(itemNote_.isEmpty() ? Outcome::Done : Outcome::Failed, itemNote_);
}

void TCDRipEngine::writeMp3Tag(TCDRipItem& item, const QString& mp3)
{
    // Written whatever the ID3 option says: a ripped MP3 always carries its
    // track's title and the disc's values.
    Tid3tag tag;
    tag.SetTitle(TrackTagTitle(settings_.Disc(), item.Title, item.Track));
    tag.SetArtist(settings_.DiscArtist);
    tag.SetAlbum(settings_.DiscAlbum);
    tag.SetYear(settings_.DiscYear);
    tag.SetGenre(GenreListToId3(settings_.DiscGenre + 1));
    tag.SetComment(settings_.DiscComment);
    tag.SetTrack(uint8_t(item.Track));
    const uint16_t status = tag.SaveTag(mp3);
    if (!Tid3tag::Succeeded(status)) {
        const QString text = QString::asprintf("Error #%d! Could not save Tag!", int(status)) + QStringLiteral(" (")
                             + tag.ErrorText() + QLatin1Char(')');
        itemNote_ = itemNote_.isEmpty() ? text : itemNote_ + QStringLiteral("; ") + text;
    }
    // The ID3v2.4 tag: the trailer's values when the Id3v2 option is on,
    // the track's ReplayGain values when measured (the album's follow at
    // the end of the job).
    std::optional<TId3v24Fields> text;
    if (settings_.Id3v2)
        text = DiscTrackId3v24Fields(settings_.Disc(), item.Title, item.Track);
    settleLoudness(item);
    if (!text && !settings_.ReplayGain)
        return;
    const QString error = WriteEncodedTags(mp3, settings_.ReplayGain ? item.Loudness : TLoudness{}, nullptr,
                                           text ? &*text : nullptr);
    if (!error.isEmpty())
        itemNote_ = itemNote_.isEmpty() ? error : itemNote_ + QStringLiteral("; ") + error;
}

}  // namespace dw
