#pragma once
// What the map draws of a result, formed once on the job's thread with the weights: the
// colour classes of the cells on the linear scale and the most probable cell. The window
// only draws them.

#include "kernel/Grid.h"
#include "pipeline/RunResult.h"

#include <cstdint>
#include <optional>
#include <string>

namespace marlinq {

// The classes of a run's weights on the linear scale: class c holds c/20 .. (c+1)/20 of
// maxValue, the largest weight as the run's normalisation formed it, by the quotient
// w / (maxValue / 20); all 0 when that step is 0. A weight of 1.05 maxValue or more lands
// above 20 (21); a negative quotient beyond -1 or not a number below 0 (-1).
Grid<std::int32_t> weightClasses(const Grid<double>& weights, double maxValue);

// The first colour code outside 0..20 in drawing order, as its message; nullopt if none.
std::optional<std::string> colorCodeError(const Grid<std::int32_t>& colourClasses);

// The record's MapData from its weights (RunResult::map).
void formMapData(RunResult& record);

}  // namespace marlinq
