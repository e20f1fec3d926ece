#pragma once
// The blocking hand-over between a calculation job and the window thread: the job posts
// a function to the window thread and waits until it has run there. Closing the channel
// (when the window goes away) releases every waiting job at once and lets nothing run
// any more, so a job never waits for a window that no longer exists.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace marlinq::ui {

class JobChannel : public std::enable_shared_from_this<JobChannel> {
public:
    // Delivers a function to the window thread, to run there later (never synchronously
    // on the calling thread). Called with the channel's lock held, and never after close().
    using Poster = std::function<void(std::function<void()>)>;

    static std::shared_ptr<JobChannel> create(Poster poster);

    // Job thread: runs fn on the window thread and waits until it has run (true) or the
    // channel was closed before it could run (false).
    bool call(std::function<void()> fn);

    // Window thread: nothing posted runs any more; waiting and later calls return false.
    // A function already running (say, inside a modal message box) is still waited for,
    // so the job never runs on while the window reads its record.
    void close();
    bool isClosed() const;

private:
    explicit JobChannel(Poster poster) : poster_(std::move(poster)) {}

    struct CallState {
        bool started = false;  // fn has begun on the window thread
        bool done = false;
        bool ran = false;
    };

    Poster poster_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool closed_ = false;
};

}  // namespace marlinq::ui
