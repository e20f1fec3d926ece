// The main window driven as a user would: start-up, validation, runs, stop, map, charts.
#include "main_window_support.h"

#include "kernel/Fatal.h"
#include "pipeline/CalculationJob.h"
#include "pipeline/MapClasses.h"
#include "pipeline/Observables.h"
#include "ui/MapModel.h"
#include "ui/NumberInput.h"
#include "ui/ProfileChartWindow.h"
#include "ui/AboutWindow.h"

#include <QAction>
#include <QChart>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QSlider>
#include <QXYSeries>
#include <QWheelEvent>
#include <QToolButton>
#include <QSpinBox>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>

using namespace marlinq;
using namespace marlinq::ui;
using namespace marlinq::ui::testing;

namespace {

std::vector<ProfileChartWindow*> chartWindows() {
    std::vector<ProfileChartWindow*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<ProfileChartWindow*>(w); p && p->isVisible()) out.push_back(p);
    return out;
}

bool isMapColour(QRgb c) {
    const QColor q(c);
    return q.saturation() > 200;  // blue .. red of the table, not white, grey or black
}

}  // namespace

TEST_F(WindowTest, StartsWithTheDefaultsAndNamedControls) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Marlinq Solver"));
    EXPECT_TRUE(childOf<QCheckBox>(*form, "useTablesBox")->isChecked());
    EXPECT_TRUE(debyeHueckelBoxOf(*form)->isChecked());
    EXPECT_TRUE(solveButtonOf(*form)->isEnabled());
    EXPECT_FALSE(stopButtonOf(*form)->isEnabled());
    EXPECT_EQ(label("plusDensityOutput")->text(), QStringLiteral("0.25"));
    EXPECT_EQ(label("minusDensityOutput")->text(), QStringLiteral("0.25"));
    EXPECT_DOUBLE_EQ(parameterForm().parameters().kip, 0.25);
    for (const char* name : {"plusChargeField",
                             "plusLengthField",
                             "plusNeutralField",
                             "minusChargeField",
                             "minusLengthField",
                             "minusNeutralField",
                             "saltField",
                             "plusConcentrationField",
                             "minusConcentrationField",
                             "mpMinField",
                             "mpMaxField",
                             "mmMinField",
                             "mmMaxField",
                             "mapView",
                             "mapPicture",
                             "colourBar",
                             "mPlusAxis",
                             "mMinusAxis",
                             "plusDensityButton",
                             "minusDensityButton",
                             "plusLengthSlider",
                             "plusNeutralSlider"})
        EXPECT_NE(form->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    // The result panel, the run's choices and buttons, the log and the progress bar.
    const char* const runWidgets[] = {"resultPanel",
                                      "mPlusOutput",
                                      "mMinusOutput",
                                      "coreRadiusOutput",
                                      "rescaledSaltCoreOutput",
                                      "bareChargeOutput",
                                      "rescaledBareChargeOutput",
                                      "sunSketch",
                                      "partialLabel",
                                      "runOptionsBox",
                                      "useTablesBox",
                                      "debyeHueckelBox",
                                      "linearDebyeHueckelBox",
                                      "convergedBox",
                                      "solveButton",
                                      "stopButton",
                                      "logView",
                                      "runProgress"};
    for (const char* name : runWidgets)
        EXPECT_NE(form->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    QStringList menus;
    for (QAction* a : form->menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, (QStringList{"File", "Parameters", "View", "Help"}));
    EXPECT_EQ(actionOf(*form, "loadParametersAction")->text(), QStringLiteral("Load Parameters"));
    const QSize map = mapPart(*form, "mapPicture")->pixmap().size();
    EXPECT_EQ(map.width(), map.height());  // the 11 x 11 canvas of square cells
    EXPECT_GE(map.width(), 300);
    EXPECT_TRUE(dialogs->messages.isEmpty());
}

TEST_F(WindowTest, SolveRejectsInputWithTheFirstFailingFieldsMessage) {
    struct Case {
        const char* field;
        QString text;
        QString message;
    };
    const std::vector<Case> cases{
        {"plusLengthField", "", "Input error: Length of charged block +"},
        {"plusChargeField", "201", "Charge + should between 0 and 200"},
        {"plusLengthField", "200", "Input error: charge density of + polymer should between 0.2 and 10"},
        {"saltField", "abc", "Stable solution is only for ka between 0.2 and 10"},
        {"plusConcentrationField", "0", "c+ should be between 1e-20  and 1"},
        {"mpMaxField", "0", "mpMin should be less than mpMax"},
        {"mmMinField", "-1", "mmMin should be above 0"},
    };
    for (const Case& c : cases) {
        QLineEdit* box = field(c.field);
        const QString before = box->text();
        box->setText(c.text);
        dialogs->messages.clear();
        solveButtonOf(*form)->click();
        EXPECT_EQ(dialogs->messages, QStringList{c.message}) << c.text.toStdString();
        EXPECT_TRUE(solveButtonOf(*form)->isEnabled());
        EXPECT_FALSE(stopButtonOf(*form)->isEnabled());
        EXPECT_FALSE(runControllerOf(*form).jobsRunning());
        box->setText(before);
    }
    field("mmMaxField")->setText("x");
    dialogs->messages.clear();
    solveButtonOf(*form)->click();
    ASSERT_EQ(dialogs->messages.size(), 1);
    EXPECT_FALSE(runControllerOf(*form).jobsRunning());
}

TEST_F(WindowTest, TolerantParseReadsCommasSignsAndFallsBackToZero) {
    EXPECT_EQ(tolerantDouble("0,5"), 0.5);
    EXPECT_EQ(tolerantDouble("  1e-3 "), 0.001);
    EXPECT_EQ(tolerantDouble("(2.5)"), -2.5);
    EXPECT_EQ(tolerantDouble("4-"), -4.0);
    EXPECT_EQ(tolerantDouble("+0.2"), 0.2);
    EXPECT_EQ(tolerantDouble("abc"), 0.0);
    EXPECT_EQ(tolerantDouble(""), 0.0);
    // Where the point groups thousands, "0,500" must still be a half, not 500.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(tolerantDouble("0,500"), 0.5);
    EXPECT_EQ(tolerantDouble("0.5"), 0.5);
}

TEST_F(WindowTest, DefaultDebyeHueckelRunNamesTheMostProbableComplex) {
    solveAndWait();
    EXPECT_TRUE(
        log().startsWith("Interpolating the energies of linear chains 'minus' and 'plus' from the tables ...... \n"
                         "Calculation of the energy of single chains with '+' and '-' charge is finished\n"
                         "Starting calculation of the potential by Debye Huckel approximation\n"
                         "the free concentrations imply 492 chains per a³ of each kind in complexes: no solution "
                         "holds that; use total mode\n" +
                         QString::fromStdString(marlinq::beyondDebyeHueckelMessage(2)) +
                         "\nFinished calculation of the potential by Debye Huckel approximation\n"))
        << log().toStdString();
    EXPECT_TRUE(log().endsWith("Finished calculation of the spheres free energy\n")) << log().toStdString();
    EXPECT_FALSE(stopButtonOf(*form)->isEnabled());
    const auto result = runControllerOf(*form).result();
    ASSERT_TRUE(result && result->hasResults());
    const auto [mp, mm] = mostProbableCell(*result).value();
    EXPECT_EQ(resultLabelOf(*form, "mPlusOutput")->text(), QString::number(mp));
    EXPECT_EQ(resultLabelOf(*form, "mMinusOutput")->text(), QString::number(mm));
    EXPECT_FALSE(resultLabelOf(*form, "coreRadiusOutput")->text().isEmpty());
    EXPECT_FALSE(resultLabelOf(*form, "bareChargeOutput")->text().isEmpty());
    // The map is coloured, and the bars carry their labels.
    const QImage map = mapViewOf(*form).image();
    int coloured = 0;
    for (int y = 0; y < map.height(); y += 4)
        for (int x = 0; x < map.width(); x += 4) coloured += isMapColour(map.pixel(x, y)) ? 1 : 0;
    EXPECT_GT(coloured, 100);
    // The tooltip of a cell tells its complex.
    EXPECT_TRUE(mapViewOf(*form).toolTipAt(cellCentre(3, 5)).startsWith("M+ = 3, M- = 5\nconcentration (absValue): "));
}

TEST_F(WindowTest, PoissonBoltzmannRunReportsEveryRow) {
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 3, 0, 3);
    solveAndWait();
    EXPECT_EQ(log(), QStringLiteral("Interpolating the energies of linear chains 'minus' and 'plus' from the tables ...... \n"
                                    "Calculation of the energy of single chains with '+' and '-' charge is finished\n"
                                    "Row 0 is passed...\nRow 1 is passed...\nRow 2 is passed...\nRow 3 is passed...\n"
                                    "the free concentrations imply 153 chains per a³ of each kind in complexes: no "
                                    "solution holds that; use total mode\n"
                                    "the most probable complex (3, 3) lies on the edge of the M+ and M- ranges; "
                                    "enlarge them\n"
                                    "Finished calculation of the spheres free energy\n"))
        << log().toStdString();
    const auto result = runControllerOf(*form).result();
    ASSERT_TRUE(result && result->hasResults());
    EXPECT_EQ(result->index, 3);
    EXPECT_GT(result->absValue(1, 0), 0.0);         // the free '+' chains
    EXPECT_EQ(runProgressOf(*form)->maximum(), 4);  // rows done of the run
    EXPECT_EQ(runProgressOf(*form)->value(), 4);
    EXPECT_FALSE(resultLabelOf(*form, "mPlusOutput")->text().isEmpty());
}

TEST_F(WindowTest, StopEndsThePoissonBoltzmannRunAfterItsRowAndANewRunIsClean) {
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 400, 0, 400);  // long enough to be stopped while it runs
    solveButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return log().contains("Row 0 is passed..."); }));
    stopButtonOf(*form)->click();
    EXPECT_TRUE(solveButtonOf(*form)->isEnabled());  // at once, not when the job ends
    EXPECT_FALSE(stopButtonOf(*form)->isEnabled());
    EXPECT_TRUE(resultLabelOf(*form, "mPlusOutput")->text().isEmpty());
    EXPECT_EQ(runControllerOf(*form).result()->max_shift, 0.0);
    // A new run right away: the stopped job must not reach the new log or map.
    debyeHueckelBoxOf(*form)->setChecked(true);
    setRanges(0, 4, 0, 4);
    solveButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return !runControllerOf(*form).jobsRunning() && solveButtonOf(*form)->isEnabled(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(log().contains("Row ")) << log().toStdString();
    EXPECT_FALSE(log().contains("Cancelled!")) << log().toStdString();
    EXPECT_TRUE(log().endsWith("Finished calculation of the spheres free energy\n"));
    EXPECT_EQ(runControllerOf(*form).result()->params().mpMax, 4);
    EXPECT_FALSE(runControllerOf(*form).result()->byRows());
}

TEST_F(WindowTest, StoppedRunFinishesItsRowThenSaysCancelled) {
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 400, 0, 400);
    solveButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return log().contains("Row 0 is passed..."); }));
    stopButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return !runControllerOf(*form).jobsRunning(); }));
    QCoreApplication::processEvents();
    // The log says how much of the result there is, and ends as a stopped run does.
    EXPECT_TRUE(log().contains(
        QRegularExpression("is passed...\n(the free concentrations imply [^\n]*\n)?"
                           "The result is partial: \\d+ of 401 rows were computed.\nCancelled!\n$")))
        << log().toStdString();
    EXPECT_FALSE(log().contains("Finished calculation of the spheres free energy"));
    // Pending columns are grey on the map, computed ones coloured.
    const auto result = runControllerOf(*form).result();
    ASSERT_LT(result->index, 400);
    if (!mapViewOf(*form).showsWholeRange()) actionOf(*form, "wholeRangeAction")->trigger();
    ASSERT_TRUE(mapViewOf(*form).showsWholeRange());
    const QPoint pending = cellCentre(400, 5);
    EXPECT_EQ(QColor(mapViewOf(*form).image().pixel(pending)), QColor(224, 224, 224));
}

TEST_F(WindowTest, ClosingTheWindowDuringARunCancelsItWithoutHanging) {
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 10, 0, 10);
    solveButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return log().contains("Row 0 is passed..."); }));
    form->close();
    form.reset();  // joins the job: returns once the running row is done
    SUCCEED();
}

TEST_F(WindowTest, DoubleClickOpensTheProfilesOfACell) {
    doubleClickMap(*form, cellCentre(3, 5));
    EXPECT_TRUE(chartWindows().empty());  // nothing before a run
    solveAndWait();
    doubleClickMap(*form, cellCentre(3, 5));
    auto charts = chartWindows();
    ASSERT_EQ(charts.size(), 1U);
    EXPECT_EQ(charts[0]->windowTitle(), QStringLiteral("Complex (3,5)"));
    QCoreApplication::processEvents();
    EXPECT_EQ(charts[0]->chart(ProfileChartWindow::PotentialChart)->series().size(), 2);
    charts[0]->close();
    QCoreApplication::processEvents();

    // The chart follows the method of the result it belongs to, not the box as it is now.
    debyeHueckelBoxOf(*form)->setChecked(false);
    doubleClickMap(*form, cellCentre(3, 5));
    charts = chartWindows();
    ASSERT_EQ(charts.size(), 1U);
    QCoreApplication::processEvents();
    EXPECT_EQ(charts[0]->chart(ProfileChartWindow::PotentialChart)->series().size(), 2);
    charts[0]->close();
    QCoreApplication::processEvents();
    solveAndWait();
    doubleClickMap(*form, cellCentre(3, 5));
    charts = chartWindows();
    ASSERT_EQ(charts.size(), 1U);
    QCoreApplication::processEvents();
    EXPECT_EQ(charts[0]->chart(ProfileChartWindow::PotentialChart)->series().size(), 1);
    charts[0]->close();
    QCoreApplication::processEvents();

    doubleClickMap(*form, cellCentre(0, 5));  // column M+ = 0
    doubleClickMap(*form, cellCentre(4, 0));  // row M- = 0
    EXPECT_TRUE(chartWindows().empty());

    // A profile the kernel cannot compute (every pivot counted as vanishing) is a log
    // line, and the window goes on.
    setVanishingPivotBound(1e300);
    doubleClickMap(*form, cellCentre(3, 5));
    setVanishingPivotBound(1e-300);
    EXPECT_TRUE(chartWindows().empty());
    EXPECT_TRUE(
        log().endsWith("The profile of the complex (3, 5) could not be computed: a numerical error (close to 0!).\n"))
        << log().toStdString();
}

TEST_F(WindowTest, MapRedrawRejectsUnknownColourCodesAndAZeroCore) {
    solveAndWait();
    const QImage before = mapViewOf(*form).image();
    auto rec = std::make_shared<RunResult>(*runControllerOf(*form).result());
    rec->absValue(2, 2) = rec->maxValue * 1.1;  // beyond class 20
    formMapData(*rec);
    runControllerOf(*form).setResult(rec);
    form->redraw();
    EXPECT_EQ(dialogs->messages, QStringList{"a->color is greater than 20"});
    EXPECT_EQ(mapViewOf(*form).image(), before);

    // A '-' chain alone with charged lengths 0: the core radius is 0.
    rec = std::make_shared<RunResult>(*runControllerOf(*form).result());
    auto request = std::make_shared<RunRequest>(rec->request());
    request->plusLength = request->minusLength = 0.0;
    rec->answer(request);
    rec->absValue = Grid<double>(11, 11);
    rec->absValue(0, 1) = rec->maxValue = 1.0;
    formMapData(*rec);
    dialogs->messages.clear();
    resultLabelOf(*form, "coreRadiusOutput")->setText("kept");
    runControllerOf(*form).setResult(rec);
    form->redraw();
    EXPECT_EQ(dialogs->messages, QStringList{"The complex (0, 1) has a core radius of 0 (its charged blocks have no "
                                             "length): its core radius, charge per radius and picture cannot be shown"});
    EXPECT_EQ(resultLabelOf(*form, "mPlusOutput")->text(), "0");
    EXPECT_EQ(resultLabelOf(*form, "mMinusOutput")->text(), "1");
    EXPECT_EQ(resultLabelOf(*form, "coreRadiusOutput")->text(), "kept");
}

TEST_F(WindowTest, HelpOpensANewAboutWindowPerClick) {
    actionOf(*form, "helpAction")->trigger();
    actionOf(*form, "helpAction")->trigger();
    int about = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<AboutWindow*>(w) && w->isVisible()) ++about;
    EXPECT_EQ(about, 2);
}

TEST_F(WindowTest, AFailedChainStageIsReportedAndTheWindowCanRunAgain) {
    QTemporaryDir empty;
    form->setDataSearch(marlinq::DataSearch{empty.path().toStdString(), ""});
    solveButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return !runControllerOf(*form).jobsRunning(); }));
    ASSERT_TRUE(waitFor([&] { return !dialogs->messages.isEmpty(); }, 2000));
    EXPECT_TRUE(dialogs->messages.front().contains("Chains_values")) << dialogs->messages.front().toStdString();
    EXPECT_TRUE(log().contains(dialogs->messages.front()));
    EXPECT_TRUE(solveButtonOf(*form)->isEnabled());
    form->setDataSearch(marlinq::DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
    dialogs->messages.clear();
    solveAndWait();
    EXPECT_TRUE(log().endsWith("Finished calculation of the spheres free energy\n"));
}

TEST_F(WindowTest, KeyboardShortcutsSolveStopAndReachTheMenus) {
    EXPECT_EQ(actionOf(*form, "loadParametersAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(actionOf(*form, "saveParametersAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(actionOf(*form, "saveDistributionAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));
    EXPECT_EQ(actionOf(*form, "exitAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 400, 0, 400);
    QTest::keyClick(form.get(), Qt::Key_F5);
    EXPECT_FALSE(solveButtonOf(*form)->isEnabled());
    ASSERT_TRUE(waitFor([&] { return log().contains("Row 0 is passed..."); }));
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_TRUE(solveButtonOf(*form)->isEnabled());
    ASSERT_TRUE(waitFor([&] { return !runControllerOf(*form).jobsRunning(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(log().endsWith("Cancelled!\n"));
}

namespace {

// A finished result with one cell at the top of the distribution and one at a thousandth
// of it; everything else empty.
std::shared_ptr<RunResult> twoCellResult(const RunResult& from) {
    auto rec = std::make_shared<RunResult>(from);
    rec->absValue = Grid<double>(11, 11);
    rec->Value = Grid<double>(11, 11);
    rec->absValue(5, 5) = 1.0;
    rec->absValue(2, 3) = 1e-3;
    rec->sum = 1.001;
    rec->maxValue = 1.0;
    rec->normalised = true;
    formMapData(*rec);
    return rec;
}

}  // namespace

TEST_F(WindowTest, LogarithmicColoursShowAThousandthOfTheLargestAndAreRemembered) {
    solveAndWait();
    runControllerOf(*form).setResult(twoCellResult(*runControllerOf(*form).result()));
    form->redraw();
    const auto colourAt = [&](int mp, int mm) { return QColor(mapViewOf(*form).image().pixel(cellCentre(mp, mm))); };
    EXPECT_EQ(colourAt(2, 3), QColor(255, 255, 255));  // linear: under a twentieth is white
    EXPECT_TRUE(mapViewOf(*form).toolTipAt(cellCentre(2, 3)).contains("colour class 0 of 20 (linear scale)"));

    actionOf(*form, "logColoursAction")->trigger();
    EXPECT_TRUE(mapViewOf(*form).colourScale().logarithmic);
    EXPECT_TRUE(mapPart<QCheckBox>(*form, "logColoursBox")->isChecked());
    EXPECT_EQ(colourAt(2, 3), QColor(0, 255, 0));  // class 10 of six decades
    EXPECT_EQ(colourAt(5, 5), QColor(255, 0, 0));
    EXPECT_TRUE(
        mapViewOf(*form).toolTipAt(cellCentre(2, 3)).contains("colour class 10 of 20 (logarithmic scale): share "))
        << mapViewOf(*form).toolTipAt(cellCentre(2, 3)).toStdString();
    // The most probable complex is the same on either scale.
    EXPECT_EQ(resultLabelOf(*form, "mPlusOutput")->text(), "5");

    mapPart<QSpinBox>(*form, "decadesSpinBox")->setValue(2);
    EXPECT_EQ(colourAt(2, 3), QColor(255, 255, 255));
    mapPart<QSpinBox>(*form, "decadesSpinBox")->setValue(4);

    // A new window starts with the scale last chosen.
    MainWindow second;
    EXPECT_TRUE(mapViewOf(second).colourScale().logarithmic);
    EXPECT_EQ(mapViewOf(second).colourScale().decades, 4);
    EXPECT_TRUE(actionOf(second, "logColoursAction")->isChecked());
}

TEST_F(WindowTest, LargeRangeShowsItsPopulatedRegionAndTheZoomedMapStillOpensTheRightComplex) {
    setRanges(0, 300, 0, 300);
    solveAndWait();
    // The weight of the default set sits near the origin: the map shows that corner.
    EXPECT_FALSE(mapViewOf(*form).showsWholeRange());
    EXPECT_TRUE(mapPart(*form, "mapStatusLabel")->text().startsWith("Populated region: M+ 0.."))
        << mapPart(*form, "mapStatusLabel")->text().toStdString();
    EXPECT_TRUE(mapPart<QToolButton>(*form, "wholeRangeButton")->isEnabled());
    EXPECT_FALSE(mapPart<QToolButton>(*form, "wholeRangeButton")->isChecked());
    mapPart<QToolButton>(*form, "wholeRangeButton")->click();
    EXPECT_TRUE(mapViewOf(*form).showsWholeRange());
    EXPECT_EQ(mapViewOf(*form).cells().size(), 301U * 301U);
    mapPart<QToolButton>(*form, "wholeRangeButton")->click();
    EXPECT_FALSE(mapViewOf(*form).showsWholeRange());

    mapViewOf(*form).setWindow(CellWindow{3, 12, 2, 9});
    EXPECT_EQ(mapViewOf(*form).cells().size(), 80U);
    // The most probable complex keeps its black outline in the zoomed map.
    const int bestMp = resultLabelOf(*form, "mPlusOutput")->text().toInt(),
              bestMm = resultLabelOf(*form, "mMinusOutput")->text().toInt();
    ASSERT_TRUE(bestMp >= 3 && bestMp <= 12 && bestMm >= 2 && bestMm <= 9) << bestMp << "," << bestMm;
    const QPoint best = cellCentre(bestMp, bestMm);
    const int edge = static_cast<int>(mapViewOf(*form).cells().geometry().cellX(bestMp - 3)) + 1;
    EXPECT_EQ(QColor(mapViewOf(*form).image().pixel(edge, best.y())), QColor(Qt::black));
    EXPECT_NE(QColor(mapViewOf(*form).image().pixel(best)), QColor(Qt::black));
    const QPoint at = cellCentre(7, 5);
    EXPECT_TRUE(mapViewOf(*form).toolTipAt(at).startsWith("M+ = 7, M- = 5\n"))
        << mapViewOf(*form).toolTipAt(at).toStdString();
    doubleClickMap(*form, at);
    auto charts = chartWindows();
    ASSERT_EQ(charts.size(), 1U);
    EXPECT_EQ(charts[0]->windowTitle(), QStringLiteral("Complex (7,5)"));
    charts[0]->close();
    QCoreApplication::processEvents();

    // The wheel zooms about the cell under the mouse; a drag pans.
    QWheelEvent wheel(QPointF(at), mapPart(*form, "mapPicture")->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(mapPart(*form, "mapPicture"), &wheel);
    const CellWindow zoomed = mapViewOf(*form).window();
    EXPECT_LT(zoomed.rows(), 10);
    EXPECT_TRUE(zoomed.row0 <= 7 && 7 <= zoomed.row1 && zoomed.col0 <= 5 && 5 <= zoomed.col1);
    const double cell = mapViewOf(*form).cells().geometry().cw;
    const QPoint start = cellCentre(7, 5);
    QTest::mousePress(mapPart(*form, "mapPicture"), Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(mapPart(*form, "mapPicture"), start + QPoint(static_cast<int>(-2 * cell), 0));
    QTest::mouseRelease(mapPart(*form, "mapPicture"), Qt::LeftButton, Qt::NoModifier,
                        start + QPoint(static_cast<int>(-2 * cell), 0));
    EXPECT_EQ(mapViewOf(*form).window().row0, zoomed.row0 + 2);
    EXPECT_EQ(mapViewOf(*form).window().rows(), zoomed.rows());
}

TEST_F(WindowTest, LinearDebyeHueckelChoiceRunsTheClosedForm) {
    // The choice belongs to the Debye-Hueckel method: off and greyed until that is ticked.
    EXPECT_FALSE(childOf<QCheckBox>(*form, "linearDebyeHueckelBox")->isChecked());
    EXPECT_TRUE(childOf<QCheckBox>(*form, "linearDebyeHueckelBox")->isEnabled());
    EXPECT_TRUE(debyeHueckelBoxOf(*form)->toolTip().contains("linearised"))
        << debyeHueckelBoxOf(*form)->toolTip().toStdString();
    debyeHueckelBoxOf(*form)->setChecked(false);
    EXPECT_FALSE(childOf<QCheckBox>(*form, "linearDebyeHueckelBox")->isEnabled());
    debyeHueckelBoxOf(*form)->setChecked(true);
    childOf<QCheckBox>(*form, "linearDebyeHueckelBox")->setChecked(true);
    solveAndWait();
    const auto result = runControllerOf(*form).result();
    ASSERT_TRUE(result && result->hasResults() && !result->energies.empty());
    EXPECT_EQ(result->request().method, Method::DebyeHueckelLinear);
    // (1, 3) of the start-up chains: 101.11 kT in linear theory (566.8 kT by "DH approximation").
    EXPECT_NEAR(result->energies.F(1, 3), 101.11, 0.01);
    childOf<QCheckBox>(*form, "linearDebyeHueckelBox")->setChecked(false);
    solveAndWait();
    EXPECT_NEAR(runControllerOf(*form).result()->energies.F(1, 3), 566.8, 0.1);
}

TEST_F(WindowTest, ASetShownInTheFieldsDrawsItsChainAndStartsItsNumbers) {
    // The start-up set as a file or a sweep point shows it: the '+' sketch as "Get" draws it,
    // 72 charged segments against the longest block (200) over 150 px: 54 px, not a dot.
    ParameterSet set = startupParameterSet();
    set.params.ka = 0.23845046936787;
    parameterForm().setValue(set);
    EXPECT_EQ(label("plusChargedBlock")->width(), 54);
    const int loaded = label("plusChargedBlock")->width();
    button("plusDensityButton")->click();
    EXPECT_EQ(label("plusChargedBlock")->width(), loaded);
    // A long number shows its first digits (the field scrolled to its start), all of it kept.
    EXPECT_EQ(field("saltField")->cursorPosition(), 0);
    EXPECT_EQ(field("saltField")->text(), QStringLiteral("0.23845046936787"));
}

TEST_F(WindowTest, TheMapHeaderSaysNoRegionBeforeTheRunHasEndedAndTheButtonSaysWhatItDoes) {
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 300, 0, 300);
    solveButtonOf(*form)->click();
    // While rows come the populated region is not known yet.
    QStringList headers;
    ASSERT_TRUE(waitFor(
        [&] {
            headers << mapPart(*form, "mapStatusLabel")->toolTip();
            return !runControllerOf(*form).jobsRunning() && solveButtonOf(*form)->isEnabled();
        },
        300000));
    QCoreApplication::processEvents();
    for (const QString& h : headers.mid(0, headers.size() - 1))
        EXPECT_FALSE(h.contains(QStringLiteral("populated region"))) << h.toStdString();
    // Done: the populated region is shown, and the button offers the whole range.
    EXPECT_FALSE(mapViewOf(*form).showsWholeRange());
    EXPECT_EQ(mapPart<QToolButton>(*form, "wholeRangeButton")->text(), QStringLiteral("Whole range"));
    mapPart<QToolButton>(*form, "wholeRangeButton")->click();
    EXPECT_TRUE(mapViewOf(*form).showsWholeRange());
    EXPECT_EQ(mapPart<QToolButton>(*form, "wholeRangeButton")->text(), QStringLiteral("Populated region"));
    mapPart<QToolButton>(*form, "wholeRangeButton")->click();
    EXPECT_EQ(mapPart<QToolButton>(*form, "wholeRangeButton")->text(), QStringLiteral("Whole range"));
}

TEST_F(WindowTest, ALargeDebyeHueckelRunShowsATimeEstimate) {
    debyeHueckelBoxOf(*form)->setChecked(true);
    childOf<QCheckBox>(*form, "linearDebyeHueckelBox")->setChecked(true);
    setRanges(0, 499, 0, 499);
    solveButtonOf(*form)->click();
    const QString shown = form->statusBar()->currentMessage();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Running ... 249,001 complexes: about "))) << shown.toStdString();
    ASSERT_TRUE(waitFor([&] { return !runControllerOf(*form).jobsRunning() && solveButtonOf(*form)->isEnabled(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->statusBar()->currentMessage().startsWith(QStringLiteral("Last run took ")));
    // A small map has no estimate.
    setRanges(0, 10, 0, 10);
    solveButtonOf(*form)->click();
    EXPECT_EQ(form->statusBar()->currentMessage(), QStringLiteral("Running ..."));
    ASSERT_TRUE(waitFor([&] { return !runControllerOf(*form).jobsRunning() && solveButtonOf(*form)->isEnabled(); }));
}

// A Debye-Hueckel run has no rows: stopped, it counts the complexes it computed, in the
// panel and in the name a save offers.
TEST_F(WindowTest, AStoppedDebyeHueckelRunCountsComplexesNotRows) {
    debyeHueckelBoxOf(*form)->setChecked(true);
    setRanges(0, 1000, 0, 1000);  // a million complexes: far from done when the stop comes
    solveButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return log().contains("Starting calculation of the potential by Debye Huckel"); }));
    stopButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return !runControllerOf(*form).jobsRunning(); }));
    QCoreApplication::processEvents();
    const QString said = resultLabelOf(*form, "partialLabel")->text();
    EXPECT_TRUE(QRegularExpression("^Partial result: \\d+ of 1000000 complexes$").match(said).hasMatch())
        << said.toStdString();
    dialogs->saveAnswer.clear();
    actionOf(*form, "saveDistributionAction")->trigger();
    EXPECT_TRUE(QRegularExpression("distribution-partial-\\d+-of-1000000-complexes\\.txt$")
                    .match(dialogs->lastDirectory)
                    .hasMatch())
        << dialogs->lastDirectory.toStdString();
}

TEST_F(WindowTest, TheObservablesTabFitsItsColumnWithASegmentSize) {
    solveAndWait();
    field("segmentSizeField")->setText(QStringLiteral("0.714"));
    auto* tabs = form->findChild<QTabWidget*>(QStringLiteral("resultTabs"));
    tabs->setCurrentIndex(1);
    QCoreApplication::processEvents();
    auto* scroll = form->findChild<QScrollArea*>(QStringLiteral("observablesScroll"));
    ASSERT_NE(scroll, nullptr);
    // Nothing is cut at the right: the panel fits the tab's width, every text its label.
    EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width());
    for (QLabel* label : scroll->widget()->findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty()) continue;
        const QRect inPanel(label->mapTo(scroll->widget(), QPoint(0, 0)), label->size());
        EXPECT_LE(inPanel.right(), scroll->viewport()->width()) << label->objectName().toStdString();
        if (!label->wordWrap())
            EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();
    }
}
