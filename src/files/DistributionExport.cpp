#include "files/DistributionExport.h"

#include "files/NumberFormat.h"

#include <fstream>

namespace marlinq {

namespace {

// T(M+, M-): absValue inside the computed ranges, the free-chain concentrations at
// (1, 0) and (0, 1) outside them, 0 elsewhere.
double tableValue(const DistributionView& d, std::int32_t mp, std::int32_t mm) {
    if (mp >= d.mpMin && mp <= d.mpMax && mm >= d.mmMin && mm <= d.mmMax) {
        if (d.absValue == nullptr) return 0.0;
        const std::int64_t cols = static_cast<std::int64_t>(d.mmMax) - d.mmMin + 1;
        return d.absValue[(static_cast<std::int64_t>(mp) - d.mpMin) * cols + (mm - d.mmMin)];
    }
    if (mp == 1 && mm == 0) return d.vc10;
    if (mp == 0 && mm == 1) return d.vc01;
    return 0.0;
}

void appendRow(std::string& line, const DistributionView& d, std::int32_t mp, char decimalSeparator) {
    line.clear();
    for (std::int32_t mm = 0; mm <= d.mmMax; ++mm) {
        line += formatGeneral(tableValue(d, mp, mm), decimalSeparator);
        line += '\t';
    }
    line += '\n';
}

}  // namespace

bool writeDistribution(std::ostream& out, const DistributionView& d, char decimalSeparator) {
    std::string line;
    for (std::int32_t mp = 0; mp <= d.mpMax && out; ++mp) {
        appendRow(line, d, mp, decimalSeparator);
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    out.flush();
    return !out.fail();
}

std::string formatDistribution(const DistributionView& d, char decimalSeparator) {
    std::string text, line;
    for (std::int32_t mp = 0; mp <= d.mpMax; ++mp) {
        appendRow(line, d, mp, decimalSeparator);
        text += line;
    }
    return text;
}

bool writeDistribution(const std::string& path, const DistributionView& d, char decimalSeparator) {
    std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return false;
    if (!writeDistribution(static_cast<std::ostream&>(out), d, decimalSeparator)) return false;
    out.close();
    return !out.fail();
}

}  // namespace marlinq
