// Test runner of the chart, About and console windows: one QApplication for all tests.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Discovery at build time and runs without a display use Qt's offscreen platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
