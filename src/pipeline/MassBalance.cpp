// Free concentrations from total concentrations: Newton in logarithms, nested 1-D solves
// where Newton stalls.

#include "pipeline/MassBalance.h"

#include "io/NumberText.h"
#include "physics/Constants.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

namespace marlinq {

namespace {

// ln 2.71828183: the weights raise the program's e to the power E.
const double kLnE = std::log(constants::kE);

// A weight above e^kLargestLog is kept out of the Newton iterates (they stay where every
// concentration is a plain double).
constexpr double kLargestLog = 600.0;
// The Newton iterates aim a little below the tolerance they report.
constexpr double kTarget = 1e-13;
constexpr int kMostNewtonSteps = 100;

// Compensated (Neumaier) sum: the totals are met to 1e-12 over many cells.
struct Sum {
    double s = 0.0, c = 0.0;
    void add(double v) {
        const double t = s + v;
        if (std::abs(s) >= std::abs(v))
            c += (s - t) + v;
        else
            c += (v - t) + s;
        s = t;
    }
    double value() const { return s + c; }
};

// The sums over the terms at one point, each relative to its own scale: a sum X stands for
// X * e^scale. P, A, Bp are scaled by sP (terms with M+ >= 1), Q, D, Bq by sQ (M- >= 1),
// W by sW (all terms).
struct Sums {
    double sP = 0.0, P = 0.0, A = 0.0, Bp = 0.0;  // sum M+ c, sum M+^2 c, sum M+ M- c
    double sQ = 0.0, Q = 0.0, D = 0.0, Bq = 0.0;  // sum M- c, sum M-^2 c, sum M+ M- c
    double sW = 0.0, W = 0.0;                     // sum c
};

class Evaluator {
public:
    explicit Evaluator(const std::vector<MassBalanceTerm>& terms) : terms_(terms), L_(terms.size()) {}

    // Largest log-concentration of any term at (x, y).
    double largestLog(double x, double y) const {
        double m = -std::numeric_limits<double>::infinity();
        for (const MassBalanceTerm& t : terms_) m = std::max(m, t.mp * x + t.mm * y + t.lnK);
        return m;
    }

    Sums at(double x, double y) {
        constexpr double kMinusInf = -std::numeric_limits<double>::infinity();
        double sP = kMinusInf, sQ = kMinusInf, sW = kMinusInf;
        for (std::size_t i = 0; i < terms_.size(); ++i) {
            const MassBalanceTerm& t = terms_[i];
            const double L = t.mp * x + t.mm * y + t.lnK;
            L_[i] = L;
            sW = std::max(sW, L);
            if (t.mp > 0) sP = std::max(sP, L);
            if (t.mm > 0) sQ = std::max(sQ, L);
        }
        Sums s;
        s.sP = sP;
        s.sQ = sQ;
        s.sW = sW;
        // One exponential per term, scaled by the largest of all; a sum whose own largest
        // term lies far below that one is formed again on its own scale.
        Sum P, Q, W;
        double A = 0.0, D = 0.0, B = 0.0;
        for (std::size_t i = 0; i < terms_.size(); ++i) {
            const MassBalanceTerm& t = terms_[i];
            const double w = std::exp(L_[i] - sW);
            W.add(w);
            P.add(t.mp * w);
            Q.add(t.mm * w);
            A += double(t.mp) * t.mp * w;
            D += double(t.mm) * t.mm * w;
            B += double(t.mp) * t.mm * w;
        }
        s.W = W.value();
        const auto rescaled = [&](double own, double v) { return v * std::exp(sW - own); };
        if (sW - sP < 300.0) {
            s.P = rescaled(sP, P.value());
            s.A = rescaled(sP, A);
            s.Bp = rescaled(sP, B);
        } else {
            s.P = sumOwn(sP, 1, &s.A, &s.Bp);
        }
        if (sW - sQ < 300.0) {
            s.Q = rescaled(sQ, Q.value());
            s.D = rescaled(sQ, D);
            s.Bq = rescaled(sQ, B);
        } else {
            s.Q = sumOwn(sQ, 2, &s.D, &s.Bq);
        }
        return s;
    }

private:
    // sum M c (M = M+ for kind 1, M- for kind 2) with its square and mixed moments, on the
    // scale `scale`.
    double sumOwn(double scale, int kind, double* square, double* mixed) const {
        Sum S;
        double sq = 0.0, mx = 0.0;
        for (std::size_t i = 0; i < terms_.size(); ++i) {
            const MassBalanceTerm& t = terms_[i];
            const double m = kind == 1 ? t.mp : t.mm;
            if (m == 0) continue;
            const double w = std::exp(L_[i] - scale);
            S.add(m * w);
            sq += m * m * w;
            mx += double(t.mp) * t.mm * w;
        }
        *square = sq;
        *mixed = mx;
        return S.value();
    }

    const std::vector<MassBalanceTerm>& terms_;
    std::vector<double> L_;
};

double relativeMiss(double scale, double sum, double total) {
    if (!(sum > 0.0)) return std::numeric_limits<double>::infinity();
    const double logRatio = std::log(sum) + scale - std::log(total);
    if (std::abs(logRatio) > 1e-3) return std::abs(std::expm1(logRatio));
    return std::abs(sum * std::exp(scale) - total) / total;
}

double residualOf(const Sums& s, double totalPlus, double totalMinus) {
    return std::max(relativeMiss(s.sP, s.P, totalPlus), relativeMiss(s.sQ, s.Q, totalMinus));
}

// G(x, y) = sum c - C+ x - C- y; +infinity where a concentration is beyond kLargestLog.
double objective(const Sums& s, double x, double y, double totalPlus, double totalMinus) {
    if (s.sW > kLargestLog) return std::numeric_limits<double>::infinity();
    return s.W * std::exp(s.sW) - totalPlus * x - totalMinus * y;
}

struct Point {
    double x = 0.0, y = 0.0;
    Sums sums;
    double residual = std::numeric_limits<double>::infinity();
};

// Newton with a backtracking line search on G. False when it stalls (a nearly singular
// matrix, no acceptable step, or the step limit).
bool newton(Evaluator& eval, double Cp, double Cm, Point& p, int& steps) {
    for (int k = 0; k < kMostNewtonSteps; ++k, ++steps) {
        if (p.residual <= kTarget) return true;
        const Sums& s = p.sums;
        const double eP = std::exp(s.sP), eQ = std::exp(s.sQ);
        const double g1 = s.P * eP - Cp, g2 = s.Q * eQ - Cm;
        // The Hessian [[A, B], [B, D]] in absolute units; B from the larger-scaled sum.
        const double a = s.A * eP, d = s.D * eQ, b = s.sP >= s.sQ ? s.Bp * eP : s.Bq * eQ;
        const double det = a * d - b * b;
        if (!(det > 1e-13 * a * d) || !std::isfinite(det)) return false;
        double dx = -(d * g1 - b * g2) / det;
        double dy = -(a * g2 - b * g1) / det;
        const double longest = std::max(std::abs(dx), std::abs(dy));
        if (!std::isfinite(longest)) return false;
        if (longest > 10.0) {
            dx *= 10.0 / longest;
            dy *= 10.0 / longest;
        }
        const double slope = g1 * dx + g2 * dy;
        if (!(slope < 0.0)) return false;
        const double G0 = objective(s, p.x, p.y, Cp, Cm);
        bool accepted = false;
        for (double t = 1.0; t > 1e-10; t *= 0.5) {
            Point trial;
            trial.x = p.x + t * dx;
            trial.y = p.y + t * dy;
            trial.sums = eval.at(trial.x, trial.y);
            const double G1 = objective(trial.sums, trial.x, trial.y, Cp, Cm);
            if (!std::isfinite(G1)) continue;
            trial.residual = residualOf(trial.sums, Cp, Cm);
            // Sufficient decrease of G, or (near the answer, where G no longer resolves
            // the change) a smaller miss of the totals without G rising beyond rounding.
            const bool armijo = G1 <= G0 + 1e-4 * t * slope;
            const bool closer = trial.residual < p.residual && G1 <= G0 + 1e-12 * std::abs(G0);
            if (armijo || closer) {
                p = trial;
                accepted = true;
                break;
            }
        }
        if (!accepted) return false;
    }
    return p.residual <= kTarget;
}

// For a given x, the y at which sum M- c = C-: Newton on the convex, increasing
// phi(y) = ln sum M- c - ln C- (phi' >= 1 through the lone '-' chain); from the right of
// the root it approaches monotonically, from the left its first step lands on the right.
double innerMinus(Evaluator& eval, double x, double y, double Cm, Sums& s) {
    const double lnCm = std::log(Cm);
    for (int k = 0; k < 200; ++k) {
        s = eval.at(x, y);
        const double phi = std::log(s.Q) + s.sQ - lnCm;
        const double slope = s.D / s.Q;
        if (!(slope > 0.0) || !std::isfinite(phi)) return y;
        const double step = phi / slope;
        if (std::abs(step) <= 1e-16 * std::max(1.0, std::abs(y))) return y;
        y -= step;
    }
    s = eval.at(x, y);
    return y;
}

// The nested solves: psi(x) = ln sum M+ c - ln C+ at y(x) rises with x (its slope is the
// Schur complement (A - B^2 / D) / P >= 0); safeguarded Newton in a bracket.
void nested(Evaluator& eval, double Cp, double Cm, Point& p, int& steps) {
    const double lnCp = std::log(Cp);
    Sums s;
    const auto psiAt = [&](double x, double& y) {
        y = innerMinus(eval, x, y, Cm, s);
        return std::log(s.P) + s.sP - lnCp;
    };
    // At x = ln C+ the lone '+' chains alone meet C+: psi >= 0 there; below, a step that
    // doubles until psi < 0.
    double yHi = std::min(p.y, std::log(Cm));
    double xHi = std::log(Cp);
    double psiHi = psiAt(xHi, yHi);
    double xLo = std::min(p.x, xHi - 1.0), yLo = yHi;
    double psiLo = psiAt(xLo, yLo);
    for (double width = 1.0; !(psiLo < 0.0) && width < 1e6; width *= 2.0) {
        xHi = xLo;
        yHi = yLo;
        psiHi = psiLo;
        xLo = xHi - width;
        psiLo = psiAt(xLo, yLo);
    }
    double x = psiHi < -psiLo ? xHi : xLo;
    double y = psiHi < -psiLo ? yHi : yLo;
    double psi = psiAt(x, y);
    for (int k = 0; k < 300; ++k, ++steps) {
        if (psi == 0.0) break;
        if (psi > 0.0) {
            xHi = x;
            psiHi = psi;
        } else {
            xLo = x;
            psiLo = psi;
        }
        const double slope = (s.A - s.Bp * (s.Bq / s.D)) / s.P;
        double next = x - psi / slope;
        if (!(slope > 0.0) || !(next > xLo && next < xHi)) next = 0.5 * (xLo + xHi);
        if (next == x || xHi - xLo <= 4.0 * std::numeric_limits<double>::epsilon() * std::max(1.0, std::abs(x)))
            break;
        x = next;
        psi = psiAt(x, y);
        if (residualOf(s, Cp, Cm) <= 0.1 * kTarget) {
            ++steps;
            break;
        }
    }
    p.x = x;
    p.y = y;
    p.sums = eval.at(x, y);
    p.residual = residualOf(p.sums, Cp, Cm);
}

// How far the totals fix (x, y) = (ln c+, ln c-) near a solution. The totals move by H d for
// a step d, H = [[A, B], [B, D]] the moments sum M+^2 c, sum M+ M- c, sum M-^2 c; a miss of
// `tolerance` relative to each total allows |dx| <= tol (D P + B Q) / det H and |dy| <= tol
// (A Q + B P) / det H. det H = sum over pairs c_i c_j (M+_i M-_j - M+_j M-_i)^2 vanishes when
// every chain sits in complexes of one composition; formed as A D - B^2 it keeps rounding of
// about 1e-16 A D, which bounds the uncertainty from below by about 1e4 and leaves the 1 %
// test sound: a pair the totals fix to 1 % needs det H above about 1e-10 A D.
void determination(const std::vector<MassBalanceTerm>& terms, double x, double y, double tolerance,
                   MassBalanceSolution& out) {
    double largest = -std::numeric_limits<double>::infinity();
    std::int32_t p = 1, q = 1;
    double most = -std::numeric_limits<double>::infinity();
    for (const MassBalanceTerm& t : terms) {
        const double L = t.mp * x + t.mm * y + t.lnK;
        largest = std::max(largest, L);
        const double chains = L + std::log(double(t.mp) + t.mm);
        if (t.mp + t.mm > 0 && chains > most) {
            most = chains;
            p = t.mp;
            q = t.mm;
        }
    }
    // The composition holding the most chains names the product the totals fix in any case.
    const std::int32_t g = std::gcd(p, q);
    out.productPlus = p / g;
    out.productMinus = q / g;
    out.lnProduct = out.productPlus * x + out.productMinus * y;
    out.freeChainsUncertainty = std::numeric_limits<double>::infinity();
    if (!std::isfinite(largest)) return;
    // Every sum on the scale e^largest (the bounds are ratios of products of two sums each).
    double P = 0.0, Q = 0.0, A = 0.0, B = 0.0, D = 0.0;
    for (const MassBalanceTerm& t : terms) {
        const double w = std::exp(t.mp * x + t.mm * y + t.lnK - largest);
        const double mp = t.mp, mm = t.mm;
        P += mp * w;
        Q += mm * w;
        A += mp * mp * w;
        B += mp * mm * w;
        D += mm * mm * w;
    }
    const double det = A * D - B * B;
    if (!(det > 0.0)) return;
    out.freeChainsUncertainty = std::max(tolerance * (D * P + B * Q) / det, tolerance * (A * Q + B * P) / det);
}

}  // namespace

MassBalance::MassBalance(const Landscape& landscape) {
    const CellEnergies& e = landscape.cells;
    plusLone_ = landscape.mmMin == 0 && landscape.mpMin <= 1 && 1 <= landscape.mpMax && landscape.mmMax >= 0;
    minusLone_ = landscape.mpMin == 0 && landscape.mmMin <= 1 && 1 <= landscape.mmMax && landscape.mpMax >= 0;
    if (plusLone_) terms_.push_back({1, 0, 0.0});
    if (minusLone_) terms_.push_back({0, 1, 0.0});
    for (std::int32_t r = 0; r < e.evaluated.rows(); ++r) {
        for (std::int32_t c = 0; c < e.evaluated.cols(); ++c) {
            if (!e.evaluated(r, c)) continue;
            const std::int32_t mp = landscape.mpMin + r, mm = landscape.mmMin + c;
            if (mp + mm == 0 || (mp == 1 && mm == 0) || (mp == 0 && mm == 1)) continue;
            const double E = e.E(r, c);
            if (!std::isfinite(E)) continue;
            terms_.push_back({mp, mm, E * kLnE});
        }
    }
}

MassBalance::MassBalance(std::vector<MassBalanceTerm> terms) : terms_(std::move(terms)) {
    for (const MassBalanceTerm& t : terms_) {
        if (t.mp == 1 && t.mm == 0 && t.lnK == 0.0) plusLone_ = true;
        if (t.mp == 0 && t.mm == 1 && t.lnK == 0.0) minusLone_ = true;
    }
}

MassBalanceTotals MassBalance::totals(double lnPlus, double lnMinus) const {
    Sum P, Q;
    for (const MassBalanceTerm& t : terms_) {
        const double c = std::exp(t.mp * lnPlus + t.mm * lnMinus + t.lnK);
        P.add(t.mp * c);
        Q.add(t.mm * c);
    }
    return {P.value(), Q.value()};
}

MassBalanceSolution MassBalance::solve(double totalPlus, double totalMinus, bool nestedOnly) const {
    MassBalanceSolution out;
    if (!hasLoneChains() || !(totalPlus > 0.0) || !(totalMinus > 0.0) || !std::isfinite(totalPlus) ||
        !std::isfinite(totalMinus))
        return out;
    Evaluator eval(terms_);
    // A start where every concentration is at most 1 (every term with a chain, its
    // log-concentration at most 0): from (ln C+, ln C-) down the diagonal.
    double x = std::log(totalPlus), y = std::log(totalMinus);
    double drop = 0.0;
    for (const MassBalanceTerm& t : terms_) {
        const int chains = t.mp + t.mm;
        if (chains > 0) drop = std::max(drop, (t.mp * x + t.mm * y + t.lnK) / chains);
    }
    Point p;
    p.x = x - drop;
    p.y = y - drop;
    p.sums = eval.at(p.x, p.y);
    p.residual = residualOf(p.sums, totalPlus, totalMinus);
    int steps = 0;
    if (nestedOnly || !newton(eval, totalPlus, totalMinus, p, steps)) {
        Point q = p;
        nested(eval, totalPlus, totalMinus, q, steps);
        if (q.residual < p.residual || nestedOnly) p = q;
        out.nested = true;
        // Newton from the nested answer polishes what the 1-D solves left.
        if (p.residual > kTarget && !nestedOnly) newton(eval, totalPlus, totalMinus, p, steps);
    }
    out.lnPlus = p.x;
    out.lnMinus = p.y;
    out.freePlus = std::exp(p.x);
    out.freeMinus = std::exp(p.y);
    out.newtonSteps = steps;
    const MassBalanceTotals met = totals(p.x, p.y);
    out.residual = std::max(std::abs(met.plus - totalPlus) / totalPlus, std::abs(met.minus - totalMinus) / totalMinus);
    out.converged = out.residual <= kMassBalanceTolerance;
    determination(terms_, p.x, p.y, std::max(kMassBalanceTolerance, out.residual), out);
    return out;
}

double MassBalance::largerBoundFraction(double lnPlus, double lnMinus) const {
    Sum boundPlus, boundMinus, allPlus, allMinus;
    for (const MassBalanceTerm& t : terms_) {
        const double c = std::exp(t.mp * lnPlus + t.mm * lnMinus + t.lnK);
        allPlus.add(t.mp * c);
        allMinus.add(t.mm * c);
        if (t.mp >= 1 && t.mm >= 1) {
            boundPlus.add(t.mp * c);
            boundMinus.add(t.mm * c);
        }
    }
    const double plus = allPlus.value() > 0.0 ? boundPlus.value() / allPlus.value() : 0.0;
    const double minus = allMinus.value() > 0.0 ? boundMinus.value() / allMinus.value() : 0.0;
    return std::max(plus, minus);
}

CriticalConcentration criticalConcentration(const MassBalance& balance, double fraction, double zp, double zn,
                                            std::stop_token stop) {
    CriticalConcentration out;
    // The larger bound fraction minus 1/2 at a total e^lnT.
    const auto excess = [&](double lnT) {
        const MassBalanceTotals t = totalsFromChargeFraction(std::exp(lnT), fraction, zp, zn);
        const MassBalanceSolution s = balance.solve(t.plus, t.minus);
        return balance.largerBoundFraction(s.lnPlus, s.lnMinus) - 0.5;
    };
    // A stop ends the search between two solves.
    const auto stopped = [&] {
        out = CriticalConcentration{};
        out.stopped = stop.stop_requested();
        return out.stopped;
    };
    // A coarse grid from 1e-20 to 1, a point a decade, for the first crossing; then
    // bisection in ln T to 1e-12 relative.
    const double lnLow = std::log(1e-20), lnHigh = 0.0;
    constexpr int kPoints = 21;
    if (stopped()) return out;
    double previousLn = lnLow, previous = excess(lnLow);
    if (previous >= 0.0) {
        out.below = true;
        return out;
    }
    for (int k = 1; k < kPoints; ++k) {
        if (stopped()) return out;
        const double lnT = lnLow + (lnHigh - lnLow) * k / (kPoints - 1);
        const double e = excess(lnT);
        if (e >= 0.0) {
            double lo = previousLn, hi = lnT;
            while (hi - lo > 1e-12) {
                if (stopped()) return out;
                const double mid = 0.5 * (lo + hi);
                if (excess(mid) >= 0.0)
                    hi = mid;
                else
                    lo = mid;
            }
            out.total = std::exp(0.5 * (lo + hi));
            return out;
        }
        previousLn = lnT;
        previous = e;
    }
    out.above = true;
    return out;
}

MassBalanceTotals chainTotals(const RunResult& record) {
    const Grid<double>& a = record.absValue;
    double largest = 0.0;
    a.forEach([&](double v) {
        if (v > largest) largest = v;
    });
    if (!(largest > 0.0)) return {};
    Sum P, Q;
    const Parameters& p = record.params();
    for (std::int32_t r = 0; r < a.rows(); ++r) {
        const double* row = a.row(r);
        const std::int32_t mp = p.mpMin + r;
        for (std::int32_t c = 0; c < a.cols(); ++c) {
            const double w = row[c] / largest;
            P.add(mp * w);
            Q.add((p.mmMin + c) * w);
        }
    }
    const double lnScale = std::log(largest) + weightShiftOffset(record.max_shift) * kLnE;
    // A total beyond the range of a double is not a number the summary can hold: NaN.
    const auto undo = [&](double v) {
        const double total = v > 0.0 ? std::exp(std::log(v) + lnScale) : 0.0;
        return std::isfinite(total) ? total : NAN;
    };
    return {undo(P.value()), undo(Q.value())};
}

double chargeFraction(double zp, double zn, double totalPlus, double totalMinus) {
    const double plus = zp * totalPlus, minus = zn * totalMinus;
    return plus / (plus + minus);
}

MassBalanceTotals totalsFromChargeFraction(double total, double fraction, double zp, double zn) {
    // f q- C- = (1 - f) q+ C+ and C+ + C- = T.
    const double denominator = fraction * zn + (1.0 - fraction) * zp;
    return {total * fraction * zn / denominator, total * (1.0 - fraction) * zp / denominator};
}

namespace {

// A positive number given by its natural logarithm, with six significant digits (the
// number itself may lie beyond a double).
std::string fromLog(double lnValue) {
    if (std::abs(lnValue) < 700.0) return significantText(std::exp(lnValue), 6);
    const double decimal = lnValue / std::log(10.0);
    double exponent = std::floor(decimal);
    double mantissa = std::pow(10.0, decimal - exponent);
    std::string digits = fixedText(mantissa, 5);
    if (digits.rfind("10.", 0) == 0) {
        mantissa /= 10.0;
        exponent += 1.0;
        digits = fixedText(mantissa, 5);
    }
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    if (!digits.empty() && digits.back() == '.') digits.pop_back();
    return digits + "e" + (exponent < 0 ? "" : "+") + std::to_string(static_cast<long long>(exponent));
}

// "c+ c-", "c+^2 c-", "c-": the product c+^p c-^q as the messages write it.
std::string productText(std::int32_t p, std::int32_t q) {
    const auto factor = [](const char* name, std::int32_t power) -> std::string {
        if (power == 0) return "";
        return power == 1 ? std::string(name) : std::string(name) + "^" + std::to_string(power);
    };
    const std::string plus = factor("c+", p), minus = factor("c-", q);
    return plus.empty() ? minus : (minus.empty() ? plus : plus + " " + minus);
}

// A count of chains per a³: whole chains from 100 to a million ("492" for 492.52: that many
// at least), else three significant digits ("37.5", "1.23e+07").
std::string chainCount(double v) {
    if (std::isnan(v)) return "more than 1e+308";  // beyond a double (chainTotals)
    if (v >= 100.0 && v < 1e6) return std::to_string(static_cast<long long>(std::floor(v)));
    return significantText(v, 3);
}

}  // namespace

std::string massBalanceResidualMessage(double residual) {
    return "Mass balance: the totals are met only to " + formatReal17(residual) + " (relative)";
}

std::string undeterminedFreeChainsMessage(const MassBalanceSolution& s) {
    const std::string product = productText(s.productPlus, s.productMinus);
    return "Mass balance: the totals do not determine the free chains c+ and c-: nearly every chain is in complexes "
           "of composition M+ : M- = " +
           std::to_string(s.productPlus) + " : " + std::to_string(s.productMinus) + ", whose weights depend on " +
           product + " alone. Determined are " + product + " = " + fromLog(s.lnProduct) +
           " and the distribution of the complexes; the free c+ and c- given are one pair of many";
}

std::optional<std::string> impliedTotalsMessage(const MassBalanceTotals& implied, double freePlus, double freeMinus) {
    const auto tooMany = [](double total) { return total > 1.0 || std::isnan(total); };
    if (!tooMany(implied.plus) && !tooMany(implied.minus)) return std::nullopt;
    return crowdedComplexesMessage(implied.plus - freePlus, implied.minus - freeMinus);
}

std::string crowdedComplexesMessage(double boundPlus, double boundMinus) {
    const std::string plus = chainCount(boundPlus), minus = chainCount(boundMinus);
    const std::string chains = plus == minus ? plus + " chains per a³ of each kind"
                                             : plus + " '+' and " + minus + " '-' chains per a³";
    return "the free concentrations imply " + chains + " in complexes: no solution holds that; use total mode";
}

namespace {
bool within(double x, double lo, double hi) { return x >= lo && x <= hi; }
}  // namespace

std::optional<std::string> checkTotals(const MassBalanceTotals& t, const Parameters& p) {
    if (!within(t.plus, 1e-20, 1.0)) return "C+ (total '+' chains) should be between 1e-20 and 1";
    if (!within(t.minus, 1e-20, 1.0)) return "C- (total '-' chains) should be between 1e-20 and 1";
    if (p.mpMin != 0 || p.mmMin != 0)
        return "Total concentrations need the lone chains (1, 0) and (0, 1) in the ranges: set mpMin and mmMin to 0";
    return std::nullopt;
}

std::optional<std::string> checkChargeFraction(double total, double fraction) {
    if (!within(total, 1e-20, 2.0)) return "The total C+ + C- should be between 1e-20 and 2";
    if (!(fraction > 0.0 && fraction < 1.0)) return "The charge fraction should lie between 0 and 1 (both excluded)";
    return std::nullopt;
}

}  // namespace marlinq
