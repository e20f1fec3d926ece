// Pictures of the main window for the documentation. Runs only when MARLINQ_SCREENSHOT_DIR
// names a folder, e.g. under a virtual display:
//   MARLINQ_SCREENSHOT_DIR=docs QT_QPA_PLATFORM=xcb xvfb-run -s "-screen 0 1600x1000x24"
//       build/tests/ui/test_ui_main_window --gtest_filter='Screenshots.*'
#include "main_window_support.h"

#include "ui/ObservablesPanel.h"
#include "ui/SweepWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QGuiApplication>
#include <QToolTip>
#include <QTabWidget>

#include <clocale>
#include <string>
#include <QToolButton>

using namespace marlinq;
using namespace marlinq::ui;
using namespace marlinq::ui::testing;

namespace {

// The size of the window in the pictures: `fallback` (as it opens on a 1366 x 768 screen, or
// a large one), or for a look at another screen MARLINQ_SCREENSHOT_SIZE, e.g. "1920x1010".
QSize shotSize(QSize fallback) {
    const QStringList parts = qEnvironmentVariable("MARLINQ_SCREENSHOT_SIZE").split(QLatin1Char('x'));
    if (parts.size() != 2) return fallback;
    bool wide = false, high = false;
    const QSize size(parts[0].toInt(&wide), parts[1].toInt(&high));
    return wide && high && !size.isEmpty() ? size : fallback;
}

class Screenshots : public WindowTest {
protected:
    void SetUp() override {
        target = qEnvironmentVariable("MARLINQ_SCREENSHOT_DIR");
        if (target.isEmpty()) GTEST_SKIP() << "MARLINQ_SCREENSHOT_DIR not set";
        WindowTest::SetUp();
        // The window as it opens on a 1366 x 768 screen.
        form->resize(shotSize(QSize(1366, 698)));
    }
    void shoot(const QString& name) {
        waitFor([] { return false; }, 300);  // let the window settle
        const QPixmap picture = form->grab();
        ASSERT_TRUE(picture.save(QDir(target).filePath(name)));
    }
    QString target;
};

}  // namespace

TEST_F(Screenshots, AtStartUp) { shoot("main-window-startup.png"); }

TEST_F(Screenshots, AfterTheDefaultRun) {
    solveAndWait();
    shoot("main-window.png");
    // The tooltip of the most probable cell is a window of its own: the screen is cut.
    const QPoint cell = cellCentre(4, 4);
    QToolTip::showText(mapPart(*form, "mapPicture")->mapToGlobal(cell), mapViewOf(*form).toolTipAt(cell),
                       mapPart(*form, "mapPicture"));
    waitFor([] { return false; }, 500);
    const QPoint corner = mapPart(*form, "mapPicture")->mapToGlobal(QPoint(0, 0));
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(
        0, corner.x(), corner.y() + cell.y() - 120, mapPart(*form, "mapPicture")->width() + 300, 260);
    ASSERT_TRUE(screen.save(QDir(target).filePath("map-tooltip.png")));
    QToolTip::hideText();
}

// The window on a German desktop (de_DE.UTF-8): decimal commas in every field, before and
// after the run.
TEST_F(Screenshots, UnderAGermanDesktop) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 locale not available";
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    form = std::make_unique<MainWindow>();
    form->setDataSearch(marlinq::DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
    form->resize(shotSize(QSize(1366, 698)));
    form->show();
    solveAndWait();
    shoot("window-de_DE.png");
    std::setlocale(LC_ALL, previous.c_str());
}

TEST_F(Screenshots, OnALargeScreen) {
    form->resize(shotSize(QSize(1600, 930)));
    solveAndWait();
    shoot("main-window-large.png");
}

TEST_F(Screenshots, PoissonBoltzmannOverALargeRangeWithLogarithmicColours) {
    form->resize(shotSize(QSize(1600, 930)));
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 300, 0, 300);
    actionOf(*form, "logColoursAction")->trigger();
    solveButtonOf(*form)->click();
    ASSERT_TRUE(
        waitFor([&] { return !runControllerOf(*form).jobsRunning() && solveButtonOf(*form)->isEnabled(); }, 3600000));
    QCoreApplication::processEvents();
    shoot("main-window-pb-log.png");
    ASSERT_TRUE(saveMapAs(QDir(target).filePath("map-figure.png"), false));
    ASSERT_TRUE(saveMapAs(QDir(target).filePath("map-figure.svg"), true));
    mapPart<QToolButton>(*form, "wholeRangeButton")->click();
    shoot("main-window-pb-whole.png");
}

TEST_F(Screenshots, AfterLoadingAnAsymmetricSet) {
    dialogs->openAnswer = writeFile("asymmetric.in",
                                    "vc01 0.002\nvc10 0.0005\nzp 24\nzn 12\nkiplus 0.5\n"
                                    "kiminus 0.3\nka 0.35\nNp 40\nNm 120\nmpMin 1\nmpMax 20\n"
                                    "mmMin 0\nmmMax 40\n");
    actionOf(*form, "loadParametersAction")->trigger();
    ASSERT_TRUE(dialogs->messages.isEmpty());
    solveAndWait();
    shoot("main-window-loaded.png");
}

TEST_F(Screenshots, AMapOfAThousandByAThousand) {
    setRanges(0, 999, 0, 999);
    actionOf(*form, "logColoursAction")->trigger();
    solveButtonOf(*form)->click();
    ASSERT_TRUE(
        waitFor([&] { return !runControllerOf(*form).jobsRunning() && solveButtonOf(*form)->isEnabled(); }, 3600000));
    QCoreApplication::processEvents();
    if (!mapViewOf(*form).showsWholeRange()) mapPart<QToolButton>(*form, "wholeRangeButton")->click();
    shoot("main-window-1000.png");
}

TEST_F(Screenshots, SweepWindowChartAndMap) {
    actionOf(*form, "sweepAction")->trigger();
    auto* sweep = form->findChild<SweepWindow*>(QStringLiteral("sweepWindow"));
    ASSERT_NE(sweep, nullptr);
    // The sweep window as it opens on a 1366 x 768 screen (nine tenths of it).
    sweep->resize(shotSize(QSize(1200, 691)));
    childOf<QComboBox>(*sweep, "observableBox")
        ->setCurrentIndex(childOf<QComboBox>(*sweep, "observableBox")->findData(QStringLiteral("mean_mp")));
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.2:10:40:log"));
    QSignalSpy ended(sweep, &SweepWindow::sweepEnded);
    childOf<QPushButton>(*sweep, "runSweepButton")->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }, 600000));
    waitFor([] { return false; }, 300);
    ASSERT_TRUE(sweep->grab().save(QDir(target).filePath("sweep-window.png")));
    ASSERT_TRUE(sweep->savePng(QDir(target).filePath("sweep-chart-saved.png")));
    childOf<QCheckBox>(*sweep, "secondCheck")->setChecked(true);
    childOf<QLineEdit>(*sweep, "firstValuesBox")->setText(QStringLiteral("0.2:10:16:log"));
    childOf<QComboBox>(*sweep, "secondNameBox")->setCurrentText(QStringLiteral("vc10"));
    childOf<QLineEdit>(*sweep, "secondValuesBox")->setText(QStringLiteral("1e-5:1e-2:10:log"));
    childOf<QPushButton>(*sweep, "runSweepButton")->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 2; }, 600000));
    waitFor([] { return false; }, 300);
    ASSERT_TRUE(sweep->grab().save(QDir(target).filePath("sweep-window-map.png")));
    ASSERT_TRUE(sweep->savePng(QDir(target).filePath("sweep-map-saved.png")));
}

TEST_F(Screenshots, ObservablesTabWithASegmentSize) {
    // High salt and equal chains: the tab names the lone chains' tie and the complexes' answer.
    debyeHueckelBoxOf(*form)->setChecked(false);
    field("minusNeutralField")->setText(QStringLiteral("1"));
    field("saltField")->setText(QStringLiteral("3"));
    solveAndWait();
    field("segmentSizeField")->setText(QStringLiteral("0.714"));
    form->findChild<QTabWidget*>(QStringLiteral("resultTabs"))->setCurrentIndex(1);
    // With the sensitivity estimated (the answers at -1 and +1 kT per chain).
    auto* panel = form->findChild<ObservablesPanel*>(QStringLiteral("observablesPanel"));
    QSignalSpy estimated(panel, &ObservablesPanel::sensitivityShown);
    form->findChild<QPushButton*>(QStringLiteral("sensitivityButton"))->click();
    ASSERT_TRUE(waitFor([&] { return estimated.count() == 1; }));
    shoot("main-window-observables.png");
    // Its end: the molar masses, the sizes and the sensitivity.
    auto* scroll = form->findChild<QScrollArea*>(QStringLiteral("observablesScroll"));
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    shoot("main-window-observables-end.png");
}
