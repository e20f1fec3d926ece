#pragma once
// Runs jobs (a calculation, a sweep, anything that reports through JobEvents) on a thread
// of their own for a front end that must stay responsive (a window, an interpreter). The runner owns the job threads, their stop
// sources, the generation counter and the queue of events waiting for the front end:
//
//   - start() begins a job and supersedes the previous one (asked to stop; nothing of it
//     reaches the front end any more);
//   - the job never waits for the front end: its events queue up, and `wake` (called on
//     the job's thread) tells the front end to call deliver() on its own thread, which
//     hands over the messages, the newest result snapshot, the newest progress and the
//     outcome, in order (older snapshots and progress counts of the same batch are dropped:
//     a front end that fell behind catches up in one step);
//   - the destructor stops every job and joins its thread.

#include "pipeline/CalculationJob.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace marlinq {

// A job the runner can run: on the runner's thread, telling what it has through the
// events given (job's thread) and ending with their `finished`.
using Job = std::function<void(std::stop_token, const JobEvents&)>;

class JobRunner {
public:
    // wake is called on a job's thread when events start waiting; it must arrange for
    // deliver() to run soon on the front end's thread (and must not call it itself).
    explicit JobRunner(std::function<void()> wake);
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Starts a job; the previous one is asked to stop and is no longer heard. `events` are
    // called on the front end's thread by deliver(). Returns the job's generation number.
    std::uint64_t start(Job job, JobEvents events);
    // The calculation of one distribution.
    std::uint64_t start(JobInput input, JobEvents events);
    // Asks the current job to stop before its next row.
    void stop();
    // True while a job started here has not returned yet (superseded ones included).
    bool busy() const;
    // Front end's thread: hands over what the current job has reported since the last call.
    void deliver();
    // Stops every job and waits for its thread; afterwards nothing is delivered any more.
    void shutDown();

private:
    struct Event {
        enum Kind { Dropped, Message, Snapshot, Progress, Point, Finished } kind;
        std::uint64_t generation;
        JobMessage message;
        ResultSnapshot record;
        std::shared_ptr<const SweepPoint> point;
        std::int64_t done = 0, total = 0;
        JobOutcome outcome = JobOutcome::Finished;
        JobCounts counts;
    };
    struct Worker {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void post(Event event);
    void reapFinished();

    std::function<void()> wake_;
    mutable std::mutex mutex_;
    std::vector<Event> queue_;
    bool closed_ = false;
    std::uint64_t generation_ = 0;  // of the newest job
    JobEvents events_;              // of the newest job; front end's thread only
    std::vector<Worker> jobs_;         // front end's thread only
};

}  // namespace marlinq
