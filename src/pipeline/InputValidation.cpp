#include "pipeline/InputValidation.h"

namespace marlinq {

namespace {

// Written as "accepted only if lo <= x <= hi" so that NaN (and an infinite charge
// density from a zero length) fails the check.
bool within(double x, double lo, double hi) { return x >= lo && x <= hi; }

}  // namespace

std::optional<std::string> validateInput(const InputFields& in, Parameters& params, double& plen, double& mlen) {
    // '+' chain
    if (!in.plen) return "Input error: Length of charged block +";
    plen = *in.plen;
    if (!in.zp) return "Input error: Charge +";
    params.zp = *in.zp;
    if (!within(params.zp, 0.0, 200.0)) return "Charge + should between 0 and 200";
    if (!in.Np) return "Input error: Neutral block length +";
    params.Np = *in.Np;
    // A chain without its neutral block has no corona term (the logarithm of its length).
    if (params.Np < 1) return "Neutral block length + should be at least 1";
    params.kip = params.zp / plen;
    if (!within(params.kip, 0.2, 10.0)) return "Input error: charge density of + polymer should between 0.2 and 10";

    // '-' chain
    if (!in.mlen) return "Input error: Length of charged block -";
    mlen = *in.mlen;
    if (!in.zn) return "Input error: Charge -";
    params.zn = *in.zn;
    if (!within(params.zn, 0.0, 200.0)) return "Charge - should between 0 and 200";
    if (!in.Nm) return "Input error: Neutral length of charged block -";
    params.Nm = *in.Nm;
    if (params.Nm < 1) return "Neutral block length - should be at least 1";
    params.kim = params.zn / mlen;
    if (!within(params.kim, 0.2, 10.0)) return "Input error: charge density of - polymer should between 0.2 and 10";

    // solution
    params.ka = in.ka;
    if (!within(params.ka, 0.2, 10.0)) return "Stable solution is only for ka between 0.2 and 10";
    params.vc10 = in.vc10;
    if (!within(params.vc10, 1e-20, 1.0)) return "c+ should be between 1e-20  and 1";
    params.vc01 = in.vc01;
    if (!within(params.vc01, 1e-20, 1.0)) return "c- should be between 1e-20  and 1";

    // ranges of aggregation numbers
    if (!in.mpMin) return "Error in mpMin";
    params.mpMin = *in.mpMin;
    if (params.mpMin < 0) return "mpMin should be above 0";
    if (!in.mpMax) return "error in mpMax";
    params.mpMax = *in.mpMax;
    if (params.mpMin >= params.mpMax) return "mpMin should be less than mpMax";
    if (!in.mmMin) return "error in mmMin";
    params.mmMin = *in.mmMin;
    if (params.mmMin < 0) return "mmMin should be above 0";
    if (!in.mmMax) return "error in mmMax";
    params.mmMax = *in.mmMax;
    if (params.mmMin >= params.mmMax) return "mmMin should be less than mmMax";

    // The matrices (three of them, plus the export from M = 0) must fit in memory.
    const std::int64_t cells = (static_cast<std::int64_t>(params.mpMax) - params.mpMin + 1) *
                               (static_cast<std::int64_t>(params.mmMax) - params.mmMin + 1);
    if (params.mpMax > kMaxAggregation || params.mmMax > kMaxAggregation || cells > kMaxCells)
        return "Ranges of aggregation numbers are too large (at most 4000000 complexes)";
    return std::nullopt;
}

}  // namespace marlinq
