#include "files/DistributionExport.h"

#include "io/FileAccess.h"
#include "io/NumberText.h"

#include <algorithm>
#include <limits>
#include <sstream>

namespace marlinq {

namespace {

bool hasComputedCells(const DistributionView& d) { return d.mpMax >= d.mpMin && d.mmMax >= d.mmMin; }

std::int64_t computedColumns(const DistributionView& d) { return static_cast<std::int64_t>(d.mmMax) - d.mmMin + 1; }

double computedCell(const DistributionView& d, const double* m, std::int32_t mp, std::int32_t mm) {
    if (m == nullptr) return 0.0;
    return m[(static_cast<std::int64_t>(mp) - d.mpMin) * computedColumns(d) +
             (static_cast<std::int64_t>(mm) - d.mmMin)];
}

bool inRanges(const DistributionView& d, std::int64_t mp, std::int64_t mm) {
    return mp >= d.mpMin && mp <= d.mpMax && mm >= d.mmMin && mm <= d.mmMax;
}

// T(M+, M-): absValue inside the computed ranges, the free-chain concentrations at
// (1, 0) and (0, 1) outside them, 0 elsewhere.
double tableValue(const DistributionView& d, std::int32_t mp, std::int32_t mm) {
    if (inRanges(d, mp, mm)) return computedCell(d, d.absValue, mp, mm);
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

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

std::uint64_t addSat(std::uint64_t a, std::uint64_t b) { return a > kMax - b ? kMax : a + b; }
std::uint64_t mulSat(std::uint64_t a, std::uint64_t b) { return (a != 0 && b > kMax / a) ? kMax : a * b; }

// Rows, columns and written computed cells of the wide table.
struct WideShape {
    std::uint64_t rows = 0, cols = 0;
    std::int64_t mpFirst = 0, mpLast = -1, mmFirst = 0, mmLast = -1;  // written computed cells
};

WideShape wideShape(const DistributionView& d) {
    WideShape s;
    s.rows = d.mpMax < 0 ? 0 : static_cast<std::uint64_t>(d.mpMax) + 1;
    s.cols = d.mmMax < 0 ? 0 : static_cast<std::uint64_t>(d.mmMax) + 1;
    if (hasComputedCells(d)) {
        s.mpFirst = std::max<std::int64_t>(0, d.mpMin);
        s.mpLast = d.mpMax;
        s.mmFirst = std::max<std::int64_t>(0, d.mmMin);
        s.mmLast = d.mmMax;
    }
    return s;
}

// Bytes of the table when every cell is "0" and a tab.
std::uint64_t zeroTableSize(const WideShape& s) { return mulSat(s.rows, addSat(mulSat(s.cols, 2), 1)); }

// Extra bytes of a free-chain cell that lies outside the computed ranges.
std::uint64_t freeChainExtra(const DistributionView& d, const WideShape& s) {
    std::uint64_t extra = 0;
    if (s.rows > 1 && s.cols > 0 && !inRanges(d, 1, 0)) extra += formatGeneral(d.vc10).size() - 1;
    if (s.rows > 0 && s.cols > 1 && !inRanges(d, 0, 1)) extra += formatGeneral(d.vc01).size() - 1;
    return extra;
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

bool writeDistribution(const std::string& path, const DistributionView& d, char decimalSeparator, std::string& error) {
    return writeFileAtomically(
        path, [&](std::ostream& out) { return writeDistribution(out, d, decimalSeparator); }, error);
}

bool writeDistribution(const std::string& path, const DistributionView& d, char decimalSeparator) {
    std::string error;
    return writeDistribution(path, d, decimalSeparator, error);
}

std::uint64_t distributionExportSize(const DistributionView& d) {
    const WideShape s = wideShape(d);
    std::uint64_t size = addSat(zeroTableSize(s), freeChainExtra(d, s));
    for (std::int64_t mp = s.mpFirst; mp <= s.mpLast; ++mp)
        for (std::int64_t mm = s.mmFirst; mm <= s.mmLast; ++mm) {
            const double v = computedCell(d, d.absValue, static_cast<std::int32_t>(mp), static_cast<std::int32_t>(mm));
            size = addSat(size, formatGeneral(v).size() - 1);
        }
    return size;
}

std::uint64_t distributionExportSizeBound(const DistributionView& d) {
    // "-1.23456789012346E-300": sign, 15 digits, point, E, sign, 3 exponent digits.
    constexpr std::uint64_t kLongestCell = 22;
    const WideShape s = wideShape(d);
    std::uint64_t size = addSat(zeroTableSize(s), freeChainExtra(d, s));
    if (s.mpLast >= s.mpFirst && s.mmLast >= s.mmFirst) {
        const std::uint64_t cells = mulSat(static_cast<std::uint64_t>(s.mpLast - s.mpFirst + 1),
                                           static_cast<std::uint64_t>(s.mmLast - s.mmFirst + 1));
        size = addSat(size, mulSat(cells, kLongestCell - 1));
    }
    return size;
}

bool writeDistributionLong(std::ostream& out, const DistributionView& d, const double* value) {
    out << "M+\tM-\tabsValue\tValue\n";
    if (!hasComputedCells(d)) {
        out.flush();
        return !out.fail();
    }
    double sum = 0.0;
    if (value == nullptr)
        for (std::int32_t mp = d.mpMin; mp <= d.mpMax; ++mp)
            for (std::int32_t mm = d.mmMin; mm <= d.mmMax; ++mm) sum += computedCell(d, d.absValue, mp, mm);
    std::string line;
    for (std::int32_t mp = d.mpMin; mp <= d.mpMax && out; ++mp) {
        line.clear();
        for (std::int32_t mm = d.mmMin; mm <= d.mmMax; ++mm) {
            const double a = computedCell(d, d.absValue, mp, mm);
            const double v = value != nullptr ? computedCell(d, value, mp, mm) : (sum != 0.0 ? a / sum : 0.0);
            appendInteger(line, mp);
            line += '\t';
            appendInteger(line, mm);
            line += '\t';
            appendShortest(line, a);
            line += '\t';
            appendShortest(line, v);
            line += '\n';
            if (mm == d.mmMax) break;  // mmMax may be INT32_MAX
        }
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        if (mp == d.mpMax) break;
    }
    out.flush();
    return !out.fail();
}

std::string formatDistributionLong(const DistributionView& d, const double* value) {
    std::ostringstream out;
    writeDistributionLong(out, d, value);
    return out.str();
}

bool writeDistributionLong(const std::string& path, const DistributionView& d, const double* value,
                           std::string& error) {
    return writeFileAtomically(
        path, [&](std::ostream& out) { return writeDistributionLong(out, d, value); }, error);
}

}  // namespace marlinq
