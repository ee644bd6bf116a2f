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
