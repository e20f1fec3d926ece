// Test runner of the main window: one QApplication for all tests, tables and pictures
// taken from the source tree's data folder, settings kept in a temporary folder.
#include "files/DataPaths.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The sweeps the window saves as they run go to a data folder of this run, never the user's.
    const QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    QApplication app(argc, argv);
    marlinq::setDataDirectoryOverride(MARLINQ_SOURCE_DATA_DIR);
    // The window's settings (the colour scale) never touch the user's own.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
