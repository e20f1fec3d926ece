// Form1: "Solve", "Stop" and what the run controller reports, wired to the window.
#include "ui/Form1.h"

#include "pipeline/CalculationStages.h"
#include "pipeline/Units.h"
#include "pipeline/ParameterSchema.h"
#include "ui/FieldText.h"
#include "ui/ObservablesPanel.h"
#include "ui/ResultPanel.h"
#include "ui/RunController.h"
#include "ui/RunOptionsBox.h"

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

std::optional<double> parseReal(const QLineEdit* box) {
    bool ok = false;
    const double v = QLocale().toDouble(box->text().trimmed(), &ok);
    if (!ok) return std::nullopt;
    return v;
}

std::optional<std::int32_t> parseInt(const QLineEdit* box) {
    bool ok = false;
    const int v = QLocale().toInt(box->text().trimmed(), &ok);
    if (!ok) return std::nullopt;
    return static_cast<std::int32_t>(v);
}

}  // namespace

void Form1::solve() {
    mapView->forgetCells();
    resultPanel->clear();

    const std::span<const ParameterRow> rows = parameterSchema();
    InputFields in(rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) in[k] = readParameterField(rows[k]);
    ParameterSet set;
    // In total mode the two fields hold the totals, checked as totals once the rest passed.
    ParameterSet totals;
    if (totalModeChosen()) {
        if (const std::optional<QString> failure = readTotals(totals)) {
            showMessage(*failure);
            return;
        }
        in[parameterIndex("vc10")] = in[parameterIndex("vc01")] = 1e-3;
    }
    if (const auto failure = validateInput(in, params, &set)) {
        showMessage(QString::fromStdString(*failure));
        return;
    }
    if (totals.totalMode) {
        if (const auto failure = checkTotals(MassBalanceTotals{totals.totalPlus, totals.totalMinus}, params)) {
            showMessage(QString::fromStdString(*failure));
            return;
        }
        params.vc10 = totals.totalPlus;
        params.vc01 = totals.totalMinus;
        set.totalMode = true;
        set.totalPlus = totals.totalPlus;
        set.totalMinus = totals.totalMinus;
    }
    const Parameters& g = params;
    set.params = g;

    mapView->showEmptyRanges(g.mpMin, g.mpMax - g.mpMin + 1, g.mmMin, g.mmMax - g.mmMin + 1);
    logView->clear();  // the job's log starts with its first line

    RunOptions options = runOptionsBox->options();
    options.keepEnergies = true;
    JobInput input = engine->job(g, set, options);
    runRecord = input.runRecord;
    resultPanel->setPartial(0, 0);
    runProgress->setRange(0, 0);  // busy until the first row is in
    mapView->setRunning(true);
    runs->startCalculation(std::move(input));
}

void Form1::stop() {
    runs->stop();
    resultPanel->clear();
}

void Form1::connectRuns() {
    connect(runs, &RunController::runningChanged, this, [this](bool running) {
        solveButton->setEnabled(!running);
        stopButton->setEnabled(running);
    });
    connect(runs, &RunController::logText, this, &Form1::appendLog);
    connect(runs, &RunController::progress, this, [this](qint64 done, qint64 total) {
        runProgress->setRange(0, static_cast<int>(total));
        runProgress->setValue(static_cast<int>(std::clamp<qint64>(done, 0, total)));
    });
    connect(runs, &RunController::snapshot, this, [this](const ResultSnapshot& rec) { resultRecord = rec; });
    connect(runs, &RunController::refreshDue, this, &Form1::showResult);
    connect(runs, &RunController::partialResult, resultPanel, &ResultPanel::setPartial);
    connect(runs, &RunController::statusText, this, [this](const QString& text) { statusBar()->showMessage(text); });
    connect(runs, &RunController::ended, this, &Form1::runEnded);
}

void Form1::showResult(const ResultSnapshot& rec, bool newSnapshot, bool newRows) {
    if (newSnapshot && observablesPanel) observablesPanel->showRecord(rec);
    if (newRows) redrawMap();
}

void Form1::runEnded(JobOutcome outcome) {
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

void Form1::updateResultPanel(std::int32_t mp, std::int32_t mm) {
    if (!resultPanel->showComplex(*resultRecord, mp, mm)) showMessage(QStringLiteral("Rc_over_l is 0"));
}

void Form1::appendLog(const QString& text) {
    QTextCursor cursor = logView->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    logView->setTextCursor(cursor);
    logView->ensureCursorVisible();
}

void Form1::appendLogLine(const QString& text) { appendLog(text + QLatin1Char('\n')); }

QLineEdit* Form1::parameterField(const ParameterRow& row) const {
    // The one place a parameter meets its widget: a new parameter adds its line here.
    const std::pair<std::string_view, QLineEdit*> fields[] = {
        {"plen", plenBox},  {"zp", pchgBox},  {"Np", pneuBox},   {"mlen", textBox3}, {"zn", textBox4},
        {"Nm", textBox5},   {"ka", textBox7}, {"vc10", textBox1}, {"vc01", textBox2}, {"mpMin", pminBox},
        {"mpMax", pmaxBox}, {"mmMin", mminBox}, {"mmMax", mmaxBox},
    };
    for (const auto& [key, box] : fields)
        if (key == row.key) return box;
    return nullptr;
}

std::optional<double> Form1::readParameterField(const ParameterRow& row) const {
    const QLineEdit* box = parameterField(row);
    if (box == nullptr) return std::nullopt;
    if (row.lenient) return GetDouble(box->text());
    if (row.integer) {
        const std::optional<std::int32_t> v = parseInt(box);
        return v ? std::optional<double>(*v) : std::nullopt;
    }
    return parseReal(box);
}

bool Form1::totalModeChosen() const { return concentrationModeBox && concentrationModeBox->currentIndex() == 1; }

std::optional<QString> Form1::readTotals(ParameterSet& set) const {
    if (!totalModeChosen()) return std::nullopt;
    double plus = GetDouble(textBox1->text()), minus = GetDouble(textBox2->text());
    if (concentrationUnitBox->currentIndex() == 1) {
        const std::optional<double> a = observablesPanel ? observablesPanel->unitNm() : std::nullopt;
        if (!a)
            return QStringLiteral("Totals in mM need the segment size a (nm), from 0.01 to 100");
        plus = chainsPerSegmentVolume(plus, *a);
        minus = chainsPerSegmentVolume(minus, *a);
    }
    set.totalMode = true;
    set.totalPlus = asShown(plus);
    set.totalMinus = asShown(minus);
    return std::nullopt;
}

void Form1::showConcentrations(const ParameterSet& set) {
    concentrationModeBox->setCurrentIndex(set.totalMode ? 1 : 0);
    concentrationUnitBox->setCurrentIndex(0);
    if (set.totalMode) {
        textBox1->setText(general(set.totalPlus));
        textBox2->setText(general(set.totalMinus));
    }
}

ParameterSet Form1::fieldParameterSet() const {
    ParameterSet set;
    Parameters& p = set.params;
    for (const ParameterRow& r : parameterSchema()) {
        if (parameterField(r) == nullptr) continue;
        setParameterMember(set, r, readParameterField(r).value_or(0.0));
    }
    // Total mode: the fields are the totals (their free chains are not known before a run).
    if (!readTotals(set) && set.totalMode) {
        p.vc10 = set.totalPlus;
        p.vc01 = set.totalMinus;
    }
    p.kip = set.plen != 0.0 ? chargeDensity(p.zp, set.plen) : 0.0;
    p.kim = set.mlen != 0.0 ? chargeDensity(p.zn, set.mlen) : 0.0;
    return set;
}

}  // namespace marlinq::ui
