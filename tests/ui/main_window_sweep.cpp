// The observables panel and the sweep window, driven from the main window.
#include "main_window_support.h"

#include "pipeline/Observables.h"
#include "pipeline/Sensitivity.h"
#include "pipeline/Structure.h"
#include "pipeline/Version.h"
#include "ui/MapModel.h"
#include "ui/MapView.h"
#include "ui/ObservablesPanel.h"
#include "ui/SweepPlot.h"
#include "ui/SweepWindow.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QLocale>
#include <QLogValueAxis>
#include <QPainter>
#include <QProcess>
#include <QValueAxis>

#include <cmath>
#include <QProgressBar>
#include <QScatterSeries>
#include <QSignalSpy>

using namespace marlinq;
using namespace marlinq::ui;
using namespace marlinq::ui::testing;

namespace {

SweepWindow* openSweepWindow(MainWindow& form) {
    actionOf(form, "sweepAction")->trigger();
    return form.findChild<SweepWindow*>(QStringLiteral("sweepWindow"));
}

QByteArray fileText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST_F(WindowTest, ATieIsShownAsATieAndTheSweepChartsTheComplexesAnswer) {
    // Equal chains at high salt: the lone chains (0, 1) and (1, 0) weigh the same.
    auto* panel = form->findChild<ObservablesPanel*>(QStringLiteral("observablesPanel"));
    ASSERT_NE(panel, nullptr);
    debyeHueckelBoxOf(*form)->setChecked(false);
    field("minusNeutralField")->setText(QStringLiteral("1"));
    field("saltField")->setText(QStringLiteral("3"));
    solveAndWait();
    EXPECT_EQ(panel->valueLabel("most_probable")->text(), QStringLiteral("tie: (0, 1), (1, 0)"));
    EXPECT_EQ(panel->valueLabel("most_probable_complex")->text(), QStringLiteral("(1, 1)"));
    EXPECT_TRUE(log().contains(QStringLiteral("Most probable: a tie of (0, 1) and (1, 0), which hold the same weight")))
        << log().toStdString();
    SweepWindow* sweep = openSweepWindow(*form);
    ASSERT_NE(sweep, nullptr);
    EXPECT_EQ(childOf<QComboBox>(*sweep, "observableBox")->currentData().toString(),
              QStringLiteral("most_probable_complex_mp"));
}

TEST_F(WindowTest, ObservablesPanelNamesTheResultPanelsComplex) {
    auto* panel = form->findChild<ObservablesPanel*>(QStringLiteral("observablesPanel"));
    ASSERT_NE(panel, nullptr);
    // A tab beside the result panel.
    ASSERT_NE(form->findChild<QTabWidget*>(QStringLiteral("resultTabs")), nullptr);
    EXPECT_EQ(form->findChild<QTabWidget*>(QStringLiteral("resultTabs"))->tabText(1), QStringLiteral("Observables"));
    EXPECT_EQ(panel->valueLabel("most_probable")->text(), QStringLiteral("-"));
    // The result panel names the most probable complex, which lies in the map's top colour
    // class, for both methods and an asymmetric set.
    for (const auto& [dh, zn] : {std::pair{true, "18"}, std::pair{false, "18"}, std::pair{true, "30"}}) {
        debyeHueckelBoxOf(*form)->setChecked(dh);
        field("minusChargeField")->setText(QString::fromLatin1(zn));
        solveAndWait();
        const ResultSnapshot rec = runControllerOf(*form).result();
        const Observables o = computeObservables(*rec);
        ASSERT_TRUE(o.mostProbable);
        EXPECT_EQ(weightClasses(rec->absValue, rec->maxValue)(o.mostProbable->first - rec->params().mpMin,
                                                              o.mostProbable->second - rec->params().mmMin),
                  20);
        EXPECT_EQ(panel->valueLabel("most_probable")->text(),
                  QStringLiteral("(%1, %2)")
                      .arg(resultLabelOf(*form, "mPlusOutput")->text(), resultLabelOf(*form, "mMinusOutput")->text()));
    }
    field("minusChargeField")->setText(QStringLiteral("18"));
    debyeHueckelBoxOf(*form)->setChecked(true);
    solveAndWait();
    EXPECT_EQ(panel->valueLabel("most_probable")->text(), QStringLiteral("(4, 4)"));
    EXPECT_EQ(panel->valueLabel("salt_mM")->text(), QStringLiteral("-"));
    // a = 0.714 nm: ka 0.2 is 7.26 mM, Rc(4, 4) = 5.1615 a = 3.685 nm.
    field("segmentSizeField")->setText(QStringLiteral("0.714"));  // the panel reads the form's field
    EXPECT_EQ(panel->valueLabel("salt_mM")->text(), QStringLiteral("7.261"));
    EXPECT_EQ(panel->valueLabel("core_radius_nm")->text(), QStringLiteral("3.685"));
    // Save Free Energies: one row per complex of 1..10 x 1..10 after the two header lines.
    dialogs->saveAnswer = dir.filePath(QStringLiteral("fe.csv"));
    ASSERT_TRUE(childOf<QPushButton>(*panel, "saveFreeEnergiesButton")->isEnabled());
    childOf<QPushButton>(*panel, "saveFreeEnergiesButton")->click();
    const QList<QByteArray> lines = fileText(dialogs->saveAnswer).split('\n');
    ASSERT_EQ(lines.size(), 2 + 100 + 1);
    EXPECT_TRUE(lines[0].startsWith("# f_plus="));
    EXPECT_EQ(lines[1], QByteArray("mp,mm,F,E,absValue,Value,beyond_dh"));
}

TEST_F(WindowTest, SweepWindowRunsChartsLoadsAPointAndSaves) {
    SweepWindow* sweep = openSweepWindow(*form);
    ASSERT_NE(sweep, nullptr);
    EXPECT_EQ(childOf<QComboBox>(*sweep, "firstNameBox")->currentText(), QStringLiteral("ka"));
    // Every widget of the window and of the panel carries a name.
    for (QWidget* root : {static_cast<QWidget*>(sweep), form->findChild<QWidget*>(QStringLiteral("observablesPanel"))})
        for (QWidget* w : root->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_FALSE(w->objectName().isEmpty()) << w->metaObject()->className();
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.3,0.1,0.5"));
    QSignalSpy ended(sweep, &SweepWindow::sweepEnded);
    childOf<QPushButton>(*sweep, "runSweepButton")->click();
    EXPECT_FALSE(childOf<QPushButton>(*sweep, "runSweepButton")->isEnabled());
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    ASSERT_EQ(sweep->points().size(), 3u);
    EXPECT_EQ(sweep->points()[1].status, "Stable solution is only for ka between 0.2 and 10");
    EXPECT_EQ(childOf<QProgressBar>(*sweep, "sweepProgress")->value(), 3);
    // The chart shows the two points that ran.
    QScatterSeries* dots = nullptr;
    for (QAbstractSeries* s : childOf<QChartView>(*sweep, "chartView")->chart()->series())
        if (auto* d = qobject_cast<QScatterSeries*>(s)) dots = d;
    ASSERT_NE(dots, nullptr);
    EXPECT_EQ(dots->count(), 2);
    // A clicked point lands in the main window's fields.
    sweep->choosePoint(2);
    EXPECT_EQ(field("saltField")->text(), QStringLiteral("0.5"));
    sweep->choosePoint(1);  // refused: nothing to load
    EXPECT_EQ(field("saltField")->text(), QStringLiteral("0.5"));

    const QString csv = dir.filePath(QStringLiteral("sweep.csv"));
    QString error;
    ASSERT_TRUE(sweep->saveCsv(csv, &error)) << error.toStdString();
    EXPECT_EQ(fileText(csv).count('\n'), 5);
    EXPECT_TRUE(fileText(csv).startsWith("# marlinq "));
    EXPECT_TRUE(fileText(csv).split('\n')[1].startsWith("index,ka,most_probable_mp,"));
    ASSERT_TRUE(sweep->savePng(dir.filePath(QStringLiteral("sweep.png"))));
    ASSERT_TRUE(sweep->saveSvg(dir.filePath(QStringLiteral("sweep.svg"))));
    EXPECT_GT(QFileInfo(dir.filePath(QStringLiteral("sweep.png"))).size(), 1000);
    EXPECT_TRUE(fileText(dir.filePath(QStringLiteral("sweep.svg"))).contains("<svg"));
}

TEST_F(WindowTest, SweepWindowTwoParametersAndStop) {
    SweepWindow* sweep = openSweepWindow(*form);
    ASSERT_NE(sweep, nullptr);
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.2:1:3"));
    childOf<QCheckBox>(*sweep, "secondCheck")->setChecked(true);
    childOf<QComboBox>(*sweep, "secondNameBox")->setCurrentText(QStringLiteral("vc10"));
    childOf<QLineEdit>(*sweep, "secondValuesBox")->setText(QStringLiteral("1e-3,1e-2"));
    QSignalSpy ended(sweep, &SweepWindow::sweepEnded);
    childOf<QPushButton>(*sweep, "runSweepButton")->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    ASSERT_EQ(sweep->points().size(), 6u);
    EXPECT_EQ(sweep->points()[1].values, (std::vector<double>{0.2, 1e-2}));
    ASSERT_TRUE(sweep->savePng(dir.filePath(QStringLiteral("map.png"))));
    // The map names the program that made it, as the chart does.
    const QString madeBy = QStringLiteral("Marlinq Solver ") + QString::fromStdString(marlinq::provenance());
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("map.png"))).text(QStringLiteral("Software")), madeBy);
    ASSERT_TRUE(sweep->saveSvg(dir.filePath(QStringLiteral("map.svg"))));
    EXPECT_TRUE(fileText(dir.filePath(QStringLiteral("map.svg"))).contains(madeBy.toUtf8()));

    // A long Poisson-Boltzmann sweep stops after the point under way.
    childOf<QCheckBox>(*sweep, "secondCheck")->setChecked(false);
    childOf<QComboBox>(*sweep, "methodBox")->setCurrentIndex(1);
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.2:10:5000"));
    childOf<QPushButton>(*sweep, "runSweepButton")->click();
    ASSERT_TRUE(waitFor([&] { return sweep->points().size() >= 2; }));
    childOf<QPushButton>(*sweep, "stopSweepButton")->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 2; }));
    EXPECT_LT(sweep->points().size(), 5000u);
    EXPECT_TRUE(childOf<QLabel>(*sweep, "sweepStatus")->text().startsWith(QStringLiteral("Stopped")));
    // Its CSV says it is partial, in order without a gap.
    const QString partial = dir.filePath(QStringLiteral("partial.csv"));
    ASSERT_TRUE(sweep->saveCsv(partial, nullptr));
    const QList<QByteArray> lines = fileText(partial).trimmed().split('\n');
    EXPECT_EQ(lines.last(), QByteArray("# The sweep is partial: ") +
                                QByteArray::number(qsizetype(sweep->points().size())) + " of 5000 points");
    for (std::size_t k = 0; k < sweep->points().size(); ++k) EXPECT_EQ(sweep->points()[k].index, std::int64_t(k));
    // A bad VALUES text is refused before anything runs.
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("1:2"));
    EXPECT_FALSE(sweep->start());
    EXPECT_FALSE(childOf<QLabel>(*sweep, "sweepStatus")->text().isEmpty());
    // So is a plan whose two parameters are one, by the check every front end uses.
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.3,0.5"));
    childOf<QCheckBox>(*sweep, "secondCheck")->setChecked(true);
    childOf<QComboBox>(*sweep, "secondNameBox")->setCurrentText(QStringLiteral("ka"));
    childOf<QLineEdit>(*sweep, "secondValuesBox")->setText(QStringLiteral("0.4"));
    EXPECT_FALSE(sweep->start());
    EXPECT_EQ(childOf<QLabel>(*sweep, "sweepStatus")->text(),
              QStringLiteral("two swept names set the same parameter (ka, ka)"));
    EXPECT_FALSE(sweep->running());
}

// Each sweep is saved as it runs through the sweep store. A window closed mid-sweep, its
// file then cut as a killed program leaves it (no mark of a stop, the last row half
// written), is offered to be resumed when the same plan runs again: only the missing points
// are computed, and the file ends with the bytes of marlinq-batch --sweep.
TEST_F(WindowTest, SweepWindowResumesAnUnfinishedSweepToTheBatchBytes) {
    const auto choose = [](SweepWindow* w) {
        childOf<QComboBox>(*w, "methodBox")->setCurrentIndex(1);
        childOf<QLineEdit>(*w, "firstValuesBox")->setText(QStringLiteral("0.2:10:200:log"));
    };
    SweepWindow* sweep = openSweepWindow(*form);
    ASSERT_NE(sweep, nullptr);
    choose(sweep);
    ASSERT_TRUE(sweep->start());
    const QString file = sweep->savedFile(), partial = file + QStringLiteral(".partial");
    EXPECT_TRUE(file.startsWith(SweepWindow::sweepFolder()));
    // A row on disk (the plan line, the header, a row), then the window goes mid-sweep.
    ASSERT_TRUE(waitFor([&] { return fileText(partial).count('\n') >= 3; }));
    delete sweep;
    ASSERT_FALSE(QFileInfo::exists(file)) << "the sweep was complete before the window closed";
    QByteArray left = fileText(partial);
    const qsizetype mark = left.lastIndexOf("# The sweep is partial: ");
    ASSERT_GT(mark, 0);
    left.truncate(mark);
    const qsizetype rows = left.count('\n') - 2;
    ASSERT_GE(rows, 1);
    {
        QFile cut(partial);
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
        cut.write(left + QByteArray::number(rows) + ",0.2");
    }

    // The same plan in a new window: resumed from the whole rows.
    dialogs->resumeAnswer = UserDialogs::ResumeChoice::Resume;
    sweep = openSweepWindow(*form);
    ASSERT_NE(sweep, nullptr);
    choose(sweep);
    QSignalSpy ended(sweep, &SweepWindow::sweepEnded);
    ASSERT_TRUE(sweep->start());
    ASSERT_EQ(dialogs->resumeAsked.size(), 1);
    EXPECT_TRUE(dialogs->resumeAsked[0].contains(QString::number(rows) + QStringLiteral(" of its 200 points")))
        << dialogs->resumeAsked[0].toStdString();
    EXPECT_EQ(childOf<QLabel>(*sweep, "sweepStatus")->text(), QStringLiteral("Resuming after %1 points ...").arg(rows));
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    ASSERT_EQ(sweep->points().size(), 200u);
    for (std::size_t k = 0; k < 200; ++k) EXPECT_EQ(sweep->points()[k].index, std::int64_t(k));
    // The kept points are charted with those computed now: a dot for every point with a result.
    QScatterSeries* dots = nullptr;
    for (QAbstractSeries* s : childOf<QChartView>(*sweep, "chartView")->chart()->series())
        if (auto* d = qobject_cast<QScatterSeries*>(s)) dots = d;
    ASSERT_NE(dots, nullptr);
    const auto ok = std::count_if(sweep->points().begin(), sweep->points().end(),
                                  [](const SweepPoint& p) { return p.status == "ok"; });
    EXPECT_EQ(dots->count(), ok);

    QProcess batch;
    const QString batchCsv = dir.filePath(QStringLiteral("batch.csv"));
    batch.start(QStringLiteral(MARLINQ_BATCH), {QStringLiteral("--quiet"), QStringLiteral("--method"), QStringLiteral("pb"),
                                                QStringLiteral("--sweep"), QStringLiteral("ka=0.2:10:200:log"),
                                                QStringLiteral("-o"), batchCsv});
    ASSERT_TRUE(batch.waitForFinished(300000));
    ASSERT_EQ(batch.exitCode(), 0) << batch.readAllStandardError().toStdString();
    EXPECT_FALSE(QFileInfo::exists(partial));
    EXPECT_EQ(fileText(file), fileText(batchCsv));
    // Save CSV... gives the same bytes.
    ASSERT_TRUE(sweep->saveCsv(dir.filePath(QStringLiteral("saved.csv")), nullptr));
    EXPECT_EQ(fileText(dir.filePath(QStringLiteral("saved.csv"))), fileText(batchCsv));
}

// Chart axes step in 1, 2 or 5 times a power of ten over whole steps; a log axis spans
// whole decades, each labelled.
TEST(SweepTicks, RoundStepsOverWholeStepsAndWholeDecades) {
    // The y range of the figure: 0.87 .. 2.34 read 0.87, 1.60, 2.34.
    const NiceAxis a = niceAxis(0.87, 2.34);
    EXPECT_DOUBLE_EQ(a.step, 0.2);
    EXPECT_DOUBLE_EQ(a.lo, 0.8);
    EXPECT_NEAR(a.hi, 2.4, 1e-12);
    EXPECT_EQ(a.decimals, 1);
    EXPECT_EQ(niceTicks(a).size(), 9u);
    for (const auto& [span, step] : std::vector<std::pair<double, double>>{
             {1.0, 0.2}, {7.0, 1.0}, {0.03, 0.005}, {2.4e6, 5e5}, {16.0, 2.0}, {120.0, 20.0}})
        EXPECT_NEAR(niceTickStep(span), step, step * 1e-12) << span;
    // Integers stay integers; one value gets a band around it.
    EXPECT_EQ(niceAxis(0.0, 10.0).decimals, 0);
    const NiceAxis flat = niceAxis(4.0, 4.0);
    EXPECT_LT(flat.lo, 4.0);
    EXPECT_GT(flat.hi, 4.0);
    EXPECT_EQ(decadeRange(0.2, 10.0), std::make_pair(0.1, 10.0));
    EXPECT_EQ(decadeRange(1e-4, 1e-2), std::make_pair(1e-4, 1e-2));
    EXPECT_EQ(decadeRange(2.0, 3.0), std::make_pair(1.0, 10.0));
}

TEST_F(WindowTest, SweepChartNamesItsObservableAndShowsRoundTicksDecadesAndNoClickHintInTheLegend) {
    SweepWindow* sweep = openSweepWindow(*form);
    ASSERT_NE(sweep, nullptr);
    QSignalSpy ended(sweep, &SweepWindow::sweepEnded);
    childOf<QComboBox>(*sweep, "observableBox")
        ->setCurrentIndex(childOf<QComboBox>(*sweep, "observableBox")->findData(QStringLiteral("mean_mp")));
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.2:10:4:log"));
    childOf<QPushButton>(*sweep, "runSweepButton")->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    QChart* chart = childOf<QChartView>(*sweep, "chartView")->chart();
    auto* logX = qobject_cast<QLogValueAxis*>(chart->axes(Qt::Horizontal).value(0));
    ASSERT_NE(logX, nullptr);
    EXPECT_NEAR(logX->min(), 0.1, 1e-6);  // three decade labels: 0.1, 1, 10
    EXPECT_NEAR(logX->max(), 10.0, 1e-6);
    EXPECT_LE(std::ceil(std::log10(logX->min())), -1.0);  // 0.1 is inside the range and labelled
    EXPECT_GE(std::floor(std::log10(logX->max())), 1.0);
    EXPECT_EQ(logX->minorTickCount(), 8);
    auto* y = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
    ASSERT_NE(y, nullptr);
    // The title is the observable's label from the registry, not its column name.
    EXPECT_EQ(y->titleText(), QStringLiteral("Mean M+"));
    const auto isRound = [](double step) {
        const double m = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        return std::abs(m - 1.0) < 1e-9 || std::abs(m - 2.0) < 1e-9 || std::abs(m - 5.0) < 1e-9;
    };
    EXPECT_EQ(y->tickType(), QValueAxis::TicksDynamic);
    EXPECT_TRUE(isRound(y->tickInterval())) << y->tickInterval();
    EXPECT_NEAR(std::remainder(y->min(), y->tickInterval()), 0.0, 1e-9);
    EXPECT_NEAR(std::remainder(y->max(), y->tickInterval()), 0.0, 1e-9);
    // The saved figure's legend names the curve only: the points have no entry of their own.
    for (QAbstractSeries* series : chart->series()) {
        const bool points = qobject_cast<QScatterSeries*>(series) != nullptr;
        for (QLegendMarker* marker : chart->legend()->markers(series)) {
            EXPECT_FALSE(marker->label().contains("click")) << marker->label().toStdString();
            if (points)
                EXPECT_FALSE(marker->isVisible());
            else
                EXPECT_EQ(marker->label(), QStringLiteral("Mean M+"));
        }
    }

    // A linear sweep: round steps along x too.
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.23:0.91:5"));
    childOf<QPushButton>(*sweep, "runSweepButton")->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 2; }));
    auto* x = qobject_cast<QValueAxis*>(chart->axes(Qt::Horizontal).value(0));
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->tickType(), QValueAxis::TicksDynamic);
    EXPECT_TRUE(isRound(x->tickInterval())) << x->tickInterval();
    EXPECT_LE(x->min(), 0.23);
    EXPECT_GE(x->max(), 0.91);
}

TEST_F(WindowTest, SweepMapShowsTheSweptValuesItsColoursAndATooltipAndLoadsADoubleClickedPoint) {
    SweepWindow* sweep = openSweepWindow(*form);
    ASSERT_NE(sweep, nullptr);
    sweep->resize(1000, 600);
    childOf<QComboBox>(*sweep, "observableBox")
        ->setCurrentIndex(childOf<QComboBox>(*sweep, "observableBox")->findData(QStringLiteral("mean_mp")));
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.2:1:3"));
    childOf<QCheckBox>(*sweep, "secondCheck")->setChecked(true);
    childOf<QComboBox>(*sweep, "secondNameBox")->setCurrentText(QStringLiteral("vc10"));
    childOf<QLineEdit>(*sweep, "secondValuesBox")->setText(QStringLiteral("1e-3,1e-2"));
    QSignalSpy ended(sweep, &SweepWindow::sweepEnded);
    childOf<QPushButton>(*sweep, "runSweepButton")->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    // The map is the main window's map widget with the swept values along its axes.
    auto* map = sweep->findChild<MapView*>(QStringLiteral("sweepMap"));
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(map->cells().size(), 6u);
    const CellGeometry& g = map->cells().geometry();
    const auto centre = [&](int i, int j) {
        return QPoint(static_cast<int>(g.cellX(i) + g.cw / 2), static_cast<int>(g.cellY(j) + g.ch / 2));
    };
    // Each cell's tooltip gives its place and value; the largest value is red, the smallest
    // the first colour above white.
    double lo = INFINITY, hi = -INFINITY;
    QPoint loAt, hiAt;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 2; ++j) {
            const QString tip = map->toolTipAt(centre(i, j));
            const QString where = QStringLiteral("ka = %1, c+ = %2\nMean M+ = ")
                                      .arg(QStringList{"0.2", "0.6", "1"}[i], QStringList{"0.001", "0.01"}[j]);
            ASSERT_TRUE(tip.startsWith(where)) << tip.toStdString();
            const double v = tip.mid(where.size()).toDouble();
            if (v < lo) lo = v, loAt = centre(i, j);
            if (v > hi) hi = v, hiAt = centre(i, j);
        }
    ASSERT_LT(lo, hi);
    const auto& classic = colourTable(ColourMap::Classic);
    EXPECT_EQ(map->image().pixelColor(hiAt), QColor(classic[20][0], classic[20][1], classic[20][2]));
    EXPECT_EQ(map->image().pixelColor(loAt), QColor(classic[1][0], classic[1][1], classic[1][2]));
    EXPECT_TRUE(map->toolTipAt(QPoint(-2, -2)).isEmpty());
    // A double-click on ka = 0.6, c+ = 0.01 loads that point.
    std::vector<ParameterSet> loaded;
    QObject::connect(sweep, &SweepWindow::loadRequested, [&](const ParameterSet& set) { loaded.push_back(set); });
    QTest::mouseDClick(map->findChild<QLabel*>(QStringLiteral("mapPicture")), Qt::LeftButton, Qt::NoModifier,
                       centre(1, 1));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_DOUBLE_EQ(loaded[0].params.ka, 0.6);
    EXPECT_DOUBLE_EQ(loaded[0].params.vc10, 0.01);
}

TEST_F(WindowTest, SweepWindowFindsTheCriticalSaltOfTheTotals) {
    // Free mode: the button says what it needs and runs nothing.
    SweepWindow* free = openSweepWindow(*form);
    ASSERT_NE(free, nullptr);
    EXPECT_FALSE(free->startCriticalSalt());
    EXPECT_TRUE(childOf<QLabel>(*free, "sweepStatus")->text().contains("needs the totals"))
        << childOf<QLabel>(*free, "sweepStatus")->text().toStdString();
    free->close();
    delete free;

    // Total mode at 2e-3 each, linear Debye-Hueckel with solved chains (smooth in ka).
    comboBox("concentrationModeBox")->setCurrentIndex(1);
    field("plusConcentrationField")->setText("0.002");
    field("minusConcentrationField")->setText("0.002");
    field("segmentSizeField")->setText("0.714");
    SweepWindow* w = openSweepWindow(*form);
    ASSERT_NE(w, nullptr);
    childOf<QComboBox>(*w, "methodBox")->setCurrentIndex(2);
    childOf<QComboBox>(*w, "chainsBox")->setCurrentIndex(1);
    QSignalSpy ended(w, &SweepWindow::criticalSaltEnded);
    ASSERT_TRUE(w->startCriticalSalt());
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    const QString text = ended.at(0).at(0).toString();
    // The batch command's answer for the same set: ka 0.7599748...
    EXPECT_TRUE(text.startsWith("Critical salt: ka = 0.75997")) << text.toStdString();
    EXPECT_TRUE(text.contains(" mM)")) << text.toStdString();
    EXPECT_TRUE(childOf<QPushButton>(*w, "runSweepButton")->isEnabled());

    // Solving for a measured value: ka between the first parameter's least and largest value
    // at which half the '+' chains are bound, found by runs of its own.
    childOf<QComboBox>(*w, "firstNameBox")->setCurrentText(QStringLiteral("ka"));
    childOf<QLineEdit>(*w, "firstValuesBox")->setText(QStringLiteral("0.2,2"));
    auto* observables = childOf<QComboBox>(*w, "observableBox");
    observables->setCurrentIndex(observables->findData(QStringLiteral("bound_fraction_plus")));
    ASSERT_GE(observables->currentIndex(), 0);
    childOf<QLineEdit>(*w, "targetBox")->setText(QLocale().toString(0.5));
    QSignalSpy solved(w, &SweepWindow::solveForEnded);
    ASSERT_TRUE(w->startSolveFor());
    ASSERT_TRUE(waitFor([&] { return solved.count() == 1; }));
    const QString found = solved.at(0).at(0).toString();
    EXPECT_TRUE(found.startsWith("Solve for ka: ka = 0.7")) << found.toStdString();
    const QString achieved = found.section(QStringLiteral("bound_fraction_plus = "), 1).section(QLatin1Char(','), 0, 0);
    EXPECT_NEAR(QLocale().toDouble(achieved), 0.5, 1e-6) << found.toStdString();
    // A target beyond the range: said, with its side.
    childOf<QLineEdit>(*w, "targetBox")->setText(QLocale().toString(2.0));
    ASSERT_TRUE(w->startSolveFor());
    ASSERT_TRUE(waitFor([&] { return solved.count() == 2; }));
    EXPECT_TRUE(solved.at(1).at(0).toString().contains("is not reached")) << solved.at(1).at(0).toString().toStdString();
    EXPECT_TRUE(childOf<QPushButton>(*w, "solveForButton")->isEnabled());
}

// The sweep window runs the main window's fields as they are when "Run" is pressed, opens
// with room for its plots, fills the room with the map of two parameters, names c+ as the
// window does, and saves the map with a caption and without its screen controls; the
// chart keeps its end points inside the plot.
TEST_F(WindowTest, SweepWindowTakesTheFieldsAtRunAndSavesTheMapWithACaption) {
    SweepWindow* sweep = openSweepWindow(*form);
    ASSERT_NE(sweep, nullptr);
    // Most of the screen, on the screen (the test's screen is a small one).
    const QRect free = sweep->screen()->availableGeometry();
    EXPECT_GE(sweep->width(), std::min(1000, free.width() * 8 / 10));
    EXPECT_GE(sweep->height(), std::min(600, free.height() * 8 / 10));
    EXPECT_LE(sweep->width(), std::max(free.width(), sweep->minimumSizeHint().width())) << free.width();
    EXPECT_LE(sweep->height(), std::max(free.height(), sweep->minimumSizeHint().height())) << free.height();
    sweep->resize(1200, 650);
    sweep->show();

    // Changed in the main window after the sweep window opened.
    setRanges(0, 4, 0, 4);
    field("segmentSizeField")->setText("0.714");
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.3:1:6"));
    childOf<QCheckBox>(*sweep, "secondCheck")->setChecked(true);
    childOf<QComboBox>(*sweep, "secondNameBox")->setCurrentText(QStringLiteral("vc10"));
    childOf<QLineEdit>(*sweep, "secondValuesBox")->setText(QStringLiteral("1e-3,1e-2"));
    QSignalSpy ended(sweep, &SweepWindow::sweepEnded);
    ASSERT_TRUE(sweep->start()) << childOf<QLabel>(*sweep, "sweepStatus")->text().toStdString();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    EXPECT_EQ(sweep->plan().base.params.mpMax, 4);
    EXPECT_EQ(sweep->plan().base.params.mmMax, 4);
    EXPECT_EQ(sweep->plan().unitNm, std::optional<double>(0.714));
    ASSERT_EQ(sweep->points().size(), 12u);

    MapView& map = *childOf<MapView>(*sweep, "sweepMap");
    QCoreApplication::processEvents();
    auto* picture = map.findChild<QLabel*>(QStringLiteral("mapPicture"));
    ASSERT_NE(picture, nullptr);
    // Six values across, two up: no square cells leaving most of the area empty.
    EXPECT_GE(picture->width(), map.width() * 6 / 10);
    EXPECT_GE(picture->height(), map.height() * 6 / 10);
    EXPECT_EQ(map.findChild<QLabel*>(QStringLiteral("mPlusTitle"))->text(), QStringLiteral("ka"));
    EXPECT_EQ(map.findChild<QLabel*>(QStringLiteral("mMinusTitle"))->accessibleName(), QStringLiteral("c+"));

    const QString png = dir.filePath(QStringLiteral("map.png"));
    ASSERT_TRUE(sweep->savePng(png));
    const QImage saved(png);
    const qreal ratio = map.grab().devicePixelRatio();
    EXPECT_GT(saved.height(), static_cast<int>(map.height() * ratio) + 10);  // a caption under the map
    const QString caption = saved.text(QStringLiteral("Description"));
    EXPECT_TRUE(caption.contains(QStringLiteral("over ka from 0.3 to 1 (6 values) (across) and c+ from 0.001 to 0.01")))
        << caption.toStdString();
    // Where the "Whole range" button is on the screen, the picture has the background only.
    auto* button = map.findChild<QToolButton*>(QStringLiteral("wholeRangeButton"));
    ASSERT_NE(button, nullptr);
    const QRect at(QPoint(static_cast<int>(button->x() * ratio), static_cast<int>(button->y() * ratio)),
                   button->size() * ratio);
    const QRgb background = saved.pixel(at.topLeft());
    int marked = 0;
    for (int y = at.top(); y <= at.bottom() && y < saved.height(); ++y)
        for (int x = at.left(); x <= at.right() && x < saved.width(); ++x) marked += saved.pixel(x, y) != background;
    EXPECT_EQ(marked, 0);

    // One parameter: the chart's axis leaves room beyond the highest and the lowest point.
    childOf<QCheckBox>(*sweep, "secondCheck")->setChecked(false);
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.3,0.5,1"));
    ASSERT_TRUE(sweep->start());
    ASSERT_TRUE(waitFor([&] { return ended.count() == 2; }));
    QChart* chart = childOf<QChartView>(*sweep, "chartView")->chart();
    auto* y = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
    ASSERT_NE(y, nullptr);
    double lo = INFINITY, hi = -INFINITY;
    for (QAbstractSeries* s : chart->series())
        if (auto* dots = qobject_cast<QScatterSeries*>(s))
            for (const QPointF& p : dots->points()) lo = std::min(lo, p.y()), hi = std::max(hi, p.y());
    ASSERT_TRUE(std::isfinite(hi));
    EXPECT_GT(y->max(), hi);
    EXPECT_LE(y->min(), lo);
}

TEST_F(WindowTest, ObservablesPanelGivesMolarMassesAndSizesWithTheMolarMasses) {
    auto* panel = form->findChild<ObservablesPanel*>(QStringLiteral("observablesPanel"));
    ASSERT_NE(panel, nullptr);
    solveAndWait();
    // Without molar masses: nothing; with them the molar masses; with the segment size too, the sizes.
    EXPECT_EQ(panel->valueLabel("molar_mass_mw")->text(), QStringLiteral("-"));
    childOf<QLineEdit>(*panel, "molarMassPlusBox")->setText(QStringLiteral("8000"));
    childOf<QLineEdit>(*panel, "molarMassMinusBox")->setText(QStringLiteral("12000"));
    const ResultSnapshot rec = runControllerOf(*form).result();
    StructureInputs in;
    in.molarMassPlus = 8000.0;
    in.molarMassMinus = 12000.0;
    const StructureObservables want = computeStructureObservables(*rec, computeObservables(*rec), in);
    // Four significant digits in the user's format.
    EXPECT_NEAR(QLocale().toDouble(panel->valueLabel("molar_mass_mw")->text()), want.mw, 1e-3 * want.mw)
        << panel->valueLabel("molar_mass_mw")->text().toStdString();
    EXPECT_EQ(panel->valueLabel("hydrodynamic_radius_z_nm")->text(), QStringLiteral("-"));
    field("segmentSizeField")->setText(QStringLiteral("0.714"));
    EXPECT_NE(panel->valueLabel("hydrodynamic_radius_z_nm")->text(), QStringLiteral("-"));
}

TEST_F(WindowTest, ObservablesPanelEstimatesTheSensitivityOnItsOwnThread) {
    auto* panel = form->findChild<ObservablesPanel*>(QStringLiteral("observablesPanel"));
    ASSERT_NE(panel, nullptr);
    auto* estimate = childOf<QPushButton>(*panel, "sensitivityButton");
    EXPECT_FALSE(estimate->isEnabled());  // nothing to estimate before a run
    solveAndWait();
    ASSERT_TRUE(estimate->isEnabled());
    QSignalSpy shown(panel, &ObservablesPanel::sensitivityShown);
    estimate->click();
    ASSERT_TRUE(waitFor([&] { return shown.count() == 1; }));
    // The same answers as the engine's, "lower / higher". Moving every complex down by 1 kT per
    // chain is the same as raising the free chains by e: the mass average cannot fall.
    const ResultSnapshot rec = runControllerOf(*form).result();
    const std::optional<Sensitivity> want =
        sensitivityOf(*rec, std::nullopt, rec->concentrations.freePlus, rec->concentrations.freeMinus);
    ASSERT_TRUE(want);
    const QStringList averages = childOf<QLabel>(*panel, "sensitivityMassAverage")->text().split(QStringLiteral("  /  "));
    ASSERT_EQ(averages.size(), 2);
    EXPECT_NEAR(QLocale().toDouble(averages[0]), want->lower.massAverageAggregation, 1e-3 * want->lower.massAverageAggregation);
    EXPECT_NEAR(QLocale().toDouble(averages[1]), want->higher.massAverageAggregation, 1e-3 * want->higher.massAverageAggregation);
    EXPECT_GE(want->lower.massAverageAggregation, want->higher.massAverageAggregation);
    const auto& cell = want->lower.mostProbableComplex;
    ASSERT_TRUE(cell);
    EXPECT_TRUE(childOf<QLabel>(*panel, "sensitivityMostProbable")
                    ->text()
                    .startsWith(QStringLiteral("(%1, %2)").arg(cell->first).arg(cell->second)));
    // A new run clears the rows: they belong to the result they were estimated for.
    solveAndWait();
    EXPECT_EQ(childOf<QLabel>(*panel, "sensitivityMassAverage")->text(), QStringLiteral("-"));
}
