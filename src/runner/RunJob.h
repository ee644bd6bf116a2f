#pragma once
// Jobs for front ends without a window of their own (the command line): one
// TJobRunner, or file conversions spread over several runners.
// The policy (what runs, what a stall or a stop means, which outputs clash)
// is here; the front end only draws the view and reads the summary.
//
// Main thread only. Each call starts its job and returns at once; the job
// is served by the caller's event loop, and its end comes through the
// callback: once, from the event loop, after the job has closed (never from
// inside one of the job's own handlers, never from inside the call).

#include "app/JobConfig.h"
#include "app/JobEvents.h"
#include "platform/CancelToken.h"
#include "runner/JobView.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace dw {

struct TJobRunOptions {
    // Cancelling stops the job as the Stop button does (from any thread;
    // the stop itself runs on the main thread). A token cancelled before the
    // call ends the job at once.
    TCancelToken cancel;
    // A stalled rip ends the job (nobody can press Stop).
    bool endOnStall = true;
};

struct TJobSummary {
    std::vector<TJobItemResult> items;  // one per item, in item order
    bool stopped = false;               // stopped on request
    bool stalled = false;               // a rip stalled and ended the job
    int count(TJobItemResult::Outcome outcome) const;
    // Whether every item was done.
    bool allDone() const { return count(TJobItemResult::Outcome::Done) == int(items.size()); }
};

// Runs one job of any kind with config through one TJobRunner drawn by
// view; for CD jobs (kind 1, drive mode) cdHandle is the drive library's
// handle, and config.Overwrite says whether a ripped track replaces an
// existing WAV or encoded file. view must outlive the job (until onEnd).
using TJobEnd = std::function<void(const TJobSummary&)>;
void RunJob(TJobKind kind, int cdHandle, const QStringList& items, const TJobConfig& config, TJobView& view,
            TJobEnd onEnd, const TJobRunOptions& options = {});

// File conversions (kinds 2, 3, 5, 6) with up to `jobs` items at once, each
// through a runner of its own with config and a view from makeView (called
// once per runner; each view lives until onEnd); captions and results number the items within the whole list. With
// jobs 1 one runner takes the items in order, as the window does. Items that
// would write the same output as an earlier item, or whose output is one of
// the inputs, fail without running.
using TJobViewFactory = std::function<std::unique_ptr<TJobView>()>;
void RunConversionJobs(TJobKind kind, const QStringList& files, int jobs, const TJobConfig& config,
                       TJobViewFactory makeView, TJobEnd onEnd, const TJobRunOptions& options = {});

}  // namespace dw
