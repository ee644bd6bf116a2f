#include "runner/RunJob.h"

#include "app/Helpers.h"
#include "runner/JobItems.h"
#include "runner/JobRunner.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QObject>
#include <QTimer>

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

// RunJob's job: one runner.
class TSingleJob : public TRunningJob {
public:
    TSingleJob(TJobKind kind, int cdHandle, const QStringList& items, const TJobConfig& config, TJobView& view,
               TJobEnd onEnd, const TJobRunOptions& options)
        : TRunningJob(std::move(onEnd)), runner_(kind, cdHandle, items, config, view), options_(options)
    {
        runner_.SetEndOnStall(options.endOnStall);
        if (kind != jkRipTracks)
            runner_.SetBufferTag(bufferTag(0));
        runner_.OnClosed = [this] {
            summary_.items = runner_.Results();
            summary_.stopped = runner_.WasStopped() && !runner_.IsStalled();
            summary_.stalled = runner_.IsStalled();
            end();
        };
    }

private:
    void begin() override
    {
        runner_.Start();
        watch(options_.cancel);
    }
    void stop() override { runner_.Stop(); }

    TJobRunner runner_;
    const TJobRunOptions options_;
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

}  // namespace

void RunJob(TJobKind kind, int cdHandle, const QStringList& items, const TJobConfig& config, TJobView& view,
            TJobEnd onEnd, const TJobRunOptions& options)
{
    if (items.isEmpty())
        TRunningJob::Launch(std::make_shared<TEmptyJob>(std::move(onEnd)));
    else
        TRunningJob::Launch(
            std::make_shared<TSingleJob>(kind, cdHandle, items, config, view, std::move(onEnd), options));
}

namespace {

// RunConversionJobs' job: up to `jobs` runners side by side, or one runner
// for the whole list.
class TConversionJob : public TRunningJob {
public:
    TConversionJob(TJobKind kind, const QStringList& files, int jobs, const TJobConfig& config,
                   TJobViewFactory makeView, TJobEnd onEnd, const TJobRunOptions& options, TJobSummary summary,
                   std::deque<int> pending)
        : TRunningJob(std::move(onEnd)), kind_(kind), files_(files), jobs_(jobs), config_(config),
          makeView_(std::move(makeView)), options_(options), pending_(std::move(pending))
    {
        summary_ = std::move(summary);
    }

private:
    struct Slot {
        std::unique_ptr<TJobView> view;
        std::unique_ptr<TJobRunner> runner;
    };

    void begin() override
    {
        if (options_.cancel.IsCancelled()) {
            // Stopped before the start: no runner is made, so no item is
            // touched (runners started and stopped at once could still race
            // a fast encoder to its end).
            stop();
            return;
        }
        if (jobs_ <= 1) {
            // One runner for the whole list, as the window runs it.
            QStringList items;
            std::vector<int> numbers;
            for (int i : pending_) {
                items << files_[i];
                numbers.push_back(i + 1);
            }
            pending_.clear();
            launch(items, numbers, 0);
        } else {
            startNext();
        }
        watch(options_.cancel);
    }

    void launch(const QStringList& items, const std::vector<int>& numbers, int slot)
    {
        Slot s;
        s.view = makeView_();
        s.runner = std::make_unique<TJobRunner>(kind_, 0, items, config_, *s.view);
        s.runner->SetNumbering(numbers, int(files_.size()));
        s.runner->SetBufferTag(bufferTag(slot));
        TJobRunner* raw = s.runner.get();
        raw->OnClosed = [this, raw] {
            for (const TJobItemResult& r : raw->Results())
                summary_.items[std::size_t(r.index)] = r;
            summary_.stalled = summary_.stalled || raw->IsStalled();
            // Outside the runner's handler: it is moved aside there.
            QTimer::singleShot(0, this, [this] { startNext(); });
        };
        running_.push_back(std::move(s));
        raw->Start();
    }

    // Moves closed runners aside, fills free places, and ends the job once
    // nothing runs and nothing waits.
    void startNext()
    {
        for (auto it = running_.begin(); it != running_.end();) {
            if (it->runner->IsClosed()) {
                ended_.push_back(std::move(*it));
                it = running_.erase(it);
            } else {
                ++it;
            }
        }
        while (!stopping_ && int(running_.size()) < jobs_ && !pending_.empty()) {
            const int i = pending_.front();
            pending_.pop_front();
            launch(QStringList{files_[i]}, std::vector<int>{i + 1}, i);
        }
        if (running_.empty() && (pending_.empty() || stopping_)) {
            summary_.stopped = stopping_;
            end();
        }
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
        for (Slot& s : running_)
            s.runner->Stop();
        // Runners that had closed already are collected here.
        QTimer::singleShot(0, this, [this] { startNext(); });
    }

    const TJobKind kind_;
    const QStringList files_;
    const int jobs_;
    const TJobConfig config_;
    const TJobViewFactory makeView_;
    const TJobRunOptions options_;
    std::deque<int> pending_;
    std::vector<Slot> running_;
    std::vector<Slot> ended_;  // kept until the job goes: a runner must not go inside its own handler
    bool stopping_ = false;
};

}  // namespace

void RunConversionJobs(TJobKind kind, const QStringList& files, int jobs, const TJobConfig& config,
                       TJobViewFactory makeView, TJobEnd onEnd, const TJobRunOptions& options)
{
    TJobSummary summary;
    const int n = int(files.size());
    summary.items.resize(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        summary.items[std::size_t(i)].index = i;
        summary.items[std::size_t(i)].name = files[i];
    }
    // Items that would write an earlier item's output fail up front: run
    // side by side they would race for one file, one after another the
    // second would replace the first.
    std::vector<bool> runs(std::size_t(n), true);
    const QString out = WithTrailingBackslash(config.Options.OutputFolder);
    const std::vector<TOutputClash> clashes = FindOutputClashes(kind, out, files);
    if (!clashes.empty()) {
        const std::unique_ptr<TJobView> view = makeView();
        for (const TOutputClash& c : clashes) {
            runs[std::size_t(c.index)] = false;
            TJobItemResult& r = summary.items[std::size_t(c.index)];
            r.outcome = TJobItemResult::Outcome::Failed;
            r.message = c.output + QStringLiteral(": is also the output of ") + files[c.earlier];
            view->ItemFinished(r);
        }
    }
    // An output that is an input of this run (under any name) is refused
    // too: another item may be reading it, or read it later.
    std::unique_ptr<TJobView> refusals;
    for (int i = 0; i < n; ++i) {
        if (!runs[std::size_t(i)])
            continue;
        const QString why = OutputIsInput(kind, out, files, i);
        if (why.isEmpty())
            continue;
        runs[std::size_t(i)] = false;
        TJobItemResult& r = summary.items[std::size_t(i)];
        r.outcome = TJobItemResult::Outcome::Failed;
        r.message = why;
        if (!refusals)
            refusals = makeView();
        refusals->ItemFinished(r);
    }
    std::deque<int> pending;
    for (int i = 0; i < n; ++i)
        if (runs[std::size_t(i)])
            pending.push_back(i);
    if (pending.empty())
        TRunningJob::Launch(std::make_shared<TEmptyJob>(std::move(onEnd), std::move(summary)));
    else
        TRunningJob::Launch(std::make_shared<TConversionJob>(kind, files, jobs, config, std::move(makeView),
                                                             std::move(onEnd), options, std::move(summary),
                                                             std::move(pending)));
}

}  // namespace dw
