#pragma once
// Runs the jobs of a window (a calculation, a sweep, the critical salt) and hands what they
// report to the window as signals, on the window's thread: one queued call per batch of
// events, the log lines of a batch together, and the result drawn at most every
// kRedrawMs while the job runs, so that a job faster than the window never leaves a queue
// of redraws behind it. Also keeps the stop state of the newest job and, for a large
// Debye-Hueckel map, its time estimate in the status text.

#include "pipeline/JobRunner.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

class QTimer;

namespace marlinq::ui {

class RunController : public QObject {
    Q_OBJECT

public:
    // While a job runs, the result is due on screen at most this often.
    static constexpr int kRedrawMs = 200;

    explicit RunController(QObject* parent = nullptr);
    ~RunController() override;

    // Starts the calculation of one distribution; the job before it is superseded (asked to
    // stop, never heard again). A Debye-Hueckel run over many complexes counts down an
    // estimate of its time in statusText.
    void startCalculation(JobInput input);
    // Starts any other job (a sweep, the critical salt) the same way.
    void startJob(Job job);
    // Asks the newest job to stop before its next row (a sweep: its next point). The result
    // shown from then on is without the run's common shift.
    void stop();
    // Stops every job and waits for its thread; nothing is heard afterwards.
    void shutDown();

    // From a start until the newest job has ended (also after stop() until then).
    bool underWay() const { return underWay_; }
    // A job has been started and neither ended nor been stopped.
    bool running() const { return underWay_ && !stopRequested_; }
    bool stopRequested() const { return stopRequested_; }
    // True while a job started here has not returned yet (superseded ones included).
    bool jobsRunning() const;
    // Of a stopped run: its rows done and rows, of a Debye-Hueckel run its complexes done
    // and complexes ({0, 0} otherwise).
    std::pair<std::int32_t, std::int32_t> partialRows() const { return partialRows_; }
    bool isPartial() const { return partialRows_.second > 0; }
    // What partialRows counts: "rows" (Poisson-Boltzmann, row by row) or "complexes".
    QString partialUnit() const;
    // Why the newest job failed (its error message), empty otherwise.
    const QString& failure() const { return failure_; }

    // The current result: the newest snapshot of the newest job (at first one without
    // matrices), what the window draws and exports. Snapshots never change, the job goes
    // on with its own record meanwhile.
    ResultSnapshot result() const { return result_; }
    // Makes rec the current result (after stop() without its shift) and emits refreshDue
    // for it at once.
    void setResult(ResultSnapshot rec);

signals:
    // Solve may start a job (false) or Stop may stop one (true).
    void runningChanged(bool running);
    // Lines of the job's log, each ending with a newline.
    void logText(const QString& lines);
    // The job's count of rows (of a sweep: points) done, as it comes.
    void progress(qint64 done, qint64 total);
    // Time to show the current result: newSnapshot when it changed since it was last
    // shown, newRows when the map is to be drawn: rows came in, or a new snapshot of a job
    // whose rows are on the map (a snapshot alone, before the first row, is not drawn).
    void refreshDue(const marlinq::ResultSnapshot& rec, bool newSnapshot, bool newRows);
    // The run was stopped with `done` of its `total` rows (or complexes: partialUnit()).
    void partialResult(int done, int total, const QString& unit);
    // A sweep's finished point.
    void pointDone(const std::shared_ptr<const marlinq::SweepPoint>& point);
    // What the status bar says of the run ("Running ...", the estimate, how long it took).
    void statusText(const QString& text);
    // The newest job has ended (after its last refreshDue).
    void ended(marlinq::JobOutcome outcome);

private:
    // Hands the waiting events of the newest job over (queued from the job).
    Q_INVOKABLE void deliver();
    void begin();
    JobEvents events();
    void queueRefresh();
    // Shows what is pending; the result only when `now` or its interval has passed.
    void showPending(bool now);
    void finish(JobOutcome outcome);
    void showEstimate();

    // Runs the jobs; its events reach the window through one queued call per batch.
    std::unique_ptr<JobRunner> runner;
    ResultSnapshot result_;
    bool stopRequested_ = false;  // "Stop" pressed for the newest job
    bool underWay_ = false;       // from a start until the newest job has ended
    std::pair<std::int32_t, std::int32_t> partialRows_{0, 0};
    bool countsComplexes = false;  // a Debye-Hueckel run: no rows, a list of complexes
    QString failure_;
    QElapsedTimer runClock;
    // What the job has said since the window last showed it: log lines, the newest progress
    // count and whether a new snapshot came.
    QString pendingLog;
    std::optional<std::pair<std::int64_t, std::int64_t>> pendingProgress;
    bool pendingSnapshot = false;
    bool rowsShown = false;  // the newest job's rows have been handed to the window
    bool refreshQueued = false;
    QElapsedTimer sinceRefresh;
    // A Debye-Hueckel run's estimated time, counted down once a second.
    QTimer* estimateTimer = nullptr;
    double estimatedSeconds = 0.0;
    QString estimateText;  // "998,001 complexes"
};

}  // namespace marlinq::ui
