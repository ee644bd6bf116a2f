// Running code on the main thread from workers.

#include "platform/MainThread.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace dw;

TEST(MainThread, SynchronizeRunsOnTheMainThreadAndPassesExceptionsBack)
{
    EXPECT_TRUE(IsMainThread());
    // On the main thread itself the call runs directly.
    bool direct = false;
    Synchronize([&] { direct = true; });
    EXPECT_TRUE(direct);

    std::atomic<int> onMain{0}, offMain{0};
    std::atomic<bool> finished{false};
    QString caught;
    std::thread worker([&] {
        EXPECT_FALSE(IsMainThread());
        for (int i = 0; i < 20; ++i)
            Synchronize([&] { (IsMainThread() ? onMain : offMain)++; });
        try {
            Synchronize([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        finished = true;
    });
    // Serviced by the event loop.
    EXPECT_TRUE(dwtest::waitFor([&] { return finished.load(); }));
    worker.join();
    EXPECT_EQ(onMain, 20);
    EXPECT_EQ(offMain, 0);
    EXPECT_EQ(caught, "boom");
}

TEST(MainThread, CheckSynchronizeServicesWithoutTheEventLoop)
{
    std::atomic<bool> ran{false}, finished{false};
    std::thread worker([&] {
        Synchronize([&] { ran = true; });
        finished = true;
    });
    // Wait without the event loop, servicing requests by hand.
    while (!finished) {
        CheckSynchronize();
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_TRUE(ran);
    // Nothing pending now; a worker thread never services requests.
    EXPECT_FALSE(CheckSynchronize());
    bool answer = true;
    std::thread([&] { answer = CheckSynchronize(); }).join();
    EXPECT_FALSE(answer);
}
