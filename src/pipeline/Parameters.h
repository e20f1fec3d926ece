#pragma once
// The physical parameters of one calculation. Each front end keeps its own set; every job
// works on its own copy. What each one means, its check and start-up value: ParameterSchema.h.

#include <cstdint>

namespace marlinq {

struct Parameters {
    double kip = 0.0, kim = 0.0, ka = 0.0, vc01 = 0.0, vc10 = 0.0, zp = 0.0, zn = 0.0;
    std::int32_t Np = 0, Nm = 0, mpMin = 0, mpMax = 0, mmMin = 0, mmMax = 0;
    // The model's parameters beyond the chains and the salt; their defaults are the model
    // the program always had.
    double bjerrum = 1.0;        // lambda = l_B / a, the Bjerrum length in segment units
    double gamma = 0.0;          // surface free energy of a complex's core, kT per a^2
    double waterFraction = 0.0;  // volume fraction of water in a complex's core, 0 <= phi < 1
    // Molar masses of a whole '+' and '-' chain in g/mol; 0 when not given.
    double molarMassPlus = 0.0, molarMassMinus = 0.0;
};

}  // namespace marlinq
