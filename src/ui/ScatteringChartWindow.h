#pragma once
// The scattered intensity I(q) of a distribution, as a log-log chart with its parts (core,
// corona, free chains) and the Guinier radius of gyration written on it, and the inputs it
// needs beyond the run: the chains' molar masses, the neutral segments' size, the solvent
// and the q range. PNG, SVG and CSV (marlinq-batch --scattering) exports.

#include "pipeline/RunResult.h"
#include "pipeline/Structure.h"

#include <QMainWindow>

#include <memory>
#include <optional>

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace marlinq::ui {

class ScatteringChartWindow : public QMainWindow {
    Q_OBJECT
public:
    // The result stays shared with the main window; unitNm: the segment size (none: the
    // window says it is needed). molarMasses: the fields' start values (0: empty).
    ScatteringChartWindow(std::shared_ptr<const RunResult> result, std::optional<double> unitNm, double molarMassPlus,
                          double molarMassMinus, QWidget* parent = nullptr);

    // Reads the fields and draws the chart; false (with the reason in the status line) when
    // a field does not hold what it needs.
    bool compute();
    // The curve last drawn.
    const ScatteringCurve& curve() const { return curve_; }
    double guinierRadiusNm() const { return guinierRadius_; }
    QChartView* chartView() const { return view_; }
    QLineEdit* field(int index) const;  // 0 M+, 1 M-, 2 b, 3 q min, 4 q max
    QComboBox* solventBox() const { return solvent_; }

    // Exports; false when the file cannot be written.
    bool savePng(const QString& path);
    bool saveSvg(const QString& path);
    bool saveCsv(const QString& path);

private:
    void askAndSave(const QString& what);

    std::shared_ptr<const RunResult> result_;
    std::optional<double> unitNm_;
    QLineEdit* fields_[5] = {};
    QComboBox* solvent_ = nullptr;
    QLabel* status_ = nullptr;
    QChartView* view_ = nullptr;
    ScatteringCurve curve_;
    double guinierRadius_ = 0.0;
};

}  // namespace marlinq::ui
