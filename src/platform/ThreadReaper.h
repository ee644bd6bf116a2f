#pragma once
// Joins threads that were told to stop, off the thread that told them. A
// worker blocked in a slow call (a drive retrying a sector can take seconds)
// must not hold up the window: its owner signals it, hands its std::thread
// here and goes on. One background thread joins the handed threads as they
// end; the process waits for the rest at its end, so none outlives the
// libraries it uses.
//
// Thread-safe: Reap may be called from any thread.

#include <thread>

namespace dw {

void Reap(std::thread thread);

}  // namespace dw
