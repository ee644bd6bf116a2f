#pragma once
// The reading thread of an encoder process (one per item) and the state it
// shares with the wrapper. The thread holds the session, not the wrapper: the
// wrapper may start its next item, or be destroyed, while an old thread is
// still winding down, and the old thread then touches only its own session.

#include "jobs/ChildProcess.h"
#include "jobs/EncoderOutput.h"

#include <atomic>
#include <memory>

namespace dw {

class TEncodeProcess;

struct EncodeSession {
    ChildProcess child;
    std::atomic<bool> terminate{false};
    // Set by the reading thread as its last step.
    std::atomic<bool> threadDone{false};
    // Main thread only: the wrapper this session serves, or null once it was
    // detached (finished, failed or killed). Every synchronised step checks it.
    TEncodeProcess* owner = nullptr;
    LineSplitter outLines, errLines;
    // Main thread only: the last line the child printed, for a failure report.
    QString lastLine;
};

// The polling loop: while the child runs, hands waiting output to the main
// thread, otherwise waits up to 100 ms for the child to end; once it has
// ended and its output is drained, runs the wrapper's finish on the main
// thread. Frees itself (a detached thread) when it ends; a child still
// running then is killed and reaped.
class TEncodeThread {
public:
    static void Launch(std::shared_ptr<EncodeSession> session);

private:
    explicit TEncodeThread(std::shared_ptr<EncodeSession> session) : session_(std::move(session)) {}
    void execute();
    void loop();
    // Hands waiting bytes of one pipe to the main thread; true when there were any.
    bool pollPipe(ChildProcess::Pipe pipe);

    std::shared_ptr<EncodeSession> session_;
};

// The polling period while the child is quiet.
inline constexpr int EncodePollMs = 100;

}  // namespace dw
