// MainWindow: the map's place in the window (its record, the menus that act on it), the
// result panel and the profile charts.
#include "ui/MainWindow.h"

#include "kernel/Fatal.h"
#include "pipeline/ComplexProfile.h"
#include "ui/MapView.h"
#include "ui/ProfileChartWindow.h"
#include "ui/RunController.h"
#include "ui/RunOptionsBox.h"

#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

namespace marlinq::ui {

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
    if (!result || !result->fromRun()) return;
    // Everything from the result record, so the profile belongs to the map shown even
    // when the fields were changed since.
    const RunResult& rec = *result;
    // The profile follows the method and accuracy of the result it belongs to, not the
    // options box as it is now.
    const RunRequest& request = rec.request();
    ComplexProfile profile;
    try {
        profile = computeComplexProfile(mp, mm, request.params, rec.blocks(),
                                        *makeComplexModel(request.method, request.accuracy, request.params));
    } catch (const KernelError& e) {
        appendLogLine(QString::fromStdString(profileFailureMessage(mp, mm, e.what())));
        return;
    }
    auto* chart = new ProfileChartWindow(profile, this);
    chart->setWindowFlag(Qt::Window, true);
    chart->setAttribute(Qt::WA_DeleteOnClose);
    chart->show();
}

}  // namespace marlinq::ui
