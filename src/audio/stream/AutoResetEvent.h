#pragma once
// An auto-reset event: SetEvent releases one waiter (or the next one to wait)
// and the event returns to non-signalled.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace dw {

class AutoResetEvent {
public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void SetEvent();
    void ResetEvent();
    // Waits until signalled; consumes the signal.
    void Wait();
    // Waits at most timeout; true when signalled (signal consumed).
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

}  // namespace dw
