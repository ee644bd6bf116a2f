#pragma once
// Jobs as front ends start them: a drive-mode CD job on the rip engine, or
// file conversions carried by conversion tasks, one after another or side by
// side. The policy (what runs, what a stall or a stop means, which outputs
// clash) is here; the front end only draws the view and reads the summary.
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

class TMp3EncodeProcess;
class TWMAEncodeProcess;

struct TJobRunOptions {
    // Cancelling stops the job as the Stop button does (from any thread;
    // the stop itself runs on the main thread). A token cancelled before the
    // call ends the job at once.
    TCancelToken cancel;
    // A stalled rip ends the job (nobody can press Stop).
    bool endOnStall = true;
    // CD jobs: read the next track while earlier ones are encoded (off: each
    // track is read, encoded and tagged before the next one is read).
    bool overlap = true;
    // The program's own encoder objects (the window's), used by the first
    // place of a job; without them the job makes its own.
    TMp3EncodeProcess* lame = nullptr;
    TWMAEncodeProcess* wma = nullptr;
};

struct TJobSummary {
    std::vector<TJobItemResult> items;  // one per item, in item order
    bool stopped = false;               // stopped on request
    bool stalled = false;               // a rip stalled and ended the job
    int count(TJobItemResult::Outcome outcome) const;
    // Whether every item was done.
    bool allDone() const { return count(TJobItemResult::Outcome::Done) == int(items.size()); }
};

// Runs one job of any kind with config, drawn by view: a CD job (kind 1,
// drive mode; cdHandle is the drive library's handle, config.Overwrite says
// whether a ripped track replaces an existing WAV or encoded file), or the
// files of a conversion in order. view must outlive the job (until onEnd);
// its Closed() comes once the last item has ended.
using TJobEnd = std::function<void(const TJobSummary&)>;
void RunJob(TJobKind kind, int cdHandle, const QStringList& items, const TJobConfig& config, TJobView& view,
            TJobEnd onEnd, const TJobRunOptions& options = {});

// File conversions (kinds 2 to 8) with up to `jobs` items at once, each place
// with config, a view from makeView (called once per place; each view lives
// until onEnd) and encoder objects of its own; captions and results number
// the items within the whole list. With jobs 1 the items run in order, as the
// window runs them. Items that would write the same output as an earlier
// item, or whose output is one of the inputs, fail without running. An
// existing output is replaced only as config says (Overwrite,
// ReplaceOutputs).
using TJobViewFactory = std::function<std::unique_ptr<TJobView>()>;
void RunConversionJobs(TJobKind kind, const QStringList& files, int jobs, const TJobConfig& config,
                       TJobViewFactory makeView, TJobEnd onEnd, const TJobRunOptions& options = {});

}  // namespace dw
