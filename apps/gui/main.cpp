// The desktop program: one main window; the process ends when it closes.
#include "pipeline/Engine.h"
#include "pipeline/ThreadWaiting.h"
#include "pipeline/Version.h"
#include "ui/MainWindow.h"
#include "ui/Pictures.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>

namespace {

// On Linux without a display (no X11, no Wayland, no platform chosen) Qt would abort the
// process (SIGABRT) after a message about plugins; the program says what is missing instead.
bool displayMissing(int argc, char* argv[]) {
#if defined(__linux__)
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return false;
    }
    for (int k = 1; k < argc; ++k)
        if (std::strcmp(argv[k], "-platform") == 0 || std::strncmp(argv[k], "-platform=", 10) == 0) return false;
    return true;
#else
    (void)argc;
    (void)argv;
    return false;
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    // OpenMP threads sleep while they wait (unless the user chose otherwise): a busy machine
    // is not made busier by threads that spin.
    marlinq::waitPassivelyInOpenMp(argv);
    // Answered before the window system is touched, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::cout << marlinq::versionLine("marlinq") << '\n';
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::cout << "Usage: marlinq [Qt options]\n\n"
                         "Opens the Marlinq Solver window: size distributions of complexes of oppositely\n"
                         "charged diblock copolymers. marlinq-batch computes the same from the command line.\n\n"
                         "  --version   show the version and the commit the program was built from\n"
                         "  -h, --help  show this text\n";
            return 0;
        }
    }
    if (displayMissing(argc, argv)) {
        std::fputs("marlinq: the window needs a display, and none was found (DISPLAY and WAYLAND_DISPLAY are not "
                   "set).\nStart it on a desktop, under a virtual one (xvfb-run marlinq), or compute without a "
                   "window with the batch command: marlinq-batch --help\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);  // Qt's own options only; the program takes no other arguments
    QApplication::setApplicationName(QStringLiteral("Marlinq Solver"));
    QApplication::setApplicationVersion(QString::fromStdString(marlinq::provenance()));
    QApplication::setWindowIcon(marlinq::ui::applicationIcon());
    // Tables and pictures: the working directory first, then the installed data folder.
    marlinq::setProgramDataDirectory(
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../share/marlinq")).toStdString());
    marlinq::ui::MainWindow window;
    window.show();
    return QApplication::exec();
}
