#include "physics/Corona.h"

#include <cmath>
#include <numbers>

namespace marlinq::corona {

double densityExponent(Solvent solvent) { return solvent == Solvent::Good ? 4.0 / 3.0 : 1.0; }

double Profile::density(double r) const {
    if (!(r >= coreRadius && r <= outerRadius) || !(outerRadius > coreRadius)) return 0.0;
    const double p = densityExponent(solvent);
    // c = K r^-p with 4 pi K int r^(2-p) dr = f N.
    const double norm = 4.0 * std::numbers::pi *
                        (std::pow(outerRadius, 3.0 - p) - std::pow(coreRadius, 3.0 - p)) / (3.0 - p);
    return segments / norm * std::pow(r, -p);
}

double Profile::meanSquareRadius() const {
    const double p = densityExponent(solvent);
    const double R = outerRadius, Rc = coreRadius;
    if (!(R > Rc * (1.0 + 1e-12))) return Rc * Rc;
    return (3.0 - p) / (5.0 - p) * (std::pow(R, 5.0 - p) - std::pow(Rc, 5.0 - p)) /
           (std::pow(R, 3.0 - p) - std::pow(Rc, 3.0 - p));
}

Profile coronaProfile(double coreRadius, double arms, double armLength, double segmentSize, Solvent solvent) {
    Profile p;
    p.solvent = solvent;
    p.coreRadius = coreRadius;
    p.segments = arms * armLength;
    if (!(arms > 0.0 && armLength > 0.0)) {
        p.outerRadius = coreRadius;
        return p;
    }
    if (solvent == Solvent::Good) {
        const double a = kGoodSolventPrefactor;
        const double grown = std::pow(a, 5.0 / 3.0) * std::cbrt(arms) * armLength * std::pow(segmentSize, 5.0 / 3.0);
        p.outerRadius = std::pow(std::pow(coreRadius, 5.0 / 3.0) + grown, 0.6);
    } else {
        const double a = kThetaSolventPrefactor;
        p.outerRadius = std::sqrt(coreRadius * coreRadius + a * a * std::sqrt(arms) * armLength * segmentSize * segmentSize);
    }
    return p;
}

double complexRadiusOfGyration(const Profile& p, double coreMass, double coronaMass) {
    const double core = 0.6 * p.coreRadius * p.coreRadius;
    return std::sqrt((coreMass * core + coronaMass * p.meanSquareRadius()) / (coreMass + coronaMass));
}

double coilRadiusOfGyration(double segments, double segmentSize, Solvent solvent) {
    if (solvent == Solvent::Theta) return std::sqrt(segments / 6.0) * segmentSize;
    return std::sqrt(5.0 / 11.0) * kGoodSolventPrefactor * std::pow(segments, 0.6) * segmentSize;
}

double coilHydrodynamicRadius(double segments, double segmentSize, Solvent solvent) {
    return coilRadiusOfGyration(segments, segmentSize, solvent) /
           (solvent == Solvent::Theta ? kCoilRgOverRhTheta : kCoilRgOverRhGood);
}

double equivalentChainRg(const Profile& p) {
    const double Rc = p.coreRadius;
    if (!(p.outerRadius > Rc)) return 0.0;
    return (std::sqrt(4.0 * p.meanSquareRadius() - 3.0 * Rc * Rc) - Rc) / 4.0;
}

}  // namespace marlinq::corona
