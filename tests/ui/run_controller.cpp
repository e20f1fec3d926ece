// The run controller: what reaches a window of a superseded, a stopped and a fast job, and
// the main and the sweep window running at once, each through its own controller.
#include "main_window_support.h"

#include "ui/SweepWindow.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QStatusBar>
#include <QRegularExpression>
#include <QSignalSpy>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace marlinq;
using namespace marlinq::ui;
using namespace marlinq::ui::testing;

namespace {

JobMessage line(const std::string& text) {
    JobMessage m;
    m.text = text;
    return m;
}

ResultSnapshot recordWithIndex(std::int32_t index) {
    auto rec = std::make_shared<RunResult>();
    rec->index = index;
    rec->max_shift = 2.5;
    return rec;
}

// What a controller said, in order.
struct Heard {
    QString log;
    std::vector<ResultSnapshot> shown;  // refreshDue's records
    int refreshes = 0;
    std::vector<bool> running;
    std::vector<JobOutcome> ended;
    std::pair<qint64, qint64> progress{-1, -1};

    explicit Heard(RunController& runs) {
        QObject::connect(&runs, &RunController::logText, [this](const QString& s) { log += s; });
        QObject::connect(&runs, &RunController::refreshDue, [this](const ResultSnapshot& rec, bool, bool) {
            ++refreshes;
            shown.push_back(rec);
        });
        QObject::connect(&runs, &RunController::runningChanged, [this](bool on) { running.push_back(on); });
        QObject::connect(&runs, &RunController::ended, [this](JobOutcome o) { ended.push_back(o); });
        QObject::connect(&runs, &RunController::progress, [this](qint64 d, qint64 t) { progress = {d, t}; });
    }
};

TEST(RunController, ASupersededJobIsNeverHeardAndTheNewestEndsOnce) {
    RunController runs;
    Heard heard(runs);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    // The first job reports only once the second has started and finished.
    runs.startJob([released](std::stop_token, const JobEvents& sink) {
        released.wait();
        sink.message(line("old job"));
        sink.snapshot(recordWithIndex(1));
        sink.progress(1, 1);
        sink.finished(JobOutcome::Finished, JobCounts{});
    });
    runs.startJob([](std::stop_token, const JobEvents& sink) {
        sink.message(line("new job"));
        sink.snapshot(recordWithIndex(2));
        sink.progress(1, 2);
        sink.message(line("new job done"));
        sink.finished(JobOutcome::Finished, JobCounts{});
    });
    ASSERT_TRUE(waitFor([&] { return !heard.ended.empty(); }, 20000));
    release.set_value();
    ASSERT_TRUE(waitFor([&] { return !runs.jobsRunning(); }, 20000));
    QCoreApplication::processEvents();

    EXPECT_EQ(heard.log, QStringLiteral("new job\nnew job done\n"));
    EXPECT_EQ(heard.ended, std::vector<JobOutcome>{JobOutcome::Finished});
    ASSERT_FALSE(heard.shown.empty());
    EXPECT_EQ(heard.shown.back()->index, 2);
    EXPECT_EQ(runs.result()->index, 2);
    EXPECT_EQ(runs.result()->max_shift, 2.5);  // not stopped: the shift stays
    EXPECT_EQ(heard.progress, (std::pair<qint64, qint64>{1, 2}));
    // Started twice, idle once at the end.
    EXPECT_EQ(heard.running, (std::vector<bool>{true, true, false}));
    EXPECT_FALSE(runs.underWay());
}

TEST(RunController, AJobFasterThanTheWindowIsShownAtMostEveryIntervalAndWhollyAtItsEnd) {
    RunController runs;
    Heard heard(runs);
    constexpr int kSnapshots = 60;
    QElapsedTimer clock;
    clock.start();
    // A snapshot and a row every 10 ms: the window is due to show them far less often.
    runs.startJob([](std::stop_token, const JobEvents& sink) {
        for (int k = 1; k <= kSnapshots; ++k) {
            sink.snapshot(recordWithIndex(k));
            sink.progress(k, kSnapshots);
            sink.message(line("row " + std::to_string(k)));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        sink.finished(JobOutcome::Finished, JobCounts{});
    });
    ASSERT_TRUE(waitFor([&] { return !heard.ended.empty(); }, 60000));
    const qint64 elapsed = clock.elapsed();
    EXPECT_LE(heard.refreshes, elapsed / RunController::kRedrawMs + 2) << elapsed << " ms";
    EXPECT_GE(heard.refreshes, 1);
    // Nothing is lost: every log line, the last row count and the last snapshot.
    EXPECT_EQ(heard.log.count(QLatin1Char('\n')), kSnapshots);
    EXPECT_TRUE(heard.log.endsWith(QStringLiteral("row 60\n")));
    EXPECT_EQ(heard.progress, (std::pair<qint64, qint64>{kSnapshots, kSnapshots}));
    EXPECT_EQ(heard.shown.back()->index, kSnapshots);
}

// A total-mode run publishes its distribution at the solved free chains after its last row:
// that snapshot may reach the window alone, after the last row was drawn, and the map must
// follow it (it kept the rows' free-chain map while the panels showed the totals). Each job
// here waits until the window has drawn its last row; three jobs, as in repeated runs.
TEST(RunController, ASnapshotAfterTheDrawnLastRowIsDrawnInEveryRun) {
    RunController runs;
    constexpr int kRows = 3;
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        auto lastRowDrawn = std::make_shared<std::promise<void>>();
        std::shared_future<void> drawn = lastRowDrawn->get_future().share();
        std::vector<std::pair<ResultSnapshot, bool>> refreshes;  // record, map to be drawn
        bool told = false;
        const auto watch = QObject::connect(
            &runs, &RunController::refreshDue, [&, lastRowDrawn](const ResultSnapshot& rec, bool, bool mapDue) {
                refreshes.emplace_back(rec, mapDue);
                if (mapDue && rec->index == kRows && !rec->totalMode() && !told) {
                    told = true;
                    lastRowDrawn->set_value();
                }
            });
        QSignalSpy ended(&runs, &RunController::ended);
        runs.startJob([drawn](std::stop_token, const JobEvents& sink) {
            for (int k = 1; k <= kRows; ++k) {
                sink.snapshot(recordWithIndex(k));
                sink.progress(k, kRows);
            }
            // The window has drawn the rows; the distribution at the totals comes alone.
            if (drawn.wait_for(std::chrono::seconds(60)) != std::future_status::ready) return;
            auto settled = std::make_shared<RunResult>(*recordWithIndex(kRows));
            settled->answer(inTotalMode(settled->request(), MassBalanceTotals{1e-3, 1e-3}));
            sink.snapshot(settled);
            sink.finished(JobOutcome::Finished, JobCounts{});
        });
        ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }, 60000));
        QObject::disconnect(watch);
        ASSERT_FALSE(refreshes.empty());
        EXPECT_TRUE(refreshes.back().first->totalMode());
        EXPECT_TRUE(refreshes.back().second);  // drawn on the map, not only in the panels
        EXPECT_TRUE(runs.result()->totalMode());
    }
}

// The window shows the job's results as the job made them: after "Stop" the result is the
// very record the job published, its common shift included (a zeroed shift would scale every
// concentration the window exports by 2.71828183^shift).
TEST(RunController, StopKeepsTheRecordTheJobPublished) {
    RunController runs;
    std::promise<void> published;
    std::shared_future<void> shown = published.get_future().share();
    const ResultSnapshot partial = recordWithIndex(2);
    QSignalSpy ended(&runs, &RunController::ended);
    runs.startJob([&published, partial](std::stop_token stop, const JobEvents& sink) {
        sink.snapshot(partial);
        published.set_value();
        while (!stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sink.finished(JobOutcome::Cancelled, JobCounts{});
    });
    ASSERT_EQ(shown.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    ASSERT_TRUE(waitFor([&] { return runs.result().get() == partial.get(); }, 60000));
    runs.stop();
    EXPECT_EQ(runs.result().get(), partial.get());
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }, 60000));
    EXPECT_EQ(runs.result().get(), partial.get());
    EXPECT_EQ(runs.result()->max_shift, 2.5);
}

TEST_F(WindowTest, StopInAPoissonBoltzmannRunLeavesAPartialResultAndTheControllerIdle) {
    RunController& runs = runControllerOf(*form);
    Heard heard(runs);
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 400, 0, 400);
    solveButtonOf(*form)->click();
    EXPECT_TRUE(runs.running());
    ASSERT_TRUE(waitFor([&] { return log().contains("Row 1 is passed..."); }));
    stopButtonOf(*form)->click();
    // Idle for the user at once; the job still finishes its row.
    EXPECT_FALSE(runs.running());
    EXPECT_EQ(heard.running, (std::vector<bool>{true, false}));
    EXPECT_TRUE(solveButtonOf(*form)->isEnabled());
    ASSERT_TRUE(waitFor([&] { return !runs.jobsRunning() && !runs.underWay(); }));
    QCoreApplication::processEvents();

    EXPECT_EQ(heard.ended, std::vector<JobOutcome>{JobOutcome::Cancelled});
    EXPECT_EQ(heard.running, (std::vector<bool>{true, false}));  // not said twice
    ASSERT_TRUE(runs.isPartial());
    const auto [rowsDone, rows] = runs.partialRows();
    EXPECT_EQ(rows, 401);
    EXPECT_GE(rowsDone, 2);
    EXPECT_LT(rowsDone, 401);
    // The panel, the bar and the result agree on the rows done.
    EXPECT_EQ(resultLabelOf(*form, "partialLabel")->text(),
              QStringLiteral("Partial result: %1 of 401 rows").arg(rowsDone));
    EXPECT_EQ(runProgressOf(*form)->value(), rowsDone);
    const ResultSnapshot rec = runs.result();
    ASSERT_TRUE(rec && rec->hasResults());
    EXPECT_EQ(rec->index + 1, rowsDone);
    EXPECT_EQ(rec->max_shift, 0.0);
    EXPECT_TRUE(form->statusBar()->currentMessage().startsWith(QStringLiteral("Last run stopped after ")));
}

TEST_F(WindowTest, TheMainAndTheSweepWindowRunAtOnceEachThroughItsOwnController) {
    actionOf(*form, "sweepAction")->trigger();
    auto* sweep = form->findChild<SweepWindow*>(QStringLiteral("sweepWindow"));
    ASSERT_NE(sweep, nullptr);
    RunController& mainRuns = runControllerOf(*form);
    RunController& sweepRuns = runControllerOf(*sweep);
    ASSERT_NE(&mainRuns, &sweepRuns);

    // A two-point sweep of the start-up ranges (a sweep takes the fields as they are when it
    // starts), and a long Poisson-Boltzmann run in the main window beside it.
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.2,0.5"));
    childOf<QComboBox>(*sweep, "methodBox")->setCurrentIndex(0);  // Debye-Hueckel
    ASSERT_TRUE(sweep->start());
    EXPECT_EQ(sweep->plan().base.params.mpMax, 10);
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 400, 0, 400);
    solveButtonOf(*form)->click();
    EXPECT_TRUE(mainRuns.running());
    EXPECT_TRUE(sweepRuns.running());

    // The sweep ends on its own while the main run goes on; stopping the main run then
    // leaves the sweep's result alone.
    ASSERT_TRUE(waitFor([&] { return !sweep->running(); }));
    EXPECT_EQ(childOf<QLabel>(*sweep, "sweepStatus")->text(), QStringLiteral("Finished: 2 points."));
    EXPECT_TRUE(mainRuns.underWay());
    stopButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return !mainRuns.jobsRunning() && !mainRuns.underWay(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(sweep->points().size(), 2u);
    EXPECT_FALSE(sweepRuns.isPartial());
    EXPECT_TRUE(mainRuns.isPartial());
    // The main log is the main run's only.
    EXPECT_TRUE(log().contains(QRegularExpression("Cancelled!\n$"))) << log().toStdString();
    EXPECT_FALSE(log().contains(QStringLiteral("Point "))) << log().toStdString();
}

TEST_F(WindowTest, TheRunOptionsReachTheSweepWindowAndLinearNeedsTheDebyeHueckelBox) {
    RunOptionsBox& box = runOptionsOf(*form);
    RunOptions chosen;
    chosen.method = Method::DebyeHueckelLinear;
    chosen.chains = Chains::Solved;
    chosen.accuracy = Accuracy::Converged;
    box.setOptions(chosen);
    EXPECT_TRUE(childOf<QCheckBox>(*form, "linearDebyeHueckelBox")->isEnabled());
    EXPECT_FALSE(childOf<QCheckBox>(*form, "useTablesBox")->isChecked());
    actionOf(*form, "sweepAction")->trigger();
    auto* sweep = form->findChild<SweepWindow*>(QStringLiteral("sweepWindow"));
    ASSERT_NE(sweep, nullptr);
    EXPECT_EQ(childOf<QComboBox>(*sweep, "methodBox")->currentIndex(), 2);  // the closed-form linear energy
    EXPECT_EQ(childOf<QComboBox>(*sweep, "chainsBox")->currentIndex(), 1);  // solved
    // Poisson-Boltzmann: "linear" is greyed out and no longer counts, though still ticked.
    debyeHueckelBoxOf(*form)->setChecked(false);
    EXPECT_FALSE(childOf<QCheckBox>(*form, "linearDebyeHueckelBox")->isEnabled());
    EXPECT_EQ(box.options().method, Method::PoissonBoltzmann);
    EXPECT_EQ(box.options().accuracy, Accuracy::Converged);
    debyeHueckelBoxOf(*form)->setChecked(true);
    EXPECT_EQ(box.options().method, Method::DebyeHueckelLinear);
}

}  // namespace
