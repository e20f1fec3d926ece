#include "ui/RunOptionsBox.h"

#include <QBoxLayout>
#include <QCheckBox>

namespace marlinq::ui {

RunOptionsBox::RunOptionsBox(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("runOptionsBox"));
    useTablesBox = new QCheckBox(QStringLiteral("Interpolation for linear chain (fast)"), this);
    useTablesBox->setObjectName(QStringLiteral("useTablesBox"));
    debyeHueckelBox = new QCheckBox(QStringLiteral("DH approximation (fast)"), this);
    debyeHueckelBox->setObjectName(QStringLiteral("debyeHueckelBox"));
    debyeHueckelBox->setToolTip(QStringLiteral(
        "The program's Debye-Hueckel approximation: the linearised (Debye-Hueckel) potential of each complex put "
        "into the full nonlinear Poisson-Boltzmann free energy. Fast and the default, but not the Debye-Hueckel "
        "free energy of textbooks: for strongly charged complexes it lies far above both Poisson-Boltzmann and "
        "linear theory, even above the unscreened self-energy 3Z\u00b2/(5Rc) (for (1,3) at the start-up values "
        "567 kT against 72 kT from Poisson-Boltzmann). Untick it for Poisson-Boltzmann."));
    linearDebyeHueckelBox = new QCheckBox(QStringLiteral("linear"), this);
    linearDebyeHueckelBox->setObjectName(QStringLiteral("linearDebyeHueckelBox"));
    linearDebyeHueckelBox->setToolTip(QStringLiteral(
        "With DH approximation: the free energy of linear Debye-Hueckel theory for a uniformly charged core, in "
        "closed form (101 kT for (1,3) at the start-up values). Exact where the charge is weak; above "
        "Poisson-Boltzmann for strongly charged complexes."));
    linearDebyeHueckelBox->setEnabled(false);
    connect(debyeHueckelBox, &QCheckBox::toggled, linearDebyeHueckelBox, &QCheckBox::setEnabled);
    convergedBox = new QCheckBox(QStringLiteral("Converged free energies (slower)"), this);
    convergedBox->setObjectName(QStringLiteral("convergedBox"));
    convergedBox->setToolTip(QStringLiteral(
        "Free energies converged in the grid to 1e-4 relative, with an error estimate in the log; the single "
        "chains are then solved, not interpolated"));
    useTablesBox->setChecked(true);
    debyeHueckelBox->setChecked(true);

    // As the column under the result tabs had them: a box a row, "linear" beside its method.
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(4);
    rows->addWidget(useTablesBox);
    auto* dhRow = new QHBoxLayout;
    dhRow->setSpacing(6);
    dhRow->addWidget(debyeHueckelBox);
    dhRow->addWidget(linearDebyeHueckelBox);
    dhRow->addStretch(1);
    rows->addLayout(dhRow);
    rows->addWidget(convergedBox);

    for (QCheckBox* box : {useTablesBox, debyeHueckelBox, linearDebyeHueckelBox, convergedBox})
        connect(box, &QCheckBox::toggled, this, &RunOptionsBox::changed);
}

RunOptions RunOptionsBox::options() const {
    RunOptions options;
    options.method = !debyeHueckelBox->isChecked()        ? Method::PoissonBoltzmann
                     : linearDebyeHueckelBox->isChecked() ? Method::DebyeHueckelLinear
                                                          : Method::DebyeHueckel;
    options.chains = useTablesBox->isChecked() ? Chains::Tables : Chains::Solved;
    options.accuracy = convergedBox->isChecked() ? Accuracy::Converged : Accuracy::Standard;
    return options;
}

void RunOptionsBox::setOptions(const RunOptions& options) {
    debyeHueckelBox->setChecked(options.method != Method::PoissonBoltzmann);
    if (options.method != Method::PoissonBoltzmann)
        linearDebyeHueckelBox->setChecked(options.method == Method::DebyeHueckelLinear);
    useTablesBox->setChecked(options.chains == Chains::Tables);
    convergedBox->setChecked(options.accuracy == Accuracy::Converged);
}

}  // namespace marlinq::ui
