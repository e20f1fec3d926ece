// MainWindow: "Solve", "Stop" and what the run controller reports, wired to the window.
#include "ui/MainWindow.h"

#include "ui/ObservablesPanel.h"
#include "ui/ParameterForm.h"
#include "ui/ResultPanel.h"
#include "ui/RunController.h"
#include "ui/RunOptionsBox.h"

#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

namespace marlinq::ui {

void MainWindow::solve() {
    mapView->forgetCells();
    resultPanel->clear();

    ParameterSet set;
    RunOptions options = runOptionsBox->options();
    if (const std::optional<QString> failure = parameterForm->read(set, chainsOf(options))) {
        showMessage(*failure);
        return;
    }
    const Parameters& g = set.params;

    mapView->showEmptyRanges(g.mpMin, g.mpMax - g.mpMin + 1, g.mmMin, g.mmMax - g.mmMin + 1);
    logView->clear();  // the job's log starts with its first line

    options.keepEnergies = true;
    JobInput input = engine->job(g, set, options);
    resultPanel->setPartial(0, 0);
    runProgress->setRange(0, 0);  // busy until the first row is in
    mapView->setRunning(true);
    runs->startCalculation(std::move(input));
}

void MainWindow::stop() {
    runs->stop();
    resultPanel->clear();
}

void MainWindow::connectRuns() {
    connect(runs, &RunController::runningChanged, this, [this](bool running) {
        solveButton->setEnabled(!running);
        stopButton->setEnabled(running);
    });
    connect(runs, &RunController::logText, this, &MainWindow::appendLog);
    connect(runs, &RunController::progress, this, [this](qint64 done, qint64 total) {
        runProgress->setRange(0, static_cast<int>(total));
        runProgress->setValue(static_cast<int>(std::clamp<qint64>(done, 0, total)));
    });
    connect(runs, &RunController::refreshDue, this, &MainWindow::showResult);
    connect(runs, &RunController::partialResult, resultPanel, &ResultPanel::setPartial);
    connect(runs, &RunController::statusText, this, [this](const QString& text) { statusBar()->showMessage(text); });
    connect(runs, &RunController::ended, this, &MainWindow::runEnded);
}

void MainWindow::showResult(const ResultSnapshot& rec, bool newSnapshot, bool newRows) {
    if (newSnapshot && observablesPanel) observablesPanel->showRecord(rec);
    if (newRows) redrawMap();
}

void MainWindow::runEnded(JobOutcome outcome) {
    // A row count stays as it was (all rows, or those done before "Stop"); a busy bar ends.
    if (runProgress->maximum() == 0) {
        runProgress->setRange(0, 1);
        runProgress->setValue(0);
    }
    if (outcome == JobOutcome::Finished) runProgress->setValue(runProgress->maximum());
    if (outcome == JobOutcome::Failed) {
        // Shown once this handler has returned.
        const QString reason = runs->failure();
        QTimer::singleShot(0, this, [this, reason] { showMessage(reason); });
    }
    // A large range whose weight sits in a corner is shown by that corner, unless the user
    // has zoomed meanwhile.
    mapView->setRunning(false);  // the populated region is known now
    if (outcome != JobOutcome::Failed && mapView->showsWholeRange()) mapView->focusPopulatedRegion();
}

void MainWindow::updateResultPanel(std::int32_t mp, std::int32_t mm) {
    if (!resultPanel->showComplex(*runs->result(), mp, mm))
        showMessage(QStringLiteral("The complex (%1, %2) has a core radius of 0 (its charged blocks have no length): "
                                   "its core radius, charge per radius and picture cannot be shown")
                        .arg(mp)
                        .arg(mm));
}

void MainWindow::appendLog(const QString& text) {
    QTextCursor cursor = logView->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    logView->setTextCursor(cursor);
    logView->ensureCursorVisible();
}

void MainWindow::appendLogLine(const QString& text) { appendLog(text + QLatin1Char('\n')); }

}  // namespace marlinq::ui
