#include "jobs/EncodeThread.h"

#include "jobs/EncodeProcess.h"
#include "platform/MainThread.h"
#include "platform/NativePath.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <stdexcept>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace dw {

namespace {

// A reading thread may outlive the application object (a program that ends
// while a given-up child is still being ended): posting is done under this
// lock, and the application's tear-down marks it gone first.
std::mutex g_postLock;
bool g_appGone = false;  // guarded by g_postLock

void markAppGone()
{
    std::lock_guard<std::mutex> lock(g_postLock);
    g_appGone = true;
}

// Main thread: makes the application's tear-down stop the posts.
void guardPosts()
{
    static QCoreApplication* guarded = nullptr;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || app == guarded)
        return;
    guarded = app;
    {
        std::lock_guard<std::mutex> lock(g_postLock);
        g_appGone = false;
    }
    qAddPostRoutine(markAppGone);
}

// Runs fn on the main thread later, in the order posted; the thread does not
// wait for it. Without an application object (no event loop to post to) it
// falls back to a blocking hand-over; once the application is going away,
// nothing is posted.
void postToMain(std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> lock(g_postLock);
        if (g_appGone)
            return;
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
            return;
        }
    }
    Synchronize(fn);
}

int pollRetrying(pollfd* fds, nfds_t count, int timeoutMs)
{
    int r;
    do {
        r = ::poll(fds, count, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r;
}

// Reading threads still running, for WaitForEncoderThreads.
std::mutex g_threadsLock;
std::condition_variable g_threadsEnded;
int g_threads = 0;  // guarded by g_threadsLock

void countThread(int delta)
{
    {
        std::lock_guard<std::mutex> lock(g_threadsLock);
        g_threads += delta;
    }
    g_threadsEnded.notify_all();
}

}  // namespace

bool WaitForEncoderThreads(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(g_threadsLock);
    return g_threadsEnded.wait_for(lock, timeout, [] { return g_threads == 0; });
}

EncodeSession::EncodeSession() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void EncodeSession::giveUp()
{
    terminate.store(true);
    if (wake_) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
    }
}

void TEncodeThread::Launch(std::shared_ptr<EncodeSession> session)
{
    guardPosts();
    countThread(1);
    try {
        std::thread([s = std::move(session)]() mutable {
            {
                TEncodeThread t(std::move(s));
                t.execute();
            }
            countThread(-1);
        }).detach();
    } catch (...) {
        countThread(-1);
        throw;
    }
}

bool TEncodeThread::drain(ChildProcess::Pipe pipe)
{
    const int which = pipe == ChildProcess::Pipe::StdOut ? 0 : 1;
    const int n = session_->child.available(pipe);
    if (n <= 0)
        return false;  // woken with nothing waiting: the writers are gone
    QByteArray bytes;
    int error = 0;
    auto s = session_;
    if (!session_->child.read(pipe, n, bytes, error)) {
        postToMain([s, which, error] {
            if (s->owner)
                s->owner->readFailed(s, which, error);
        });
        return false;
    }
    if (!bytes.isEmpty())
        postToMain([s, which, bytes] {
            if (s->owner)
                s->owner->readChunk(s, which, bytes);
        });
    return true;
}

void TEncodeThread::execute()
{
    try {
        loop();
    } catch (...) {
        session_->terminate.store(true);
    }
    if (session_->terminate.load())
        endChild();
    // A child that is still running here was given up: end it for good and
    // reap it, so no zombie stays behind.
    if (!session_->child.ended()) {
        session_->child.kill();
        session_->child.reapWaiting();
    }
    if (session_->discard.load() && !session_->tempPath.isEmpty())
        ::unlink(NativePath(session_->tempPath).constData());
    session_->threadDone.store(true);
}

void TEncodeThread::endChild()
{
    ChildProcess& child = session_->child;
    const auto killAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(StopGraceMs);
    bool open[3] = {true, true, true};  // [1], [2]: the pipes not yet at their end
    while (!child.reapIfEnded()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(killAt - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            child.kill();
            child.reapWaiting();
            return;
        }
        // The pipes are read and dropped meanwhile, so a child that prints
        // while it cleans up is never blocked on a full pipe.
        pollfd fds[3] = {{child.processFd(), POLLIN, 0},
                         {open[1] ? child.pipeFd(ChildProcess::Pipe::StdOut) : -1, POLLIN, 0},
                         {open[2] ? child.pipeFd(ChildProcess::Pipe::StdErr) : -1, POLLIN, 0}};
        const int wait = child.processFd() >= 0 ? int(left.count()) : std::min<int>(int(left.count()), EncodePollMs);
        if (pollRetrying(fds, 3, wait) < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        for (int i = 1; i < 3; ++i) {
            const auto pipe = i == 1 ? ChildProcess::Pipe::StdOut : ChildProcess::Pipe::StdErr;
            if (fds[i].revents == 0)
                continue;
            QByteArray dropped;
            int error = 0;
            const int n = child.available(pipe);
            if (n > 0)
                child.read(pipe, n, dropped, error);
            if (n <= 0 || error != 0)
                open[i] = false;  // at its end: not polled again (it would wake the poll at once)
        }
    }
}

void TEncodeThread::loop()
{
    ChildProcess& child = session_->child;
    bool outOpen = true, errOpen = true;
    for (;;) {
        if (session_->terminate.load())
            return;
        pollfd fds[4] = {{outOpen ? child.pipeFd(ChildProcess::Pipe::StdOut) : -1, POLLIN, 0},
                         {errOpen ? child.pipeFd(ChildProcess::Pipe::StdErr) : -1, POLLIN, 0},
                         {child.processFd(), POLLIN, 0},
                         {session_->wakeFd(), POLLIN, 0}};
        // With a process descriptor every change wakes the poll; without
        // one the child's end is looked for at the poll period.
        const int wait = child.processFd() >= 0 ? -1 : EncodePollMs;
        if (pollRetrying(fds, 4, wait) < 0)
            throw std::runtime_error("poll failed");
        if (session_->terminate.load())
            return;
        if (fds[0].revents != 0)
            outOpen = drain(ChildProcess::Pipe::StdOut);
        if (fds[1].revents != 0)
            errOpen = drain(ChildProcess::Pipe::StdErr);
        if (fds[2].revents != 0 || child.processFd() < 0) {
            if (!child.reapIfEnded())
                continue;
            // What the child left in the pipes, then the finish. A
            // grandchild may still hold the pipes open: what waits is read,
            // the end of the pipes is not waited for.
            while (drain(ChildProcess::Pipe::StdOut) || drain(ChildProcess::Pipe::StdErr)) {
            }
            auto s = session_;
            postToMain([s] {
                if (s->owner)
                    s->owner->finish(s);
            });
            return;
        }
    }
}

}  // namespace dw
