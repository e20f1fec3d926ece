// Form1: "Solve", "Stop" and the job with its callbacks.
#include "ui/Form1.h"

#include "pipeline/InputValidation.h"
#include "pipeline/Parameters.h"
#include "ui/MyConsole.h"
#include "ui/ObservablesPanel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

#include <iostream>

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

QString seconds(qint64 ms) { return QLocale().toString(static_cast<double>(ms) / 1000.0, 'f', 2) + QStringLiteral(" s"); }

}  // namespace

void Form1::clearResultLabels() {
    for (QLabel* l : {label21, label61, label62, label63, label64, label65}) l->clear();
}

void Form1::button1_Click() {
    list.clear();
    clearResultLabels();

    InputFields in;
    in.plen = parseReal(plenBox);
    in.zp = parseReal(pchgBox);
    in.Np = parseInt(pneuBox);
    in.mlen = parseReal(textBox3);
    in.zn = parseReal(textBox4);
    in.Nm = parseInt(textBox5);
    in.ka = GetDouble(textBox7->text());
    in.vc10 = GetDouble(textBox1->text());
    in.vc01 = GetDouble(textBox2->text());
    in.mpMin = parseInt(pminBox);
    in.mpMax = parseInt(pmaxBox);
    in.mmMin = parseInt(mminBox);
    in.mmMax = parseInt(mmaxBox);

    double plen = 0.0, mlen = 0.0;
    if (const auto failure = validateInput(in, params, plen, mlen)) {
        showMessage(QString::fromStdString(*failure));
        return;
    }
    const Parameters& g = params;

    prange = g.mpMax - g.mpMin + 1;
    mrange = g.mmMax - g.mmMin + 1;
    button1->setEnabled(false);
    button2->setEnabled(true);
    drawEmptyMap();  // with the axes of the new ranges
    richTextBox1->clear();  // the job's log starts with its first line
    failure.clear();

    ParameterSet set;
    set.params = g;
    set.plen = plen;
    set.mlen = mlen;
    RunOptions options = runOptions();
    options.keepEnergies = true;
    JobInput input = engine->job(g, set, options);
    icb = input.icb;
    stopRequested = false;
    partialRows = {0, 0};
    partialLabel->hide();

    progressBar1->setRange(0, 0);  // busy until the first row is in
    statusBar()->showMessage(QStringLiteral("Running ..."));
    runClock.start();
    runner->start(std::move(input), jobEvents());
}

void Form1::button2_Click() {
    runner->stop();
    clearResultLabels();
    stopRequested = true;
    setCurrentRecord(isb);
    showIdleButtons();
}

RunOptions Form1::runOptions() const {
    RunOptions options;
    options.method = checkBox2->isChecked() ? Method::DebyeHueckel : Method::PoissonBoltzmann;
    options.chains = checkBox1->isChecked() ? Chains::Tables : Chains::Solved;
    options.accuracy = checkBox3->isChecked() ? Accuracy::Converged : Accuracy::Standard;
    return options;
}

JobEvents Form1::jobEvents() {
    JobEvents events;
    events.message = [this](const JobMessage& m) {
        appendLog(QString::fromStdString(m.text) + QLatin1Char('\n'));
        if (m.diagnostic && MyConsole::IsExistent) std::cout << m.text << std::endl;
        if (m.severity == Severity::Error) failure = QString::fromStdString(m.text);
        if (m.warning && m.warning->kind == WarningKind::PartialResult && m.warning->total > 0) {
            partialRows = {static_cast<std::int32_t>(m.warning->count), static_cast<std::int32_t>(m.warning->total)};
            partialLabel->setText(
                QStringLiteral("Partial result: %1 of %2 rows").arg(partialRows.first).arg(partialRows.second));
            partialLabel->show();
        }
    };
    events.snapshot = [this](const ResultSnapshot& rec) { setCurrentRecord(rec); };
    events.progress = [this](std::int64_t done, std::int64_t total) {
        progressBar1->setRange(0, static_cast<int>(total));
        progressBar1->setValue(static_cast<int>(std::clamp<std::int64_t>(done, 0, total)));
        redrawMap();
    };
    events.finished = [this](JobOutcome outcome, const JobCounts&) { jobEnded(outcome); };
    return events;
}

void Form1::jobEnded(JobOutcome outcome) {
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
    if (outcome != JobOutcome::Failed && showsWholeRange()) focusPopulatedRegion();
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

void Form1::setCurrentRecord(ResultSnapshot rec) {
    // After "Stop" the window's copy no longer carries the run's common shift. A copy of a
    // record shares its matrices, so this costs no cells.
    if (rec && stopRequested && rec->max_shift != 0.0) {
        auto copy = std::make_shared<InfoSphereBean>(*rec);
        copy->max_shift = 0.0;
        rec = std::move(copy);
    }
    isb = std::move(rec);
    if (observablesPanel) observablesPanel->showRecord(isb);
}

ParameterSet Form1::fieldParameterSet() const {
    ParameterSet set;
    Parameters& p = set.params;
    set.plen = parseReal(plenBox).value_or(0.0);
    set.mlen = parseReal(textBox3).value_or(0.0);
    p.zp = parseReal(pchgBox).value_or(0.0);
    p.zn = parseReal(textBox4).value_or(0.0);
    p.kip = set.plen != 0.0 ? p.zp / set.plen : 0.0;
    p.kim = set.mlen != 0.0 ? p.zn / set.mlen : 0.0;
    p.Np = parseInt(pneuBox).value_or(0);
    p.Nm = parseInt(textBox5).value_or(0);
    p.ka = GetDouble(textBox7->text());
    p.vc10 = GetDouble(textBox1->text());
    p.vc01 = GetDouble(textBox2->text());
    p.mpMin = parseInt(pminBox).value_or(0);
    p.mpMax = parseInt(pmaxBox).value_or(0);
    p.mmMin = parseInt(mminBox).value_or(0);
    p.mmMax = parseInt(mmaxBox).value_or(0);
    return set;
}

}  // namespace marlinq::ui
