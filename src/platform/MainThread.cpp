#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace dw {

namespace {

struct Request {
    const std::function<void()>* fn = nullptr;
    std::exception_ptr error;
    bool done = false;
};

std::mutex g_lock;
std::condition_variable g_doneCv;
std::deque<Request*> g_queue;

// Static initialisation runs on the thread that starts the program; it is
// the main thread as long as no application object tells otherwise.
const std::thread::id g_startThread = std::this_thread::get_id();

}  // namespace

bool IsMainThread()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        return QThread::currentThread() == app->thread();
    return std::this_thread::get_id() == g_startThread;
}

void Synchronize(const std::function<void()>& fn)
{
    if (IsMainThread()) {
        fn();
        return;
    }
    Request request;
    request.fn = &fn;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_queue.push_back(&request);
    }
    // Wake the main thread's event loop; CheckSynchronize may also pick the
    // request up first, then this call finds nothing to do.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] { CheckSynchronize(); }, Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(g_lock);
    g_doneCv.wait(lock, [&request] { return request.done; });
    if (request.error)
        std::rethrow_exception(request.error);
}

bool CheckSynchronize()
{
    if (!IsMainThread())
        return false;
    bool ran = false;
    for (;;) {
        Request* request = nullptr;
        {
            std::lock_guard<std::mutex> lock(g_lock);
            if (g_queue.empty())
                break;
            request = g_queue.front();
            g_queue.pop_front();
        }
        std::exception_ptr error;
        try {
            (*request->fn)();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(g_lock);
            request->error = error;
            request->done = true;
        }
        g_doneCv.notify_all();
        ran = true;
    }
    return ran;
}

}  // namespace dw
