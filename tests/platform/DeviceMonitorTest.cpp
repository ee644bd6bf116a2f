// The device-change monitor: starts and stops cleanly (with or without udev),
// and reports a configured CD image that is rewritten, deleted and made anew.
#include "platform/DeviceMonitor.h"

#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace dw;

TEST(DeviceMonitor, ReportsChangesOfAConfiguredImage)
{
    dwtest::Sandbox box;
    const QString cue = dwtest::makeCdImage(box.path(), {2});
    const QString later = box.file("later.cue");
    TDeviceMonitor monitor;
    QStringList events;
    QObject::connect(&monitor, &TDeviceMonitor::arrived, [&](const QString& d) { events << "arrived " + d; });
    QObject::connect(&monitor, &TDeviceMonitor::removed, [&](const QString& d) { events << "removed " + d; });
    ASSERT_TRUE(monitor.Start({cue, later}));
    EXPECT_TRUE(monitor.IsRunning());

    // A rewrite through the image tool (several writes) is one arrival.
    dwtest::makeCdImage(box.path(), {3});
    ASSERT_TRUE(dwtest::waitFor([&] { return !events.isEmpty(); }, std::chrono::seconds(5)));
    EXPECT_FALSE(dwtest::waitFor([&] { return events.size() > 1; }, std::chrono::milliseconds(500)));
    EXPECT_EQ(events, QStringList{"arrived " + cue});

    // Still watched after the rewrite: deletion is a removal.
    events.clear();
    ASSERT_TRUE(QFile::remove(cue));
    ASSERT_TRUE(dwtest::waitFor([&] { return !events.isEmpty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(events, QStringList{"removed " + cue});

    // An image that did not exist at the start arrives when it is made.
    events.clear();
    dwtest::makeCdImage(box.path(), {1}, dwtest::CdImageOptions().named("later"));
    ASSERT_TRUE(dwtest::waitFor([&] { return events.contains("arrived " + later); }, std::chrono::seconds(5)));
    EXPECT_FALSE(events.contains("arrived " + cue));

    monitor.Stop();
    EXPECT_FALSE(monitor.IsRunning());
    events.clear();
    dwtest::makeCdImage(box.path(), {1}, dwtest::CdImageOptions().named("later"));
    EXPECT_FALSE(dwtest::waitFor([&] { return !events.isEmpty(); }, std::chrono::milliseconds(500)));
}

TEST(DeviceMonitor, StartsAndStopsRepeatedly)
{
    dwtest::Sandbox box;
    const QString cue = dwtest::makeCdImage(box.path(), {1});
    qputenv("DISCWRIGHT_CD_IMAGES", cue.toUtf8());
    TDeviceMonitor monitor;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(monitor.Start());
        EXPECT_TRUE(monitor.IsRunning());
        // A udev monitor, where the system has one, is part of the run.
        if (i == 0 && !monitor.UdevActive())
            std::printf("note: no udev netlink socket here; drives are not watched\n");
        monitor.Stop();
        EXPECT_FALSE(monitor.IsRunning());
        EXPECT_FALSE(monitor.UdevActive());
    }
    int events = 0;
    QObject::connect(&monitor, &TDeviceMonitor::arrived, [&] { ++events; });
    ASSERT_TRUE(monitor.Start());
    box.write("disc.cue", box.read("disc.cue"));
    ASSERT_TRUE(dwtest::waitFor([&] { return events == 1; }, std::chrono::seconds(5)));
}

}  // namespace
