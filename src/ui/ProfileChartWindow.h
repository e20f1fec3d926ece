#pragma once
// The profile chart window of one complex: potential, ion distribution and charge density
// against r/Rc (the first 251 points, r = 0 .. 5 core radii), and a column of five numbers.

#include "pipeline/ComplexProfile.h"

#include <QMainWindow>

#include <string>
#include <vector>

class QChart;
class QChartView;
class QLabel;
class QShowEvent;
class QResizeEvent;
class QScrollArea;
class QPushButton;

namespace marlinq::ui {

class ProfileChartWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int Points = 251;
    enum ChartIndex { PotentialChart = 0, IonChart = 1, ChargeChart = 2, ChartCount = 3 };
    // The axis titles of the ion and charge charts and the legend names of the two ions.
    static QString ionAxisTitle();
    static QString chargeAxisTitle();
    static QString cationCurveName();
    static QString anionCurveName();

    // The arrays hold at least 251 values and stay the caller's; the window copies them.
    // Dp is read only when isdh is set.
    // cations: (kRc)^2 exp(-u), anions: (kRc)^2 exp(+u).
    ProfileChartWindow(const double* p, const double* d, const double* cations, const double* anions,
                       const double* charge_d, double bare_charge, double coreRadius, double kRc, double ka, bool isdh,
                       const double* Dp, QWidget* parent = nullptr);

    // The profiles of one complex as computeComplexProfile gives them.
    explicit ProfileChartWindow(const ComplexProfile& profile, QWidget* parent = nullptr);

    // Builds the three charts; done once, when the window is first shown.
    void buildCharts();

    QChartView* chartView(int index) const;

    // How the three charts share a panel of width x height pixels (the column of numbers
    // and buttons at its right): columns of charts and the size of each.
    struct ChartArrangement {
        int columns = 1;
        int width = 0, height = 0;
    };
    static ChartArrangement arrangeCharts(int width, int height);
    QChart* chart(int index) const;

    // Exports; false when the file cannot be written (nothing is shown to the user).
    bool savePng(int chartIndex, const QString& path);
    bool saveSvg(int chartIndex, const QString& path);
    bool saveCsv(const QString& path);
    // The profiles as comma-separated text with a header line, one row per point.
    std::string profileCsv() const;

public slots:
    // Ask for a file name and save; a failure is reported in a message box.
    void savePngClicked(int chartIndex);
    void saveSvgClicked(int chartIndex);
    void saveCsvClicked();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    QString fileStem() const;
    // Places charts, numbers and buttons for the window's width.
    void layoutPanel();
    // The window's first size: the screen's free area, so that every chart shows.
    void fitToScreen();
    // Title of a saved chart: the chart's and the complex's, "Potential, complex (3,5)".
    QString chartFileTitle(int chartIndex) const;
    QString askSavePath(const QString& title, const QString& suffix, const QString& filter);

    std::vector<double> potential;
    std::vector<double> dis;
    std::vector<double> cation_density;
    std::vector<double> anion_density;
    std::vector<double> charge_density;
    double bare_charge = 0.0;
    double coreRadius = 0.0;
    std::vector<double> DHpotential;
    bool dh = false;
    double kRc = 0.0;
    double ka = 0.0;

    QChartView* charts_[ChartCount] = {};
    QLabel* netChargeValue = nullptr;
    QLabel* chargePerRadiusValue = nullptr;
    QLabel* coreRadiusValue = nullptr;
    QLabel* screenedRadiusValue = nullptr;
    QLabel* saltValue = nullptr;
    bool loaded_ = false;
    QScrollArea* scroll_ = nullptr;
    QWidget* panel_ = nullptr;
    struct ColumnRow {
        QLabel *picture, *equals, *value;
        int y;
    };
    std::vector<ColumnRow> column_;
    QPushButton* csvButton_ = nullptr;
    int csvTop_ = 0;
    QLabel* saveCaptions_[ChartCount] = {};
    QPushButton* pngButtons_[ChartCount] = {};
    QPushButton* svgButtons_[ChartCount] = {};
};

}  // namespace marlinq::ui
