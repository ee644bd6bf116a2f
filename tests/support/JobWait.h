#pragma once
// Waiting in a test for a job that reports its end through a callback: the
// job is started, the event loop served until the end has come (or a
// time-out passes), and the result handed back as the old blocking calls
// gave it.

#include "runner/Extract.h"
#include "runner/RunJob.h"
#include "support/TestSupport.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace dwtest {

// Starts a job through start, which is given the callback for the job's
// end, and serves the event loop until that callback has run. The test
// fails when the end does not come within timeout, when it comes inside
// start, or when it comes a second time before the events posted up to the
// first one have all been handled.
template <typename Result>
Result waitForEnd(const std::function<void(std::function<void(const Result&)>)>& start,
                  std::chrono::milliseconds timeout = std::chrono::minutes(3))
{
    // Shared with the callback, which may outlive a test that gave up.
    struct State {
        int calls = 0;
        std::optional<Result> result;
        bool drained = false;
    };
    const auto state = std::make_shared<State>();
    start([state](const Result& r) {
        if (++state->calls == 1)
            state->result = r;
    });
    EXPECT_EQ(state->calls, 0) << "the end came inside the call that started the job";
    if (!waitFor([&] { return state->calls > 0; }, timeout)) {
        ADD_FAILURE() << "the job's end did not come in time";
        return Result{};
    }
    // A second end, posted with or after the first, would come before this.
    QTimer::singleShot(0, [state] { state->drained = true; });
    EXPECT_TRUE(waitFor([&] { return state->drained; }, timeout));
    EXPECT_EQ(state->calls, 1) << "the job's end came more than once";
    return *state->result;
}

inline dw::TJobSummary runJob(dw::TJobKind kind, int cdHandle, const QStringList& items, const dw::TJobConfig& config,
                              dw::TJobView& view, const dw::TJobRunOptions& options = {})
{
    return waitForEnd<dw::TJobSummary>(
        [&](dw::TJobEnd onEnd) { dw::RunJob(kind, cdHandle, items, config, view, std::move(onEnd), options); });
}

inline dw::TJobSummary runConversionJobs(dw::TJobKind kind, const QStringList& files, int jobs,
                                         const dw::TJobConfig& config, dw::TJobViewFactory makeView,
                                         const dw::TJobRunOptions& options = {})
{
    return waitForEnd<dw::TJobSummary>([&](dw::TJobEnd onEnd) {
        dw::RunConversionJobs(kind, files, jobs, config, std::move(makeView), std::move(onEnd), options);
    });
}

inline dw::TExtractResult runExtract(dw::TExtract& extract, const dw::TJobConfig& config)
{
    return waitForEnd<dw::TExtractResult>(
        [&](dw::TExtract::TEnd onEnd) { extract.Start(config, std::move(onEnd)); });
}

}  // namespace dwtest
