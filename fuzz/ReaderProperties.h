#pragma once
// What must hold for any bytes handed to the file readers; shared by the fuzz targets and
// the test that replays their corpora and every input that ever failed.

#include "files/ChainTables.h"
#include "files/ParameterFile.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fuzzing {

// The file at path holds bytes. The reader opens it, leaves pid a key number, and sets a
// real only to a finite number or a signed zero; the fields of the text hold no blank.
inline bool parameterFileHolds(const std::string& path, const std::string& bytes) {
    const double nan = std::nan("");
    double kip = nan, kim = nan, ka = nan, vc01 = nan, vc10 = nan, zp = nan, zn = nan;
    std::int32_t Np = 1, Nm = 200, mpMin = 0, mpMax = 10, mmMin = 0, mmMax = 10;
    std::int32_t pid = marlinq::kUnknownKeyPid;
    if (!marlinq::readParameter(kip, kim, ka, vc01, vc10, zp, zn, path, Np, Nm, mpMin, mpMax, mmMin, mmMax, pid))
        return false;
    if (pid < 1 || pid > marlinq::kUnknownKeyPid) return false;
    for (double v : {kip, kim, ka, vc01, vc10, zp, zn})
        if (std::isinf(v)) return false;  // unchanged (NaN) or a number read from the text

    std::vector<std::string> fields;
    marlinq::StringExplode(bytes, fields);
    for (const std::string& f : fields)
        if (f.empty() || f.find_first_of(" \t") != std::string::npos) return false;
    return true;
}

// The file at path, read as either table, opens and yields no NaN.
inline bool chainTablesHold(const std::string& path) {
    auto coarse = std::make_unique<marlinq::CoarseTable>();
    auto fine = std::make_unique<marlinq::FineTable>();
    for (auto& row : *coarse) row.fill(0.0);
    for (auto& row : *fine) row.fill(0.0);
    if (!marlinq::read_chain_matrix_from(path, *coarse)) return false;
    if (!marlinq::read_chain_matrix01_from(path, *fine)) return false;
    for (const auto& row : *coarse)
        for (double x : row)
            if (std::isnan(x)) return false;
    for (const auto& row : *fine)
        for (double x : row)
            if (std::isnan(x)) return false;
    return true;
}

}  // namespace fuzzing
