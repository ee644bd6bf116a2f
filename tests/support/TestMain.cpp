// Test entry point: every test runs with a Qt application object, as the program does.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>

#include "support/TestSupport.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QCoreApplication> app = dwtest::makeApplication(argc, argv);
    return RUN_ALL_TESTS();
}
