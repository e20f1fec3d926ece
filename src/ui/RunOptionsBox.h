#pragma once
// The choices of a run under the result tabs: the single chains from the tables or solved,
// the program's Debye-Hueckel approximation (or with it the closed-form linear energy)
// instead of Poisson-Boltzmann, and converged free energies.

#include "pipeline/CalculationJob.h"

#include <QWidget>

class QCheckBox;

namespace marlinq::ui {

class RunOptionsBox : public QWidget {
    Q_OBJECT

public:
    explicit RunOptionsBox(QWidget* parent = nullptr);

    // Method, chains and accuracy as ticked (the threads and energies as RunOptions has them).
    RunOptions options() const;
    void setOptions(const RunOptions& options);

signals:
    // A box was ticked or unticked.
    void changed();

private:
    QCheckBox *useTablesBox = nullptr, *debyeHueckelBox = nullptr, *linearDebyeHueckelBox = nullptr,
              *convergedBox = nullptr;
};

}  // namespace marlinq::ui
