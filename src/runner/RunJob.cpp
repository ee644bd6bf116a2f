#include "runner/RunJob.h"

#include "app/Helpers.h"
#include "runner/JobItems.h"
#include "cd/DriveTrackSource.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "runner/CDRipEngine.h"
#include "runner/ConversionTask.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <optional>

#include <unistd.h>

namespace dw {

namespace {

// One job under way. It holds itself (and so what the job needs) until its
// end has been delivered and then goes; the caller keeps nothing.
class TRunningJob : public QObject {
public:
    explicit TRunningJob(TJobEnd onEnd) : onEnd_(std::move(onEnd)) {}

    // Starts job, which from now on holds itself.
    static void Launch(const std::shared_ptr<TRunningJob>& job)
    {
        job->self_ = job;
        job->begin();
    }

protected:
    virtual void begin() = 0;

    // Stops the job once token is cancelled. The cancellation may come from
    // any thread; the stop is posted to this object's (the main) thread. A
    // token cancelled already stops the job here and now.
    void watch(const TCancelToken& token)
    {
        cancel_.emplace(token, [this] { QMetaObject::invokeMethod(this, [this] { requestStop(); }, Qt::QueuedConnection); });
        if (token.IsCancelled())
            requestStop();
    }

    // The job's end with summary_: posted, so the callback runs from the
    // event loop and never inside a handler of the job; only once.
    void end()
    {
        if (ended_)
            return;
        ended_ = true;
        // The application is the context: this object goes before the
        // callback runs, so whatever its runners leave behind is cleaned up
        // before the caller reads the summary.
        std::shared_ptr<TRunningJob> self = std::move(self_);
        QTimer::singleShot(0, QCoreApplication::instance(), [self]() mutable {
            const TJobSummary summary = std::move(self->summary_);
            const TJobEnd onEnd = std::move(self->onEnd_);
            self.reset();
            if (onEnd)
                onEnd(summary);
        });
    }

    virtual void stop() = 0;

    TJobSummary summary_;

private:
    void requestStop()
    {
        if (stopSent_ || ended_)
            return;
        stopSent_ = true;
        stop();
    }

    TJobEnd onEnd_;
    std::shared_ptr<TRunningJob> self_;  // until the end is posted
    bool stopSent_ = false;
    bool ended_ = false;
    std::optional<TCancelCallback> cancel_;
};

// A tag for this process's resampling buffers, so that runners side by side
// (in this process or another) never write the same buffer.
QString bufferTag(int slot) { return QStringLiteral(".%1-%2").arg(::getpid()).arg(slot); }

}  // namespace

int TJobSummary::count(TJobItemResult::Outcome outcome) const
{
    int n = 0;
    for (const TJobItemResult& r : items)
        n += r.outcome == outcome ? 1 : 0;
    return n;
}

namespace {

// A CD job in drive mode: the rip engine reading through the drive library.
class TCDJob : public TRunningJob {
public:
    TCDJob(int cdHandle, const QStringList& items, const TJobConfig& config, TJobView& view, TJobEnd onEnd,
           const TJobRunOptions& options)
        : TRunningJob(std::move(onEnd)), items_(items), options_(options),
          relay_(view, [this] { closed(); }),
          lame_(options.lame ? options.lame : (ownLame_ = std::make_unique<TMp3EncodeProcess>()).get()),
          wma_(options.wma ? options.wma : (ownWma_ = std::make_unique<TWMAEncodeProcess>()).get())
    {
        TCDRipSettings settings = TCDRipSettings::FromConfig(config);
        settings.Id3v1 = config.Options.Use;
        engine_ = std::make_unique<TCDRipEngine>(std::make_unique<TDriveTrackSource>(cdHandle), std::move(settings),
                                                 relay_, *lame_, *wma_);
        engine_->SetDriveMode(options.endOnStall);
        engine_->SetOverlap(options.overlap);
        if (!options.overlap)
            engine_->SetEncodeWorkers(1);
    }

private:
    void begin() override
    {
        engine_->Start(items_);
        watch(options_.cancel);
    }
    void stop() override { engine_->Stop(); }
    void closed()
    {
        for (const TCDRipItem& item : engine_->Items())
            summary_.items.push_back(item.Result);
        summary_.stopped = engine_->WasStopped() && !engine_->IsStalled();
        summary_.stalled = engine_->IsStalled();
        end();
    }

    const QStringList items_;
    const TJobRunOptions options_;
    TJobViewRelay relay_;
    std::unique_ptr<TMp3EncodeProcess> ownLame_;
    std::unique_ptr<TWMAEncodeProcess> ownWma_;
    TMp3EncodeProcess* lame_;
    TWMAEncodeProcess* wma_;
    std::unique_ptr<TCDRipEngine> engine_;
};

// A job with nothing (left) to run: it ends at once with summary.
class TEmptyJob : public TRunningJob {
public:
    explicit TEmptyJob(TJobEnd onEnd, TJobSummary summary = {}) : TRunningJob(std::move(onEnd))
    {
        summary_ = std::move(summary);
    }

private:
    void begin() override { end(); }
    void stop() override {}
};

// A conversion job: its files carried by conversion tasks, up to `jobs` side
// by side, each place with a view and encoder objects of its own; with one
// place the files run in order through one view, as the window shows them.
class TConversionJob : public TRunningJob {
public:
    TConversionJob(TJobKind kind, const QStringList& files, int jobs, const TJobConfig& config,
                   TJobViewFactory makeView, TJobEnd onEnd, const TJobRunOptions& options, TJobSummary summary,
                   std::deque<int> pending, std::vector<QString> refusals)
        : TRunningJob(std::move(onEnd)), kind_(kind), files_(files), config_(config), makeView_(std::move(makeView)),
          options_(options), pending_(std::move(pending)), refusals_(std::move(refusals))
    {
        summary_ = std::move(summary);
        places_.resize(std::size_t(std::max(1, std::min<int>(jobs, int(pending_.size())))));
    }

private:
    struct Place {
        std::unique_ptr<TJobView> view;
        std::unique_ptr<TMp3EncodeProcess> ownLame;
        std::unique_ptr<TWMAEncodeProcess> ownWma;
        TMp3EncodeProcess* lame = nullptr;
        TWMAEncodeProcess* wma = nullptr;
        std::unique_ptr<TConversionTask> task;
        bool shown = false;  // the view has shown an item
    };

    void begin() override
    {
        for (std::size_t i = 0; i < places_.size(); ++i) {
            Place& p = places_[i];
            p.view = makeView_();
            const bool programs = i == 0 && options_.lame && options_.wma;
            if (!programs) {
                p.ownLame = std::make_unique<TMp3EncodeProcess>();
                p.ownWma = std::make_unique<TWMAEncodeProcess>();
            }
            p.lame = programs ? options_.lame : p.ownLame.get();
            p.wma = programs ? options_.wma : p.ownWma.get();
        }
        if (options_.cancel.IsCancelled()) {
            // Stopped before the start: no item is touched.
            stop();
            return;
        }
        begun_ = true;
        for (std::size_t i = 0; i < places_.size(); ++i)
            startNext(i);
        watch(options_.cancel);
    }

    void startNext(std::size_t place)
    {
        Place& p = places_[place];
        // The task that ended goes now, outside its own handlers.
        p.task.reset();
        if (stopping_ || pending_.empty()) {
            p.view->Closed();
            if (++closedPlaces_ == places_.size()) {
                summary_.stopped = stopping_;
                end();
            }
            return;
        }
        const int i = pending_.front();
        pending_.pop_front();
        if (!p.shown) {
            p.view->Times({}, {});
            p.view->ShowPercent(false);
        }
        TConversionItem item;
        item.index = i;
        item.count = int(files_.size());
        item.input = files_[i];
        item.first = !p.shown;
        item.refusal = refusals_[std::size_t(i)];
        p.shown = true;
        p.task = std::make_unique<TConversionTask>(kind_, config_, *p.view, *p.lame, *p.wma, bufferTag(int(place)));
        p.task->Start(item, [this, place](const TJobItemResult& r) {
            summary_.items[std::size_t(r.index)] = r;
            startNext(place);
        });
    }

    void stop() override
    {
        stopping_ = true;
        for (int i : pending_) {
            TJobItemResult& r = summary_.items[std::size_t(i)];
            r.outcome = TJobItemResult::Outcome::Stopped;
            r.message = QStringLiteral("the job was stopped before this item was done");
        }
        pending_.clear();
        if (!begun_) {
            // Nothing was started: every place closes now.
            for (std::size_t i = 0; i < places_.size(); ++i)
                startNext(i);
            return;
        }
        // Each task's end (posted) closes its place.
        for (Place& p : places_)
            if (p.task)
                p.task->Stop();
    }

    const TJobKind kind_;
    const QStringList files_;
    const TJobConfig config_;
    const TJobViewFactory makeView_;
    const TJobRunOptions options_;
    std::deque<int> pending_;
    const std::vector<QString> refusals_;  // per item: why it fails without running
    std::vector<Place> places_;
    std::size_t closedPlaces_ = 0;
    bool stopping_ = false;
    bool begun_ = false;
};

// The refusals of a conversion known before it starts: items whose output
// is one of the job's inputs under any name (it would be replaced before or
// while it is read), and items that would write an earlier item's output
// (side by side they would race for one file, one after another the second
// would replace the first).
std::vector<QString> conversionRefusals(TJobKind kind, const QString& out, const QStringList& files)
{
    std::vector<QString> refusals(std::size_t(files.size()));
    for (int i = 0; i < int(files.size()); ++i)
        refusals[std::size_t(i)] = OutputIsInput(kind, out, files, i);
    for (const TOutputClash& c : FindOutputClashes(kind, out, files))
        if (refusals[std::size_t(c.index)].isEmpty())
            refusals[std::size_t(c.index)] = c.output + QStringLiteral(": is also the output of ") + files[c.earlier];
    return refusals;
}

void launchConversion(TJobKind kind, const QStringList& files, int jobs, const TJobConfig& config,
                      TJobViewFactory makeView, TJobEnd onEnd, const TJobRunOptions& options)
{
    TJobSummary summary;
    const int n = int(files.size());
    summary.items.resize(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        summary.items[std::size_t(i)].index = i;
        summary.items[std::size_t(i)].name = files[i];
    }
    std::deque<int> pending;
    for (int i = 0; i < n; ++i)
        pending.push_back(i);
    if (pending.empty()) {
        TRunningJob::Launch(std::make_shared<TEmptyJob>(std::move(onEnd), std::move(summary)));
        return;
    }
    std::vector<QString> refusals = conversionRefusals(kind, WithTrailingBackslash(config.Options.OutputFolder), files);
    TRunningJob::Launch(std::make_shared<TConversionJob>(kind, files, jobs, config, std::move(makeView),
                                                         std::move(onEnd), options, std::move(summary),
                                                         std::move(pending), std::move(refusals)));
}

}  // namespace

void RunJob(TJobKind kind, int cdHandle, const QStringList& items, const TJobConfig& config, TJobView& view,
            TJobEnd onEnd, const TJobRunOptions& options)
{
    if (items.isEmpty())
        TRunningJob::Launch(std::make_shared<TEmptyJob>(std::move(onEnd)));
    else if (kind == jkRipTracks)
        TRunningJob::Launch(std::make_shared<TCDJob>(cdHandle, items, config, view, std::move(onEnd), options));
    else
        launchConversion(kind, items, 1, config, [&view] { return std::make_unique<TJobViewRelay>(view, nullptr); },
                         std::move(onEnd), options);
}

void RunConversionJobs(TJobKind kind, const QStringList& files, int jobs, const TJobConfig& config,
                       TJobViewFactory makeView, TJobEnd onEnd, const TJobRunOptions& options)
{
    launchConversion(kind, files, jobs, config, std::move(makeView), std::move(onEnd), options);
}

}  // namespace dw
