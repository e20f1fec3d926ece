#include "pipeline/ComplexProfile.h"

#include "physics/Complex.h"
#include "physics/Constants.h"
#include "physics/ConvergedEnergy.h"

#include "io/NumberText.h"
#include "physics/PotentialProfile.h"

#include <algorithm>
#include <cmath>

namespace marlinq {

namespace {
constexpr int kPoints = 401;
using namespace constants;
}  // namespace

ComplexProfile computeComplexProfile(const SphericalComplex& c, ProfileOverlay overlay, ProfileGrid grid) {
    ComplexProfile p;
    p.mp = c.mp;
    p.mm = c.mm;
    p.dh = overlay == ProfileOverlay::DebyeHueckel;
    p.ka = c.ka;
    p.Rc = c.radius;
    p.kRc = c.kappaR;
    // (kappa Rc)^2 = 8 pi lambda c_s Rc^2: the salt ions' densities are shown as
    // 8 pi c_s Rc^2 e^(-+u) = (kappa Rc)^2 e^(-+u) / lambda, the familiar (kappa Rc)^2 e^(-+u) at lambda = 1.
    const double K2 = p.kRc * p.kRc / c.bjerrum;

    p.potential.assign(kPoints, 0.0);
    p.r.assign(kPoints, 0.0);
    p.cation_density.assign(kPoints, 0.0);
    p.anion_density.assign(kPoints, 0.0);
    p.charge_density.assign(kPoints, 0.0);

    PotentialProfile::poissonBoltzmann(c, p.potential.data(), p.r.data());
    if (grid == ProfileGrid::Fine) {
        // Every fourth point of the 1601-point solution lies on one of the 401 radii.
        const std::vector<double> fine =
            converged::spherePotential(c.ka, c.chargePlus, c.chargeMinus, c.coreVolume, 4 * (kPoints - 1) + 1, c.bjerrum);
        if (fine.size() == static_cast<std::size_t>(4 * (kPoints - 1) + 1))
            for (int i = 0; i < kPoints; ++i) p.potential[i] = fine[static_cast<std::size_t>(4 * i)];
    }
    if (p.dh) {
        p.dhPotential.assign(kPoints, 0.0);
        PotentialProfile::debyeHueckel(c, p.dhPotential.data(), p.r.data());
    }

    for (int i = 0; i < kPoints; ++i) {
        p.cation_density[i] = std::pow(kE, -p.potential[i]) * K2;
        p.anion_density[i] = std::pow(kE, p.potential[i]) * K2;
    }

    // Salt-ion charge density plus the core charge spread uniformly over r <= 1.
    p.Z = c.charge;
    const double q = (p.Z / p.Rc) * 3.0 / kFourPi;
    const double a = K2 / kEightPi;
    for (int i = 0; i < kPoints; ++i) {
        const double inside = p.r[i] <= 1.0 ? 1.0 : 0.0;
        p.charge_density[i] = (std::pow(kE, -p.potential[i]) - std::pow(kE, p.potential[i])) * a + inside * q;
    }
    return p;
}

ComplexProfile computeComplexProfile(std::int32_t mp, std::int32_t mm, const Parameters& p, const ChainBlocks& blocks,
                                     const ComplexModel& model) {
    const SphericalComplex c =
        SphericalComplex::of(mp, mm, blocks, ComplexConditions{p.ka, p.bjerrum, p.waterFraction});
    return computeComplexProfile(c, model.profileOverlay(),
                                 model.keepsStandard() ? ProfileGrid::Fine : ProfileGrid::Standard);
}

std::string profileFailureMessage(std::int32_t mp, std::int32_t mm, const std::string& kernelMessage) {
    return "The profile of the complex (" + std::to_string(mp) + ", " + std::to_string(mm) +
           ") could not be computed: a numerical error (" + kernelMessage + ").";
}

std::string formatProfileCsv(const ComplexProfile& p, int points) {
    std::string out = p.dh ? "r/Rc,u,u_DH,cation_density,anion_density,charge_density\n"
                           : "r/Rc,u,cation_density,anion_density,charge_density\n";
    std::size_t available = std::min({p.r.size(), p.potential.size(), p.cation_density.size(), p.anion_density.size(),
                                       p.charge_density.size()});
    if (p.dh) available = std::min(available, p.dhPotential.size());
    const int n = std::clamp(points, 0, static_cast<int>(available));
    for (int i = 0; i < n; ++i) {
        out += formatGeneral(p.r[i]);
        out += ',';
        out += formatGeneral(p.potential[i]);
        out += ',';
        if (p.dh) {
            out += formatGeneral(p.dhPotential[i]);
            out += ',';
        }
        out += formatGeneral(p.cation_density[i]);
        out += ',';
        out += formatGeneral(p.anion_density[i]);
        out += ',';
        out += formatGeneral(p.charge_density[i]);
        out += '\n';
    }
    return out;
}

}  // namespace marlinq
