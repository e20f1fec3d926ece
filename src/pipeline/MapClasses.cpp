#include "pipeline/MapClasses.h"

#include "pipeline/Observables.h"

namespace marlinq {

Grid<std::int32_t> weightClasses(const Grid<double>& weights, double maxValue) {
    Grid<std::int32_t> out(weights.rows(), weights.cols());
    const double step = (maxValue - 0.0) / 20.0;
    if (step == 0.0) return out;
    for (std::int32_t r = 0; r < out.rows(); ++r) {
        const double* w = weights.row(r);
        std::int32_t* row = out.row(r);
        for (std::int32_t c = 0; c < out.cols(); ++c) {
            // Any quotient from 21 on is out of the scale alike; 21 keeps it inside an int. A
            // quotient below -1 or not a number (a NaN weight or maxValue) is -1, below the
            // scale, so that no quotient is converted that an int cannot hold.
            const double q = (w[c] - 0.0) / step;
            row[c] = q >= 21.0 ? 21 : q > -1.0 ? static_cast<std::int32_t>(q) : -1;
        }
    }
    return out;
}

std::optional<std::string> colorCodeError(const Grid<std::int32_t>& colourClasses) {
    std::optional<std::string> error;
    colourClasses.forEach([&](std::int32_t code) {
        if (error) return;
        if (code > 20)
            error = std::string("a->color is greater than 20");
        else if (code < 0)
            error = std::string("a->color is less than 0");
    });
    return error;
}

void formMapData(RunResult& record) {
    MapData& map = record.map;
    map.colourClasses = weightClasses(record.absValue, record.maxValue);
    map.colourError = colorCodeError(map.colourClasses);
    map.mostProbable = mostProbableCell(record).value_or(MapCell{record.params().mpMin, record.params().mmMin});
}

}  // namespace marlinq
