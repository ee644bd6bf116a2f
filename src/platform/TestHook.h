#pragma once
// A hook tests set to hold a worker thread at a chosen point (e.g. before
// each read of a device). Set from any thread; the worker calls Call(),
// which runs a copy of the hook outside the lock, or nothing when unset.

#include <functional>
#include <mutex>

namespace dw {

class TTestHook {
public:
    void Set(std::function<void()> hook)
    {
        std::lock_guard lock(mutex_);
        hook_ = std::move(hook);
    }
    void Call()
    {
        std::function<void()> hook;
        {
            std::lock_guard lock(mutex_);
            hook = hook_;
        }
        if (hook)
            hook();
    }

private:
    std::mutex mutex_;
    std::function<void()> hook_;
};

}  // namespace dw
