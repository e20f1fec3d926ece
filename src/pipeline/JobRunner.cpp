#include "pipeline/JobRunner.h"

#include <utility>

namespace marlinq {

JobRunner::JobRunner(std::function<void()> wake) : wake_(std::move(wake)) {}

JobRunner::~JobRunner() { shutDown(); }

std::uint64_t JobRunner::start(JobInput input, JobEvents events) {
    reapFinished();
    for (Job& job : jobs_) job.thread.request_stop();
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

    Job job;
    job.done = std::make_shared<std::atomic<bool>>(false);
    input.diagnostics = [this, generation](const std::string& line) {
        post(Event{Event::Diagnostic, generation, line, nullptr});
    };
    job.thread = std::jthread([this, generation, input = std::move(input), done = job.done](std::stop_token token) {
        JobCallbacks cb;
        cb.UpdateText = [this, generation](const std::string& s) { post(Event{Event::Log, generation, s, nullptr}); };
        cb.UpdateMatrix = [this, generation](const std::string& s) {
            post(Event{Event::RowDone, generation, s, nullptr});
        };
        cb.PublishRecord = [this, generation](ResultSnapshot r) {
            post(Event{Event::Record, generation, std::string(), std::move(r)});
        };
        JobCounts counts;
        const JobOutcome outcome = GenerateFreeEnergy(input, token, cb, &counts);
        Event last{Event::Finished, generation, std::string(), nullptr};
        last.outcome = outcome;
        last.counts = counts;
        post(std::move(last));
        done->store(true);
    });
    jobs_.push_back(std::move(job));
    return generation;
}

void JobRunner::stop() {
    if (!jobs_.empty()) jobs_.back().thread.request_stop();
}

bool JobRunner::busy() const {
    for (const Job& job : jobs_)
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
        if (event.kind == Event::Record) {
            for (Event& waiting : queue_) {
                if (waiting.kind == Event::Record) {
                    waiting.kind = Event::Log;  // a placeholder without text, dropped on delivery
                    waiting.record.reset();
                    waiting.text.clear();
                    waiting.generation = 0;
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
    // Consecutive log lines go over as one batch. The newest snapshot of the batch goes
    // over before the first row event or record of it: the front end never draws an
    // older state than the job has published.
    ResultSnapshot newest;
    for (const Event& e : events)
        if (e.generation == current && e.kind == Event::Record) newest = e.record;
    const auto handOverNewest = [&] {
        if (newest && events_.record) events_.record(newest);
        newest.reset();
    };
    std::vector<std::string> lines;
    const auto flushLines = [&] {
        if (!lines.empty() && events_.log) events_.log(lines);
        lines.clear();
    };
    for (Event& e : events) {
        if (e.generation != current) continue;
        switch (e.kind) {
        case Event::Log:
            lines.push_back(std::move(e.text));
            break;
        case Event::Diagnostic:
            flushLines();
            if (events_.diagnostic) events_.diagnostic(e.text);
            break;
        case Event::Record:
            flushLines();
            handOverNewest();
            break;
        case Event::RowDone:
            flushLines();
            handOverNewest();
            if (events_.rowDone) events_.rowDone(e.text);
            break;
        case Event::Finished:
            flushLines();
            handOverNewest();
            if (events_.finished) events_.finished(e.outcome, e.counts);
            break;
        }
    }
    flushLines();
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
    for (Job& job : jobs_) job.thread.request_stop();
    for (Job& job : jobs_)
        if (job.thread.joinable()) job.thread.join();
    jobs_.clear();
}

}  // namespace marlinq
