#include "runner/CDRipEngine.h"

#include "app/FileNames.h"
#include "app/Helpers.h"
#include "app/OutputFormats.h"
#include "app/ResourceText.h"
#include "cd/CDIn.h"
#include "cd/CDInTrackSource.h"
#include "cd/RippedFile.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/Dialogs.h"
#include "platform/OutputFile.h"
#include "runner/CDRipTask.h"
#include "runner/EncodedTags.h"
#include "runner/JobItems.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <thread>

namespace dw {

namespace {

using Clock = std::chrono::steady_clock;
using Outcome = TJobItemResult::Outcome;

const QString kExtracting = QStringLiteral("Extracting");
const QString kNormalizing = QStringLiteral("Normalizing");
const QString kEncoding = QStringLiteral("Encoding");

}  // namespace

TCDRipEngine::TCDRipEngine(TCDIn& cdIn, TCDRipSettings settings, TJobView& view, TMp3EncodeProcess& lame,
                           TWMAEncodeProcess& wma)
    : TCDRipEngine(std::make_unique<TCDInTrackSource>(cdIn), std::move(settings), view, lame, wma)
{
    cdIn_ = &cdIn;
}

TCDRipEngine::TCDRipEngine(std::unique_ptr<TTrackSource> source, TCDRipSettings settings, TJobView& view,
                           TMp3EncodeProcess& lame, TWMAEncodeProcess& wma)
    : settings_(std::move(settings)), view_(view), lame_(lame), wma_(wma),
      workers_(std::max(1, int(std::thread::hardware_concurrency()))), source_(std::move(source))
{
    if (settings_.ReplayGain)
        source_->AddTap(loudnessTap_);
    source_->OnProgress = [this](const TTrackReadProgress& p) {
        if (reading_ < 0)
            return;
        const std::unique_ptr<TProcessInfo> info =
            MakeProgressInfo(p.Percent, RoundedSeconds(Clock::now() - readStart_));
        progress(reading_, kExtracting, p.Percent, info->Elapsed, info->Estimated);
    };
    source_->OnEnd = [this](TTrackReadEnd end) { readEnded(std::move(end)); };
}

TCDRipEngine::~TCDRipEngine()
{
    // Every stage sees the token; the tasks' and the source's threads are
    // waited for as they go.
    cancel_.Cancel();
    tasks_.clear();
    source_.reset();
}

void TCDRipEngine::SetEncodeWorkers(int workers)
{
    if (!started_)
        workers_ = std::max(1, workers);
}

void TCDRipEngine::AddTap(TPcmTap& tap)
{
    if (!started_)
        source_->AddTap(tap);
}

QString TCDRipEngine::encodedPath(const TCDRipItem& item) const
{
    return item.WavFile.left(item.WavFile.size() - 4) + FormatExtension(settings_.OutputFormat);
}

void TCDRipEngine::Start(const QStringList& items)
{
    started_ = true;
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
    states_.resize(items_.size());
    // The component may have been left running; the tray stays locked while
    // the job lasts.
    if (cdIn_) {
        cdIn_->Reset();
        cdIn_->LockTray = true;
    }
    for (int w = 0; w < workers_; ++w) {
        TMp3EncodeProcess* lame = &lame_;
        TWMAEncodeProcess* wma = &wma_;
        if (w > 0) {
            lame = ownLame_.emplace_back(std::make_unique<TMp3EncodeProcess>()).get();
            wma = ownWma_.emplace_back(std::make_unique<TWMAEncodeProcess>()).get();
        }
        TCDRipTask::Events events;
        events.stage = [this](int index, const QString& word) { reach(index, word); };
        events.progress = [this](int index, int code, const QString& e, const QString& t) {
            progress(index, kEncoding, code, e, t);
        };
        events.estimate = [this](int index, int percent) { estimate(index, percent); };
        events.wavKept = [this](int, std::unique_ptr<TLoudnessMeter> meter) { album_.Add(std::move(meter)); };
        events.done = [this](int index, const TCDRipTaskEnd& end) { taskDone(index, end); };
        tasks_.push_back(std::make_unique<TCDRipTask>(settings_, cancel_, *lame, *wma, std::move(events)));
    }
    if (stopped_) {
        // Stopped before it began: nothing is read, nothing reported.
        for (size_t i = 0; i < items_.size(); ++i) {
            states_[i].phase = Phase::Ended;
            items_[i].Result.outcome = Outcome::Stopped;
            items_[i].Result.message = QStringLiteral("stopped");
        }
    }
    if (stopped_ || items_.empty()) {
        close();
        return;
    }
    pump();
}

void TCDRipEngine::schedule()
{
    if (scheduled_ || closed_)
        return;
    scheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            scheduled_ = false;
            pump();
        },
        Qt::QueuedConnection);
}

bool TCDRipEngine::readerMayStart() const
{
    if (reading_ >= 0 || next_ >= int(items_.size()) || stalled_)
        return false;
    // Never more than workers_ tracks ahead of the oldest item under way:
    // the ripped tracks waiting for a worker, and so the WAVs on disk, stay
    // bounded.
    return next_ - firstUnended_ <= (overlap_ ? workers_ : 0);
}

void TCDRipEngine::pump()
{
    if (closed_)
        return;
    if (stopped_) {
        maybeClose();
        return;
    }
    dispatch();
    if (readerMayStart())
        startRead(next_++);
    else
        maybeClose();
}

void TCDRipEngine::dispatch()
{
    for (int i = firstUnended_; i < int(items_.size()); ++i) {
        TItemState& s = states_[size_t(i)];
        if (s.phase != Phase::Waiting)
            continue;
        const auto idle = std::find_if(tasks_.begin(), tasks_.end(), [](const auto& t) { return !t->Busy(); });
        if (idle == tasks_.end())
            return;
        s.phase = Phase::Working;
        const TCDRipItem& item = items_[size_t(i)];
        (*idle)->Start(TCDRipTaskTrack{i, item.Track, item.Title, item.WavFile}, std::move(s.raw), std::move(s.meter),
                       s.note);
    }
}

void TCDRipEngine::startRead(int index)
{
    TItemState& state = states_[size_t(index)];
    TCDRipItem& item = items_[size_t(index)];
    state.phase = Phase::Reading;
    state.told = true;
    reading_ = index;
    // The view moves on to this item: the stages the items before it have
    // reached are shown first, so that it tells the items in order.
    for (int k = std::max(cursor_, 0); k < index; ++k)
        showReached(k);
    if (stopped_)
        return;  // the view stopped the job on an earlier item's stage
    cursor_ = index;
    state.reached << kExtracting;
    state.shown = 1;
    showStage(index, kExtracting);
    if (stopped_)
        return;  // the view stopped the job; nothing of this item has begun

    if (item.Track == 0) {
        finishItem(index, Outcome::Failed, ResourceText(res::ReadCDAudioError)
                                              + QStringLiteral(" (the job item does not begin with a track number)"));
        return;
    }
    // Files that may not be replaced are refused before anything is read.
    QString taken;
    if (OutputTaken(item.WavFile, settings_.Rip, taken)
        || (settings_.OutputFormat != TOutputFormat::Wav && OutputTaken(encodedPath(item), settings_.Rip, taken))) {
        readBox(taken);
        finishItem(index, Outcome::Failed, taken);
        return;
    }
    readStart_ = Clock::now();
    source_->Read(TTrackRead{item.Track, item.WavFile, settings_.Rip.EnableRipTime, settings_.Rip.RipTime}, cancel_);
}

void TCDRipEngine::readEnded(TTrackReadEnd end)
{
    const int index = reading_;
    if (index < 0 || closed_)
        return;
    TItemState& state = states_[size_t(index)];
    switch (end.outcome) {
    case TTrackReadEnd::Outcome::Stopped:
        finishItem(index, Outcome::Stopped);
        return;
    case TTrackReadEnd::Outcome::Failed:
        readBox(end.notice);
        if (end.stalled)
            stall();
        finishItem(index, Outcome::Failed, end.failure.Text());
        return;
    case TTrackReadEnd::Outcome::Ripped:
        break;
    }
    reading_ = -1;
    state.phase = Phase::Waiting;
    state.raw = std::move(end.wav);
    state.note.clear();
    if (settings_.ReplayGain) {
        state.meter = loudnessTap_.TakeMeter();
        if (!state.meter && !loudnessTap_.Failure().isEmpty())
            state.note = items_[size_t(index)].WavFile + QStringLiteral(": ") + loudnessTap_.Failure()
                         + QStringLiteral(" (the track's loudness was not measured)");
    }
    // Waiting for a worker is the first step of its task.
    if (settings_.Rip.IsNormalize)
        reach(index, kNormalizing);
    else if (FormatInfo(settings_.OutputFormat).encoder != TFormatEncoder::None)
        reach(index, kEncoding);
    schedule();
}

void TCDRipEngine::readBox(const QString& text)
{
    // Shown once the handler that found the failure has returned, never
    // inside it; the box belongs to the application, so it is shown even when
    // the job has ended and gone by then.
    if (readBoxes_ && !text.isEmpty())
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [text] {
                CurrentDialogs().messageBox(text, ProductCaption(), MessageIcon::Error, MessageButtons::Ok,
                                            Answer::Ok);
            },
            Qt::QueuedConnection);
}

void TCDRipEngine::stall()
{
    stalled_ = true;
    if (endOnStall_)
        QMetaObject::invokeMethod(this, [this] { Stop(); }, Qt::QueuedConnection);
}

void TCDRipEngine::taskDone(int index, const TCDRipTaskEnd& end)
{
    if (closed_)
        return;
    TCDRipItem& item = items_[size_t(index)];
    item.Result.outputs << end.outputs;
    item.Loudness = end.loudness;
    // Drive mode tells a failed encoding or tagging in a box, as its read
    // failures; the WMA process shows its own box for a missing encoder.
    if (end.outcome == Outcome::Failed && end.message != ResourceText(res::NoWmaEncoder))
        readBox(end.message);
    finishItem(index, end.outcome, end.message);
}

void TCDRipEngine::finishItem(int index, Outcome outcome, const QString& message)
{
    TItemState& state = states_[size_t(index)];
    if (state.phase == Phase::Ended)
        return;
    if (reading_ == index)
        reading_ = -1;
    state.phase = Phase::Ended;
    state.raw.reset();
    state.meter.reset();
    TCDRipItem& item = items_[size_t(index)];
    item.Result.outcome = outcome;
    item.Result.message = outcome == Outcome::Stopped ? QStringLiteral("stopped") : message;
    while (firstUnended_ < int(items_.size()) && states_[size_t(firstUnended_)].phase == Phase::Ended)
        ++firstUnended_;
    report();
    pumpCaptions();
    schedule();
}

void TCDRipEngine::report()
{
    while (reportNext_ < int(items_.size()) && states_[size_t(reportNext_)].phase == Phase::Ended && !albumRunning_) {
        const int k = reportNext_;
        const TCDRipItem& item = items_[size_t(k)];
        // The job's last item ends the album: its values go into every MP3,
        // Ogg Vorbis, FLAC and Opus file of the job before the item is
        // reported, so that a failure is told.
        if (k + 1 == int(items_.size()) && settings_.ReplayGain && !stopped_ && item.Result.outcome != Outcome::Stopped) {
            writeAlbum(k);
            return;
        }
        ++reportNext_;
        if (states_[size_t(k)].told)
            view_.ItemFinished(item.Result);
    }
}

void TCDRipEngine::writeAlbum(int last)
{
    albumRunning_ = true;
    std::vector<TAlbumFile> files;
    for (const TCDRipItem& item : items_)
        for (const QString& file : item.Result.outputs)
            if (CarriesLoudnessTags(file))
                files.push_back({file, item.Loudness});
    // The album's measurement waits for every track's and the files are
    // rewritten: on a thread of the engine's own.
    albumStep_.Run([this, files, last]() -> TBackgroundStep::Then {
        const QString problems = WriteAlbumTags(files, album_.Result());
        return [this, problems, last] {
            albumRunning_ = false;
            TCDRipItem& item = items_[size_t(last)];
            if (!problems.isEmpty()) {
                item.Result.outcome = Outcome::Failed;
                item.Result.message =
                    item.Result.message.isEmpty() ? problems : item.Result.message + QStringLiteral("; ") + problems;
            }
            reportNext_ = last + 1;
            view_.ItemFinished(item.Result);
            schedule();
        };
    });
}

void TCDRipEngine::Stop()
{
    if (closed_)
        return;
    const bool first = !stopped_;
    stopped_ = true;
    cancel_.Cancel();
    if (!first)
        return;
    for (const auto& task : tasks_)
        task->Stop();
    // A read that never began (the view stopped the job as it was shown)
    // ends here; one under way ends through the source.
    if (reading_ >= 0 && !source_->Reading())
        finishItem(reading_, Outcome::Stopped);
    for (size_t i = 0; i < items_.size(); ++i) {
        TItemState& s = states_[i];
        if (s.phase == Phase::Waiting) {
            // Ripped whole and waiting for a worker: the track stays when
            // nothing was left to do to it but encoding.
            if (!settings_.Rip.IsNormalize && s.raw && s.raw->Commit(settings_.Rip.Overwrite))
                items_[i].Result.outputs << items_[i].WavFile;
            finishItem(int(i), Outcome::Stopped);
        } else if (s.phase == Phase::NotBegun) {
            s.phase = Phase::Ended;
            items_[i].Result.outcome = Outcome::Stopped;
            items_[i].Result.message = QStringLiteral("stopped");
        }
    }
    while (firstUnended_ < int(items_.size()) && states_[size_t(firstUnended_)].phase == Phase::Ended)
        ++firstUnended_;
    report();
    maybeClose();
}

void TCDRipEngine::maybeClose()
{
    if (closed_ || !started_)
        return;
    if (reading_ >= 0 || albumRunning_)
        return;
    for (const auto& task : tasks_)
        if (task->Busy())
            return;
    for (const TItemState& s : states_)
        if (s.phase != Phase::Ended)
            return;
    report();
    if (reportNext_ < int(items_.size()) && !stopped_)
        return;
    close();
}

void TCDRipEngine::close()
{
    if (closed_)
        return;
    closed_ = true;
    view_.Closed();
}

// ---- what the view shows ----

void TCDRipEngine::reach(int index, const QString& word)
{
    TItemState& state = states_[size_t(index)];
    if (!state.reached.isEmpty() && state.reached.last() == word)
        return;
    state.reached << word;
    pumpCaptions();
}

void TCDRipEngine::pumpCaptions()
{
    // The item on view shows the stages it reaches once every item before
    // it has ended.
    if (cursor_ >= 0 && firstUnended_ >= cursor_)
        showReached(cursor_);
}

void TCDRipEngine::showReached(int index)
{
    TItemState& state = states_[size_t(index)];
    while (state.shown < state.reached.size() && !closed_)
        showStage(index, state.reached.at(state.shown++));
}

void TCDRipEngine::showStage(int index, const QString& word)
{
    gauge_ = 0;
    const TCDRipItem& item = items_[size_t(index)];
    view_.StageStarted(TJobStage{word, index + 1, int(items_.size()), item.Title});
    if (word == kExtracting) {
        const bool afterEncoding = index > 0 && settings_.OutputFormat != TOutputFormat::Wav;
        view_.Heading(QStringLiteral("Extracting..."));
        view_.StatusText(afterEncoding ? QStringLiteral("Extracting...") : QStringLiteral("Initializing..."), true);
        view_.ShowPercent(false);
        view_.Gauge(0);
    } else if (word == kEncoding) {
        view_.Heading(QStringLiteral("Encoding..."));
        view_.StatusText(QStringLiteral("Encoding..."), true);
        view_.Gauge(0);
        // An encoding that began before it came on view shows how far it got.
        const TItemState& state = states_[size_t(index)];
        if (state.code >= 0)
            showProgress(state.code, state.elapsed, state.estimated);
        if (state.estimate >= 0)
            estimate(index, state.estimate);
    }
}

bool TCDRipEngine::onView(int index, const QString& word) const
{
    if (index != cursor_ || closed_)
        return false;
    const TItemState& state = states_[size_t(index)];
    return state.shown > 0 && state.reached.at(state.shown - 1) == word;
}

void TCDRipEngine::progress(int index, const QString& word, int code, const QString& elapsed,
                            const QString& estimated)
{
    if (word == kEncoding) {
        TItemState& state = states_[size_t(index)];
        state.code = code;
        state.elapsed = elapsed;
        state.estimated = estimated;
    }
    if (stopped_ || !onView(index, word))
        return;
    showProgress(code, elapsed, estimated);
}

void TCDRipEngine::showProgress(int code, const QString& elapsed, const QString& estimated)
{
    view_.Times(elapsed, estimated);
    if (code > 0) {
        view_.StatusText({}, false);
        view_.ShowPercent(true);
        gauge_ = std::min(code, 100);
        view_.Gauge(gauge_);
    }
}

void TCDRipEngine::estimate(int index, int percent)
{
    states_[size_t(index)].estimate = percent;
    if (stopped_ || !onView(index, kEncoding))
        return;
    view_.ShowPercent(true);
    if (percent > gauge_) {
        gauge_ = percent;
        view_.Gauge(percent);
    }
}

}  // namespace dw
