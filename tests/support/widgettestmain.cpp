// main() of the widget tests: a QApplication (offscreen unless a display is
// asked for) and the program's fonts, then every test.

#include "platform/fonts.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vantrel::platform::RegisterTahoma();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
