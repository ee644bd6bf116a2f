#include "platform/CancelToken.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace dw {

struct TCancelToken::Callbacks {
    std::mutex mutex;
    std::condition_variable idle;
    std::map<int, std::function<void()>> pending;
    int nextId = 1;
    // The callback Cancel is running now (0: none) and on which thread, so
    // Remove can wait for it to end unless it is called from inside it.
    int running = 0;
    std::thread::id runner;
};

TCancelToken::State::State() : callbacks(std::make_unique<Callbacks>()) {}
TCancelToken::State::~State() = default;

TCancelToken::TCancelToken() : state_(std::make_shared<State>()) {}

void TCancelToken::Cancel() const
{
    if (state_->cancelled.exchange(true, std::memory_order_acq_rel))
        return;
    Callbacks& c = *state_->callbacks;
    std::unique_lock lock(c.mutex);
    while (!c.pending.empty()) {
        auto it = c.pending.begin();
        const int id = it->first;
        std::function<void()> callback = std::move(it->second);
        c.pending.erase(it);
        c.running = id;
        c.runner = std::this_thread::get_id();
        lock.unlock();
        callback();
        lock.lock();
        c.running = 0;
        c.idle.notify_all();
    }
}

int TCancelToken::OnCancel(std::function<void()> callback) const
{
    {
        Callbacks& c = *state_->callbacks;
        std::lock_guard lock(c.mutex);
        if (!state_->cancelled.load(std::memory_order_acquire)) {
            const int id = c.nextId++;
            c.pending.emplace(id, std::move(callback));
            return id;
        }
    }
    callback();
    return 0;
}

void TCancelToken::Remove(int id) const
{
    if (id == 0)
        return;
    Callbacks& c = *state_->callbacks;
    std::unique_lock lock(c.mutex);
    c.pending.erase(id);
    if (c.runner != std::this_thread::get_id())
        c.idle.wait(lock, [&] { return c.running != id; });
}

}  // namespace dw
