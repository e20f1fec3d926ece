// One whole calculation, from the single chains to the finished distribution.

#include "pipeline/CalculationJob.h"

#include "pipeline/InputValidation.h"
#include "pipeline/ParaCalculation.h"

#include <vector>

namespace marlinq {

namespace {

constexpr const char* kCancelled = "Cancelled!";
constexpr const char* kChainsFinished = "Calculation of the energy of single chains with '+' and '-' charge is finished";
constexpr const char* kDhStarting = "Starting calculation of the potential by Debye Huckel approximation";
constexpr const char* kDhFinished = "Finished calculation of the potential by Debye Huckel approximation";
constexpr const char* kAllFinished = "Finished calculation of the spheres free energy";

// The callbacks are optional (a quiet batch run has none).
class Reporter {
public:
    explicit Reporter(const JobCallbacks& cb) : cb_(cb) {}
    void text(const std::string& s) const {
        if (cb_.UpdateText) cb_.UpdateText(s);
    }
    void matrix(const std::string& s) const {
        if (cb_.UpdateMatrix) cb_.UpdateMatrix(s);
    }
    void button(const std::string& s) const {
        if (cb_.UpdateButton) cb_.UpdateButton(s);
    }
    void publish(std::shared_ptr<InfoSphereBean> record) const {
        if (cb_.PublishRecord) cb_.PublishRecord(std::move(record));
    }

private:
    const JobCallbacks& cb_;
};

// The lone '+' chain (1, 0) and the lone '-' chain (0, 1) carry the free concentrations,
// on the same scale as the complexes.
void enterFreeChains(InfoSphereBean& isb) {
    const double factor = weightShiftFactor(isb.max_shift);
    if (isb.mpMin == 0 && isb.absValue.rows() > 1 && isb.absValue.cols() > 0) {
        isb.Value(1, 0) = isb.vc10 * factor;
        isb.absValue(1, 0) = isb.vc10 * factor;
    }
    if (isb.mmMin == 0 && isb.absValue.cols() > 1 && isb.absValue.rows() > 0) {
        isb.Value(0, 1) = isb.vc01 * factor;
        isb.absValue(0, 1) = isb.vc01 * factor;
    }
}

std::string nonFiniteMessage(std::int64_t count) {
    if (count == 1) return "1 complex has no finite free energy and was given weight 0";
    return std::to_string(count) + " complexes have no finite free energy and were given weight 0";
}

JobOutcome fail(const Reporter& report, const std::string& reason) {
    report.text(reason);
    report.button(reason);
    return JobOutcome::Failed;
}

}  // namespace

JobOutcome GenerateFreeEnergy(const JobInput& input, std::stop_token token, const JobCallbacks& callbacks) {
    const Reporter report(callbacks);
    if (token.stop_requested()) {
        report.text(kCancelled);
        return JobOutcome::Cancelled;
    }
    if (!input.icb) return fail(report, "No chain parameters were given; no distribution was calculated.");

    // The job's own copy: nothing the window does to its records reaches this run.
    const Parameters p = input.params;
    InfoChainBean icb = *input.icb;

    const std::int64_t rows = std::int64_t{p.mpMax} - p.mpMin + 1;
    const std::int64_t columns = std::int64_t{p.mmMax} - p.mmMin + 1;
    if (p.mpMin < 0 || p.mmMin < 0 || rows < 1 || columns < 1) {
        return fail(report, "Ranges of aggregation numbers are invalid; no distribution was calculated.");
    }
    if (p.mpMax > kMaxAggregation || p.mmMax > kMaxAggregation || rows * columns > kMaxCells) {
        return fail(report, "Ranges of aggregation numbers are too large (at most 4000000 complexes)");
    }

    ParaCalculation calculation;
    std::string failure;
    if (calculation.startChainEnergy(icb, &failure) == 0) {
        return fail(report, failure.empty() ? "The single-chain free energies could not be computed." : failure);
    }
    report.text(kChainsFinished);

    // Columns follow the ranges themselves, so the matrices always fit the stages.
    Grid<std::int32_t> Mcolor(static_cast<std::int32_t>(rows), static_cast<std::int32_t>(columns));
    Grid<double> Value(static_cast<std::int32_t>(rows), static_cast<std::int32_t>(columns));
    Grid<double> absValue(static_cast<std::int32_t>(rows), static_cast<std::int32_t>(columns));

    auto sigma = std::make_shared<std::vector<double>>(static_cast<std::size_t>(p.mpMax) + p.mmMax + 1);
    for (std::int32_t k = 0; k <= p.mpMax + p.mmMax; ++k) (*sigma)[static_cast<std::size_t>(k)] = readSigma(k);

    const bool dh = input.dh;
    auto isb = std::make_shared<InfoSphereBean>(
        icb.plen, icb.mlen, p.kip, p.kim, p.ka, p.vc01, p.vc10, p.zp, p.zn, p.Np, p.Nm, p.mpMin, p.mpMax, p.mmMin,
        p.mmMax, icb.ffc_minus, icb.ffc_positive, std::move(Mcolor), std::move(Value), std::move(absValue), p.mpMin,
        SigmaTable(std::move(sigma)), dh, 0.0);
    report.publish(isb);
    enterFreeChains(*isb);

    if (!dh) {
        isb->run = true;
        for (std::int32_t mp = p.mpMin; mp <= p.mpMax; ++mp) {
            if (token.stop_requested()) {
                if (isb->nonFiniteCells > 0) report.text(nonFiniteMessage(isb->nonFiniteCells));
                report.text(kCancelled);
                return JobOutcome::Cancelled;
            }
            calculation.startSphereEnergy(*isb, mp);
            enterFreeChains(*isb);
            isb->index = mp;
            const std::string row = "Row " + std::to_string(mp) + " is passed...";
            report.text(row);
            report.matrix(row);
        }
        if (isb->nonFiniteCells > 0) report.text(nonFiniteMessage(isb->nonFiniteCells));
    } else {
        isb->run = true;
        report.text(kDhStarting);
        calculation.startDH(*isb);
        enterFreeChains(*isb);
        if (isb->nonFiniteCells > 0) report.text(nonFiniteMessage(isb->nonFiniteCells));
        report.text(kDhFinished);
        report.matrix(kDhFinished);
    }

    report.text(kAllFinished);
    report.button(kAllFinished);
    return JobOutcome::Finished;
}

}  // namespace marlinq
