#pragma once
// The reading thread of an encoder process (one per item) and the state it
// shares with the wrapper. The thread holds the session, not the wrapper: the
// wrapper may start its next item, or be destroyed, while an old thread is
// still winding down, and the old thread then touches only its own session.
//
// The thread never waits for the main thread: it reads what the child prints
// and posts it, in order, to the main thread's event loop, where the wrapper
// (when the session is still its own) parses it; once the child has ended
// and its output is drained it posts the finish. Everything it waits for is a
// descriptor: the pipes, the child's process descriptor and a wake-up
// descriptor the wrapper signals when it gives the item up.

#include "jobs/ChildProcess.h"
#include "jobs/EncoderOutput.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <memory>

namespace dw {

class TEncodeProcess;

struct EncodeSession {
    EncodeSession();

    ChildProcess child;
    // Set by the main thread when the item is given up (killed, failed or
    // finished); the thread then ends the child: SIGTERM was sent already,
    // SIGKILL follows when it has not ended StopGraceMs later.
    std::atomic<bool> terminate{false};
    // The temporary file the child writes; removed by the thread once the
    // child is gone when discard is set (the child may have created it
    // anew after the wrapper removed it).
    QString tempPath;
    std::atomic<bool> discard{false};
    // Set by the reading thread as its last step.
    std::atomic<bool> threadDone{false};
    // Main thread only: the wrapper this session serves, or null once it was
    // detached (finished, failed or killed). Every posted step checks it.
    TEncodeProcess* owner = nullptr;
    LineSplitter outLines, errLines;
    // Main thread only: the last line the child printed, for a failure report.
    QString lastLine;

    // Main thread: marks the session given up and wakes its thread.
    void giveUp();
    int wakeFd() const { return wake_.get(); }

private:
    UniqueFd wake_;  // an eventfd
};

class TEncodeThread {
public:
    // Starts the detached thread; it frees itself when it ends, a child
    // still running then is killed and reaped. Raises std::system_error when
    // no thread can be made.
    static void Launch(std::shared_ptr<EncodeSession> session);

private:
    explicit TEncodeThread(std::shared_ptr<EncodeSession> session) : session_(std::move(session)) {}
    void execute();
    void loop();
    // Reads what waits in one pipe and posts it; false once the pipe is at
    // its end (or failed, which is posted too).
    bool drain(ChildProcess::Pipe pipe);
    // After terminate: waits for the child's end, sending SIGKILL at the end
    // of the grace time.
    void endChild();

    std::shared_ptr<EncodeSession> session_;
};

// For a program about to end: waits up to timeout until every reading thread
// has ended (its child gone, a given-up item's files removed), so that no
// child outlives the program. True when none is left. Blocks: a command
// line calls it on its way out, never a window's thread.
bool WaitForEncoderThreads(std::chrono::milliseconds timeout);

// How long a child asked to end (SIGTERM) may take to remove its own files
// before it is killed.
inline constexpr int StopGraceMs = 1000;
// Without process descriptors (old kernels) the thread looks at the child
// this often.
inline constexpr int EncodePollMs = 100;

}  // namespace dw
