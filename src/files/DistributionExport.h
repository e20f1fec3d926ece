#pragma once
// The distribution export: absValue over M+ = 0..mpMax (lines) and M- = 0..mmMax
// (tab-terminated values), free-chain concentrations at (1,0) and (0,1).

#include <cstdint>
#include <ostream>
#include <string>

namespace marlinq {

struct DistributionView {
    std::int32_t mpMin, mpMax, mmMin, mmMax;
    double vc10, vc01;
    const double* absValue;  // row-major, (mpMax - mpMin + 1) x (mmMax - mmMin + 1)
};

std::string formatDistribution(const DistributionView& d, char decimalSeparator);
// Writes the file through writeFileAtomically: an existing file is replaced only once
// the new one is complete. false (with "PATH: reason" in error) if it cannot be written.
bool writeDistribution(const std::string& path, const DistributionView& d, char decimalSeparator);
bool writeDistribution(const std::string& path, const DistributionView& d, char decimalSeparator, std::string& error);
// Streams the same text row by row (the table runs from M = 0, so it can be far larger
// than the computed matrix); false if the stream failed.
bool writeDistribution(std::ostream& out, const DistributionView& d, char decimalSeparator);

// The exact number of bytes the export above writes for d, without formatting the
// cells that lie outside the computed ranges (each "0" and a tab): the cost grows with
// the computed matrix only, never with the zeros from M = 0. Saturates at UINT64_MAX.
std::uint64_t distributionExportSize(const DistributionView& d);
// An upper bound of the same, at constant cost: every computed cell counted at the
// longest text the general format gives (22 bytes and the tab).
std::uint64_t distributionExportSizeBound(const DistributionView& d);

// The long export: only the computed cells, one per line, after the header line
//   "M+\tM-\tabsValue\tValue"
// each line "M+<tab>M-<tab>absValue<tab>Value" in row order (M+ then M-). The numbers
// are the shortest text that reads back as the same double (at most 17 significant
// digits, a point as decimal separator, exponent form "1e-05" when it is shorter), so
// another program reads exactly what was computed. value is the normalised matrix
// (same layout as absValue); when null, Value is absValue divided by the sum of the
// computed absValue cells (0 when that sum is 0).
bool writeDistributionLong(std::ostream& out, const DistributionView& d, const double* value);
std::string formatDistributionLong(const DistributionView& d, const double* value);
bool writeDistributionLong(const std::string& path, const DistributionView& d, const double* value, std::string& error);

}  // namespace marlinq
