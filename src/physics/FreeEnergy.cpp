#include "physics/FreeEnergy.h"

#include "physics/Complex.h"
#include "physics/Constants.h"
#include "io/NumberText.h"

#include "physics/Solver.h"
#include "physics/SphereNewton.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>
#include <limits>
#include <string>

namespace marlinq {

namespace {

using namespace constants;

// Single chain: 801 points over eight screening lengths from the cylinder surface.
constexpr std::int32_t kChainPoints = 801;
constexpr double kChainTolerance = 0.01;
constexpr std::int32_t kChainStepLimit = 50;  // the counter starts at 1: 49 Newton steps
// Continuation restarts multiply the number of charge steps by ten up to this many.
constexpr std::int32_t kMostContinuationSteps = 1000;

// Energy of a solved cylinder profile y = exp(u).
// Energy per length: the ions I (intg_chain: salt of (ka)^2 / (8 pi) in reduced units,
// bjerrum c_s a^3) and half the surface potential times the reduced line charge
// source = bjerrum ki; the whole carries 1 / bjerrum (kT per segment of length).
double chainEnergy(const Vtr& y, const Vtr& x, std::int32_t n, double source, double gam, double length_of_chain,
                   std::int32_t nulength, double bjerrum) {
    Vtr u(n, 0.0);
    for (std::int32_t i = 0; i < n; ++i) u[i] = std::log(y[i]);
    const double I = FreeEnergy::intg_chain(u, x, n);
    return (((I + (u[0] * 0.5) * source) / bjerrum) * length_of_chain) +
           std::log(static_cast<double>(nulength) + length_of_chain) * (gam * -2.0);
}

// One Newton solve at fixed charge; *converged tells whether the change fell below tol.
// `source` is bjerrum ki, the line charge as it enters Gauss's law at the surface:
// du/dx = -2 bjerrum ki / ka (x = kappa r).
returnEntity solveChain(double gam, double ka, double source, Vtr& y0, double h, std::int32_t n, std::int32_t k,
                        const Vtr& x, double tol, double length_of_chain, bool last, std::int32_t nulength,
                        bool* converged, double bjerrum) {
    // A positive charge gives a potential that falls outward.
    const double slope = -((source * 2.0) / ka);
    Vtr y_new = Solver::fc(x, y0, h, slope);
    bool done = false;
    std::int32_t c = 1;
    while (true) {
        // A NaN norm fails the comparison and so counts as not converged.
        if ((y_new - y0).twonorm() < tol) {
            done = true;
            break;
        }
        y0 = y_new;
        ++c;
        if (c >= kChainStepLimit) break;
        y_new = Solver::fc(x, y0, h, slope);
    }
    *converged = done;
    const double eng =
        (done || last) ? chainEnergy(y_new, x, n, source, gam, length_of_chain, nulength, bjerrum) : 0.0;
    return returnEntity(eng, y_new, k);
}

// A physical cylinder profile is positive and strictly monotone: falling outward for a
// positive charge, rising for a negative one. NaN fails every comparison here.
bool isMonotoneProfile(const Vtr& y, bool falling) {
    if (!(y[0] > 0.0) || !std::isfinite(y[0])) return false;
    for (std::int32_t i = 1; i < y.size(); ++i) {
        if (!(y[i] > 0.0) || !std::isfinite(y[i])) return false;
        if (falling ? !(y[i] < y[i - 1]) : !(y[i] > y[i - 1])) return false;
    }
    return true;
}

// Continuation in the source strength bjerrum ki from 0.1 to `target` (bjerrum |ki|) in
// (steps - 1) solves, each starting from the previous profile: the same path for every
// Bjerrum length at equal bjerrum ki. False when a profile is not strictly falling.
bool continueInCharge(double s, double ka, double target, double length_of_chain, std::int32_t nulength,
                      std::int32_t steps, const Vtr& x, double h, double* energy, const std::stop_token& stop,
                      double bjerrum) {
    const double delta = (target - 0.1) / (steps - 1);
    Vtr y(kChainPoints, 1.0);
    double F = 0.0;
    for (std::int32_t j = 1; j <= steps - 1; ++j) {
        if (stop.stop_requested()) return false;
        const double source = j * delta + 0.1;
        const bool last = (j == steps - 1);
        bool converged = false;
        const returnEntity res = solveChain(s, ka, source, y, h, kChainPoints, j, x, kChainTolerance, length_of_chain,
                                            last, nulength, &converged, bjerrum);
        y = res.y;
        if (!isMonotoneProfile(y, true)) return false;
        F = res.eng;
    }
    *energy = F;
    return true;
}

}  // namespace

double FreeEnergy::intg_chain(const Vtr& u, const Vtr& x, std::int32_t n) {
    const double h = x[1] - x[0];
    auto g = [](double p) { return p * std::sinh(p) * 0.25 - (std::cosh(p) - 1.0) * 0.5; };
    double sum = 0.0;
    // The interval between the last two grid points is not included.
    for (std::int32_t i = 0; i <= n - 3; ++i)
        sum += ((x[i] * g(u[i]) + x[i + 1] * g(u[i + 1])) * 0.5) * h;
    return sum;
}

returnEntity FreeEnergy::enc(double gam, double ka, double ki, Vtr& y0, double h, std::int32_t n, std::int32_t k,
                             const Vtr& x, double tol, double length_of_chain, bool last, std::int32_t nulength,
                             double bjerrum) {
    bool converged = false;
    return solveChain(gam, ka, bjerrum * ki, y0, h, n, k, x, tol, length_of_chain, last, nulength, &converged,
                      bjerrum);
}

double FreeEnergy::freeEnergy_Chain(double s, double ka, double ki, double length_of_chain, bool minus,
                                    std::int32_t nulength, std::int32_t num, double bjerrum) {
    return freeEnergy_Chain(s, ka, ki, length_of_chain, minus, nulength, num, nullptr, {}, bjerrum);
}

double FreeEnergy::freeEnergy_Chain(double s, double ka, double ki, double length_of_chain, bool /*minus*/,
                                    std::int32_t nulength, std::int32_t num, std::string* diagnostic,
                                    std::stop_token stop, double bjerrum) {
    const double h = ((ka + 8.0) - ka) / 800.0;
    Vtr x(kChainPoints, 0.0);
    for (std::int32_t i = 0; i < kChainPoints; ++i) x[i] = i * h + ka;

    // An uncharged cylinder has the flat profile y = 1; no charge direction to follow.
    if (ki == 0.0) {
        Vtr y(kChainPoints, 1.0);
        return enc(s, ka, 0.0, y, h, kChainPoints, 1, x, kChainTolerance, length_of_chain, true, nulength, bjerrum)
            .eng;
    }

    // Thin cylinders are solved directly from y = 1 on the mirrored profile, that of a
    // negative chain (y rising to 1), whichever the chain's sign: the energy is even in the
    // charge, and identical '+' and '-' chains must meet the same discrete problem. (In y the
    // two orientations are different discretisations; the rising one converges from y = 1 for
    // every charge and has the smaller grid error here.) The direct solve can still diverge
    // or land on a spurious profile; it is kept only when it converged to a finite energy
    // with a sound profile.
    if (0.5 < ka && ka < 0.7) {
        const double mirrored = -std::fabs(ki);
        Vtr y(kChainPoints, 1.0);
        bool converged = false;
        const returnEntity res = solveChain(s, ka, bjerrum * mirrored, y, h, kChainPoints, 1, x, kChainTolerance,
                                            length_of_chain, false, nulength, &converged, bjerrum);
        if (converged && std::isfinite(res.eng) && isMonotoneProfile(res.y, false)) return res.eng;
    }

    // Continuation in |ki|; when a step loses the monotone profile, start again toward
    // the same charge with ten times as many steps.
    if (num <= 1) return 0.0;
    const double target = bjerrum * std::fabs(ki);
    std::int32_t steps = num;
    while (true) {
        double energy = 0.0;
        if (continueInCharge(s, ka, target, length_of_chain, nulength, steps, x, h, &energy, stop, bjerrum))
            return energy;
        if (stop.stop_requested()) return std::numeric_limits<double>::quiet_NaN();
        if (steps >= kMostContinuationSteps) break;
        steps = steps > kMostContinuationSteps / 10 ? kMostContinuationSteps : steps * 10;
    }
    if (diagnostic) {
        *diagnostic = "single chain not solved: ka = " + significantText(ka, 6) + ", ki = " + significantText(ki, 6) +
                      ", no monotone profile with " + std::to_string(steps) + " continuation steps";
    }
    return std::numeric_limits<double>::quiet_NaN();
}

double FreeEnergy::intg_sphere2(const Vtr& x, const Vtr& u, double drho, double cion, std::int32_t n, double rc) {
    if (n <= 1) return 0.0;
    const double h = x[1] - x[0];
    const double twoCion = 2.0 * cion;
    // Half the charge density times the potential (core charge and both ion species).
    auto f = [&](std::int32_t i) {
        const double theta = x[i] < rc ? 1.0 : 0.0;
        return (theta * drho - std::sinh(u[i]) * twoCion) * u[i] * x[i] * x[i];
    };
    // Entropy of the ion species at densities cion e^-u and cion e^u against the bulk.
    auto g = [&](std::int32_t i) {
        return ((-u[i] - 1.0) * (std::pow(kE, -u[i]) * cion) + cion) * x[i] * x[i];
    };
    auto k = [&](std::int32_t i) {
        return ((u[i] - 1.0) * (std::pow(kE, u[i]) * cion) + cion) * x[i] * x[i];
    };
    double A = 0.0, B = 0.0, C = 0.0;
    double fPrev = f(0), gPrev = g(0), kPrev = k(0);
    for (std::int32_t i = 1; i <= n - 1; ++i) {
        const double fi = f(i), gi = g(i), ki = k(i);
        A += ((fPrev + fi) * kPi) * h;
        B += ((gPrev + gi) * kTwoPi) * h;
        C += ((kPrev + ki) * kTwoPi) * h;
        fPrev = fi;
        gPrev = gi;
        kPrev = ki;
    }
    return (B + A) + C;
}

namespace {

struct Core {
    double Q, R, kR;
};

Core coreOf(double ka, double qp, double qn, double vcore) {
    Core c;
    c.Q = qp - qn;
    c.R = complex::coreRadius(vcore);
    c.kR = c.R * ka;
    return c;
}

// The energy integral in reduced densities: the salt of each species bjerrum c_s a^3 =
// (kappa a)^2 / (8 pi) and the core's bjerrum rho; the energy in kT is the integral over
// bjerrum.
double reducedCoreDensity(const Core& c, double bjerrum) {
    return (bjerrum * c.Q) / (((c.R * kFourThirdsPi) * c.R) * c.R);
}

double sphereIntegral(const Vtr& x, const Vtr& u, const Core& c, double ka, std::int32_t n, double bjerrum) {
    const double cion = (ka * ka) / kEightPi;
    const double drho = reducedCoreDensity(c, bjerrum);
    Vtr r(n, 0.0);
    for (std::int32_t i = 0; i < n; ++i) r[i] = x[i] * c.R;
    return FreeEnergy::intg_sphere2(r, u, drho, cion, n, c.R) / bjerrum;
}

}  // namespace

double FreeEnergy::freeEnergy_Sphere(double ka, double qp, double qn, double vcore, double bjerrum) {
    return freeEnergy_Sphere(ka, qp, qn, vcore, nullptr, bjerrum);
}

double FreeEnergy::freeEnergy_Sphere(double ka, double qp, double qn, double vcore, bool* unstable, double bjerrum) {
    std::int32_t counter = 1;
    const double F = sphere::poissonBoltzmannEnergy(ka, qp, qn, vcore, sphere::kPoints, 0.01, sphere::kStepLimit,
                                                    &counter, bjerrum);
    // Reached the step limit, or converged only at one of the last two steps.
    if (counter >= 99 && unstable) *unstable = true;
    return F;
}

namespace {

// Potentials |u| below 2^-10 (the far field of most complexes): 2.71828183^(+-u) is rounded
// once from a double-double evaluation of its series, which is what the library's power
// returns there but for about one argument in 60 000 (one ulp apart then).
constexpr double kSeriesBelow = 0x1p-10;
// 2.71828183^-y is below the smallest subnormal beyond y = 746 and rounds to 0.
constexpr double kPowerUnderflow = 746.0;
// Once the outer potential has fallen below 2^-30 its factor e^-y follows a product of
// constant ratios (restarted from the library's power every 32 points), a few ulp away from
// the power itself. Such a |u| changes the rounding of (u -+ 1) e^(+-u) + 1 with a chance of
// a few 1e-9 per point, and sinh(u) u only below 1e-30 of the energy. (Nearer, an ulp of u
// moves the rounding of those cancelling terms by an ulp of 1, 2 / u^2 of their size.)
constexpr double kRatioBelow = 0x1p-30;
constexpr std::int32_t kPowerRestart = 32;
// ln of the double nearest 2.71828183, as an unevaluated sum of two doubles.
constexpr double kLnEHi = 0x1.000000026f4c2p+0;
constexpr double kLnELo = -0x1.3b1563cd1fe51p-54;

// Dekker's exact product a * b = p + returned error (no fused multiply-add needed).
inline double productError(double a, double b, double p) {
    constexpr double kSplit = 134217729.0;  // 2^27 + 1
    const double ca = kSplit * a, cb = kSplit * b;
    const double ah = ca - (ca - a), al = a - ah;
    const double bh = cb - (cb - b), bl = b - bh;
    return ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// 2.71828183^u and 2.71828183^-u for |u| < 2^-10: the series of e^(+-s) to s^6 (the next
// term is below 2^-82), s = u ln(2.71828183) = p + sLow in two doubles, 1 +- p exact in two,
// each rounded once. Below 2^-66 both are 1 (as the library's power returns them).
inline void smallPowers(double u, double* plus, double* minus) {
    if (std::fabs(u) < 0x1p-66) {
        *plus = 1.0;
        *minus = 1.0;
        return;
    }
    const double p = u * kLnEHi;
    const double sLow = productError(u, kLnEHi, p) + u * kLnELo;
    const double p2 = p * p;
    const double even = p2 * (0.5 + p2 * (1.0 / 24.0 + p2 * (1.0 / 720.0))) + p * sLow;
    const double odd = p * (p2 * (1.0 / 6.0 + p2 * (1.0 / 120.0))) + sLow;
    const double Sp = 1.0 + p;
    const double Sm = 1.0 - p;
    const double errP = (1.0 - Sp) + p;  // 1 + p = Sp + errP exactly
    const double errM = (1.0 - Sm) - p;  // 1 - p = Sm + errM exactly
    *plus = Sp + (errP + (even + odd));
    *minus = Sm + (errM + (even - odd));
}

// [2 x^3 - 3 x^2 + 3 - 3 (1 + x)^2 e^(-2x)] / x^5. The bracket loses all digits to
// cancellation for small x (it starts at 4/5 x^5), so below x = 1 its Taylor series is summed
// from the fifth power on: with a_n = (-2)^n / n! the coefficients of e^(-2x), those of
// (1 + x)^2 e^(-2x) are c_n = a_n + 2 a_(n-1) + a_(n-2), and the terms up to x^4 cancel
// 3 - 3 x^2 + 2 x^3 exactly, leaving -3 sum_(n>=5) c_n x^(n-5).
double linearDebyeHueckelShape(double x) {
    if (x >= 1.0) {
        const double x2 = x * x;
        return (2.0 * x2 * x - 3.0 * x2 + 3.0 - 3.0 * (1.0 + x) * (1.0 + x) * std::exp(-2.0 * x)) / (x2 * x2 * x);
    }
    double a2 = 1.0, a1 = -2.0, a0 = 2.0;  // a_(n-2), a_(n-1), a_n for n = 2
    for (int n = 3; n <= 4; ++n) {
        a2 = a1;
        a1 = a0;
        a0 = a0 * -2.0 / n;
    }
    double sum = 0.0, power = 1.0;
    for (int n = 5; n < 60; ++n) {
        a2 = a1;
        a1 = a0;
        a0 = a0 * -2.0 / n;
        const double term = (a0 + 2.0 * a1 + a2) * power;
        sum += term;
        if (std::fabs(term) < 1e-18 * std::fabs(sum)) break;
        power *= x;
    }
    return -3.0 * sum;
}

}  // namespace

// The potential and the integral of intg_sphere2 in one pass over the 401 points, without
// vectors, with the invariants of the potential formed once, and with the library's powers
// replaced in the far field as described above; otherwise the same operations in the same
// order as the two-step evaluation (which the tests and benchmarks keep a copy of). It
// agrees with that evaluation to the bit on the program's stored results and within a few
// 1e-16 relative over the whole range of the stages.
double FreeEnergy::freeEnergy_SphereLinearDH(double ka, double qp, double qn, double vcore, double bjerrum) {
    const Core c = coreOf(ka, qp, qn, vcore);
    return 0.75 * (c.Q * c.Q / c.R) * linearDebyeHueckelShape(c.kR) * bjerrum;
}

namespace {

// The factors of the potential that depend on kR alone: the inner and outer constants
// without the amplitude, the ratio of e^-y from one point to the next, and at every point
// sinh(y) (in the core) or 2.71828183^-y (outside). A landscape has few distinct core
// volumes (one per M+ + M- with equal block lengths), and the stage meets each many times:
// each thread keeps the last few hundred shapes, so the library's powers of the potential
// are computed once per volume. The cached numbers are the very ones computed each time
// before, so the energy keeps its bits.
struct PotentialShape {
    double kR = -1.0;
    double inner = 0.0;       // 2.71828183^-kR (kR + 1)
    double outerShape = 0.0;  // cosh(kR) kR - sinh(kR)
    double ratio = 0.0;       // 2.71828183^-(step kR)
    double factor[sphere::kPoints];  // NaN until first needed
};

constexpr std::size_t kShapeSlots = 1024;

PotentialShape& potentialShape(double kR) {
    thread_local std::vector<PotentialShape> cache(kShapeSlots);
    std::uint64_t bits;
    std::memcpy(&bits, &kR, sizeof bits);
    bits ^= bits >> 29;
    bits *= 0x9e3779b97f4a7c15ULL;
    PotentialShape& shape = cache[static_cast<std::size_t>(bits >> 55) % kShapeSlots];
    if (shape.kR == kR) return shape;
    shape.kR = kR;
    shape.inner = std::pow(kE, -kR) * (kR + 1.0);
    shape.outerShape = std::cosh(kR) * kR - std::sinh(kR);
    shape.ratio = std::pow(kE, -(sphere::kStep * kR));
    std::fill(std::begin(shape.factor), std::end(shape.factor), std::numeric_limits<double>::quiet_NaN());
    return shape;
}

// sinh(y) in the core, 2.71828183^-y outside, at point i of y = (i step) kR.
inline double shapeFactor(PotentialShape& shape, std::int32_t i, double y) {
    double& f = shape.factor[i];
    if (std::isnan(f)) f = y < shape.kR ? std::sinh(y) : std::pow(kE, -y);
    return f;
}

// The three sums of the energy integral of complexes already evaluated, shared by all
// threads. A complex and its mirror image (net charge -Q at the same core volume: (M-, M+)
// of chains alike but for their sign) have potentials u and -u to the bit, since every
// operation on the potential is odd in Q; the integral then has the same A and the ion sums
// B and C exchanged. So the mirror's energy is (C + A) + B, the very number its own
// evaluation gives, and the same complex met again is (B + A) + C. Each slot is a sequence
// lock: a reader that meets a slot being written, or another complex, evaluates.
struct SumsSlot {
    std::atomic<std::uint64_t> version{0};  // odd while being written
    std::atomic<double> ka{0.0}, Q{0.0}, vcore{0.0}, bjerrum{0.0}, A{0.0}, B{0.0}, C{0.0};
};

constexpr std::size_t kSumsSlots = std::size_t{1} << 18;  // 16 MiB

SumsSlot& sumsSlot(double ka, double Q, double vcore, double bjerrum) {
    static SumsSlot* const slots = new SumsSlot[kSumsSlots];
    const double key[4] = {ka, std::fabs(Q), vcore, bjerrum};
    std::uint64_t hash = 0x243f6a8885a308d3ULL;
    for (const double k : key) {
        std::uint64_t bits;
        std::memcpy(&bits, &k, sizeof bits);
        hash = (hash ^ bits) * 0x9e3779b97f4a7c15ULL;
        hash ^= hash >> 31;
    }
    return slots[hash & (kSumsSlots - 1)];
}

// The energy of (ka, Q, vcore, bjerrum) from a slot holding that complex or its mirror.
bool storedEnergy(SumsSlot& slot, double ka, double Q, double vcore, double bjerrum, double* F) {
    const std::uint64_t before = slot.version.load(std::memory_order_acquire);
    if (before == 0 || (before & 1) != 0) return false;
    const double sKa = slot.ka.load(std::memory_order_relaxed), sQ = slot.Q.load(std::memory_order_relaxed);
    const double sV = slot.vcore.load(std::memory_order_relaxed), sB = slot.bjerrum.load(std::memory_order_relaxed);
    const double A = slot.A.load(std::memory_order_relaxed), B = slot.B.load(std::memory_order_relaxed);
    const double C = slot.C.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (slot.version.load(std::memory_order_relaxed) != before) return false;
    if (!(sKa == ka && sV == vcore && sB == bjerrum) || Q == 0.0) return false;
    if (sQ == Q) {
        *F = ((B + A) + C) / bjerrum;
        return true;
    }
    if (sQ == -Q) {
        *F = ((C + A) + B) / bjerrum;
        return true;
    }
    return false;
}

void storeSums(SumsSlot& slot, double ka, double Q, double vcore, double bjerrum, double A, double B, double C) {
    std::uint64_t version = slot.version.load(std::memory_order_relaxed);
    if ((version & 1) != 0 ||
        !slot.version.compare_exchange_strong(version, version + 1, std::memory_order_acquire, std::memory_order_relaxed))
        return;  // another thread writes it
    slot.ka.store(ka, std::memory_order_relaxed);
    slot.Q.store(Q, std::memory_order_relaxed);
    slot.vcore.store(vcore, std::memory_order_relaxed);
    slot.bjerrum.store(bjerrum, std::memory_order_relaxed);
    slot.A.store(A, std::memory_order_relaxed);
    slot.B.store(B, std::memory_order_relaxed);
    slot.C.store(C, std::memory_order_relaxed);
    slot.version.store(version + 2, std::memory_order_release);
}

}  // namespace

double FreeEnergy::freeEnergy_SphereDH(double ka, double qp, double qn, double vcore, double bjerrum) {
    const Core c = coreOf(ka, qp, qn, vcore);
    SumsSlot& slot = sumsSlot(ka, c.Q, vcore, bjerrum);
    double stored = 0.0;
    if (storedEnergy(slot, ka, c.Q, vcore, bjerrum, &stored)) return stored;
    const double R = c.R;
    const double kR = c.kR;
    const double amp = complex::debyeHueckelAmplitude(c.Q, R, kR, bjerrum);
    const double cion = (ka * ka) / kEightPi;
    const double drho = reducedCoreDensity(c, bjerrum);
    const double twoCion = 2.0 * cion;
    PotentialShape& shape = potentialShape(kR);
    // As complex::debyeHueckelFactors(kR, amp, kE) forms them.
    const complex::DebyeHueckelFactors dh{amp, shape.inner, shape.outerShape * amp};
    const double h = (1 * sphere::kStep) * R - (0 * sphere::kStep) * R;
    const double ratio = shape.ratio;  // e^-y from one point to the next

    double fPrev = 0.0, gPrev = 0.0, kPrev = 0.0;
    double A = 0.0, B = 0.0, C = 0.0;
    double power = 0.0;  // 2.71828183^-y at the previous point
    bool farField = false;
    std::int32_t sinceRestart = 0;
    for (std::int32_t i = 0; i < sphere::kPoints; ++i) {
        const double x = i * sphere::kStep;
        const double y = x * kR;
        double u;
        if (y < kR) {
            // complex::debyeHueckelInside with the cached sinh(y).
            u = y == 0.0 ? (1.0 - dh.inner) * dh.amp : (1.0 - (dh.inner * shapeFactor(shape, i, y)) / y) * dh.amp;
        } else {
            if (y > kPowerUnderflow) {
                power = 0.0;
            } else if (farField && sinceRestart < kPowerRestart) {
                power *= ratio;
                ++sinceRestart;
            } else {
                power = shapeFactor(shape, i, y);
                sinceRestart = 0;
            }
            u = complex::debyeHueckelOutside(dh, y, power);
            farField = std::fabs(u) < kRatioBelow;
        }
        const double r = x * R;
        const double theta = r < R ? 1.0 : 0.0;
        const double a = std::fabs(u);
        double sh, minus, plus;  // sinh(u), 2.71828183^-u, 2.71828183^u
        if (a < kSeriesBelow) {
            sh = a < 0x1p-28 ? u : std::sinh(u);  // the library returns u below 2^-28
            smallPowers(u, &plus, &minus);
        } else {
            sh = std::sinh(u);
            minus = std::pow(kE, -u);
            plus = std::pow(kE, u);
        }
        const double fi = (theta * drho - sh * twoCion) * u * r * r;
        const double gi = ((-u - 1.0) * (minus * cion) + cion) * r * r;
        const double ki = ((u - 1.0) * (plus * cion) + cion) * r * r;
        if (i > 0) {
            A += ((fPrev + fi) * kPi) * h;
            B += ((gPrev + gi) * kTwoPi) * h;
            C += ((kPrev + ki) * kTwoPi) * h;
        }
        fPrev = fi;
        gPrev = gi;
        kPrev = ki;
    }
    storeSums(slot, ka, c.Q, vcore, bjerrum, A, B, C);
    return ((B + A) + C) / bjerrum;
}

namespace sphere {

Vtr grid() { return grid(kPoints); }

Vtr grid(std::int32_t n) {
    const double h = (kOuterRadius - 0.0) / (n - 1);
    Vtr x(n, 0.0);
    for (std::int32_t i = 0; i < n; ++i) x[i] = i * h;
    return x;
}

Vtr solvePotential(const Vtr& x, double q, double kappaR, std::int32_t* counter) {
    return solvePotential(x, q, kappaR, kPoints, 0.01, kStepLimit, counter);
}

Vtr solvePotential(const Vtr& x, double q, double kappaR, std::int32_t n, double tolerance, std::int32_t stepLimit,
                   std::int32_t* counter) {
    const double h = (kOuterRadius - 0.0) / (n - 1);
    Vtr previous(n, 0.0);
    Vtr u = previous;
    std::int32_t k = 1;
    do {
        u = Solver::compute(x, previous, q, h, kappaR, n);
        ++k;
        // A NaN norm fails the comparison and counts as not converged.
        if ((u - previous).twonorm() < tolerance) break;
        previous = u;
    } while (k < stepLimit);
    *counter = k;
    return u;
}

double poissonBoltzmannEnergy(double ka, double qp, double qn, double vcore, std::int32_t n, double tolerance,
                              std::int32_t stepLimit, std::int32_t* counter, double bjerrum) {
    const Vtr x = grid(n);
    const Core c = coreOf(ka, qp, qn, vcore);
    const double q = complex::sourceStrength(c.Q, c.R, bjerrum);
    const Vtr u = solvePotential(x, q, c.kR, n, tolerance, stepLimit, counter);
    return sphereIntegral(x, u, c, ka, n, bjerrum);
}

double debyeHueckelEnergy(double ka, double qp, double qn, double vcore, std::int32_t n, double bjerrum) {
    const Vtr x = grid(n);
    const Core c = coreOf(ka, qp, qn, vcore);
    const double kR = c.kR;
    const double amp = complex::debyeHueckelAmplitude(c.Q, c.R, kR, bjerrum);
    Vtr u(n, 0.0);
    // x[i] * kR is the radius in screening lengths.
    for (std::int32_t i = 0; i < n; ++i) u[i] = complex::debyeHueckelPotential(x[i] * kR, kR, amp, kE);
    return sphereIntegral(x, u, c, ka, n, bjerrum);
}

}  // namespace sphere

}  // namespace marlinq
