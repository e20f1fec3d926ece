#include "ui/ScatteringChartWindow.h"

#include "pipeline/Engine.h"
#include "pipeline/Observables.h"
#include "ui/FieldText.h"
#include "ui/ProfileCharts.h"
#include "ui/UserDialogs.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QLogValueAxis>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace marlinq::ui {

namespace {

constexpr int kPoints = 200;

const char* const kFieldLabels[] = {"M+ (g/mol)", "M- (g/mol)", "neutral segment b (nm)", "q from (1/nm)", "to"};

QString number(double v) { return QLocale().toString(v, 'g', 6); }

// Draws y over x where both are positive (a log-log chart shows nothing else).
void addCurve(QChart* chart, const QString& name, const QColor& color, const std::vector<double>& x,
              const std::vector<double>& y, Qt::PenStyle style) {
    auto* series = new QLineSeries(chart);
    series->setName(name);
    QPen pen(color);
    pen.setWidthF(2.0);
    pen.setStyle(style);
    series->setPen(pen);
    for (std::size_t k = 0; k < x.size() && k < y.size(); ++k)
        if (x[k] > 0.0 && y[k] > 0.0 && std::isfinite(y[k])) series->append(x[k], y[k]);
    chart->addSeries(series);
}

}  // namespace

ScatteringChartWindow::ScatteringChartWindow(std::shared_ptr<const RunResult> result, std::optional<double> unitNm,
                                             double molarMassPlus, double molarMassMinus, QWidget* parent)
    : QMainWindow(parent), result_(std::move(result)), unitNm_(unitNm) {
    setObjectName(QStringLiteral("scatteringChartWindow"));
    setWindowTitle(QStringLiteral("Scattering I(q)"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* inputs = new QHBoxLayout;
    const QString starts[] = {molarMassPlus > 0.0 ? number(molarMassPlus) : QString(),
                              molarMassMinus > 0.0 ? number(molarMassMinus) : QString(),
                              unitNm ? number(*unitNm) : QString(), number(0.01), number(5.0)};
    for (int k = 0; k < 5; ++k) {
        inputs->addWidget(new QLabel(QString::fromLatin1(kFieldLabels[k]), central));
        fields_[k] = new QLineEdit(starts[k], central);
        fields_[k]->setObjectName(QStringLiteral("scatteringField%1").arg(k));
        fields_[k]->setMaximumWidth(90);
        inputs->addWidget(fields_[k]);
        if (k == 2) {
            solvent_ = new QComboBox(central);
            solvent_->setObjectName(QStringLiteral("solventBox"));
            solvent_->addItems({QStringLiteral("good solvent"), QStringLiteral("theta solvent")});
            solvent_->setToolTip(QStringLiteral("The corona: a Daoud-Cotton star (good) or Gaussian blobs (theta)"));
            inputs->addWidget(solvent_);
        }
    }
    auto* draw = new QPushButton(QStringLiteral("Draw"), central);
    draw->setObjectName(QStringLiteral("drawButton"));
    inputs->addWidget(draw);
    inputs->addStretch(1);
    layout->addLayout(inputs);

    view_ = makeProfileChartView(central, QStringLiteral("scatteringChart"), QStringLiteral("I(q)"),
                                 QStringLiteral("q (1/nm)"), QStringLiteral("I(q) / c (g/mol)"), 400);
    view_->setMinimumSize(400, 300);
    layout->addWidget(view_, 1);

    auto* bottom = new QHBoxLayout;
    status_ = new QLabel(central);
    status_->setObjectName(QStringLiteral("scatteringStatus"));
    status_->setWordWrap(true);
    bottom->addWidget(status_, 1);
    for (const char* what : {"PNG", "SVG", "CSV"}) {
        auto* button = new QPushButton(QStringLiteral("%1...").arg(QString::fromLatin1(what)), central);
        button->setObjectName(QStringLiteral("save%1Button").arg(QString::fromLatin1(what)));
        connect(button, &QPushButton::clicked, this, [this, what] { askAndSave(QString::fromLatin1(what)); });
        bottom->addWidget(button);
    }
    layout->addLayout(bottom);
    setCentralWidget(central);
    connect(draw, &QPushButton::clicked, this, [this] { compute(); });
    resize(1100, 700);
    compute();
}

QLineEdit* ScatteringChartWindow::field(int index) const { return fields_[index]; }

bool ScatteringChartWindow::compute() {
    const QLocale locale;
    double v[5] = {};
    for (int k = 0; k < 5; ++k) {
        bool ok = false;
        v[k] = locale.toDouble(fields_[k]->text().trimmed(), &ok);
        if (!ok || !(v[k] > 0.0)) {
            status_->setText(QStringLiteral("I(q) needs %1 above 0.").arg(QString::fromLatin1(kFieldLabels[k])));
            return false;
        }
    }
    if (!unitNm_) {
        status_->setText(QStringLiteral("I(q) needs the segment size a in nm (the main window's field)."));
        return false;
    }
    if (!(v[4] > v[3])) {
        status_->setText(QStringLiteral("The q range must run upwards."));
        return false;
    }
    if (!result_ || !result_->hasResults()) {
        status_->setText(QStringLiteral("No distribution to scatter: Solve first."));
        return false;
    }
    StructureInputs in;
    in.molarMassPlus = v[0];
    in.molarMassMinus = v[1];
    in.unitNm = unitNm_;
    in.neutralSegmentNm = v[2];
    in.solvent = solvent_->currentIndex() == 0 ? corona::Solvent::Good : corona::Solvent::Theta;
    in.waterFraction = result_->params().waterFraction;
    curve_ = scatteringCurve(*result_, in, scatteringQ(v[3], v[4], kPoints, true));
    const StructureObservables so = computeStructureObservables(*result_, computeObservables(*result_), in);
    guinierRadius_ = so.radiusOfGyrationZ;

    QChart* chart = view_->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    addCurve(chart, QStringLiteral("I"), QColor(20, 20, 20), curve_.q, curve_.intensity, Qt::SolidLine);
    addCurve(chart, QStringLiteral("core"), QColor(200, 60, 40), curve_.q, curve_.core, Qt::DashLine);
    addCurve(chart, QStringLiteral("corona"), QColor(40, 110, 200), curve_.q, curve_.corona, Qt::DashLine);
    addCurve(chart, QStringLiteral("free chains"), QColor(60, 150, 60), curve_.q, curve_.free, Qt::DotLine);
    auto* x = new QLogValueAxis(chart);
    x->setTitleText(QStringLiteral("q (1/nm)"));
    x->setLabelFormat(QStringLiteral("%g"));
    x->setBase(10.0);
    auto* y = new QLogValueAxis(chart);
    y->setTitleText(QStringLiteral("I(q) / c (g/mol)"));
    y->setLabelFormat(QStringLiteral("%g"));
    y->setBase(10.0);
    // Six decades below the largest intensity: the parts that matter, none lost below the axis.
    double top = 0.0, bottom = INFINITY;
    for (const std::vector<double>* column : {&curve_.intensity, &curve_.core, &curve_.corona, &curve_.free})
        for (const double v : *column)
            if (v > 0.0 && std::isfinite(v)) top = std::max(top, v), bottom = std::min(bottom, v);
    if (top > 0.0) y->setRange(std::max(bottom, top * 1e-6) / 1.5, top * 1.5);
    x->setRange(curve_.q.front(), curve_.q.back());
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    chart->legend()->setVisible(true);
    chart->legend()->setAlignment(Qt::AlignRight);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    // The Guinier radius and I(0) on the chart, in the user's number format.
    chart->setTitle(QStringLiteral("I(q) of the distribution \u2014 Guinier R_g = %1 nm, R_h (DLS) = %2 nm, "
                                   "Mw = %3 g/mol")
                        .arg(locale.toString(guinierRadius_, 'f', 2), locale.toString(so.hydrodynamicRadiusZ, 'f', 2),
                             locale.toString(so.mwWithFree, 'f', 0)));
    status_->setText(QStringLiteral("Each complex a core with its corona (Pedersen-Gerstenberg), free chains as "
                                    "Debye coils; a = %1 nm, water fraction %2.")
                         .arg(number(*unitNm_), number(in.waterFraction)));
    return true;
}

bool ScatteringChartWindow::savePng(const QString& path) { return saveChartPng(view_, path); }

bool ScatteringChartWindow::saveSvg(const QString& path) {
    return saveChartSvg(view_, path, QStringLiteral("I(q) of a distribution"));
}

bool ScatteringChartWindow::saveCsv(const QString& path) {
    if (path.isEmpty() || curve_.q.empty()) return false;
    return saveFileBytes(path, scatteringCsv({curve_.q, curve_.intensity, curve_.core, curve_.corona, curve_.free}));
}

void ScatteringChartWindow::askAndSave(const QString& what) {
    const QString suffix = what.toLower();
    const QString path = userDialogs()->getSaveFileName(this, QStringLiteral("Save I(q) as %1").arg(what),
                                                        QDir::current().filePath(QStringLiteral("scattering.") + suffix),
                                                        QStringLiteral("%1 files (*.%2)").arg(what, suffix));
    if (path.isEmpty()) return;
    const bool ok = what == QLatin1String("PNG") ? savePng(path) : what == QLatin1String("SVG") ? saveSvg(path) : saveCsv(path);
    if (!ok) status_->setText(QStringLiteral("Could not write %1").arg(path));
}

}  // namespace marlinq::ui
