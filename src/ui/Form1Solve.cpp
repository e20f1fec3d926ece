// Form1: "Solve", "Stop" and the job with its callbacks.
#include "ui/Form1.h"

#include "pipeline/InputValidation.h"
#include "pipeline/Parameters.h"

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

    Parameters& g = processParameters();
    double plen = 0.0, mlen = 0.0;
    if (const auto failure = validateInput(in, g, plen, mlen)) {
        showMessage(QString::fromStdString(*failure));
        return;
    }

    prange = g.mpMax - g.mpMin + 1;
    mrange = g.mmMax - g.mmMin + 1;
    button1->setEnabled(false);
    button2->setEnabled(true);
    drawCoordinateBars();
    drawEmptyMap();
    richTextBox1->setPlainText(QStringLiteral("Solving for linear chains 'minus' and 'plus' in parallel ...... \n"));
    lastLogLine.clear();

    icb = std::make_shared<InfoChainBean>(plen, mlen, g.kip, g.kim, g.ka, g.vc01, g.vc10, g.zp, g.zn, g.Np, g.Nm,
                                          g.mpMin, g.mpMax, g.mmMin, g.mmMax, 0.0, 0.0, checkBox1->isChecked());

    // A new job: its own stop source, its own copy of the parameters, and a generation
    // number so that nothing of an older job reaches the window any more.
    TokenSource = std::stop_source();
    ++generation;
    stopRequested = false;
    // The older job may still write its record: it is never read again.
    liveRecord.reset();
    dhRun = checkBox2->isChecked();
    reapFinishedJobs();

    JobInput input;
    input.params = g;
    input.icb = icb;
    input.dh = dhRun;
    input.mrange = mrange;

    progressBar1->setRange(0, 0);  // busy until the first row is in
    statusBar()->showMessage(QStringLiteral("Running ..."));
    runClock.start();

    RunningJob job;
    job.stop = TokenSource;
    job.finished = std::make_shared<std::atomic<bool>>(false);
    job.thread = std::thread([this, input = std::move(input), token = TokenSource.get_token(), gen = generation,
                              finished = job.finished]() mutable {
        GenerateFreeEnergy(std::move(input), token, gen);
        finished->store(true);
    });
    jobs.push_back(std::move(job));
}

void Form1::button2_Click() {
    TokenSource.request_stop();
    clearResultLabels();
    if (isb) isb->max_shift = 0.0;
    stopRequested = true;
    UpdataUIButton(QString());
}

void Form1::GenerateFreeEnergy(JobInput input, std::stop_token token, std::uint64_t gen) {
    // Every callback runs on the window thread while this thread waits for it; a callback
    // of a job that a newer "Solve" has replaced does nothing there.
    const std::shared_ptr<JobChannel> ch = channel;
    JobCallbacks callbacks;
    callbacks.UpdateText = [this, ch, gen](const std::string& s) {
        ch->call([this, gen, text = QString::fromStdString(s)] {
            if (gen == generation) UpdateUIText(text);
        });
    };
    callbacks.UpdateMatrix = [this, ch, gen](const std::string& s) {
        ch->call([this, gen, text = QString::fromStdString(s)] {
            if (gen == generation) UpdateUIMatrix(text);
        });
    };
    callbacks.UpdateButton = [this, ch, gen](const std::string& s) {
        ch->call([this, gen, text = QString::fromStdString(s)] {
            if (gen == generation) UpdataUIButton(text);
        });
    };
    callbacks.PublishRecord = [this, ch, gen](std::shared_ptr<InfoSphereBean> rec) {
        ch->call([this, gen, rec = std::move(rec)] {
            if (gen == generation) setCurrentRecord(rec);
        });
    };
    const JobOutcome outcome = marlinq::GenerateFreeEnergy(input, token, callbacks);
    ch->call([this, gen, outcome] { jobEnded(gen, outcome); });
}

void Form1::jobEnded(std::uint64_t gen, JobOutcome outcome) {
    if (gen != generation) return;
    // The job has returned: its record is no longer written and may be read in full.
    takeSnapshot();
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
        UpdataUIButton(QString());
        // Shown once the job thread has been let go.
        const QString reason = lastLogLine;
        QTimer::singleShot(0, this, [this, reason] { showMessage(reason); });
        break;
    }
    }
}

void Form1::UpdateUIText(const QString& text) {
    QTextCursor cursor = richTextBox1->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text + QLatin1Char('\n'));
    richTextBox1->setTextCursor(cursor);
    richTextBox1->ensureCursorVisible();
    lastLogLine = text;
}

void Form1::UpdataUIButton(const QString&) {
    button1->setEnabled(true);
    button2->setEnabled(false);
}

void Form1::setCurrentRecord(std::shared_ptr<InfoSphereBean> rec) {
    liveRecord = std::move(rec);
    takeSnapshot();
}

void Form1::takeSnapshot() {
    if (!liveRecord) return;
    isb = std::make_shared<InfoSphereBean>(*liveRecord);
    if (stopRequested) isb->max_shift = 0.0;
}

void Form1::UpdateUIMatrix(const QString&) {
    takeSnapshot();
    if (isb && !isb->dhchecked && isb->hasResults()) {
        const std::int32_t rows = isb->mpMax - isb->mpMin + 1;
        progressBar1->setRange(0, rows);
        progressBar1->setValue(std::clamp(isb->index - isb->mpMin + 1, 0, rows));
    }
    redrawMap();
}

}  // namespace marlinq::ui
