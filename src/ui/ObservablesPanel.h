#pragma once
// The observables of the current result, beside "Optimal solution": most probable complex
// and its share, mean aggregation numbers, bound fractions, mean net charge and core
// radius; with the segment size in nm, the salt that ka stands for and radii in nm. Also
// "Save Free Energies...".

#include "pipeline/CalculationJob.h"

#include <QWidget>

#include <optional>

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
    // Reads the segment size from field (a field of the window's solution properties)
    // instead of the panel's own, which is then hidden.
    void useUnitField(QLineEdit* field);
    // Writes the free-energy landscape of the shown record; false with a reason.
    bool saveFreeEnergies(const QString& path, QString* error) const;

    // --- controls (objectName = member name) ---
    QLineEdit* unitBox = nullptr;
    QLabel *mostProbableLabel = nullptr, *shareLabel = nullptr, *meanMpLabel = nullptr, *meanMmLabel = nullptr,
           *massAverageLabel = nullptr, *boundPlusLabel = nullptr, *boundMinusLabel = nullptr,
           *netChargeLabel = nullptr, *coreRadiusLabel = nullptr, *saltLabel = nullptr, *coreRadiusNmLabel = nullptr;
    QPushButton* saveFreeEnergiesButton = nullptr;

signals:
    // The unit field changed (valid or cleared).
    void unitChanged();

private:
    void refresh();
    void saveFreeEnergiesClicked();

    ResultSnapshot record;
};


}  // namespace marlinq::ui
