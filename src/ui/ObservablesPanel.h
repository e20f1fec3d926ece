#pragma once
// The observables of the current result, beside "Optimal solution": one row per observable
// of the registry (ObservableRegistry.h), those that need the segment size in nm showing "-"
// without it. Also "Save Free Energies...".

#include "pipeline/CalculationJob.h"
#include "pipeline/ObservableRegistry.h"

#include <QWidget>

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

class QLabel;
class QMainWindow;
class QLineEdit;
class QPushButton;

namespace marlinq::ui {

class ObservablesPanel : public QWidget {
    Q_OBJECT

public:
    explicit ObservablesPanel(QWidget* parent = nullptr);

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

signals:
    // The unit field changed (valid or cleared).
    void unitChanged();

private:
    // --- widgets (objectName = member name) ---
    QLineEdit* unitBox = nullptr;
    // The molar masses of the chains in g/mol, for the molar masses and sizes of the
    // complexes (observablesOfStructure; a corona in good solvent, neutral segments of size a).
    QLineEdit *molarMassPlusBox = nullptr, *molarMassMinusBox = nullptr;
    QPushButton* saveFreeEnergiesButton = nullptr;

    void refresh();
    void saveFreeEnergiesClicked();

    ResultSnapshot record;
    std::vector<std::pair<const ObservableDef*, QLabel*>> values;  // in registry order
};


}  // namespace marlinq::ui
