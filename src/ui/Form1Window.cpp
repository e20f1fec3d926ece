// Form1: construction, start-up, shut-down and the dialogs.
#include "ui/Form1.h"

#include "ui/NumberInput.h"
#include "ui/Pictures.h"
#include "ui/RunController.h"
#include "ui/UserDialogs.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QToolTip>
#include <QGuiApplication>
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

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Marlinq Solver"));
    setWindowIcon(applicationIcon());
    runs = new RunController(this);
    buildLayout();
    connectRuns();
    buildMenus();
    connect(mapView, &MapView::colourScaleChanged, this, [this] { showColourScaleInMenu(); });
    connect(mapView, &MapView::viewChanged, this, [this] { showMapViewInMenu(); });
    connect(mapView, &MapView::cellActivated, this,
            [this](std::int32_t mp, std::int32_t mm) { openProfileChart(mp, mm); });
    mapView->rememberColourScale();
    loadFigureSettings();
    // The start-up record: no matrices, nothing computed.
    resultRecord = std::make_shared<const ResultRecord>();
    statusBar()->showMessage(QStringLiteral("Ready"));
    QSize size(kPreferredWidth, kPreferredHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        size = size.boundedTo(QSize(avail.width() - kFrameAllowance, avail.height() - kTitleAllowance));
    }
    resize(size);
}


Form1::~Form1() {
    // The jobs stop and their threads are joined before any member they report to goes.
    runs->shutDown();
}

void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!loaded) {
        loaded = true;
        Form1_Load();
    }
}

void Form1::Form1_Load() {
    mapView->redraw();
    resultRecord = std::make_shared<const ResultRecord>();
    const QLocale locale;
    bool ok = false;
    double plen = locale.toDouble(plenBox->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Length of charged block +"));
        plen = 0.0;
    }
    Parameters& g = params;
    double zp = locale.toDouble(pchgBox->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Charge +"));
        zp = 0.0;
    }
    g.zp = zp;
    double mlen = locale.toDouble(textBox3->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Length of charged block -"));
        mlen = 0.0;
    }
    double zn = locale.toDouble(textBox4->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Charge -"));
        zn = 0.0;
    }
    g.zn = zn;
    g.kip = chargeDensity(zp, plen);
    label40->setText(locale.toString(g.kip, 'f', 2));
    label5->setText(locale.toString(chargeDensity(zn, mlen), 'f', 2));
    // The schematics as the default fields describe them.
    const double Np = locale.toInt(pneuBox->text().trimmed());
    const double Nm = locale.toInt(textBox5->text().trimmed());
    drawPlusSchematic(plen, Np, Max(Np, Nm, plen));
    drawMinusSchematic(mlen, Nm, Max(Np, Nm, mlen));
}

double Form1::Max(double a, double b, double c) {
    double m = a;
    if (b > m) m = b;
    if (c > m) m = c;
    return m;
}


void Form1::closeEvent(QCloseEvent* event) {
    // A running job is cancelled and no longer heard; its thread is joined when the
    // window is destroyed.
    runs->shutDown();
    QMainWindow::closeEvent(event);
}

double Form1::GetDouble(const QString& text) { return tolerantDouble(text); }

void Form1::showMessage(const QString& text) { dialogs->showMessage(this, text); }

QString Form1::dialogDirectory() const { return lastDirectory; }

void Form1::rememberDirectory(const QString& path) {
    const QFileInfo info(path);
    lastDirectory = info.absolutePath();
}

}  // namespace marlinq::ui
