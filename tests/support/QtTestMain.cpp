// main() for tests that drive widgets: a QApplication must exist before any widget.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
