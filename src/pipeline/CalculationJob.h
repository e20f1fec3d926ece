#pragma once
// One whole calculation: chain stage, result record, PB rows or the DH matrix, with
// progress reported through blocking callbacks and cancellation through a stop token.
// The job knows nothing of windows.

#include "pipeline/Parameters.h"
#include "pipeline/Records.h"

#include <functional>
#include <memory>
#include <stop_token>
#include <string>

namespace marlinq {

struct JobCallbacks {
    std::function<void(const std::string&)> UpdateText;    // append a line to the log
    std::function<void(const std::string&)> UpdateMatrix;  // redraw the map from the published record
    std::function<void(const std::string&)> UpdateButton;  // back to idle
    std::function<void(std::shared_ptr<InfoSphereBean>)> PublishRecord;  // new current record
};

enum class JobOutcome { Finished, Cancelled, Failed };

struct JobInput {
    Parameters params;                   // the run's own copy
    std::shared_ptr<InfoChainBean> icb;  // built by "Solve"
    bool dh = true;                      // Debye-Hueckel instead of Poisson-Boltzmann
    std::int32_t mrange = 0;             // mmMax - mmMin + 1
};

JobOutcome GenerateFreeEnergy(const JobInput& input, std::stop_token token, const JobCallbacks& callbacks);

}  // namespace marlinq
