// Test runner of the main window: one QApplication for all tests, tables and pictures
// taken from the source tree's data folder.
#include "files/DataPaths.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    marlinq::setDataDirectoryOverride(MARLINQ_SOURCE_DATA_DIR);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
