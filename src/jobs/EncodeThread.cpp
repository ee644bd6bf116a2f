#include "jobs/EncodeThread.h"

#include "jobs/EncodeProcess.h"
#include "platform/MainThread.h"

#include <thread>

namespace dw {

void TEncodeThread::Launch(std::shared_ptr<EncodeSession> session)
{
    std::thread([s = std::move(session)]() mutable {
        TEncodeThread t(std::move(s));
        t.execute();
    }).detach();
}

bool TEncodeThread::pollPipe(ChildProcess::Pipe pipe)
{
    const int n = session_->child.available(pipe);
    if (n <= 0 || session_->terminate.load())
        return false;
    auto s = session_;
    const int which = pipe == ChildProcess::Pipe::StdOut ? 0 : 1;
    Synchronize([s, which, n] {
        if (s->owner)
            s->owner->readPipe(s, which, n);
    });
    return true;
}

void TEncodeThread::execute()
{
    try {
        loop();
    } catch (...) {
        // A failed step on the main thread ends this item's thread.
        session_->terminate.store(true);
    }
    // A child that is still running here was given up (killed or failed): end
    // it for good and reap it, so no zombie stays behind.
    if (!session_->child.ended()) {
        session_->child.kill();
        session_->child.waitForEnd(-1);
    }
    session_->threadDone.store(true);
}

void TEncodeThread::loop()
{
    for (;;) {
        bool idle = true;
        if (pollPipe(ChildProcess::Pipe::StdOut))
            idle = false;
        if (pollPipe(ChildProcess::Pipe::StdErr))
            idle = false;
        if (idle && !session_->terminate.load() && session_->child.waitForEnd(EncodePollMs)) {
            // Drain what the child left in the pipes, then finish on the main thread.
            while (!session_->terminate.load()) {
                const bool out = pollPipe(ChildProcess::Pipe::StdOut);
                const bool err = pollPipe(ChildProcess::Pipe::StdErr);
                if (!out && !err)
                    break;
            }
            if (!session_->terminate.load()) {
                auto s = session_;
                Synchronize([s] {
                    if (s->owner)
                        s->owner->finish(s);
                });
            }
            break;
        }
        if (session_->terminate.load() && idle)
            break;
    }
}

}  // namespace dw
