// The job on its own thread, talking to a stand-in for the window that runs on another
// thread: every callback is handed over and the job waits until the window has run it,
// as the real window's blocking hand-over does. Built with ThreadSanitizer this shows that
// the window never reads a matrix while a stage writes it.

#include "PipelineFixtures.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace marlinq {
namespace {

using testing::jobInput;
using testing::ShippedTables;
using testing::startupParameters;

class WindowStandIn {
public:
    // What the window keeps: its log, the current record, and a copy of the matrices made
    // while the job waited (the map, the export and "Stop" use only that copy).
    struct State {
        std::vector<std::string> log;
        std::shared_ptr<InfoSphereBean> record;
        Grid<double> shownWeights;
        std::int32_t shownRow = -1;
        int generation = 0;
        int buttonUpdates = 0;
        bool firstJobEnded = false;
    };

    // Job side: run `task` on the window thread and wait until it has run.
    void invoke(std::function<void(State&)> task) {
        auto done = std::make_shared<bool>(false);
        std::unique_lock lock(mutex_);
        queue_.push_back([task = std::move(task), done](State& s) {
            task(s);
            *done = true;
        });
        cv_.notify_all();
        cv_.wait(lock, [&] { return *done; });
    }

    // Window side: serve hand-overs until `until` holds (checked with the lock held after each).
    void serve(const std::function<bool(State&)>& until) {
        std::unique_lock lock(mutex_);
        while (!until(state_)) {
            cv_.wait(lock, [&] { return !queue_.empty(); });
            auto task = std::move(queue_.front());
            queue_.pop_front();
            task(state_);
            cv_.notify_all();
        }
    }

    // Callbacks of a job of the given generation; a superseded job reaches nothing.
    JobCallbacks callbacksFor(int generation) {
        auto guarded = [this, generation](std::function<void(State&)> f) {
            invoke([generation, f = std::move(f)](State& s) {
                if (s.generation == generation) f(s);
            });
        };
        JobCallbacks cb;
        cb.UpdateText = [guarded](const std::string& text) {
            guarded([text](State& s) { s.log.push_back(text); });
        };
        cb.UpdateMatrix = [guarded](const std::string&) {
            guarded([](State& s) {
                s.shownWeights = s.record->absValue;
                s.shownRow = s.record->index;
            });
        };
        cb.UpdateButton = [guarded](const std::string&) {
            guarded([](State& s) { ++s.buttonUpdates; });
        };
        cb.PublishRecord = [guarded](std::shared_ptr<InfoSphereBean> r) {
            guarded([r](State& s) { s.record = r; });
        };
        return cb;
    }

    State& state() { return state_; }  // only after every job thread has ended

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void(State&)>> queue_;
    State state_;
};

struct RunningJob {
    std::stop_source stop;
    JobOutcome outcome = JobOutcome::Failed;
    std::jthread thread;

    RunningJob(const JobInput& input, JobCallbacks cb) {
        thread = std::jthread([this, input, cb = std::move(cb)] { outcome = GenerateFreeEnergy(input, stop.get_token(), cb); });
    }
};

bool endsWith(const std::vector<std::string>& log, const std::string& line) { return !log.empty() && log.back() == line; }

TEST(JobHandOver, WindowSeesEveryRowOfARunFromItsOwnThread) {
    ShippedTables tables;
    WindowStandIn window;
    auto job = std::make_unique<RunningJob>(jobInput(startupParameters(), 72, 72, false), window.callbacksFor(0));
    window.serve([](auto& s) { return s.buttonUpdates == 1; });
    job.reset();  // joins
    auto& s = window.state();
    EXPECT_EQ(s.log.size(), 13u);  // chain line, 11 rows, final line
    EXPECT_EQ(s.shownRow, 10);
    EXPECT_EQ(s.shownWeights, s.record->absValue);
}

TEST(JobHandOver, StopFromTheWindowThenASecondJobWhileTheFirstFinishesItsRow) {
    ShippedTables tables;
    WindowStandIn window;
    auto first = std::make_unique<RunningJob>(jobInput(startupParameters(), 72, 72, false), window.callbacksFor(0));
    window.serve([](auto& s) { return s.shownRow >= 3; });

    // "Stop" on the window thread, between hand-overs: only the window's copy is touched.
    first->stop.request_stop();
    const std::shared_ptr<InfoSphereBean> firstRecord = window.state().record;
    const std::int32_t stoppedAfter = window.state().shownRow;
    // A new "Solve" at once: the first job may still be computing its row.
    window.state().generation = 1;
    window.state().log.clear();
    Parameters p = startupParameters();
    p.mpMax = 4;
    auto second = std::make_unique<RunningJob>(jobInput(p, 72, 72, true), window.callbacksFor(1));
    window.serve([](auto& s) { return s.buttonUpdates == 1; });
    second.reset();
    // The first job's last hand-overs are still served (and ignored), then it ends cancelled.
    JobOutcome firstOutcome = JobOutcome::Failed;
    std::thread drain([&] {
        first->thread.join();
        firstOutcome = first->outcome;
        window.invoke([](auto& s) { s.firstJobEnded = true; });
    });
    window.serve([](auto& s) { return s.firstJobEnded; });
    drain.join();
    EXPECT_EQ(firstOutcome, JobOutcome::Cancelled);

    auto& s = window.state();
    EXPECT_TRUE(endsWith(s.log, "Finished calculation of the spheres free energy"));
    EXPECT_EQ(s.log.front(), "Calculation of the energy of single chains with '+' and '-' charge is finished");
    EXPECT_NE(s.record, firstRecord);
    EXPECT_TRUE(s.record->dhchecked);
    EXPECT_GE(firstRecord->index, stoppedAfter);
    EXPECT_LE(firstRecord->index, stoppedAfter + 1);
}

}  // namespace
}  // namespace marlinq
