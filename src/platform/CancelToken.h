#pragma once
// TCancelToken: the one way work is told to stop. A job makes one token and
// hands copies to everything it starts (its stages, encoder processes, the
// lookups it runs); copies share one state, so Cancel() on any copy is seen
// by all. Workers either poll IsCancelled() (one atomic load) between
// blocks, or register a callback that runs once when the token is cancelled
// (a child process is signalled, a blocking wait is woken).
//
// Thread-safe: Cancel, IsCancelled, OnCancel and Remove may be called from
// any thread. Callbacks run on the thread that calls Cancel (or, when the
// token is already cancelled, at once inside OnCancel), never under the
// token's lock, so a callback may use the token.

#include <atomic>
#include <functional>
#include <memory>

namespace dw {

class TCancelToken {
public:
    TCancelToken();

    // Cancels; idempotent. Runs every registered callback once.
    void Cancel() const;
    bool IsCancelled() const { return state_->cancelled.load(std::memory_order_acquire); }

    // A callback for the cancellation; runs at once when already cancelled.
    // The id removes it again (0 when it ran at once).
    int OnCancel(std::function<void()> callback) const;
    // Removes a callback that has not run; once Remove returns, the callback
    // is not running and will not run.
    void Remove(int id) const;

    // The flag as an atomic<bool>, for code that polls one (HTTP transfers).
    const std::atomic<bool>* Flag() const { return &state_->cancelled; }

private:
    struct Callbacks;
    struct State {
        std::atomic<bool> cancelled{false};
        std::unique_ptr<Callbacks> callbacks;
        State();
        ~State();
    };
    std::shared_ptr<State> state_;
};

// Registers a callback for the lifetime of a scope.
class TCancelCallback {
public:
    TCancelCallback(const TCancelToken& token, std::function<void()> callback)
        : token_(token), id_(token.OnCancel(std::move(callback)))
    {
    }
    ~TCancelCallback()
    {
        if (id_ != 0)
            token_.Remove(id_);
    }
    TCancelCallback(const TCancelCallback&) = delete;
    TCancelCallback& operator=(const TCancelCallback&) = delete;

private:
    TCancelToken token_;
    int id_;
};

}  // namespace dw
