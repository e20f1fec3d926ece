#include "ui/RunController.h"

#include "pipeline/CalculationStages.h"

#include <QLocale>
#include <QTimer>

#include <algorithm>

namespace marlinq::ui {

namespace {

// Debye-Hueckel runs over at least this many complexes show a time estimate.
constexpr std::int64_t kEstimatedComplexes = 100000;

QString seconds(qint64 ms) {
    return QLocale().toString(static_cast<double>(ms) / 1000.0, 'f', 2) + QStringLiteral(" s");
}

}  // namespace

RunController::RunController(QObject* parent)
    : QObject(parent),
      // A job's events wait in the runner's queue, under its own lock; one queued call that
      // carries nothing wakes the window to take them. (Qt's event queue is ordered by locks
      // a race detector cannot see: a function object built on the job thread and run here
      // would look unordered to it.)
      runner(std::make_unique<JobRunner>([this] { QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection); })),
      result_(std::make_shared<const RunResult>()) {
    setObjectName(QStringLiteral("runController"));
}

RunController::~RunController() {
    // The jobs stop and their threads are joined before anything they report to goes.
    runner->shutDown();
}

void RunController::shutDown() { runner->shutDown(); }

void RunController::deliver() { runner->deliver(); }

bool RunController::jobsRunning() const { return runner->busy(); }

QString RunController::partialUnit() const {
    return countsComplexes ? QStringLiteral("complexes") : QStringLiteral("rows");
}

void RunController::begin() {
    stopRequested_ = false;
    partialRows_ = {0, 0};
    failure_.clear();
    pendingLog.clear();
    pendingProgress.reset();
    pendingSnapshot = false;
    rowsShown = false;
    sinceRefresh.invalidate();
    if (estimateTimer) estimateTimer->stop();
    estimatedSeconds = 0.0;
    underWay_ = true;
    emit runningChanged(true);
}

void RunController::startCalculation(JobInput input) {
    begin();
    const RunRequest& request = *input.request;
    const ComplexModelPointer model = makeComplexModel(request.method, request.accuracy, request.params);
    countsComplexes = model->selection() == CellSelection::EveryCell;
    emit statusText(QStringLiteral("Running ..."));
    // A Debye-Hueckel run has no rows to count: a large map gets a time estimate instead,
    // from a few of its complexes timed here.
    const Parameters& g = request.params;
    const std::int64_t complexes =
        std::int64_t{g.mpMax - std::max(g.mpMin, 1) + 1} * (g.mmMax - std::max(g.mmMin, 1) + 1);
    if (countsComplexes && complexes >= kEstimatedComplexes) {
        estimatedSeconds = everyCellStageSeconds(*model, g, request.plusLength, request.minusLength, input.threads);
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
    runner->start(std::move(input), events());
}

void RunController::startJob(Job job) {
    begin();
    countsComplexes = false;
    runClock.start();
    runner->start(std::move(job), events());
}

void RunController::stop() {
    runner->stop();
    const bool wasRunning = running();
    stopRequested_ = true;
    setResult(result_);
    if (wasRunning) emit runningChanged(false);
}

void RunController::showEstimate() {
    if (estimatedSeconds <= 0.0) return;
    const double left = estimatedSeconds - (runClock.isValid() ? runClock.elapsed() / 1000.0 : 0.0);
    const auto secondsText = [](double s) {
        return QLocale().toString(s, 'f', s < 10.0 ? 1 : 0) + QStringLiteral(" s");
    };
    emit statusText(
        left > 0.0 ? QStringLiteral("Running ... %1: about %2 (estimate %3)")
                         .arg(estimateText, secondsText(left) + QStringLiteral(" left"), secondsText(estimatedSeconds))
                   : QStringLiteral("Running ... %1: longer than the estimate of %2")
                         .arg(estimateText, secondsText(estimatedSeconds)));
}

void RunController::setResult(ResultSnapshot rec) {
    result_ = std::move(rec);
    emit refreshDue(result_, true, false);
}

JobEvents RunController::events() {
    JobEvents events;
    events.message = [this](const JobMessage& m) {
        pendingLog += QString::fromStdString(m.text) + QLatin1Char('\n');
        queueRefresh();
        if (m.severity == Severity::Error) failure_ = QString::fromStdString(m.text);
        if (m.warning && m.warning->kind == WarningKind::PartialResult && m.warning->total > 0) {
            partialRows_ = {static_cast<std::int32_t>(m.warning->count), static_cast<std::int32_t>(m.warning->total)};
            emit partialResult(partialRows_.first, partialRows_.second, partialUnit());
        }
    };
    events.snapshot = [this](const ResultSnapshot& rec) {
        result_ = rec;
        pendingSnapshot = true;
        queueRefresh();
    };
    events.progress = [this](std::int64_t done, std::int64_t total) {
        pendingProgress = {done, total};
        queueRefresh();
    };
    events.point = [this](const std::shared_ptr<const SweepPoint>& point) { emit pointDone(point); };
    events.finished = [this](JobOutcome outcome, const JobCounts&) {
        showPending(true);
        finish(outcome);
    };
    return events;
}

void RunController::queueRefresh() {
    if (refreshQueued) return;
    refreshQueued = true;
    QTimer::singleShot(0, this, [this] { showPending(false); });
}

void RunController::showPending(bool now) {
    refreshQueued = false;
    if (!pendingLog.isEmpty()) {
        const QString lines = std::exchange(pendingLog, QString());
        emit logText(lines);
    }
    const bool progressed = pendingProgress.has_value();
    if (progressed) emit progress(pendingProgress->first, pendingProgress->second);
    if (!(progressed || pendingSnapshot)) return;
    // The map and the observables look at every cell: shown at most every kRedrawMs while
    // the job runs (the rest waits for the next turn or the job's end).
    if (!now && sinceRefresh.isValid() && sinceRefresh.elapsed() < kRedrawMs) {
        if (!refreshQueued) {
            refreshQueued = true;
            QTimer::singleShot(kRedrawMs - static_cast<int>(sinceRefresh.elapsed()), this,
                               [this] { showPending(false); });
        }
        return;
    }
    const bool newSnapshot = std::exchange(pendingSnapshot, false);
    pendingProgress.reset();
    sinceRefresh.start();
    // Once rows are on the map, every later snapshot is drawn too: a total-mode run forms its
    // distribution at the solved free chains after its last row, and that snapshot may come
    // alone, after the window has shown the last row's count.
    const bool mapDue = progressed || (newSnapshot && rowsShown);
    rowsShown = rowsShown || progressed;
    emit refreshDue(result_, newSnapshot, mapDue);
}

void RunController::finish(JobOutcome outcome) {
    if (estimateTimer) estimateTimer->stop();
    estimatedSeconds = 0.0;
    const QString took = seconds(runClock.elapsed());
    switch (outcome) {
        case JobOutcome::Finished:
            emit statusText(QStringLiteral("Last run took ") + took);
            break;
        case JobOutcome::Cancelled:
            emit statusText(QStringLiteral("Last run stopped after ") + took);
            break;
        case JobOutcome::Failed:
            emit statusText(QStringLiteral("Last run failed after ") + took);
            break;
    }
    const bool wasRunning = running();
    underWay_ = false;
    if (wasRunning) emit runningChanged(false);
    emit ended(outcome);
}

}  // namespace marlinq::ui
