// MainWindow: construction, start-up, shut-down and the dialogs.
#include "ui/MainWindow.h"

#include "ui/FileCommands.h"
#include "ui/ParameterForm.h"
#include "ui/Pictures.h"
#include "ui/RunController.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QStatusBar>
#include <QScreen>

namespace marlinq::ui {

namespace {

// The size the window asks for; a smaller screen gets what it has.
constexpr int kPreferredWidth = 1440;
constexpr int kPreferredHeight = 900;
// What window frame and task bars take from the screen.
constexpr int kFrameAllowance = 8;
constexpr int kTitleAllowance = 32;

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Marlinq Solver"));
    setWindowIcon(applicationIcon());
    runs = new RunController(this);
    buildLayout();
    fileCommands = new FileCommands(*parameterForm, *runs, *mapView, dialogs, this);
    connect(fileCommands, &FileCommands::logLine, this, &MainWindow::appendLogLine);
    connectRuns();
    buildMenus();
    connect(mapView, &MapView::colourScaleChanged, this, [this] { showColourScaleInMenu(); });
    connect(mapView, &MapView::viewChanged, this, [this] { showMapViewInMenu(); });
    connect(mapView, &MapView::cellActivated, this,
            [this](std::int32_t mp, std::int32_t mm) { openProfileChart(mp, mm); });
    mapView->rememberColourScale();
    statusBar()->showMessage(QStringLiteral("Ready"));
    QSize size(kPreferredWidth, kPreferredHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        size = size.boundedTo(QSize(avail.width() - kFrameAllowance, avail.height() - kTitleAllowance));
    }
    resize(size);
}

MainWindow::~MainWindow() {
    // The jobs stop and their threads are joined before any member they report to goes.
    runs->shutDown();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!loaded) {
        loaded = true;
        firstShow();
    }
}

void MainWindow::firstShow() {
    mapView->redraw();
    parameterForm->showChainsFromFields();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A running job is cancelled and no longer heard; its thread is joined when the
    // window is destroyed.
    runs->shutDown();
    QMainWindow::closeEvent(event);
}

void MainWindow::showMessage(const QString& text) { dialogs->showMessage(this, text); }

}  // namespace marlinq::ui
