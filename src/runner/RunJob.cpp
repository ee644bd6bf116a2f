#include "runner/RunJob.h"

#include "app/Helpers.h"
#include "runner/JobItems.h"
#include "runner/JobRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <deque>

#include <unistd.h>

namespace dw {

namespace {

constexpr int kStopPollMs = 50;

// Serves the event loop until done() holds, stopping the runners through
// stop() once stopRequested answers true.
void serveUntil(const std::function<bool()>& done, const TJobRunOptions& options, const std::function<void()>& stop,
                QEventLoop& loop)
{
    QTimer poll;
    bool stopSent = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!stopSent && options.stopRequested && options.stopRequested()) {
            stopSent = true;
            stop();
        }
        if (done())
            loop.quit();
    });
    poll.start(kStopPollMs);
    if (!done())
        loop.exec();
}

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

TJobSummary RunJob(TJobKind kind, int cdHandle, const QStringList& items, const TJobConfig& config, TJobView& view,
                   const TJobRunOptions& options)
{
    TJobSummary summary;
    if (items.isEmpty())
        return summary;
    TJobRunner runner(kind, cdHandle, items, config, view);
    runner.SetEndOnStall(options.endOnStall);
    if (kind != jkRipTracks)
        runner.SetBufferTag(bufferTag(0));
    QEventLoop loop;
    runner.OnClosed = [&loop] { loop.quit(); };
    runner.Start();
    serveUntil([&] { return runner.IsClosed(); }, options, [&] { runner.Stop(); }, loop);
    summary.items = runner.Results();
    summary.stopped = runner.WasStopped() && !runner.IsStalled();
    summary.stalled = runner.IsStalled();
    return summary;
}

TJobSummary RunConversionJobs(TJobKind kind, const QStringList& files, int jobs, const TJobConfig& config,
                              const TJobViewFactory& makeView, const TJobRunOptions& options)
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
        return summary;

    struct Slot {
        std::unique_ptr<TJobView> view;
        std::unique_ptr<TJobRunner> runner;
    };
    std::vector<Slot> running;
    std::vector<Slot> ended;  // freed once the loop is left: a runner must not go inside its own handler
    QEventLoop loop;
    bool stopping = false;
    std::function<void()> startNext;

    const auto collect = [&](TJobRunner& runner) {
        for (const TJobItemResult& r : runner.Results())
            summary.items[std::size_t(r.index)] = r;
        summary.stalled = summary.stalled || runner.IsStalled();
    };
    const auto launch = [&](const QStringList& items, const std::vector<int>& numbers, int slot) {
        Slot s;
        s.view = makeView();
        s.runner = std::make_unique<TJobRunner>(kind, 0, items, config, *s.view);
        s.runner->SetNumbering(numbers, n);
        s.runner->SetBufferTag(bufferTag(slot));
        TJobRunner* raw = s.runner.get();
        raw->OnClosed = [&, raw] {
            collect(*raw);
            QTimer::singleShot(0, &loop, [&] { startNext(); });
        };
        running.push_back(std::move(s));
        raw->Start();
    };

    if (jobs <= 1) {
        // One runner for the whole list, as the window runs it.
        QStringList items;
        std::vector<int> numbers;
        for (int i : pending) {
            items << files[i];
            numbers.push_back(i + 1);
        }
        pending.clear();
        startNext = [] {};
        launch(items, numbers, 0);
    } else {
        startNext = [&] {
            // Move closed runners out of the running set, then fill free places.
            for (auto it = running.begin(); it != running.end();) {
                if (it->runner->IsClosed()) {
                    ended.push_back(std::move(*it));
                    it = running.erase(it);
                } else {
                    ++it;
                }
            }
            while (!stopping && int(running.size()) < jobs && !pending.empty()) {
                const int i = pending.front();
                pending.pop_front();
                launch(QStringList{files[i]}, std::vector<int>{i + 1}, i);
            }
        };
        startNext();
    }

    const auto allClosed = [&] {
        if (!pending.empty() && !stopping)
            return false;
        for (const Slot& s : running)
            if (!s.runner->IsClosed())
                return false;
        return true;
    };
    serveUntil(allClosed, options,
               [&] {
                   stopping = true;
                   for (int i : pending) {
                       TJobItemResult& r = summary.items[std::size_t(i)];
                       r.outcome = TJobItemResult::Outcome::Stopped;
                       r.message = QStringLiteral("the job was stopped before this item was done");
                   }
                   pending.clear();
                   for (Slot& s : running)
                       s.runner->Stop();
               },
               loop);
    summary.stopped = stopping;
    return summary;
}

}  // namespace dw
