// Test entry point: every test runs with a Qt application object, as the program does.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "support/TestSupport.h"

int main(int argc, char** argv)
{
    // Where the tests find the built programs and the sources, unless the
    // caller says otherwise (a test's environment list is not reliable
    // through test discovery, so the build fixes the defaults here).
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("DISCWRIGHT_BIN_DIR", DW_TEST_BIN_DIR, 0);
    setenv("DISCWRIGHT_SOURCE_DIR", DW_TEST_SOURCE_DIR, 0);
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QCoreApplication> app = dwtest::makeApplication(argc, argv);
    return RUN_ALL_TESTS();
}
