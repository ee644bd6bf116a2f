// Job events: time texts, delivery by post and send, ownership.

#include "JobsTestSupport.h"

#include "app/JobEvents.h"
#include "support/TestSupport.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace dw;
using namespace std::chrono;

TEST(JobEventTimes, TextsRoundingAndEstimates)
{
    EXPECT_EQ(FormatMinutesSeconds(75), "01:15");
    EXPECT_EQ(FormatMinutesSeconds(6000), "100:00");
    EXPECT_EQ(FormatMinutesSeconds(0), "00:00");
    EXPECT_EQ(FormatMinutesSeconds(-4), "00:00");

    // Nearest whole second, ties to even.
    EXPECT_EQ(RoundedSeconds(milliseconds(1499)), 1);
    EXPECT_EQ(RoundedSeconds(milliseconds(1500)), 2);
    EXPECT_EQ(RoundedSeconds(milliseconds(2500)), 2);
    EXPECT_EQ(RoundedSeconds(milliseconds(2501)), 3);
    EXPECT_EQ(RoundedSeconds(milliseconds(-20)), 0);

    EXPECT_EQ(EstimatedTotalSeconds(3, 30), 10);
    EXPECT_EQ(EstimatedTotalSeconds(1, 40), 2);   // 2.5 -> 2
    EXPECT_EQ(EstimatedTotalSeconds(3, 40), 8);   // 7.5 -> 8
    EXPECT_EQ(EstimatedTotalSeconds(5, 0), 0);

    auto p = MakeProgressInfo(0, 42);
    EXPECT_TRUE(p->Elapsed.isEmpty());
    EXPECT_TRUE(p->Estimated.isEmpty());
    p = MakeProgressInfo(25, 30);
    EXPECT_EQ(p->Elapsed, "00:30");
    EXPECT_EQ(p->Estimated, "02:00");

    EXPECT_TRUE(IsJobEventCode(JOB_NORMALIZING));
    EXPECT_TRUE(IsJobEventCode(JOB_WMA_DONE));
    EXPECT_FALSE(IsJobEventCode(100));
    EXPECT_FALSE(IsJobEventCode(2001));
}

TEST(JobEventDelivery, PostedEventsArriveInOrderWithTheirObjects)
{
    jobstest::EventLog log;
    PostJobEvent(&log, MakeProgressInfo(10, 1));
    PostJobEvent(&log, MakeProcessInfo(JOB_MP3_DONE, ENC_RESULT_ENDED));
    PostRipError(&log, RIP_ERROR_READ_TOC);
    PostCddbResult(&log, CDDB_RESULT_NOT_FOUND, 42);
    PostJobEvent(nullptr, MakeProgressInfo(5, 1));  // dropped, no crash
    EXPECT_TRUE(log.events.empty());  // posting never delivers at once
    ASSERT_TRUE(dwtest::waitFor([&] { return log.events.size() == 2 && log.cddbResults.size() == 1; }));
    EXPECT_EQ(log.events[0].Code, 10);
    EXPECT_EQ(log.events[1].Code, JOB_MP3_DONE);
    EXPECT_EQ(log.events[1].Result, ENC_RESULT_ENDED);
    ASSERT_EQ(log.ripErrors.size(), 1u);
    EXPECT_EQ(log.ripErrors[0], RIP_ERROR_READ_TOC);
    EXPECT_EQ(log.cddbResults[0], std::make_pair(CDDB_RESULT_NOT_FOUND, 42));
}

TEST(JobEventDelivery, EventsPendingForADestroyedReceiverGoNowhere)
{
    // The event of a receiver destroyed before delivery is dropped with its
    // object (the sanitizer build checks that it is freed); it reaches
    // neither another receiver nor a new one that may take the old address.
    auto doomed = std::make_unique<jobstest::EventLog>();
    jobstest::EventLog survivor;
    PostJobEvent(doomed.get(), MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_READ_FAILED));
    PostJobEvent(&survivor, MakeProcessInfo(JOB_MP3_DONE, ENC_RESULT_ENDED));
    doomed.reset();
    auto reborn = std::make_unique<jobstest::EventLog>();
    ASSERT_TRUE(dwtest::waitFor([&] { return !survivor.events.empty(); }));
    QCoreApplication::processEvents();
    ASSERT_EQ(survivor.events.size(), 1u);
    EXPECT_EQ(survivor.events[0].Code, JOB_MP3_DONE);
    EXPECT_TRUE(reborn->events.empty());
}

TEST(JobEventDelivery, SendFromWorkerBlocksUntilHandledOnMainThread)
{
    jobstest::EventLog log;
    std::atomic<bool> returned{false};
    Qt::HANDLE handledOn = nullptr;
    bool handledBeforeReturn = false;
    log.onEvent = [&](const TProcessInfo&) {
        handledOn = QThread::currentThreadId();
        handledBeforeReturn = !returned.load();
    };
    std::thread worker([&] {
        SendJobEvent(&log, MakeProcessInfo(JOB_RESAMPLE_DONE));
        returned = true;
    });
    ASSERT_TRUE(dwtest::waitFor([&] { return returned.load(); }));
    worker.join();
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_TRUE(handledBeforeReturn);
    EXPECT_EQ(handledOn, QThread::currentThreadId());

    // On the receiver's own thread a send is handled before the call returns.
    SendJobEvent(&log, MakeProcessInfo(JOB_WMA_DONE, ENC_RESULT_SKIPPED));
    ASSERT_EQ(log.events.size(), 2u);
    EXPECT_EQ(log.events[1].Code, JOB_WMA_DONE);
}
