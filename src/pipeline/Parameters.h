#pragma once
// The physical parameters of one calculation. Each front end keeps its own set; every job
// works on its own copy.

#include <cstdint>

namespace marlinq {

struct Parameters {
    double kip = 0.0, kim = 0.0, ka = 0.0, vc01 = 0.0, vc10 = 0.0, zp = 0.0, zn = 0.0;
    std::int32_t Np = 0, Nm = 0, mpMin = 0, mpMax = 0, mmMin = 0, mmMax = 0;
};

// The window's start-up values: 18 charges on charged blocks of 72 (densities 0.25),
// ka 0.2, concentrations 1e-3, neutral blocks 1 and 200, both ranges 0..10.
Parameters startupParameters();

}  // namespace marlinq
