#include "pipeline/JobRunner.h"

#include <utility>

namespace marlinq {

JobRunner::JobRunner(std::function<void()> wake) : wake_(std::move(wake)) {}

JobRunner::~JobRunner() { shutDown(); }

std::uint64_t JobRunner::start(JobInput input, JobEvents events) {
    return start(
        [input = std::move(input)](std::stop_token token, const JobEvents& sink) {
            runCalculation(input, token, sink);
        },
        std::move(events));
}

std::uint64_t JobRunner::start(Job work, JobEvents events) {
    reapFinished();
    for (Worker& job : jobs_) job.thread.request_stop();
    std::uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        generation = ++generation_;
        // Whatever older jobs left in the queue is of no interest any more; a runner shut
        // down before (its window closed and shown again) hears the new job.
        queue_.clear();
        closed_ = false;
    }
    events_ = std::move(events);

    Worker job;
    job.done = std::make_shared<std::atomic<bool>>(false);
    job.thread = std::jthread([this, generation, work = std::move(work), done = job.done](std::stop_token token) {
        const auto event = [generation](Event::Kind kind) {
            Event e;
            e.kind = kind;
            e.generation = generation;
            return e;
        };
        JobEvents sink;
        sink.message = [this, event](const JobMessage& m) {
            Event e = event(Event::Message);
            e.message = m;
            post(std::move(e));
        };
        sink.snapshot = [this, event](const ResultSnapshot& r) {
            Event e = event(Event::Snapshot);
            e.record = r;
            post(std::move(e));
        };
        sink.progress = [this, event](std::int64_t done, std::int64_t total) {
            Event e = event(Event::Progress);
            e.done = done;
            e.total = total;
            post(std::move(e));
        };
        sink.point = [this, event](const std::shared_ptr<const SweepPoint>& p) {
            Event e = event(Event::Point);
            e.point = p;
            post(std::move(e));
        };
        sink.finished = [this, event](JobOutcome outcome, const JobCounts& counts) {
            Event e = event(Event::Finished);
            e.outcome = outcome;
            e.counts = counts;
            post(std::move(e));
        };
        work(token, sink);
        done->store(true);
    });
    jobs_.push_back(std::move(job));
    return generation;
}

void JobRunner::stop() {
    if (!jobs_.empty()) jobs_.back().thread.request_stop();
}

bool JobRunner::busy() const {
    for (const Worker& job : jobs_)
        if (!job.done->load()) return true;
    return false;
}

void JobRunner::post(Event event) {
    bool first;
    {
        std::lock_guard lock(mutex_);
        if (closed_ || event.generation != generation_) return;
        first = queue_.empty();
        // Only the newest snapshot matters: one still waiting is replaced, not queued.
        if (event.kind == Event::Snapshot) {
            for (Event& waiting : queue_) {
                if (waiting.kind == Event::Snapshot) {
                    waiting.kind = Event::Dropped;
                    waiting.record.reset();
                }
            }
        }
        queue_.push_back(std::move(event));
    }
    if (first && wake_) wake_();
}

void JobRunner::deliver() {
    std::vector<Event> events;
    std::uint64_t current;
    {
        std::lock_guard lock(mutex_);
        events.swap(queue_);
        current = generation_;
    }
    // The newest snapshot of the batch goes over before the first progress event or
    // snapshot of it: the front end never draws an older state than the job has published.
    ResultSnapshot newest;
    for (const Event& e : events)
        if (e.generation == current && e.kind == Event::Snapshot) newest = e.record;
    // Progress likewise: only the newest count of the batch is handed over (a front end that
    // redraws on progress draws once per batch, however far the job has run ahead of it).
    std::size_t lastProgress = events.size();
    for (std::size_t k = 0; k < events.size(); ++k)
        if (events[k].generation == current && events[k].kind == Event::Progress) lastProgress = k;
    const auto handOverNewest = [&] {
        if (newest && events_.snapshot) events_.snapshot(newest);
        newest.reset();
    };
    for (std::size_t k = 0; k < events.size(); ++k) {
        Event& e = events[k];
        if (e.generation != current) continue;
        switch (e.kind) {
        case Event::Dropped:
            break;
        case Event::Message:
            if (events_.message) events_.message(e.message);
            break;
        case Event::Snapshot:
            handOverNewest();
            break;
        case Event::Progress:
            if (k != lastProgress) break;
            handOverNewest();
            if (events_.progress) events_.progress(e.done, e.total);
            break;
        case Event::Point:
            if (events_.point) events_.point(e.point);
            break;
        case Event::Finished:
            handOverNewest();
            if (events_.finished) events_.finished(e.outcome, e.counts);
            break;
        }
    }
    reapFinished();
}

void JobRunner::reapFinished() {
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (it->done->load() && std::next(it) != jobs_.end()) {
            it->thread.join();
            it = jobs_.erase(it);
        } else {
            ++it;
        }
    }
}

void JobRunner::shutDown() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        queue_.clear();
    }
    for (Worker& job : jobs_) job.thread.request_stop();
    for (Worker& job : jobs_)
        if (job.thread.joinable()) job.thread.join();
    jobs_.clear();
}

}  // namespace marlinq
