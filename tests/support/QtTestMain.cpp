// main() for tests that drive widgets: a QApplication must exist before any widget.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Widget tests run offscreen unless told otherwise, also when CTest lists them.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
