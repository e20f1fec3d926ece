// The I(q) window: what it draws from a distribution, what it refuses, the files it saves,
// and (with MARLINQ_SCREENSHOT_DIR) its pictures at 1366 x 768 and 1920 x 1080.
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPixmap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "pipeline/Engine.h"
#include "pipeline/Structure.h"
#include "ui/ScatteringChartWindow.h"

#include <cmath>
#include <memory>

using marlinq::ui::ScatteringChartWindow;

namespace {

// The start-up polymers with longer neutral blocks, Debye-Hueckel, in free mode.
std::shared_ptr<const marlinq::RunResult> distribution() {
    using namespace marlinq;
    ParameterSet set = startupParameterSet();
    set.params.Np = 150;
    set.params.Nm = 150;
    set.params.mpMax = set.params.mmMax = 30;
    Parameters p;
    EXPECT_EQ(validate(set, p), std::nullopt);
    std::string why;
    const auto tables = loadTables(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""}, why);
    const RunOutcome run =
        runToCompletion(makeJobInput(p, set, RunOptions{Method::DebyeHueckel, Chains::Tables}, tables));
    return run.record;
}

TEST(ScatteringChart, DrawsTheCurveWithItsGuinierRadiusAndSavesIt) {
    const auto result = distribution();
    ASSERT_TRUE(result && result->hasResults());
    ScatteringChartWindow w(result, 0.714, 9000.0, 9000.0);
    ASSERT_EQ(w.curve().q.size(), 200u);
    // The chart is the curve of the engine, log-log, with R_g on it.
    const QChart* chart = w.chartView()->chart();
    ASSERT_EQ(chart->series().size(), 4);
    const auto* total = qobject_cast<const QLineSeries*>(chart->series().front());
    EXPECT_EQ(total->count(), 200);
    EXPECT_DOUBLE_EQ(total->at(0).y(), w.curve().intensity.front());
    EXPECT_GT(w.guinierRadiusNm(), 1.0);
    EXPECT_TRUE(chart->title().contains(QLocale().toString(w.guinierRadiusNm(), 'f', 2))) << chart->title().toStdString();
    // Theta solvent: a thinner corona, a smaller Guinier radius.
    const double good = w.guinierRadiusNm();
    w.solventBox()->setCurrentIndex(1);
    ASSERT_TRUE(w.compute());
    EXPECT_LT(w.guinierRadiusNm(), good);

    QTemporaryDir dir;
    ASSERT_TRUE(w.saveCsv(dir.filePath("iq.csv")));
    QFile csv(dir.filePath("iq.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readLine(), QByteArray("q,I,I_core,I_corona,I_free\n"));
    ASSERT_TRUE(w.savePng(dir.filePath("iq.png")));
    EXPECT_FALSE(QImage(dir.filePath("iq.png")).isNull());
    ASSERT_TRUE(w.saveSvg(dir.filePath("iq.svg")));
    EXPECT_FALSE(w.saveCsv(dir.filePath("no/such/folder/iq.csv")));

    // A field without a number, or no segment size: nothing drawn, the reason said.
    w.field(0)->setText(QStringLiteral("heavy"));
    EXPECT_FALSE(w.compute());
    ScatteringChartWindow noUnit(result, std::nullopt, 9000.0, 9000.0);
    EXPECT_TRUE(noUnit.curve().q.empty());
}

TEST(ScatteringChart, Screenshots) {
    const QString target = qEnvironmentVariable("MARLINQ_SCREENSHOT_DIR");
    if (target.isEmpty()) GTEST_SKIP() << "MARLINQ_SCREENSHOT_DIR not set";
    const auto result = distribution();
    for (const QSize size : {QSize(1366, 698), QSize(1920, 1010)}) {
        ScatteringChartWindow w(result, 0.714, 9000.0, 9000.0);
        w.field(2)->setText(QStringLiteral("0.36"));
        w.compute();
        w.resize(size);
        w.show();
        QApplication::processEvents();
        const QPixmap picture = w.grab();
        ASSERT_TRUE(picture.save(QDir(target).filePath(QStringLiteral("scattering-chart-%1.png").arg(size.width()))));
    }
}

}  // namespace
