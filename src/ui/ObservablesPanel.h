#pragma once
// The observables of the current result, beside "Optimal solution": one row per observable
// of the registry (ObservableRegistry.h), those that need the segment size in nm showing "-"
// without it. Also "Save Free Energies...".

#include "pipeline/CalculationJob.h"
#include "pipeline/ObservableRegistry.h"

#include <QWidget>

#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

class QLabel;
class QMainWindow;
class QLineEdit;
class QPushButton;

namespace marlinq {
struct Sensitivity;
}

namespace marlinq::ui {

class ObservablesPanel : public QWidget {
    Q_OBJECT

public:
    explicit ObservablesPanel(QWidget* parent = nullptr);
    ~ObservablesPanel() override;

    // Shows the observables of rec (cleared when it has no results). Window thread.
    void showRecord(ResultSnapshot rec);
    // The segment size a in nm typed into the unit field; nullopt when empty or invalid.
    std::optional<double> unitNm() const;
    // The molar masses typed into their fields; nullopt unless both are numbers above 0.
    std::optional<std::pair<double, double>> molarMasses() const;
    // Reads the segment size from field (a field of the window's solution properties)
    // instead of the panel's own, which is then hidden.
    void useUnitField(QLineEdit* field);
    // Writes the free-energy landscape of the shown record; false with a reason.
    bool saveFreeEnergies(const QString& path, QString* error) const;

    // The value shown for the observable `name` (objectName = name, its caption name +
    // "Caption"); nullptr for a name not in the registry.
    QLabel* valueLabel(std::string_view name) const;

    // "Estimate": the shown result's answers with every complex free energy moved by -1 and
    // +1 kT per chain, formed on a thread of their own from the kept landscape; the rows show
    // them when sensitivityShown() is emitted.
    void estimateSensitivity();

signals:
    // The unit field changed (valid or cleared).
    void unitChanged();
    // The sensitivity rows show the estimate for the shown result.
    void sensitivityShown();

private:
    // --- widgets (objectName = member name) ---
    QLineEdit* unitBox = nullptr;
    // The molar masses of the chains in g/mol, for the molar masses and sizes of the
    // complexes (observablesOfStructure; a corona in good solvent, neutral segments of size a).
    QLineEdit *molarMassPlusBox = nullptr, *molarMassMinusBox = nullptr;
    QPushButton* saveFreeEnergiesButton = nullptr;
    QPushButton* sensitivityButton = nullptr;
    // "-1 kT / +1 kT" for the most probable complex, the mass-average aggregation number and
    // the critical concentration.
    QLabel *sensitivityMostProbable = nullptr, *sensitivityMassAverage = nullptr,
           *sensitivityCritical = nullptr;

    void refresh();
    void saveFreeEnergiesClicked();
    void showSensitivity(const ResultSnapshot& of, const Sensitivity* s);

private slots:
    // Queued by the estimate's thread once its answer waits in sensitivityHandOver.
    void takeSensitivity();

private:
    bool sensitivityRunning = false;
    // The estimate's answer, handed from its thread under the lock (null: none could be formed).
    std::mutex sensitivityMutex;
    ResultSnapshot sensitivityOfRecord;
    std::shared_ptr<const Sensitivity> sensitivityHandOver;
    ResultSnapshot record;
    std::vector<std::pair<const ObservableDef*, QLabel*>> values;  // in registry order

    std::jthread sensitivityWorker;  // last member: joined before the rest goes
};


}  // namespace marlinq::ui
