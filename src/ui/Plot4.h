#pragma once
// A single chart of the charge density over the whole radial grid (401 points, r = 0 .. 8).

#include <QWidget>

#include <vector>

class QChart;
class QChartView;
class QPushButton;
class QShowEvent;

namespace marlinq::ui {

class Plot4 : public QWidget {
    Q_OBJECT
public:
    static constexpr int Points = 401;

    // dis: r/Rc, charge_d: charge density; at least 401 values each, copied.
    Plot4(const double* dis, const double* charge_d, QWidget* parent = nullptr);

    void Plot4_Load();
    QChart* chart() const;

public slots:
    void button1_Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::vector<double> dis;
    std::vector<double> charge_density;
    QChartView* chartView_ = nullptr;
    QPushButton* button1 = nullptr;
    bool loaded_ = false;
};

}  // namespace marlinq::ui
