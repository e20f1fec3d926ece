#include "files/ScatteringExport.h"

#include "io/NumberText.h"

#include <cmath>

namespace marlinq {

namespace {
void appendNumber(std::string& out, double v) {
    if (std::isnan(v)) out += "nan";
    else appendShortest(out, v);
}
}  // namespace

std::string scatteringCsv(const ScatteringColumns& c) {
    std::string out = "q,I,I_core,I_corona,I_free\n";
    for (std::size_t k = 0; k < c.q.size(); ++k) {
        for (const std::span<const double>* column : {&c.q, &c.intensity, &c.core, &c.corona, &c.free}) {
            if (column != &c.q) out += ',';
            appendNumber(out, k < column->size() ? (*column)[k] : NAN);
        }
        out += '\n';
    }
    return out;
}

}  // namespace marlinq
