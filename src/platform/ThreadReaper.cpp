#include "platform/ThreadReaper.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace dw {

namespace {

class TThreadReaper {
public:
    TThreadReaper() : joiner_([this] { run(); }) {}
    ~TThreadReaper()
    {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();
        joiner_.join();
    }

    void add(std::thread t)
    {
        {
            std::lock_guard lock(mutex_);
            threads_.push_back(std::move(t));
        }
        wake_.notify_all();
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return closing_ || !threads_.empty(); });
            if (threads_.empty())
                return;  // closing with nothing left
            std::thread t = std::move(threads_.front());
            threads_.pop_front();
            lock.unlock();
            if (t.joinable())
                t.join();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::thread> threads_;
    bool closing_ = false;
    std::thread joiner_;  // last: started once the rest is ready
};

}  // namespace

void Reap(std::thread thread)
{
    static TThreadReaper reaper;
    if (thread.joinable())
        reaper.add(std::move(thread));
}

}  // namespace dw
