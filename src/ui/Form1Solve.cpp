// Form1: "Solve", "Stop" and the job with its callbacks.
#include "ui/Form1.h"

#include "pipeline/CalculationStages.h"
#include "pipeline/Units.h"
#include "pipeline/ParameterSchema.h"
#include "ui/FieldText.h"
#include "ui/ObservablesPanel.h"
#include "ui/ParameterForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>


namespace marlinq::ui {

namespace {

// Debye-Hueckel runs over at least this many complexes show a time estimate.
constexpr std::int64_t kEstimatedComplexes = 100000;

QString seconds(qint64 ms) { return QLocale().toString(static_cast<double>(ms) / 1000.0, 'f', 2) + QStringLiteral(" s"); }

}  // namespace

void Form1::clearResultLabels() {
    for (QLabel* l : {label21, label61, label62, label63, label64, label65}) l->clear();
}

void Form1::button1_Click() {
    mapView->forgetCells();
    clearResultLabels();

    ParameterSet set;
    if (const std::optional<QString> failure = parameterForm->read(set)) {
        showMessage(*failure);
        return;
    }
    const Parameters& g = set.params;

    button1->setEnabled(false);
    button2->setEnabled(true);
    mapView->showEmptyRanges(g.mpMin, g.mpMax - g.mpMin + 1, g.mmMin, g.mmMax - g.mmMin + 1);
    richTextBox1->clear();  // the job's log starts with its first line
    failure.clear();

    RunOptions options = runOptions();
    options.keepEnergies = true;
    JobInput input = engine->job(g, set, options);
    runRecord = input.runRecord;
    stopRequested = false;
    partialRows = {0, 0};
    partialLabel->hide();

    progressBar1->setRange(0, 0);  // busy until the first row is in
    statusBar()->showMessage(QStringLiteral("Running ..."));
    runUnderWay = true;
    mapView->setRunning(true);
    pendingLog.clear();
    pendingProgress.reset();
    pendingRecord = false;
    sinceMapRedraw.invalidate();
    // A Debye-Hueckel run has no rows to count: a large map gets a time estimate instead,
    // from a few of its complexes timed here.
    if (estimateTimer) estimateTimer->stop();
    estimatedSeconds = 0.0;
    const std::int64_t complexes = std::int64_t{g.mpMax - std::max(g.mpMin, 1) + 1} * (g.mmMax - std::max(g.mmMin, 1) + 1);
    if (options.method != Method::PoissonBoltzmann && complexes >= kEstimatedComplexes) {
        estimatedSeconds = debyeHueckelStageSeconds(g, set.plen, set.mlen, options.method == Method::DebyeHueckelLinear,
                                                    options.accuracy == Accuracy::Converged, options.threads);
        estimateText = QStringLiteral("%1 complexes").arg(QLocale().toString(static_cast<qlonglong>(complexes)));
        if (!estimateTimer) {
            estimateTimer = new QTimer(this);
            estimateTimer->setInterval(1000);
            connect(estimateTimer, &QTimer::timeout, this, [this] { showEstimate(); });
        }
        estimateTimer->start();
    }
    runClock.start();
    showEstimate();
    runner->start(std::move(input), jobEvents());
}

void Form1::showEstimate() {
    if (estimatedSeconds <= 0.0) return;
    const double left = estimatedSeconds - (runClock.isValid() ? runClock.elapsed() / 1000.0 : 0.0);
    const auto secondsText = [](double s) { return QLocale().toString(s, 'f', s < 10.0 ? 1 : 0) + QStringLiteral(" s"); };
    statusBar()->showMessage(
        left > 0.0 ? QStringLiteral("Running ... %1: about %2 (estimate %3)")
                         .arg(estimateText, secondsText(left) + QStringLiteral(" left"), secondsText(estimatedSeconds))
                   : QStringLiteral("Running ... %1: longer than the estimate of %2")
                         .arg(estimateText, secondsText(estimatedSeconds)));
}

void Form1::button2_Click() {
    runner->stop();
    clearResultLabels();
    stopRequested = true;
    setCurrentRecord(resultRecord);
    showIdleButtons();
}

RunOptions Form1::runOptions() const {
    RunOptions options;
    options.method = !checkBox2->isChecked()       ? Method::PoissonBoltzmann
                     : linearDhBox->isChecked() ? Method::DebyeHueckelLinear
                                                : Method::DebyeHueckel;
    options.chains = checkBox1->isChecked() ? Chains::Tables : Chains::Solved;
    options.accuracy = checkBox3->isChecked() ? Accuracy::Converged : Accuracy::Standard;
    return options;
}

JobEvents Form1::jobEvents() {
    JobEvents events;
    events.message = [this](const JobMessage& m) {
        pendingLog += QString::fromStdString(m.text) + QLatin1Char('\n');
        queueViewUpdate();
        if (m.severity == Severity::Error) failure = QString::fromStdString(m.text);
        if (m.warning && m.warning->kind == WarningKind::PartialResult && m.warning->total > 0) {
            partialRows = {static_cast<std::int32_t>(m.warning->count), static_cast<std::int32_t>(m.warning->total)};
            partialLabel->setText(
                QStringLiteral("Partial result: %1 of %2 rows").arg(partialRows.first).arg(partialRows.second));
            partialLabel->show();
        }
    };
    events.snapshot = [this](const ResultSnapshot& rec) {
        resultRecord = withoutShiftAfterStop(rec);
        pendingRecord = true;
        queueViewUpdate();
    };
    events.progress = [this](std::int64_t done, std::int64_t total) {
        pendingProgress = {done, total};
        queueViewUpdate();
    };
    events.finished = [this](JobOutcome outcome, const JobCounts&) {
        showPending(true);
        jobEnded(outcome);
    };
    return events;
}

void Form1::queueViewUpdate() {
    if (viewUpdateQueued) return;
    viewUpdateQueued = true;
    QTimer::singleShot(0, this, [this] { showPending(false); });
}

void Form1::showPending(bool mapToo) {
    viewUpdateQueued = false;
    if (!pendingLog.isEmpty()) {
        appendLog(pendingLog);
        pendingLog.clear();
    }
    const bool progressed = pendingProgress.has_value();
    if (progressed) {
        const auto [done, total] = *pendingProgress;
        progressBar1->setRange(0, static_cast<int>(total));
        progressBar1->setValue(static_cast<int>(std::clamp<std::int64_t>(done, 0, total)));
    }
    if (!(progressed || pendingRecord)) return;
    // The map and the observables look at every cell: drawn at most every kMapRedrawMs while
    // the job runs (the rest waits for the next turn or the job's end).
    if (!mapToo && sinceMapRedraw.isValid() && sinceMapRedraw.elapsed() < kMapRedrawMs) {
        if (!viewUpdateQueued) {
            viewUpdateQueued = true;
            QTimer::singleShot(kMapRedrawMs - static_cast<int>(sinceMapRedraw.elapsed()), this,
                               [this] { showPending(false); });
        }
        return;
    }
    if (pendingRecord && observablesPanel) observablesPanel->showRecord(resultRecord);
    // The map follows the progress count (a snapshot alone, before the first row, is not drawn).
    if (pendingProgress) redrawMap();
    pendingRecord = false;
    pendingProgress.reset();
    sinceMapRedraw.start();
}

void Form1::jobEnded(JobOutcome outcome) {
    if (estimateTimer) estimateTimer->stop();
    estimatedSeconds = 0.0;
    // A row count stays as it was (all rows, or those done before "Stop"); a busy bar ends.
    if (progressBar1->maximum() == 0) {
        progressBar1->setRange(0, 1);
        progressBar1->setValue(0);
    }
    if (outcome == JobOutcome::Finished) progressBar1->setValue(progressBar1->maximum());
    const QString took = seconds(runClock.elapsed());
    switch (outcome) {
    case JobOutcome::Finished:
        statusBar()->showMessage(QStringLiteral("Last run took ") + took);
        break;
    case JobOutcome::Cancelled:
        statusBar()->showMessage(QStringLiteral("Last run stopped after ") + took);
        break;
    case JobOutcome::Failed: {
        statusBar()->showMessage(QStringLiteral("Last run failed after ") + took);
        // Shown once this handler has returned.
        const QString reason = failure;
        QTimer::singleShot(0, this, [this, reason] { showMessage(reason); });
        break;
    }
    }
    // A large range whose weight sits in a corner is shown by that corner, unless the user
    // has zoomed meanwhile.
    runUnderWay = false;
    mapView->setRunning(false);  // the populated region is known now
    if (outcome != JobOutcome::Failed && mapView->showsWholeRange()) mapView->focusPopulatedRegion();
    showIdleButtons();
}

void Form1::appendLog(const QString& text) {
    QTextCursor cursor = richTextBox1->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    richTextBox1->setTextCursor(cursor);
    richTextBox1->ensureCursorVisible();
}

void Form1::UpdateUIText(const QString& text) { appendLog(text + QLatin1Char('\n')); }

void Form1::showIdleButtons() {
    button1->setEnabled(true);
    button2->setEnabled(false);
}

ResultSnapshot Form1::withoutShiftAfterStop(ResultSnapshot rec) const {
    // After "Stop" the window's copy no longer carries the run's common shift. A copy of a
    // record shares its matrices, so this costs no cells.
    if (rec && stopRequested && rec->max_shift != 0.0) {
        auto copy = std::make_shared<ResultRecord>(*rec);
        copy->max_shift = 0.0;
        rec = std::move(copy);
    }
    return rec;
}

void Form1::setCurrentRecord(ResultSnapshot rec) {
    resultRecord = withoutShiftAfterStop(std::move(rec));
    if (observablesPanel) observablesPanel->showRecord(resultRecord);
}

}  // namespace marlinq::ui
