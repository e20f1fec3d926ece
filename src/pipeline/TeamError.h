#pragma once
// An exception must never leave an OpenMP parallel region or section: the runtime would end
// the process. Each task of a region catches what it throws and hands it to a TeamError;
// after the region, rethrow() throws the exception of the task with the lowest index, so
// that which error a run reports does not depend on the number of threads or their timing.
//
//   TeamError errors;
//   #pragma omp parallel for
//   for (std::int64_t k = 0; k < n; ++k) {
//       try { ... } catch (...) { errors.capture(k); }
//   }
//   errors.rethrow();

#include <cstdint>
#include <exception>

namespace marlinq {

class TeamError {
public:
    // Call inside a catch block of task `task`.
    void capture(std::int64_t task) noexcept {
        std::exception_ptr current = std::current_exception();
#pragma omp critical(marlinq_team_error)
        {
            if (!error_ || task < task_) {
                error_ = std::move(current);
                task_ = task;
            }
        }
    }

    // After the region: throws the captured exception, if any.
    void rethrow() const {
        if (error_) std::rethrow_exception(error_);
    }

private:
    std::exception_ptr error_;
    std::int64_t task_ = 0;
};

}  // namespace marlinq
