// Any bytes as a parameter file: the reader must never crash and must leave integers and
// reals either unchanged or set from a number it could read.
#include "FuzzInput.h"
#include "files/ParameterFile.h"

#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzing::writeScratch(data, size)) return 0;
    double kip = 0.25, kim = 0.25, ka = 0.2, vc01 = 1e-3, vc10 = 1e-3, zp = 18, zn = 18;
    std::int32_t Np = 1, Nm = 200, mpMin = 0, mpMax = 10, mmMin = 0, mmMax = 10;
    std::int32_t pid = marlinq::kUnknownKeyPid;
    if (!marlinq::readParameter(kip, kim, ka, vc01, vc10, zp, zn, fuzzing::scratchPath(), Np, Nm, mpMin, mpMax,
                                mmMin, mmMax, pid))
        std::abort();  // the scratch file exists, so it must open
    if (pid < 1 || pid > 15) std::abort();

    std::vector<std::string> fields;
    marlinq::StringExplode(std::string(reinterpret_cast<const char*>(data), size), fields);
    for (const std::string& f : fields)
        if (f.empty() || f.find_first_of(" \t") != std::string::npos) std::abort();
    return 0;
}
