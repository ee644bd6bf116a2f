#include "platform/CancelToken.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace dw {

TEST(CancelToken, CopiesShareOneCancellationAndEachCallbackRunsOnce)
{
    TCancelToken token;
    const TCancelToken copy = token;
    int first = 0, second = 0, removed = 0;
    token.OnCancel([&] { ++first; });
    const int id = copy.OnCancel([&] { ++removed; });
    copy.OnCancel([&] { ++second; });
    copy.Remove(id);
    EXPECT_FALSE(token.IsCancelled());
    copy.Cancel();
    token.Cancel();  // a second cancel runs nothing again
    EXPECT_TRUE(token.IsCancelled());
    EXPECT_TRUE(token.Flag()->load());
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(removed, 0);
    // Registered after the fact: runs at once, on this thread.
    int late = 0;
    EXPECT_EQ(token.OnCancel([&] { ++late; }), 0);
    EXPECT_EQ(late, 1);
}

TEST(CancelToken, RemoveWaitsForARunningCallbackAndMayBeCalledFromInsideIt)
{
    TCancelToken token;
    std::atomic<bool> entered{false}, release{false}, finished{false};
    const int id = token.OnCancel([&] {
        entered = true;
        while (!release)
            std::this_thread::yield();
        finished = true;
    });
    int self = 0;
    self = token.OnCancel([&] { token.Remove(self); });  // must not deadlock
    std::thread canceller([&] { token.Cancel(); });
    while (!entered)
        std::this_thread::yield();
    std::thread remover([&] {
        token.Remove(id);
        // Remove returned: the callback must have finished.
        EXPECT_TRUE(finished.load());
    });
    release = true;
    remover.join();
    canceller.join();
    {
        // A scoped callback that leaves before the cancellation never runs.
        TCancelToken other;
        bool ran = false;
        {
            TCancelCallback scoped(other, [&] { ran = true; });
        }
        other.Cancel();
        EXPECT_FALSE(ran);
    }
}

}  // namespace dw
