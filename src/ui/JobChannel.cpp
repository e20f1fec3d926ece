#include "ui/JobChannel.h"

namespace marlinq::ui {

std::shared_ptr<JobChannel> JobChannel::create(Poster poster) {
    return std::shared_ptr<JobChannel>(new JobChannel(std::move(poster)));
}

bool JobChannel::call(std::function<void()> fn) {
    auto state = std::make_shared<CallState>();
    std::unique_lock lock(mutex_);
    if (closed_) return false;
    // Posting under the lock: close() cannot complete meanwhile, so the window behind the
    // poster still exists while the function is handed over.
    poster_([self = shared_from_this(), state, fn = std::move(fn)] {
        {
            std::lock_guard guard(self->mutex_);
            if (self->closed_) {
                state->done = true;
                self->cv_.notify_all();
                return;
            }
            state->started = true;
        }
        fn();
        {
            std::lock_guard guard(self->mutex_);
            state->ran = true;
            state->done = true;
        }
        self->cv_.notify_all();
    });
    cv_.wait(lock, [&] { return state->done || (closed_ && !state->started); });
    return state->ran;
}

void JobChannel::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    cv_.notify_all();
}

bool JobChannel::isClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

}  // namespace marlinq::ui
