// Widget tests need a QApplication (under QT_QPA_PLATFORM=offscreen).
#include "support/TestSupport.h"

#include <QApplication>

std::unique_ptr<QCoreApplication> dwtest::makeApplication(int& argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}
