#include "physics/ConvergedEnergy.h"

#include "physics/Complex.h"
#include "physics/Constants.h"
#include "physics/FreeEnergy.h"
#include "physics/Solver.h"
#include "physics/SphericalComplex.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace marlinq {

namespace {

using namespace constants;

constexpr double kNewtonTolerance = 1e-12;
constexpr std::int32_t kNewtonSteps = 200;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double largest(const Vtr& v) {
    double m = 0.0;
    for (std::int32_t i = 0; i < v.size(); ++i) m = std::max(m, std::fabs(v[i]));
    return m;
}

// Newton has converged when the change is below the tolerance relative to the size of the
// solution, or when, already below 1e-8 of it, the change no longer falls quadratically (it
// has reached the rounding of the step).
bool converged(double change, double previous, double size) {
    const double scale = std::max(1.0, size);
    if (change < kNewtonTolerance * scale) return true;
    return change < 1e-8 * scale && change > 0.1 * previous;
}

// Core indicator at a grid point: the point on the surface carries half the source.
double coreWeight(double x) { return x < 1.0 ? 1.0 : (x == 1.0 ? 0.5 : 0.0); }

// The scheme: u'' + (2/x) u' = kR^2 sinh u - 3 q theta, multiplied by x, with central
// differences; zero slope at both ends (one-sided, second order).

// Linear interpolation of a profile onto a grid twice as fine.
Vtr refine(const Vtr& coarse) {
    const std::int32_t m = coarse.size();
    Vtr fine(2 * m - 1, 0.0);
    for (std::int32_t i = 0; i < m; ++i) fine[2 * i] = coarse[i];
    for (std::int32_t i = 0; i + 1 < m; ++i) fine[2 * i + 1] = 0.5 * (coarse[i] + coarse[i + 1]);
    return fine;
}

// The Newton correction of the scheme at u. Its Jacobian is tridiagonal but for one entry
// in each end row (the one-sided slopes): those are eliminated with the neighbouring row,
// and the rest is Thomas' elimination.
class SphereNewton {
public:
    SphereNewton(const Vtr& x, double q, double kR)
        : x_(x), q_(q), k2_(kR * kR), h_(x[1] - x[0]), lower_(static_cast<std::size_t>(x.size())), diag_(lower_.size()),
          upper_(lower_.size()), delta_(lower_.size()) {}

    // delta with J delta = F(u).
    const std::vector<double>& correction(const Vtr& u) {
        const std::int32_t n = x_.size();
        const double h = h_, h2 = h * h;
        std::vector<double>& F = delta_;
        for (std::int32_t i = 1; i <= n - 2; ++i) {
            const double xi = x_[i];
            const double D2 = ((u[i - 1] + u[i + 1]) - 2.0 * u[i]) / h2;
            const double D1 = (u[i + 1] - u[i - 1]) / (2.0 * h);
            const double s = k2_ * xi;
            const double e = std::exp(u[i]);
            const double sinhU = 0.5 * (e - 1.0 / e), coshU = 0.5 * (e + 1.0 / e);
            F[i] = (xi * D2 + 2.0 * D1) + 3.0 * xi * q_ * coreWeight(xi) - sinhU * s;
            lower_[i] = xi / h2 - 1.0 / h;
            diag_[i] = (-2.0 * xi) / h2 - coshU * s;
            upper_[i] = 1.0 / h + xi / h2;
        }
        // Row 0: -3 u0 + 4 u1 - u2 (zero slope); u2 goes with row 1.
        {
            const double f = -1.0 / upper_[1];
            F[0] = ((4.0 * u[1] - u[2]) - 3.0 * u[0]) - f * F[1];
            diag_[0] = -3.0 - f * lower_[1];
            upper_[0] = 4.0 - f * diag_[1];
        }
        // Row n-1: u(n-3) - 4 u(n-2) + 3 u(n-1); u(n-3) goes with row n-2.
        {
            const std::int32_t m = n - 1;
            const double f = 1.0 / lower_[m - 1];
            F[m] = ((3.0 * u[m] - 4.0 * u[m - 1]) + u[m - 2]) - f * F[m - 1];
            lower_[m] = -4.0 - f * diag_[m - 1];
            diag_[m] = 3.0 - f * upper_[m - 1];
        }
        for (std::int32_t i = 1; i < n; ++i) {
            const double w = lower_[i] / diag_[i - 1];
            diag_[i] -= w * upper_[i - 1];
            F[i] -= w * F[i - 1];
        }
        F[n - 1] /= diag_[n - 1];
        for (std::int32_t i = n - 2; i >= 0; --i) F[i] = (F[i] - upper_[i] * F[i + 1]) / diag_[i];
        return delta_;
    }

private:
    const Vtr& x_;
    double q_, k2_, h_;
    std::vector<double> lower_, diag_, upper_, delta_;
};

// Full Newton steps from u until the largest change is below the tolerance (relative to
// the largest |u|, at least 1). False when that did not happen.
bool solveSphere(const Vtr& x, double q, double kR, Vtr& u) {
    SphereNewton newton(x, q, kR);
    double previous = std::numeric_limits<double>::infinity();
    for (std::int32_t step = 0; step < kNewtonSteps; ++step) {
        const std::vector<double>& delta = newton.correction(u);
        double change = 0.0, size = 0.0;
        for (std::int32_t i = 0; i < u.size(); ++i) {
            u[i] -= delta[static_cast<std::size_t>(i)];
            change = std::max(change, std::fabs(delta[static_cast<std::size_t>(i)]));
            size = std::max(size, std::fabs(u[i]));
        }
        if (!std::isfinite(change)) return false;
        if (converged(change, previous, size)) return true;
        previous = change;
    }
    return false;
}

// The free-energy integral of sphereEnergyIntegral (the program's constants), with the surface
// point's core charge counted half.
double sphereIntegral(const Vtr& x, const Vtr& u, double R, double drho, double cion) {
    const std::int32_t n = x.size();
    const double h = (x[1] - x[0]) * R;
    double A = 0.0, B = 0.0, C = 0.0;
    double fPrev = 0.0, gPrev = 0.0, kPrev = 0.0;
    for (std::int32_t i = 0; i < n; ++i) {
        const double r = x[i] * R, ui = u[i];
        const double f = (coreWeight(x[i]) * drho - std::sinh(ui) * (2.0 * cion)) * ui * r * r;
        const double boltzmann = std::pow(kE, ui);  // with the program's rounded e
        const double g = ((-ui - 1.0) * ((1.0 / boltzmann) * cion) + cion) * r * r;
        const double k = ((ui - 1.0) * (boltzmann * cion) + cion) * r * r;
        if (i > 0) {
            A += ((fPrev + f) * kPi) * h;
            B += ((gPrev + g) * kTwoPi) * h;
            C += ((kPrev + k) * kTwoPi) * h;
        }
        fPrev = f;
        gPrev = g;
        kPrev = k;
    }
    return (B + A) + C;
}

// n points from the centre to `outer` core radii; (n - 1) a multiple of outer, so that a
// point lies on the core surface.
Vtr sphereGrid(std::int32_t n, std::int32_t outer = 8) {
    const double h = static_cast<double>(outer) / (n - 1);
    Vtr x(n, 0.0);
    for (std::int32_t i = 0; i < n; ++i) x[i] = i * h;
    x[(n - 1) / outer] = 1.0;
    return x;
}

// The domain of the converged complex: the standard 8 core radii as long as they hold
// kScreeningLengths screening lengths, else (low salt, small cores: kappa R below
// kScreeningLengths / 8) as many whole core radii as reach that far. The zero slope at the
// outer end then cuts off a tail of the potential below e^-kScreeningLengths of its
// surface value, and of the energy about the square of that. The step of the coarsest grid
// stays 0.02 core radii.
constexpr double kScreeningLengths = 8.0;

std::int32_t outerRadius(double kR) {
    const double reach = kScreeningLengths / kR;
    return reach <= 8.0 ? 8 : static_cast<std::int32_t>(std::min(std::ceil(reach), 1e5));
}

std::int32_t basePoints(std::int32_t outer) { return 50 * outer + 1; }

struct SphereProblem {
    double Q, R, kR, q, drho, cion, bjerrum;
};

// bjerrum = l_B / a: the source is 3 bjerrum Q / R. The energy integral takes the reduced
// densities, bjerrum rho and bjerrum c_s a^3 = (ka)^2 / (8 pi), and its value is divided by
// bjerrum (sphereEnergyOf).
SphereProblem sphereProblem(double ka, double qp, double qn, double vcore, double bjerrum) {
    const SphericalComplex c = SphericalComplex::ofCore(qp, qn, vcore, ka, bjerrum);
    SphereProblem p;
    p.Q = c.charge;
    p.R = c.radius;
    p.kR = c.kappaR;
    p.q = complex::sourceStrength(c.charge, c.radius, bjerrum);
    p.drho = c.reducedChargeDensity();
    p.cion = reducedSaltConcentration(ka);
    p.bjerrum = bjerrum;
    return p;
}

double sphereEnergyOf(const Vtr& x, const Vtr& u, const SphereProblem& p) {
    return sphereIntegral(x, u, p.R, p.drho, p.cion) / p.bjerrum;
}

// Starting profile on the coarsest grid: the program's own damped iteration, which finds
// the solution from u = 0 for every charge, to a change of 0.01.
Vtr sphereStart(const Vtr& x, const SphereProblem& p) {
    // Half Newton steps (the program's damping), here on the second-order scheme.
    SphereNewton newton(x, p.q, p.kR);
    Vtr u(x.size(), 0.0);
    for (std::int32_t k = 0; k < 200; ++k) {
        const std::vector<double>& delta = newton.correction(u);
        double squares = 0.0;
        for (std::int32_t i = 0; i < u.size(); ++i) {
            const double d = 0.5 * delta[static_cast<std::size_t>(i)];
            u[i] -= d;
            squares += d * d;
        }
        if (!std::isfinite(squares)) break;
        if (std::sqrt(squares) < 0.01) break;
    }
    return u;
}

// Refines the grid (each level halves the step) until two successive Richardson
// extrapolations agree to kTarget of the value, at most maxLevels grids. nextLevel(l)
// returns the energy on grid l (NaN when its solve failed).
constexpr double kTarget = 2e-5;

template <class NextLevel>
ConvergedEnergy extrapolate(NextLevel nextLevel, std::int32_t maxLevels) {
    double F[8];
    double r1 = kNaN, r2 = kNaN;
    for (std::int32_t l = 0; l < maxLevels; ++l) {
        F[l] = nextLevel(l);
        if (!std::isfinite(F[l])) return {kNaN, kNaN};
        if (l >= 1) {
            r1 = r2;
            r2 = (4.0 * F[l] - F[l - 1]) / 3.0;
        }
        if (l >= 2 && std::fabs(r2 - r1) <= kTarget * std::fabs(r2)) return {r2, std::fabs(r2 - r1)};
    }
    // The finest grid was reached first: the estimate stands, but the target was missed.
    return {r2, std::fabs(r2 - r1), false};
}

// ---- chain ----
//
// The converged chain is solved in the logarithm of the radius, s = ln x (x = kappa r):
// u'' + u'/x = sinh u becomes u_ss = x^2 sinh u, the surface condition u' = -2 xi / ka
// becomes u_s = -2 xi, and u = 0 at x = ka + 8 as before. A grid uniform in s puts its points
// where the potential changes: at a strongly charged chain (xi of several, ka 0.2) the
// counterion layer at the surface is about ka / xi thick, which an even grid in r resolves
// only with tens of thousands of points (and from the coarse grid's profile Newton's steps
// then fail). The energy is the same functional, int x g(u) dx = int x^2 g(u) ds, over the
// whole domain; a different second-order discretisation of the same problem, so its limit
// is the same.

struct LogChainGrid {
    double h = 0.0;           // step in s
    std::vector<double> x2;   // x^2 at each point
};

LogChainGrid logChainGrid(double ka, std::int32_t n) {
    LogChainGrid g;
    const double s0 = std::log(ka), s1 = std::log(ka + 8.0);
    g.h = (s1 - s0) / (n - 1);
    g.x2.resize(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) {
        const double x = std::exp(s0 + i * g.h);
        g.x2[static_cast<std::size_t>(i)] = x * x;
    }
    return g;
}

// Full Newton steps on the log grid for the line charge density xi, from u (the last point
// stays 0). The system is tridiagonal: the surface condition enters through a mirror point,
// u_-1 = u_1 + 4 h xi. Returns the steps taken, or -1 when Newton did not converge.
int solveLogChain(const LogChainGrid& g, double xi, std::vector<double>& u, int maxSteps) {
    const std::size_t m = u.size() - 1;  // unknowns
    const double h = g.h, h2 = h * h;
    std::vector<double> diag(m), rhs(m), upper(m);
    double previous = std::numeric_limits<double>::infinity();
    for (int step = 1; step <= maxSteps; ++step) {
        for (std::size_t i = 0; i < m; ++i) {
            const double left = i == 0 ? u[1] + 4.0 * h * xi : u[i - 1];
            rhs[i] = ((left + u[i + 1]) - 2.0 * u[i]) - h2 * g.x2[i] * std::sinh(u[i]);
            diag[i] = -2.0 - h2 * g.x2[i] * std::cosh(u[i]);
            upper[i] = i == 0 ? 2.0 : 1.0;
        }
        // Thomas' elimination (the matrix is diagonally dominant): sub-diagonal all 1.
        for (std::size_t i = 1; i < m; ++i) {
            const double w = 1.0 / diag[i - 1];
            diag[i] -= w * upper[i - 1];
            rhs[i] -= w * rhs[i - 1];
        }
        double change = 0.0, size = 0.0;
        double next = 0.0;
        for (std::size_t k = m; k-- > 0;) {
            const double d = (rhs[k] - (k + 1 < m ? upper[k] * next : 0.0)) / diag[k];
            next = d;
            u[k] -= d;
            change = std::max(change, std::fabs(d));
            size = std::max(size, std::fabs(u[k]));
        }
        if (!std::isfinite(change)) return -1;
        if (converged(change, previous, size)) return step;
        previous = change;
    }
    return -1;
}

// The energy per unit length of a log-grid profile solved for the reduced line charge
// source = bjerrum xi: the trapezoid rule in s and the surface term, over bjerrum.
double logChainPerLength(const LogChainGrid& g, const std::vector<double>& u, double source, double bjerrum) {
    const auto f = [](double p) { return p * std::sinh(p) * 0.25 - (std::cosh(p) - 1.0) * 0.5; };
    double sum = 0.0;
    for (std::size_t i = 0; i + 1 < u.size(); ++i) sum += (g.x2[i] * f(u[i]) + g.x2[i + 1] * f(u[i + 1])) * 0.5;
    return (sum * g.h + (u[0] * 0.5) * source) / bjerrum;
}

constexpr std::int32_t kLogChainPoints = 401;

// The profile at xi on the coarsest log grid: continuation in the charge from u = 0, the
// step doubled after an easy solve and halved after a failed one. Empty when even tiny
// steps fail.
std::vector<double> logChainStart(const LogChainGrid& g, double xi, const std::stop_token& stop = {}) {
    std::vector<double> u(g.x2.size(), 0.0);
    double reached = 0.0, step = xi / 4.0;
    while (reached < xi) {
        if (step < 1e-6 * xi || stop.stop_requested()) return {};
        const double next = std::min(xi, reached + step);
        std::vector<double> trial = u;
        const int steps = solveLogChain(g, next, trial, 12);
        if (steps < 0) {
            step *= 0.5;
            continue;
        }
        u = std::move(trial);
        reached = next;
        if (steps <= 5) step *= 2.0;
    }
    return u;
}

std::vector<double> refineProfile(const std::vector<double>& coarse) {
    std::vector<double> fine(2 * coarse.size() - 1);
    for (std::size_t i = 0; i < coarse.size(); ++i) fine[2 * i] = coarse[i];
    for (std::size_t i = 0; i + 1 < coarse.size(); ++i) fine[2 * i + 1] = 0.5 * (coarse[i] + coarse[i + 1]);
    return fine;
}

// The converged energy per unit length of a chain of line charge density xi >= 0; the
// potential is that of the source bjerrum xi.
ConvergedEnergy logChainEnergyPerLength(double ka, double xi, const std::stop_token& stop, double bjerrum) {
    const double source = bjerrum * xi;
    LogChainGrid g = logChainGrid(ka, kLogChainPoints);
    std::vector<double> u = logChainStart(g, source, stop);
    if (u.empty()) return {kNaN, kNaN};
    return extrapolate(
        [&](std::int32_t l) {
            if (stop.stop_requested()) return kNaN;
            if (l > 0) {
                g = logChainGrid(ka, static_cast<std::int32_t>(2 * u.size() - 1));
                u = refineProfile(u);
            }
            return solveLogChain(g, source, u, kNewtonSteps) < 0 ? kNaN : logChainPerLength(g, u, source, bjerrum);
        },
        7);
}

Vtr chainGrid(double ka, std::int32_t n) {
    const double h = ((ka + 8.0) - ka) / (n - 1);
    Vtr x(n, 0.0);
    for (std::int32_t i = 0; i < n; ++i) x[i] = i * h + ka;
    return x;
}

// Full Newton steps of the cylinder problem from y until the largest change is below the
// tolerance (relative to the largest y).
bool solveChain(const Vtr& x, double slope, Vtr& y) {
    const double h = x[1] - x[0];
    double previous = std::numeric_limits<double>::infinity();
    for (std::int32_t step = 0; step < kNewtonSteps; ++step) {
        const Vtr next = Solver::cylinderStep(x, y, h, slope);
        const double change = largest(next - y);
        y = next;
        if (!std::isfinite(change)) return false;
        if (converged(change, previous, largest(y))) return true;
        previous = change;
    }
    return false;
}

bool isFallingProfile(const Vtr& y) {
    for (std::int32_t i = 0; i < y.size(); ++i) {
        if (!(y[i] > 0.0) || !std::isfinite(y[i])) return false;
        if (i > 0 && !(y[i] < y[i - 1])) return false;
    }
    return true;
}

// source = bjerrum ki, as in FreeEnergy's chain energy.
double chainPerLength(const Vtr& x, const Vtr& y, double source, double bjerrum) {
    const std::int32_t n = x.size();
    Vtr u(n, 0.0);
    for (std::int32_t i = 0; i < n; ++i) u[i] = std::log(y[i]);
    return (FreeEnergy::intg_chain(u, x, n) + (u[0] * 0.5) * source) / bjerrum;
}

}  // namespace

namespace converged {

std::vector<double> spherePotential(double ka, double qp, double qn, double vcore, std::int32_t n, double bjerrum) {
    const SphereProblem p = sphereProblem(ka, qp, qn, vcore, bjerrum);
    const std::int32_t outer = outerRadius(p.kR);
    // Points of the whole domain with the step of n points over 8 core radii.
    const std::int32_t wanted = (n - 1) / 8 * outer + 1;
    Vtr x = sphereGrid(basePoints(outer), outer);
    Vtr u = sphereStart(x, p);
    // Refined level by level, each solve started from the coarser one.
    while (true) {
        if (!solveSphere(x, p.q, p.kR, u)) return {};
        if (x.size() >= wanted) break;
        x = sphereGrid(2 * x.size() - 1, outer);
        u = refine(u);
    }
    // The part from the centre to 8 core radii.
    const std::int32_t kept = (u.size() - 1) / outer * 8 + 1;
    std::vector<double> out(static_cast<std::size_t>(kept));
    for (std::int32_t i = 0; i < kept; ++i) out[static_cast<std::size_t>(i)] = u[i];
    return out;
}

double sphereEnergy(double ka, double qp, double qn, double vcore, std::int32_t n, double bjerrum) {
    const SphereProblem p = sphereProblem(ka, qp, qn, vcore, bjerrum);
    const Vtr x = sphereGrid(n);
    Vtr u = sphereStart(x, p);
    return solveSphere(x, p.q, p.kR, u) ? sphereEnergyOf(x, u, p) : kNaN;
}

double chainEnergyPerLength(double ka, double ki, std::int32_t n, double bjerrum) {
    const double target = bjerrum * std::fabs(ki);
    if (target == 0.0) return 0.0;
    // Newton's start: the converged profile (log grid of 6401 points), interpolated.
    LogChainGrid g = logChainGrid(ka, kLogChainPoints);
    std::vector<double> u = logChainStart(g, target);
    if (u.empty()) return kNaN;
    while (u.size() < 6401) {
        g = logChainGrid(ka, static_cast<std::int32_t>(2 * u.size() - 1));
        u = refineProfile(u);
        if (solveLogChain(g, target, u, kNewtonSteps) < 0) return kNaN;
    }
    const Vtr x = chainGrid(ka, n);
    Vtr y(n, 1.0);
    const double s0 = std::log(ka);
    for (std::int32_t i = 0; i < n; ++i) {
        const double t = std::min((std::log(x[i]) - s0) / g.h, static_cast<double>(u.size() - 1));
        const std::size_t k = std::min(static_cast<std::size_t>(t), u.size() - 2);
        y[i] = std::exp(u[k] + (t - static_cast<double>(k)) * (u[k + 1] - u[k]));
    }
    y[n - 1] = 1.0;
    if (!solveChain(x, -((target * 2.0) / ka), y) || !isFallingProfile(y)) return kNaN;
    return chainPerLength(x, y, target, bjerrum);
}

}  // namespace converged

ConvergedEnergy convergedChainEnergy(double s, double ka, double ki, double length_of_chain, std::int32_t nulength,
                                     std::stop_token stop, double bjerrum) {
    const double logTerm = std::log(static_cast<double>(nulength) + length_of_chain) * (s * -2.0);
    const double target = std::fabs(ki);
    if (target == 0.0) return {logTerm, 0.0};
    const ConvergedEnergy perLength = logChainEnergyPerLength(ka, target, stop, bjerrum);
    return {perLength.value * length_of_chain + logTerm, perLength.errorEstimate * length_of_chain,
            perLength.targetMet};
}

ConvergedEnergy convergedSphereEnergy(double ka, double qp, double qn, double vcore, std::int32_t grids,
                                      double bjerrum) {
    if (qp == qn) return {0.0, 0.0};
    const SphereProblem p = sphereProblem(ka, qp, qn, vcore, bjerrum);
    const std::int32_t outer = outerRadius(p.kR);
    Vtr x = sphereGrid(basePoints(outer), outer);
    Vtr u = sphereStart(x, p);
    return extrapolate(
        [&](std::int32_t l) {
            if (l > 0) {
                x = sphereGrid(2 * x.size() - 1, outer);
                u = refine(u);
            }
            return solveSphere(x, p.q, p.kR, u) ? sphereEnergyOf(x, u, p) : kNaN;
        },
        std::min<std::int32_t>(grids, 8));
}

ConvergedEnergy convergedDebyeHueckelEnergy(double ka, double qp, double qn, double vcore, double bjerrum) {
    if (qp == qn) return {0.0, 0.0};
    const SphereProblem p = sphereProblem(ka, qp, qn, vcore, bjerrum);
    const complex::DebyeHueckelFactors f =
        complex::debyeHueckelFactors(p.kR, complex::debyeHueckelAmplitude(p.Q, p.R, p.kR, bjerrum), kE);
    const std::int32_t outer = outerRadius(p.kR);
    std::int32_t n = basePoints(outer);
    return extrapolate(
        [&](std::int32_t l) {
            if (l > 0) n = 2 * n - 1;
            const Vtr x = sphereGrid(n, outer);
            Vtr u(n, 0.0);
            for (std::int32_t i = 0; i < n; ++i) {
                const double y = x[i] * p.kR;
                u[i] = y < p.kR ? complex::debyeHueckelInside(f, y)
                                : complex::debyeHueckelOutside(f, y, std::pow(kE, -y));
            }
            return sphereEnergyOf(x, u, p);
        },
        7);
}

}  // namespace marlinq
