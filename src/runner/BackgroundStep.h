#pragma once
// TBackgroundStep: runs one blocking step of a job (normalising a file,
// writing tags, putting a file in place) on a thread of its own, so that the
// main thread never waits for it; what the step returns is run on the main
// thread afterwards, from the event loop.
//
//   step_.Run(this, [=] { ...blocking work...; return [=] { ...main thread... }; });
//
// The thread is joined only once it has handed its result over (so the join
// does not wait), or by the destructor: the owner stops the work first (a
// cancel token the work polls) and the destructor then waits for it.
//
// Threads: Run and the destructor on the main thread.

#include <QObject>

#include <functional>
#include <memory>
#include <thread>

namespace dw {

class TBackgroundStep {
public:
    using Then = std::function<void()>;
    TBackgroundStep();
    ~TBackgroundStep();
    TBackgroundStep(const TBackgroundStep&) = delete;
    TBackgroundStep& operator=(const TBackgroundStep&) = delete;

    // Runs work on a new thread; the function it returns runs on the main
    // thread later (unless this object is gone by then). One step at a time.
    void Run(std::function<Then()> work);
    bool Running() const { return thread_.joinable(); }

private:
    std::unique_ptr<QObject> context_;  // the queued results go with it
    std::thread thread_;
};

}  // namespace dw
