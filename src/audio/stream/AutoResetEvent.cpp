#include "audio/stream/AutoResetEvent.h"

namespace dw {

void AutoResetEvent::SetEvent()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_one();
}

void AutoResetEvent::ResetEvent()
{
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}

void AutoResetEvent::Wait()
{
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
}

bool AutoResetEvent::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, timeout, [this] { return signalled_; }))
        return false;
    signalled_ = false;
    return true;
}

}  // namespace dw
