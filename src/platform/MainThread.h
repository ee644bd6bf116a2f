#pragma once
// Running code on the main thread from other threads, blocking.
//
// A worker calls Synchronize(fn): fn is queued, the main thread runs it from
// its Qt event loop (or from CheckSynchronize, called by main-thread code that
// waits without returning to the loop), and the worker continues when fn has
// finished. An exception thrown by fn is raised again in the caller.

#include <functional>

namespace dw {

// True on the thread of the application object (or, while none exists, the
// thread that started the program).
bool IsMainThread();

// Runs fn on the main thread and waits for it. On the main thread itself fn
// runs directly.
void Synchronize(const std::function<void()>& fn);

// Main thread only: runs every pending request; true when any ran.
bool CheckSynchronize();

}  // namespace dw
