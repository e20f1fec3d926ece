#pragma once
// marlinq-batch beyond one distribution: the summary and free-energy files of a run, and
// the --sweep command.

#include "BatchOptions.h"

#include "pipeline/Engine.h"

#include <stop_token>

namespace marlinq::batch {

// Writes --summary and --free-energies of a single run (when asked for); false, with the
// reason on standard error, when one cannot be written.
bool writeRunExtras(const BatchOptions& o, const RunOutcome& run, const ParameterSet& set, const Parameters& params);

// The whole --sweep command on the base set; the token ends it after the current point.
// Returns the exit status: 0 done (refused points are in the status column), 1 tables or
// output failed, 130 stopped.
int runSweepCommand(const BatchOptions& o, const ParameterSet& base, Engine& engine, std::stop_token stop);

}  // namespace marlinq::batch
