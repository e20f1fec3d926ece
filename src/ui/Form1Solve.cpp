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

}  // namespace

RunOptions Form1::chosenRunOptions() const {
    RunOptions options;
    options.dh = checkBox2->isChecked();
    options.linearDH = options.dh && linearDhBox->isChecked();
    options.tableChains = checkBox1->isChecked();
    options.converged = checkBox3->isChecked();
    return options;
}

namespace {

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
    richTextBox1->setPlainText(QStringLiteral("Solving for linear chains 'minus' and 'plus' in parallel ...... \n"));
    lastLogLine.clear();

    const bool tableChains = checkBox1->isChecked();
    const bool converged = checkBox3->isChecked();
    if (tableChains && !converged) ensureTables();
    ParameterSet set;
    set.params = g;
    set.plen = plen;
    set.mlen = mlen;
    RunOptions options = chosenRunOptions();
    options.keepEnergies = true;
    JobInput input = makeJobInput(g, set, options, tables, tablesError);
    icb = input.icb;
    dhRun = input.dh;
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
    UpdataUIButton(QString());
}

void Form1::ensureTables() {
    if (tables) return;
    tables = loadTables(dataSearch, tablesError);
}

JobEvents Form1::jobEvents() {
    JobEvents events;
    events.log = [this](const std::vector<std::string>& lines) {
        QString text;
        for (const std::string& line : lines) text += QString::fromStdString(line) + QLatin1Char('\n');
        appendLog(text);
        lastLogLine = QString::fromStdString(lines.back());
    };
    events.diagnostic = [this](const std::string& line) {
        appendLog(QString::fromStdString(line) + QLatin1Char('\n'));
        if (MyConsole::IsExistent) std::cout << line << std::endl;
    };
    events.record = [this](const ResultSnapshot& rec) { setCurrentRecord(rec); };
    events.rowDone = [this](const std::string& row) { UpdateUIMatrix(QString::fromStdString(row)); };
    events.finished = [this](JobOutcome outcome, const JobCounts& counts) { jobEnded(outcome, counts); };
    return events;
}

void Form1::jobEnded(JobOutcome outcome, const JobCounts& counts) {
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
        if (!dhRun && counts.rows > 0) {
            partialRows = {counts.rowsDone, counts.rows};
            partialLabel->setText(QStringLiteral("Partial result: %1 of %2 rows").arg(counts.rowsDone).arg(counts.rows));
            partialLabel->show();
        }
        break;
    case JobOutcome::Failed: {
        statusBar()->showMessage(QStringLiteral("Last run failed after ") + took);
        // Shown once this handler has returned.
        const QString reason = lastLogLine;
        QTimer::singleShot(0, this, [this, reason] { showMessage(reason); });
        break;
    }
    }
    // A large range whose weight sits in a corner is shown by that corner, unless the user
    // has zoomed meanwhile.
    if (outcome != JobOutcome::Failed && showsWholeRange()) focusPopulatedRegion();
    UpdataUIButton(QString());
}

void Form1::appendLog(const QString& text) {
    QTextCursor cursor = richTextBox1->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    richTextBox1->setTextCursor(cursor);
    richTextBox1->ensureCursorVisible();
}

void Form1::UpdateUIText(const QString& text) {
    appendLog(text + QLatin1Char('\n'));
    lastLogLine = text;
}

void Form1::UpdataUIButton(const QString&) {
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

void Form1::UpdateUIMatrix(const QString&) {
    if (isb && !isb->dhchecked && isb->hasResults()) {
        const std::int32_t rows = isb->mpMax - isb->mpMin + 1;
        progressBar1->setRange(0, rows);
        progressBar1->setValue(std::clamp(isb->index - isb->mpMin + 1, 0, rows));
    }
    redrawMap();
}

}  // namespace marlinq::ui
