// Form1: "Solve", "Stop" and the job with its callbacks.
#include "ui/Form1.h"

#include "pipeline/ParameterSchema.h"
#include "ui/FieldText.h"
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

    const std::span<const ParameterRow> rows = parameterSchema();
    InputFields in(rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) in[k] = readParameterField(rows[k]);
    ParameterSet set;
    if (const auto failure = validateInput(in, params, &set)) {
        showMessage(QString::fromStdString(*failure));
        return;
    }
    const Parameters& g = params;
    set.params = g;

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
    JobInput input = makeJobInput(g, set, RunOptions{checkBox2->isChecked(), tableChains, converged, true}, tables, tablesError);
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

ParameterSet Form1::fieldParameterSet() const {
    ParameterSet set;
    Parameters& p = set.params;
    for (const ParameterRow& r : parameterSchema()) {
        if (parameterField(r) == nullptr) continue;
        setParameterMember(set, r, readParameterField(r).value_or(0.0));
    }
    p.kip = set.plen != 0.0 ? chargeDensity(p.zp, set.plen) : 0.0;
    p.kim = set.mlen != 0.0 ? chargeDensity(p.zn, set.mlen) : 0.0;
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
