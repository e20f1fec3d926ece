#pragma once
// The mass balance: from the total concentrations of '+' and '-' chains to the free ones.
//
// Every cell of the landscape with a weight holds complexes at the concentration
//   c(M+, M-) = c+^M+ c-^M- K,   K = 2.71828183^E,
// and the lone chains (1, 0) and (0, 1) carry c+ and c- themselves. The totals are
//   C+ = sum M+ c(M+, M-),   C- = sum M- c(M+, M-),
// lone chains included. Given C+ and C-, the free c+ and c- follow as the minimum of the
// convex function
//   G(x, y) = sum c - C+ x - C- y,   x = ln c+, y = ln c-,
// whose gradient is (sum M+ c - C+, sum M- c - C-). Newton steps with a line search on G
// find it; the iterates stay where every c is a plain double (G falls along the way, and at
// the start every c is at most 1), so a K far beyond the range of a double is no trouble:
// only ln K is ever formed. Where Newton stalls (near charge stoichiometry at high totals
// one complex can dominate both sums and the Newton matrix becomes nearly singular), nested
// one-dimensional solves finish the job: for each x the y that meets C-, then the x that
// meets C+, both monotone.

#include "pipeline/Distribution.h"
#include "pipeline/Parameters.h"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace marlinq {

// One term of the sums: a cell (M+, M-) and ln K, the logarithm of its constant.
struct MassBalanceTerm {
    std::int32_t mp = 0, mm = 0;
    double lnK = 0.0;
};

struct MassBalanceSolution {
    double lnPlus = 0.0, lnMinus = 0.0;    // natural logarithms of the free concentrations
    double freePlus = 0.0, freeMinus = 0.0;
    int newtonSteps = 0;      // Newton steps in (x, y), plus the outer steps of the nested solves
    bool nested = false;      // the nested one-dimensional solves were needed
    bool converged = false;   // both totals met to 1e-12 relative
    double residual = 0.0;    // max |sum M c - C| / C of both kinds
    // How far the totals fix the free chains: the largest change of ln c+ or ln c- that keeps
    // both totals within max(kMassBalanceTolerance, residual) (to first order; infinite when
    // the lone chains and every other composition lie below the resolution of a double).
    // When nearly every chain sits in complexes of one composition (M+, M-) = k (p, q), the
    // totals fix only the product c+^p c-^q, which sets every weight of those complexes.
    double freeChainsUncertainty = 0.0;
    std::int32_t productPlus = 1, productMinus = 1;  // p and q: the composition, in lowest terms,
                                                     // of the complexes holding the most chains
    double lnProduct = 0.0;                          // ln (c+^p c-^q)
    bool freeChainsDetermined() const;
};

class MassBalance {
public:
    // The cells of a landscape with a finite E and at least one chain, the lone chains
    // (1, 0) and (0, 1) with K = 1 where the ranges hold them (whatever the landscape says
    // of those cells).
    explicit MassBalance(const Landscape& landscape);
    // Terms given directly (a lone chain is the term (1, 0, 0) or (0, 1, 0)).
    explicit MassBalance(std::vector<MassBalanceTerm> terms);

    // Both lone chains are terms: only then can every pair of totals be met.
    bool hasLoneChains() const { return plusLone_ && minusLone_; }

    // C+ and C- at free concentrations given by their logarithms.
    MassBalanceTotals totals(double lnPlus, double lnMinus) const;

    // The free concentrations that give the totals (both above 0). Needs both lone chains.
    // nestedOnly: the nested one-dimensional solves alone, without Newton in (x, y) (the
    // fallback, on its own for a test).
    MassBalanceSolution solve(double totalPlus, double totalMinus, bool nestedOnly = false) const;

    // The larger of the two bound fractions at the free chains (x, y) = (ln c+, ln c-): the
    // chains of a kind in complexes (M+ >= 1 and M- >= 1) over all chains of that kind.
    double largerBoundFraction(double lnPlus, double lnMinus) const;

    const std::vector<MassBalanceTerm>& terms() const { return terms_; }

private:
    std::vector<MassBalanceTerm> terms_;
    bool plusLone_ = false, minusLone_ = false;
};

// The total T* = C+ + C- at a charge fraction f where half of the chains of the scarcer
// kind are in complexes: where the larger of the two bound fractions reaches 1/2 (half of
// all chains is out of reach away from stoichiometry). Looked for from T = 1e-20 to 1;
// `below` or `above` when 1/2 is not crossed there (the larger bound fraction is already
// above 1/2 at 1e-20, or still below at 1).
// A stop request ends the search between two solves (stopped, no total).
struct CriticalConcentration {
    std::optional<double> total;
    bool below = false, above = false;
    bool stopped = false;
};
CriticalConcentration criticalConcentration(const MassBalance& balance, double fraction, double zp, double zn,
                                            std::stop_token stop = {});

// The relative precision the solver reaches on both totals.
inline constexpr double kMassBalanceTolerance = 1e-12;
// The free chains count as determined by the totals when these, met to the solver's
// precision, fix ln c+ and ln c- to this (1 %).
inline constexpr double kFreeChainsUncertainty = 0.01;
inline bool MassBalanceSolution::freeChainsDetermined() const {
    return freeChainsUncertainty <= kFreeChainsUncertainty;
}

// "Mass balance: the totals do not determine the free chains c+ and c-: ...": what a
// solution whose free chains the totals leave open does fix (the product c+^p c-^q and the
// distribution of the complexes).
std::string undeterminedFreeChainsMessage(const MassBalanceSolution& solution);
// "Mass balance: the totals are met only to R (relative)", R in 17 digits: the one text of
// the warning, in the log and in the summary alike.
std::string massBalanceResidualMessage(double residual);

// Free mode: "the free concentrations imply 492 chains per a³ of each kind in complexes: no
// solution holds that; use total mode" when the totals the free chains imply exceed one
// chain per segment volume a³ for either kind (the chains in complexes, total minus free, of
// both kinds; "492 '+' and 37.5 '-' chains per a³" when they differ as written: whole
// chains from 100 to a million, else three significant digits).
std::optional<std::string> impliedTotalsMessage(const MassBalanceTotals& implied, double freePlus, double freeMinus);
// The same from the chains of each kind in complexes (implied minus free, per a^3).
std::string crowdedComplexesMessage(double boundPlus, double boundMinus);

// C+ and C- of a result record: sum M+ c and sum M- c over its distribution, lone chains
// included, the common shift undone (NaN when beyond a double; 0 without results).
MassBalanceTotals chainTotals(const RunResult& record);

// The charge fraction f = q+ C+ / (q+ C+ + q- C-), 1/2 at charge stoichiometry.
double chargeFraction(double zp, double zn, double totalPlus, double totalMinus);

// C+ and C- from the total T = C+ + C- and the charge fraction f.
MassBalanceTotals totalsFromChargeFraction(double total, double fraction, double zp, double zn);

// The checks of total mode for validated parameters: each total from 1e-20 to 1, both lone
// chains inside the ranges. The message of the first failure, nullopt when they pass.
std::optional<std::string> checkTotals(const MassBalanceTotals& totals, const Parameters& validated);
// A charge fraction strictly between 0 and 1 and a total from 1e-20 to 2 (both totals
// from 1e-20 to 1 are checked once they are formed).
std::optional<std::string> checkChargeFraction(double total, double fraction);

}  // namespace marlinq
