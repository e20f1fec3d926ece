#include "ui/Plot4.h"

#include <QChart>
#include <QChartView>
#include <QPushButton>
#include <QShowEvent>

#include "ui/Pictures.h"
#include "ui/ProfileCharts.h"

namespace marlinq::ui {

namespace {
std::vector<double> copyPoints(const double* source, int count) {
    if (!source) return std::vector<double>(count, 0.0);
    return std::vector<double>(source, source + count);
}
}  // namespace

Plot4::Plot4(const double* dis_, const double* charge_d, QWidget* parent)
    : QWidget(parent, Qt::Window), dis(copyPoints(dis_, Points)), charge_density(copyPoints(charge_d, Points)) {
    setObjectName(QStringLiteral("Plot4"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(applicationIcon());
    setFixedSize(490, 530);
    chartView_ = makeProfileChartView(this, QStringLiteral("chart_charge"), QStringLiteral("Charge Density"),
                                      QStringLiteral("r/Rc"), QStringLiteral("rhosqr(Rc)lb"), 480);
    chartView_->move(5, 0);
    button1 = new QPushButton(QStringLiteral("exit"), this);
    button1->setObjectName(QStringLiteral("button1"));
    button1->setGeometry(490 - 10 - 90, 530 - 10 - 30, 90, 30);
    connect(button1, &QPushButton::clicked, this, &Plot4::button1_Click);
}

void Plot4::showEvent(QShowEvent* event) {
    Plot4_Load();
    QWidget::showEvent(event);
}

void Plot4::Plot4_Load() {
    if (loaded_) return;
    loaded_ = true;
    addProfileCurve(chart(), QString(), Qt::blue, dis.data(), charge_density.data(), Points);
    fitProfileAxes(chart());
}

QChart* Plot4::chart() const { return chartView_->chart(); }

void Plot4::button1_Click() { close(); }

}  // namespace marlinq::ui
