// The job runner with a stand-in for the window's thread: jobs run on the runner's
// threads, their events wait in its queue and are handed over only when the "window"
// calls deliver(). Built with ThreadSanitizer this shows that nothing the window reads is
// written by a job meanwhile: the window keeps snapshots while the job goes on.

#include "PipelineFixtures.h"
#include "pipeline/JobRunner.h"
#include "pipeline/Sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <chrono>
#include <mutex>
#include <thread>

namespace marlinq {
namespace {

using testing::jobInput;
using testing::ShippedTables;
using testing::startupParameters;

// The window side: a wake-up flag set on a job thread, and what the window keeps.
class WindowStandIn {
public:
    struct State {
        std::vector<std::string> log;
        ResultSnapshot record;
        std::vector<ResultSnapshot> seen;  // every snapshot handed over, kept and read later
        std::int32_t shownRow = -1;
        std::pair<std::int64_t, std::int64_t> progress{0, 0};
        std::vector<std::shared_ptr<const SweepPoint>> points;
        int finished = 0;
        JobOutcome outcome = JobOutcome::Failed;
        JobCounts counts;
    };

    JobRunner runner{[this] {
        std::lock_guard lock(mutex_);
        woken_ = true;
        cv_.notify_all();
    }};

    JobEvents events() {
        JobEvents e;
        e.message = [this](const JobMessage& m) {
            if (!m.diagnostic) state.log.push_back(m.text);
        };
        e.snapshot = [this](const ResultSnapshot& r) {
            state.record = r;
            state.seen.push_back(r);
        };
        e.progress = [this](std::int64_t done, std::int64_t total) {
            if (state.record) state.shownRow = state.record->index;
            state.progress = {done, total};
        };
        e.point = [this](const std::shared_ptr<const SweepPoint>& p) { state.points.push_back(p); };
        e.finished = [this](JobOutcome o, const JobCounts& c) {
            ++state.finished;
            state.outcome = o;
            state.counts = c;
        };
        return e;
    }

    // Serves hand-overs until `until` holds.
    void serve(const std::function<bool(const State&)>& until) {
        while (!until(state)) {
            {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [&] { return woken_; });
                woken_ = false;
            }
            runner.deliver();
        }
    }

    State state;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool woken_ = false;
};

double sumOf(const Grid<double>& g) {
    double s = 0.0;
    g.forEach([&](double v) { s += v; });
    return s;
}

TEST(JobHandOver, WindowSeesEveryRowOfARunFromItsOwnThread) {
    ShippedTables tables;
    WindowStandIn window;
    window.runner.start(jobInput(startupParameters(), 72, 72, false), window.events());
    window.serve([](const auto& s) { return s.finished == 1; });
    const auto& s = window.state;
    EXPECT_EQ(s.outcome, JobOutcome::Finished);
    EXPECT_EQ(s.log.size(), 15u);  // first line, chain line, 11 rows, the implied totals, final line
    EXPECT_EQ(s.shownRow, 10);
    EXPECT_TRUE(s.record->normalised);
    EXPECT_EQ(s.counts.rowsDone, 11);
    // Snapshots handed over during the run are still what they were, read after the job
    // has ended: the rows computed after a snapshot was taken are empty in it.
    ASSERT_GE(s.seen.size(), 1u);
    for (const ResultSnapshot& snap : s.seen) {
        if (snap->normalised) continue;  // the final state
        for (std::int32_t r = snap->index + 1; r < snap->absValue.rows(); ++r)
            for (std::int32_t c = 2; c < snap->absValue.cols(); ++c) ASSERT_EQ(snap->absValue(r, c), 0.0) << r;
        EXPECT_LE(sumOf(snap->absValue), sumOf(s.record->absValue));
    }
}

TEST(JobHandOver, AWindowThatFellBehindCatchesUpInOneStep) {
    // A job far ahead of its window: 1000 rows, each a log line, a snapshot and a progress
    // count, all waiting when the window comes to deliver. Every line is handed over in
    // order, but only the newest snapshot and progress count: one redraw, not 1000.
    JobRunner runner([] {});
    std::vector<std::string> log;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    int snapshots = 0, finished = 0;
    JobEvents events;
    events.message = [&](const JobMessage& m) { log.push_back(m.text); };
    events.snapshot = [&](const ResultSnapshot&) { ++snapshots; };
    events.progress = [&](std::int64_t done, std::int64_t total) { progress.emplace_back(done, total); };
    events.finished = [&](JobOutcome, const JobCounts&) { ++finished; };
    runner.start(
        [](std::stop_token, const JobEvents& sink) {
            for (int row = 1; row <= 1000; ++row) {
                sink.message(JobMessage{Severity::Info, "Row " + std::to_string(row), false, std::nullopt});
                sink.snapshot(std::make_shared<const RunResult>());
                sink.progress(row, 1000);
            }
            sink.finished(JobOutcome::Finished, JobCounts{});
        },
        events);
    while (runner.busy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    runner.deliver();
    ASSERT_EQ(log.size(), 1000u);
    EXPECT_EQ(log.front(), "Row 1");
    EXPECT_EQ(log.back(), "Row 1000");
    EXPECT_EQ(progress, (std::vector<std::pair<std::int64_t, std::int64_t>>{{1000, 1000}}));
    EXPECT_EQ(snapshots, 1);
    EXPECT_EQ(finished, 1);
}

TEST(JobHandOver, StopThenASecondJobWhileTheFirstFinishesItsRow) {
    ShippedTables tables;
    WindowStandIn window;
    window.runner.start(jobInput(startupParameters(), 72, 72, false), window.events());
    window.serve([](const auto& s) { return s.shownRow >= 3; });

    // "Stop", then a new "Solve" at once: the first job may still be computing its row,
    // and nothing of it reaches the window any more.
    // The first job may have finished already, its Finished handed over in the wait above
    // (a job that outran this thread): the window forgets all of it, and waits for the
    // second job's own end.
    window.runner.stop();
    const ResultSnapshot firstRecord = window.state.record;
    window.state = {};
    Parameters p = startupParameters();
    p.mpMax = 4;
    window.runner.start(jobInput(p, 72, 72, true), window.events());
    window.serve([](const auto& s) { return s.finished == 1; });

    const auto& s = window.state;
    EXPECT_EQ(s.outcome, JobOutcome::Finished);
    ASSERT_GE(s.log.size(), 2u);
    EXPECT_EQ(s.log.back(), "Finished calculation of the spheres free energy");
    EXPECT_EQ(s.log.front(), kTablesStart);
    EXPECT_EQ(s.log[1], "Calculation of the energy of single chains with '+' and '-' charge is finished");
    EXPECT_NE(s.record, firstRecord);
    EXPECT_FALSE(s.record->byRows());
    EXPECT_EQ(s.record->params().mpMax, 4);
    window.runner.shutDown();
    EXPECT_FALSE(window.runner.busy());
}

TEST(JobHandOver, ARunnerShutDownHearsTheNextJob) {
    // A window closed (its runner shut down) and shown again runs as before.
    ShippedTables tables;
    WindowStandIn window;
    window.runner.shutDown();
    Parameters p = startupParameters();
    p.mpMax = 2;
    window.runner.start(jobInput(p, 72, 72, true), window.events());
    window.serve([](const auto& s) { return s.finished == 1; });
    EXPECT_EQ(window.state.outcome, JobOutcome::Finished);
}

TEST(JobHandOver, ASweepRunsAsAJobAndStopsBetweenPoints) {
    ShippedTables tables;
    SweepSpec plan;
    plan.base = startupParameterSet();
    plan.axes = {SweepAxis{"ka", {0.5, 0.1, 1.0}, false}};
    std::string why;
    const LoadedTables read(loadTables(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""}, why));
    ASSERT_TRUE(read.tables) << why;
    WindowStandIn window;
    window.runner.start(sweepJob(plan, read, false), window.events());
    window.serve([](const auto& s) { return s.finished == 1; });
    const auto& s = window.state;
    EXPECT_EQ(s.outcome, JobOutcome::Finished);
    ASSERT_EQ(s.points.size(), 3u);
    EXPECT_EQ(s.progress, (std::pair<std::int64_t, std::int64_t>{3, 3}));
    EXPECT_EQ(s.counts.rowsDone, 3);
    EXPECT_EQ(s.points[1]->status, "Stable solution is only for ka between 0.2 and 10");
    EXPECT_EQ(s.points[2]->status, "ok");
    EXPECT_FALSE(s.points[2]->run.record);  // the numbers travel, not the maps
    EXPECT_GT(s.points[2]->observables.meanMp, 1.0);

    // A long Poisson-Boltzmann sweep, stopped after its first point: the point under way
    // ends, the rest never starts, and the outcome says so. Long: 60 points, which no
    // delay of this thread on a loaded machine lets it finish before the stop.
    plan.options.method = Method::PoissonBoltzmann;
    std::vector<double> salts;
    for (int k = 0; k < 60; ++k) salts.push_back(0.3 + 0.01 * k);
    plan.axes = {SweepAxis{"ka", salts, false}};
    window.state = {};
    window.runner.start(sweepJob(plan, read, true), window.events());
    window.serve([](const auto& st) { return !st.points.empty(); });
    window.runner.stop();
    window.serve([](const auto& st) { return st.finished == 1; });
    EXPECT_EQ(s.outcome, JobOutcome::Cancelled);
    EXPECT_LT(s.points.size(), 60u);
    EXPECT_EQ(s.counts.rowsDone, static_cast<std::int32_t>(s.points.size()));
    EXPECT_TRUE(s.points[0]->run.record);  // kept when asked for
}

TEST(JobHandOver, SweepPointsOnSeveralWorkersComeInIndexOrder) {
    ShippedTables shipped;
    std::string why;
    const LoadedTables tables(loadTables(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""}, why));
    ASSERT_TRUE(tables.tables) << why;
    SweepSpec plan;
    plan.base = startupParameterSet();
    const auto sweepCsv = [&](const SweepSpec& s) {
        std::string csv = sweepCsvHeader(s);
        runSweep(s, tables, {}, [&](const SweepPoint& p, std::int64_t, std::int64_t) { csv += sweepCsvRow(s, p); });
        return csv;
    };
    plan.axes = {SweepAxis{"ka", {0.2, 0.5, 1.0, 0.1, 2.0, 3.0, 5.0}, false}, SweepAxis{"vc10", {1e-3, 1e-2}, false}};
    const std::string one = sweepCsv(plan);
    for (const int workers : {2, 3, 16}) {
        SCOPED_TRACE(workers);
        std::string csv = sweepCsvHeader(plan);
        std::vector<std::int64_t> order, counts;
        SweepRunSettings settings;
        settings.workers = workers;
        const SweepResult r = runSweep(
            plan, tables, {},
            [&](const SweepPoint& p, std::int64_t done, std::int64_t) {
                csv += sweepCsvRow(plan, p);
                order.push_back(p.index);
                counts.push_back(done);
            },
            settings);
        EXPECT_EQ(csv, one);
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
        EXPECT_EQ(counts.back(), 14);
        EXPECT_FALSE(r.stopped);
    }
    // Points already there are left out; the others come in order, counted among themselves.
    SweepRunSettings settings;
    settings.workers = 2;
    settings.skip = [](std::int64_t k) { return k % 3 != 1; };
    std::vector<std::int64_t> order;
    const SweepResult r = runSweep(
        plan, tables, {}, [&](const SweepPoint& p, std::int64_t, std::int64_t) { order.push_back(p.index); }, settings);
    EXPECT_EQ(order, (std::vector<std::int64_t>{1, 4, 7, 10, 13}));
    EXPECT_EQ(r.total, 5);
    // A stop between points: what was reported is the shard's first points, without a gap.
    std::stop_source source;
    order.clear();
    settings.skip = {};
    const SweepResult stopped = runSweep(
        plan, tables, source.get_token(),
        [&](const SweepPoint& p, std::int64_t done, std::int64_t) {
            order.push_back(p.index);
            if (done == 3) source.request_stop();
        },
        settings);
    EXPECT_TRUE(stopped.stopped);
    ASSERT_GE(order.size(), 3u);
    EXPECT_LT(order.size(), 14u);
    for (std::size_t k = 0; k < order.size(); ++k) EXPECT_EQ(order[k], static_cast<std::int64_t>(k));
}

TEST(JobHandOver, DestroyingTheRunnerMidRunStopsAndJoins) {
    ShippedTables tables;
    Parameters p = startupParameters();
    p.mpMax = 200;
    p.mmMax = 200;
    {
        JobRunner runner([] {});
        runner.start(jobInput(p, 72, 72, false), JobEvents{});
        EXPECT_TRUE(runner.busy());
    }  // joins here; a job left running would be reported by the sanitizer or hang
    SUCCEED();
}

}  // namespace
}  // namespace marlinq
