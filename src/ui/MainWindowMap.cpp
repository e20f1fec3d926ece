// MainWindow: the map's place in the window (its record, the menus that act on it, the saved
// figure), the result panel and the profile charts.
#include "ui/MainWindow.h"
#include "ui/FieldText.h"
#include "physics/Complex.h"

#include "files/NumberFormat.h"
#include "kernel/Fatal.h"
#include "pipeline/ComplexProfile.h"
#include "ui/MapView.h"
#include "ui/Pictures.h"
#include "ui/ProfileChartWindow.h"
#include "ui/RunController.h"
#include "ui/RunOptionsBox.h"
#include "ui/UserDialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QSettings>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

namespace marlinq::ui {

namespace {

QSettings settingsStore() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Marlinq"),
                     QStringLiteral("Marlinq Solver"));
}

}  // namespace

void MainWindow::loadFigureSettings() {
    QSettings s = settingsStore();
    mapCaptionAction->setChecked(s.value(QStringLiteral("figure/captionInPicture"), true).toBool());
    const bool column = s.value(QStringLiteral("figure/widthMm"), 170).toInt() == 85;
    (column ? mapColumnWidthAction : mapPageWidthAction)->setChecked(true);
}

void MainWindow::saveFigureSettings() const {
    QSettings s = settingsStore();
    s.setValue(QStringLiteral("figure/captionInPicture"), mapCaptionAction->isChecked());
    s.setValue(QStringLiteral("figure/widthMm"), mapColumnWidthAction->isChecked() ? 85 : 170);
}

void MainWindow::showColourScaleInMenu() {
    const ColourScale& scale = mapView->colourScale();
    const QSignalBlocker b1(logColoursAction), b2(viridisAction);
    logColoursAction->setChecked(scale.logarithmic);
    viridisAction->setChecked(scale.colours == ColourMap::Viridis);
}

void MainWindow::showMapViewInMenu() {
    const QSignalBlocker b(wholeRangeAction);
    wholeRangeAction->setChecked(mapView->showsWholeRange());
    wholeRangeAction->setEnabled(mapView->canToggleWholeRange());
}

void MainWindow::redrawMap() {
    QString error;
    if (mapView->setRecord(runs->result(), &error)) {
        const auto [mp, mm] = mapView->mostProbableCell();
        updateResultPanel(mp, mm);
    } else if (!error.isEmpty()) {
        // The map on screen and the result panel stay as they were.
        showMessage(error);
    }
}

void MainWindow::openProfileChart(std::int32_t mp, std::int32_t mm) {
    // A lone chain has no complex to chart.
    if (mp == 0 || mm == 0) return;
    const ResultSnapshot result = runs->result();
    if (!result || !result->run) return;
    // Everything from the result record, so the profile belongs to the map shown even
    // when the fields were changed since.
    const ResultRecord& rec = *result;
    const bool dh = runOptionsBox->options().method != Method::PoissonBoltzmann;
    // The profile follows the accuracy of the result it belongs to.
    ComplexProfile profile;
    try {
        profile = computeComplexProfile(mp, mm, rec.zp, rec.zn, rec.kip, rec.kim, rec.ka, dh, rec.converged);
    } catch (const KernelError& e) {
        appendLogLine(QString::fromStdString(profileFailureMessage(mp, mm, e.what())));
        return;
    }
    auto* chart = new ProfileChartWindow(profile, this);
    chart->setWindowFlag(Qt::Window, true);
    chart->setAttribute(Qt::WA_DeleteOnClose);
    chart->show();
}

FigureOptions MainWindow::figureOptions() const {
    FigureOptions options;
    options.captionInPicture = mapCaptionAction->isChecked();
    options.widthMm = mapColumnWidthAction->isChecked() ? 85.0 : 170.0;
    return options;
}

void MainWindow::saveMapPng() {
    const QString folder = dialogDirectory();
    const QString name = mapView->suggestedFileName(QStringLiteral("png"));
    const QString path = dialogs->getSaveFileName(this, QStringLiteral("Save Map"),
                                                  folder.isEmpty() ? name : QDir(folder).filePath(name),
                                                  QStringLiteral("PNG image (*.png)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    if (!mapView->saveFigure(path, false, figureOptions())) showMessage(QStringLiteral("can not write ") + path);
}

void MainWindow::saveMapSvg() {
    const QString folder = dialogDirectory();
    const QString name = mapView->suggestedFileName(QStringLiteral("svg"));
    const QString path = dialogs->getSaveFileName(this, QStringLiteral("Save Map"),
                                                  folder.isEmpty() ? name : QDir(folder).filePath(name),
                                                  QStringLiteral("SVG drawing (*.svg)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    if (!mapView->saveFigure(path, true, figureOptions())) showMessage(QStringLiteral("can not write ") + path);
}

}  // namespace marlinq::ui
