// The desktop program: one main window; the process ends when it closes.
#include "files/DataPaths.h"
#include "ui/Form1.h"
#include "ui/Pictures.h"

#include <QApplication>
#include <QDir>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);  // Qt's own options only; the program takes no arguments
    QApplication::setApplicationName(QStringLiteral("Marlinq Solver"));
    QApplication::setWindowIcon(marlinq::ui::applicationIcon());
    // Tables and pictures: the working directory first, then the installed data folder.
    marlinq::setProgramDataDirectory(
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../share/marlinq")).toStdString());
    marlinq::ui::Form1 window;
    window.show();
    return QApplication::exec();
}
