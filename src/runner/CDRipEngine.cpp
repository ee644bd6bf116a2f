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

namespace dw {

namespace {

using Clock = std::chrono::steady_clock;
using Outcome = TJobItemResult::Outcome;

QString stoppedText() { return QStringLiteral("stopped"); }

}  // namespace

TCDRipEngine::TCDRipEngine(TCDIn& cdIn, TCDRipSettings settings, TJobView& view, TMp3EncodeProcess& lame,
                           TWMAEncodeProcess& wma)
    : cdIn_(cdIn), settings_(std::move(settings)), view_(view), lame_(lame), wma_(wma),
      measure_(std::make_unique<TLoudnessMeasure>()), waveOut_(std::make_unique<TWaveOut>()), waveIn_(std::make_unique<TWaveIn>()),
      vorbisOut_(std::make_unique<TVorbisOut>()), flacOut_(std::make_unique<TFlacOut>()),
      opusOut_(std::make_unique<TOpusOut>())
{
    waveOut_->SetWavType(wtPCM);
    waveOut_->SetBlockSize(512);
    waveOut_->SetFileMode(foRewrite);
    waveOut_->OnProgress = [this](TAuOutput* out) {
        progress(out->Progress(), {}, {});
    };
    waveOut_->OnThreadException = [this](TAuOutput* out) { failure_ = out->GetExceptionMessage(); };
    waveOut_->OnDone = [this](TAuOutput*) {
        if (stage_ == Stage::Ripping)
            ripDone();
    };
    // The in-process encoders read the ripped WAV and report alike.
    for (TAuFileOut* out : {static_cast<TAuFileOut*>(vorbisOut_.get()), static_cast<TAuFileOut*>(flacOut_.get()),
                            static_cast<TAuFileOut*>(opusOut_.get())}) {
        out->SetInput(waveIn_.get());
        out->SetFileMode(foRewrite);
        out->OnProgress = [this](TAuOutput* o) { progress(o->Progress(), {}, {}); };
        out->OnThreadException = [this](TAuOutput* o) { failure_ = o->GetExceptionMessage(); };
        out->OnDone = [this](TAuOutput* o) {
            if (stage_ == Stage::Encoding && encoder_ == Encoder::Stream && o == streamOut_)
                encodeDone(failure_.isEmpty(), failure_);
        };
    }
    wmaTimer_.setInterval(1000);
    QObject::connect(&wmaTimer_, &QTimer::timeout, this, [this] { wmaTick(); });
}

TCDRipEngine::~TCDRipEngine()
{
    if (stage_ != Stage::Closed && stage_ != Stage::Idle)
        Stop();
    normalizeStop_ = true;
    if (normalizer_.joinable())
        normalizer_.join();
    // The outputs' workers are parked before the files they write go.
    vorbisOut_.reset();
    flacOut_.reset();
    opusOut_.reset();
    waveIn_.reset();
    waveOut_.reset();
    measure_.reset();
}

void TCDRipEngine::Start(const QStringList& items)
{
    // Every track gets a file of its own: titles that name the same file (or
    // none) are told apart before anything is written.
    std::vector<TTitledTrack> titled;
    for (const QString& text : items) {
        TCDRipItem item;
        if (const auto parsed = ParseTrackItem(text)) {
            item.Track = parsed->track;
            item.Title = parsed->title;
            titled.push_back({item.Track, item.Title});
        } else {
            item.Title = text;
        }
        items_.push_back(item);
    }
    // The stems leave room for the job's own extension (".flac" and ".opus"
    // take a byte more than ".wav").
    const QStringList stems = UniqueFileStems(titled, int(FormatExtension(settings_.OutputFormat).size()));
    qsizetype next = 0;
    const QString folder = WithTrailingBackslash(settings_.Rip.OutputFolder);
    for (size_t i = 0; i < items_.size(); ++i) {
        TCDRipItem& item = items_[i];
        item.Result.index = int(i);
        item.Result.name = item.Title;
        if (item.Track != 0)
            item.WavFile = folder + stems.at(next++) + QStringLiteral(".wav");
    }
    // The component may have been left running; the tray stays locked while
    // the job lasts.
    cdIn_.Reset();
    cdIn_.LockTray = true;
    firstTrack_ = cdIn_.FirstTrackNumber();
    if (items_.empty()) {
        close();
        return;
    }
    startRip(0);
}

void TCDRipEngine::stage(const QString& word)
{
    ++generation_;
    gauge_ = 0;
    stageStart_ = Clock::now();
    view_.StageStarted(TJobStage{word, current_ + 1, int(items_.size()), current().Title});
}

void TCDRipEngine::startRip(int index)
{
    current_ = index;
    TCDRipItem& item = current();
    failure_.clear();
    itemNote_.clear();
    stage_ = Stage::Ripping;
    encoder_ = Encoder::None;
    const bool afterEncoding = index > 0 && settings_.OutputFormat != TOutputFormat::Wav;
    stage(QStringLiteral("Extracting"));
    view_.Heading(QStringLiteral("Extracting..."));
    view_.StatusText(afterEncoding ? QStringLiteral("Extracting...") : QStringLiteral("Initializing..."), true);
    view_.ShowPercent(false);
    view_.Gauge(0);
    if (stopped_)
        return;  // the view stopped the job; nothing of this item has begun

    if (item.Track == 0) {
        finishItem(Outcome::Failed, ResourceText(res::ReadCDAudioError)
                                        + QStringLiteral(" (the job item does not begin with a track number)"));
        return;
    }
    // Files that may not be replaced are refused before anything is read.
    QString taken;
    if (OutputTaken(item.WavFile, settings_.Rip, taken)
        || (settings_.OutputFormat != TOutputFormat::Wav && OutputTaken(encodedPath(), settings_.Rip, taken))) {
        finishItem(Outcome::Failed, taken);
        return;
    }
    // The component counts the disc's tracks from 1.
    const int32_t track = item.Track - firstTrack_ + 1;
    try {
        cdIn_.SetStartTrack(track);
        cdIn_.SetEndTrack(track);
        if (settings_.Rip.EnableRipTime) {
            // The end may lie beyond the track: the rip then runs on into the next.
            const int t = std::max(settings_.Rip.RipTime, 0);
            cdIn_.SetStartPos(TCDPosition{track, 0, 0, 0});
            cdIn_.SetEndPos(TCDPosition{track, uint8_t(std::min(t / 60, 255)), uint8_t(t % 60), 0});
        }
    } catch (const std::exception& e) {
        finishItem(Outcome::Failed, ResourceText(res::ReadCDAudioError) + QStringLiteral(" (") + ExceptionText(e)
                                        + QLatin1Char(')'));
        return;
    }
    // The writer fills a temporary file of ours; only the whole track is
    // renamed to its name.
    wavFile_ = std::make_unique<TOutputFile>(item.WavFile);
    if (!wavFile_->Create() || !wavFile_->Close()) {
        const QString error = wavFile_->Error();
        wavFile_.reset();
        finishItem(Outcome::Failed, error);
        return;
    }
    waveOut_->SetFileName(wavFile_->TempPath());
    trackMeter_.reset();
    itemMeter_ = nullptr;
    if (settings_.ReplayGain) {
        measure_->SetInput(&cdIn_);
        waveOut_->SetInput(measure_.get());
    } else {
        waveOut_->SetInput(&cdIn_);
    }
    try {
        waveOut_->Run();
    } catch (const std::exception& e) {
        failure_ = ExceptionText(e);
        // As a run that ended at once: handled after this call returns.
        const int gen = generation_;
        QMetaObject::invokeMethod(
            this, [this, gen] { if (gen == generation_ && stage_ == Stage::Ripping) ripDone(); },
            Qt::QueuedConnection);
    }
}

void TCDRipEngine::ripDone()
{
    TCDRipItem& item = current();
    waveOut_->SetFileName(QString());
    if (!failure_.isEmpty()) {
        const QString temp = wavFile_->TempPath();
        wavFile_.reset();
        QString why = failure_;
        why.replace(temp, item.WavFile);
        const TCDInFailure kind = cdIn_.LastFailure();
        if (kind == TCDInFailure::Unreadable)
            // Reading had begun: the track's file is the one cut short.
            finishItem(Outcome::Failed, ResourceText(res::ReadCDAudioError) + QStringLiteral(" (") + item.WavFile
                                            + QStringLiteral(": ") + why + QLatin1Char(')'));
        else if (kind != TCDInFailure::None)
            finishItem(Outcome::Failed, ResourceText(res::ReadCDAudioError) + QStringLiteral(" (") + why + QLatin1Char(')'));
        else
            finishItem(Outcome::Failed, why.contains(item.WavFile) ? why : item.WavFile + QStringLiteral(": ") + why);
        return;
    }
    if (StatPath(wavFile_->TempPath()).size <= 44) {
        wavFile_.reset();
        finishItem(Outcome::Failed, ResourceText(res::ReadCDAudioError)
                                        + QStringLiteral(" (there is no audio to rip in track %1)").arg(item.Track));
        return;
    }
    // The measurement may still be working through what was read; it goes
    // on while the track is normalised and encoded.
    if (settings_.ReplayGain)
        trackMeter_ = measure_->TakeMeter();
    if (settings_.Rip.IsNormalize)
        startNormalize();
    else
        wavReady({});
}

void TCDRipEngine::startNormalize()
{
    stage_ = Stage::Normalizing;
    stage(QStringLiteral("Normalizing"));
    if (stopped_)
        return;
    scaledFile_ = std::make_unique<TOutputFile>(current().WavFile);
    if (!scaledFile_->Create()) {
        const QString error = scaledFile_->Error();
        scaledFile_.reset();
        normalized(false, error);
        return;
    }
    // The scaling reads and writes the whole file: it runs on a thread of its
    // own so that the main thread keeps serving events (and the Stop button).
    normalizeStop_ = false;
    const QString source = wavFile_->TempPath();
    TOutputFile* target = scaledFile_.get();
    const int percent = settings_.Rip.NormalizePercent;
    const int gen = generation_;
    const bool measure = settings_.ReplayGain;
    scaledMeter_.reset();
    scaledLoudness_ = {};
    scaledMeasureFailure_.clear();
    normalizer_ = std::thread([this, source, target, percent, gen, measure] {
        bool stopped = false;
        QString failure;
        try {
            stopped = !ScaleWaveInto(percent, source, *target, [this](int64_t, int64_t) { return !normalizeStop_.load(); });
        } catch (const IoError& e) {
            failure = QString::fromUtf8(e.what());
        }
        // The scaled copy is what gets encoded: its loudness is the track's.
        if (measure && !stopped && failure.isEmpty()) {
            try {
                stopped = !MeasureWaveFile(target->TempPath(), scaledLoudness_, scaledMeter_, normalizeStop_);
            } catch (const std::exception& e) {
                scaledMeasureFailure_ = ExceptionText(e);
            }
        }
        QMetaObject::invokeMethod(
            this,
            [this, stopped, failure, gen] {
                if (normalizer_.joinable())
                    normalizer_.join();
                if (gen == generation_ && stage_ == Stage::Normalizing)
                    normalized(stopped, failure);
            },
            Qt::QueuedConnection);
    });
}

void TCDRipEngine::normalized(bool stopped, const QString& failure)
{
    if (stopped)
        return;  // Stop has wound the item up
    if (failure.isEmpty()) {
        // The normalised copy replaces the raw rip, its measurement the rip's.
        wavFile_ = std::move(scaledFile_);
        QString note;
        if (settings_.ReplayGain) {
            current().Loudness = scaledLoudness_;
            trackMeter_ = std::move(scaledMeter_);
            if (!scaledMeasureFailure_.isEmpty()) {
                current().Loudness = {};
                trackMeter_.reset();  // a measurement cut short counts for nothing
                note = current().WavFile + QStringLiteral(": ") + scaledMeasureFailure_
                       + QStringLiteral(" (the track's loudness was not measured)");
            }
        }
        wavReady(note);
        return;
    }
    // A failed normalise does not cost the track: the rip goes on as it was
    // read, and the item is reported.
    scaledFile_.reset();
    wavReady(failure + QStringLiteral(" (the track was not normalised)"));
}

void TCDRipEngine::wavReady(const QString& note)
{
    TCDRipItem& item = current();
    itemNote_ = note;
    const bool committed = wavFile_->Commit(settings_.Rip.Overwrite);
    const QString error = wavFile_->Error();
    wavFile_.reset();
    if (!committed) {
        item.Loudness = {};
        finishItem(Outcome::Failed, error);
        return;
    }
    // The track is ripped whole: it is part of the album.
    itemMeter_ = trackMeter_.get();
    album_.Add(std::move(trackMeter_));
    if (FormatInfo(settings_.OutputFormat).encoder == TFormatEncoder::None) {
        item.Result.outputs << item.WavFile;
        finishItem(itemNote_.isEmpty() ? Outcome::Done : Outcome::Failed, itemNote_);
        return;
    }
    startEncode();
}

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

void TCDRipEngine::settleLoudness(TCDRipItem& item)
{
    // A normalised track was measured after scaling; its meter is done.
    if (settings_.ReplayGain && itemMeter_)
        item.Loudness = itemMeter_->Result();
    itemMeter_ = nullptr;
}

QString TCDRipEngine::writeAlbumValues()
{
    std::vector<TAlbumFile> files;
    for (const TCDRipItem& item : items_)
        for (const QString& file : item.Result.outputs)
            if (CarriesLoudnessTags(file))
                files.push_back({file, item.Loudness});
    return WriteAlbumTags(files, album_.Result());
}

void TCDRipEngine::finishItem(Outcome outcome, const QString& message)
{
    TCDRipItem& item = current();
    QString text = message;
    // The job's last item ends the album: its values go into every MP3, Ogg
    // Vorbis, FLAC and Opus file of the job before the item is reported, so
    // that a failure is told.
    if (outcome != Outcome::Stopped && !stopped_ && current_ + 1 == int(items_.size()) && settings_.ReplayGain) {
        const QString problems = writeAlbumValues();
        if (!problems.isEmpty()) {
            outcome = Outcome::Failed;
            text = text.isEmpty() ? problems : text + QStringLiteral("; ") + problems;
        }
    }
    item.Result.outcome = outcome;
    item.Result.message = text;
    view_.ItemFinished(item.Result);
    if (outcome == Outcome::Stopped)
        return;
    // The next step starts from the event loop, never from inside the
    // handler that ended this one.
    stage_ = Stage::Idle;
    ++generation_;
    const int gen = generation_;
    QMetaObject::invokeMethod(this, [this, gen] { if (gen == generation_ && !stopped_) advance(); },
                              Qt::QueuedConnection);
}

void TCDRipEngine::advance()
{
    if (current_ + 1 >= int(items_.size()))
        close();
    else
        startRip(current_ + 1);
}

void TCDRipEngine::Stop()
{
    if (stage_ == Stage::Closed)
        return;
    stopped_ = true;
    const Stage was = stage_;
    ++generation_;  // completions of the stage under way are dropped
    stage_ = Stage::Idle;
    switch (was) {
    case Stage::Ripping:
        waveOut_->Pause();
        waveOut_->Stop(false);
        waveOut_->SetFileName(QString());
        wavFile_.reset();
        break;
    case Stage::Normalizing:
        normalizeStop_ = true;
        if (normalizer_.joinable())
            normalizer_.join();
        scaledFile_.reset();
        wavFile_.reset();
        break;
    case Stage::Encoding:
        wmaTimer_.stop();
        if (encoder_ == Encoder::Stream) {
            streamOut_->Pause();
            streamOut_->Stop(false);
            streamOut_->SetFileName(QString());
            waveIn_->SetFileName(QString());
            encodedFile_.reset();
        } else {
            // An encoder left running would finish a file after the job has
            // ended; it is ended with its temporary output instead.
            if (lame_.Running)
                lame_.Kill(0);
            if (wma_.Running)
                wma_.Kill(0);
        }
        encoder_ = Encoder::None;
        // The track itself was ripped whole and stays.
        current().Result.outputs << current().WavFile;
        break;
    default:
        break;
    }
    if (was == Stage::Ripping || was == Stage::Normalizing || was == Stage::Encoding) {
        finishItem(Outcome::Stopped, stoppedText());
    }
    for (size_t i = size_t(std::max(current_ + 1, 0)); i < items_.size(); ++i) {
        items_[i].Result.outcome = Outcome::Stopped;
        items_[i].Result.message = stoppedText();
    }
    close();
}

void TCDRipEngine::close()
{
    if (stage_ == Stage::Closed)
        return;
    stage_ = Stage::Closed;
    ++generation_;
    wmaTimer_.stop();
    for (TAuFileOut* out : {static_cast<TAuFileOut*>(vorbisOut_.get()), static_cast<TAuFileOut*>(flacOut_.get()),
                            static_cast<TAuFileOut*>(opusOut_.get())}) {
        out->Stop(false);
        out->SetFileName(QString());
    }
    waveIn_->SetFileName(QString());
    view_.Closed();
}

}  // namespace dw
