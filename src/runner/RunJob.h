#pragma once
// Jobs run to their end for front ends without a window of their own (the
// command line): one TJobRunner serving the event loop until it closes,
// and file conversions spread over several runners.
// The policy (what runs, what a stall or a stop means, which outputs clash)
// is here; the front end only draws the view and reads the summary.
//
// Main thread only; each call returns when its job has ended.

#include "app/JobConfig.h"
#include "app/JobEvents.h"
#include "runner/JobView.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace dw {

struct TJobRunOptions {
    // Polled every 50 ms; true stops the job as the Stop button does.
    std::function<bool()> stopRequested;
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
// existing WAV or encoded file.
TJobSummary RunJob(TJobKind kind, int cdHandle, const QStringList& items, const TJobConfig& config, TJobView& view,
                   const TJobRunOptions& options = {});

// File conversions (kinds 2, 3, 5, 6) with up to `jobs` items at once, each
// through a runner of its own with config and a view from makeView (called
// once per runner); captions and results number the items within the whole list. With
// jobs 1 one runner takes the items in order, as the window does. Items that
// would write the same output as an earlier item, or whose output is one of
// the inputs, fail without running.
using TJobViewFactory = std::function<std::unique_ptr<TJobView>()>;
TJobSummary RunConversionJobs(TJobKind kind, const QStringList& files, int jobs, const TJobConfig& config,
                              const TJobViewFactory& makeView, const TJobRunOptions& options = {});

}  // namespace dw
