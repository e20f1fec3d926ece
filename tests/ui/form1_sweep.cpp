// The observables panel and the sweep window, driven from the main window.
#include "form1_support.h"

#include "pipeline/Observables.h"
#include "ui/MapModel.h"
#include "ui/ObservablesPanel.h"
#include "ui/SweepWindow.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileInfo>
#include <QProgressBar>
#include <QScatterSeries>
#include <QSignalSpy>

using namespace marlinq;
using namespace marlinq::ui;
using namespace marlinq::ui::testing;

namespace {

SweepWindow* openSweepWindow(Form1& form) {
    form.sweepToolStripMenuItem->trigger();
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
    form->checkBox2->setChecked(false);
    form->textBox5->setText(QStringLiteral("1"));
    form->textBox7->setText(QStringLiteral("3"));
    solveAndWait();
    EXPECT_EQ(panel->valueLabel("most_probable")->text(), QStringLiteral("tie: (0, 1), (1, 0)"));
    EXPECT_EQ(panel->valueLabel("most_probable_complex")->text(), QStringLiteral("(1, 1)"));
    EXPECT_TRUE(log().contains(QStringLiteral("Most probable: a tie of (0, 1) and (1, 0), which hold the same weight")))
        << log().toStdString();
    SweepWindow* sweep = openSweepWindow(*form);
    ASSERT_NE(sweep, nullptr);
    EXPECT_EQ(sweep->observableBox->currentData().toString(), QStringLiteral("most_probable_complex_mp"));
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
        form->checkBox2->setChecked(dh);
        form->textBox4->setText(QString::fromLatin1(zn));
        solveAndWait();
        const ResultSnapshot rec = form->currentResult();
        const Observables o = computeObservables(*rec);
        ASSERT_TRUE(o.mostProbable);
        EXPECT_EQ(weightClasses(rec->absValue, rec->maxValue)(o.mostProbable->first - rec->mpMin,
                                                              o.mostProbable->second - rec->mmMin),
                  20);
        EXPECT_EQ(panel->valueLabel("most_probable")->text(),
                  QStringLiteral("(%1, %2)").arg(form->label21->text(), form->label61->text()));
    }
    form->textBox4->setText(QStringLiteral("18"));
    form->checkBox2->setChecked(true);
    solveAndWait();
    EXPECT_EQ(panel->valueLabel("most_probable")->text(), QStringLiteral("(4, 4)"));
    EXPECT_EQ(panel->valueLabel("salt_mM")->text(), QStringLiteral("-"));
    // a = 0.714 nm: ka 0.2 is 7.26 mM, Rc(4, 4) = 5.1615 a = 3.685 nm.
    panel->unitBox->setText(QStringLiteral("0.714"));
    EXPECT_EQ(panel->valueLabel("salt_mM")->text(), QStringLiteral("7.261"));
    EXPECT_EQ(panel->valueLabel("core_radius_nm")->text(), QStringLiteral("3.685"));
    // Save Free Energies: one row per complex of 1..10 x 1..10 after the two header lines.
    dialogs->saveAnswer = dir.filePath(QStringLiteral("fe.csv"));
    ASSERT_TRUE(panel->saveFreeEnergiesButton->isEnabled());
    panel->saveFreeEnergiesButton->click();
    const QList<QByteArray> lines = fileText(dialogs->saveAnswer).split('\n');
    ASSERT_EQ(lines.size(), 2 + 100 + 1);
    EXPECT_TRUE(lines[0].startsWith("# f_plus="));
    EXPECT_EQ(lines[1], QByteArray("mp,mm,F,E,absValue,Value,beyond_dh"));
}

TEST_F(WindowTest, SweepWindowRunsChartsLoadsAPointAndSaves) {
    SweepWindow* sweep = openSweepWindow(*form);
    ASSERT_NE(sweep, nullptr);
    EXPECT_EQ(sweep->firstNameBox->currentText(), QStringLiteral("ka"));
    // Every widget of the window and of the panel carries a name.
    for (QWidget* root : {static_cast<QWidget*>(sweep), form->findChild<QWidget*>(QStringLiteral("observablesPanel"))})
        for (QWidget* w : root->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_FALSE(w->objectName().isEmpty()) << w->metaObject()->className();
    sweep->firstValuesBox->setText(QStringLiteral("0.3,0.1,0.5"));
    QSignalSpy ended(sweep, &SweepWindow::sweepEnded);
    sweep->runButton->click();
    EXPECT_FALSE(sweep->runButton->isEnabled());
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    ASSERT_EQ(sweep->points().size(), 3u);
    EXPECT_EQ(sweep->points()[1].status, "Stable solution is only for ka between 0.2 and 10");
    EXPECT_EQ(sweep->progressBar->value(), 3);
    // The chart shows the two points that ran.
    QScatterSeries* dots = nullptr;
    for (QAbstractSeries* s : sweep->chartView->chart()->series())
        if (auto* d = qobject_cast<QScatterSeries*>(s)) dots = d;
    ASSERT_NE(dots, nullptr);
    EXPECT_EQ(dots->count(), 2);
    // A clicked point lands in the main window's fields.
    sweep->choosePoint(2);
    EXPECT_EQ(form->textBox7->text(), QStringLiteral("0.5"));
    sweep->choosePoint(1);  // refused: nothing to load
    EXPECT_EQ(form->textBox7->text(), QStringLiteral("0.5"));

    const QString csv = dir.filePath(QStringLiteral("sweep.csv"));
    QString error;
    ASSERT_TRUE(sweep->saveCsv(csv, &error)) << error.toStdString();
    EXPECT_EQ(fileText(csv).count('\n'), 4);
    EXPECT_TRUE(fileText(csv).startsWith("index,ka,most_probable_mp,"));
    ASSERT_TRUE(sweep->savePng(dir.filePath(QStringLiteral("sweep.png"))));
    ASSERT_TRUE(sweep->saveSvg(dir.filePath(QStringLiteral("sweep.svg"))));
    EXPECT_GT(QFileInfo(dir.filePath(QStringLiteral("sweep.png"))).size(), 1000);
    EXPECT_TRUE(fileText(dir.filePath(QStringLiteral("sweep.svg"))).contains("<svg"));
}

TEST_F(WindowTest, SweepWindowTwoParametersAndStop) {
    SweepWindow* sweep = openSweepWindow(*form);
    ASSERT_NE(sweep, nullptr);
    sweep->firstValuesBox->setText(QStringLiteral("0.2:1:3"));
    sweep->secondCheck->setChecked(true);
    sweep->secondNameBox->setCurrentText(QStringLiteral("vc10"));
    sweep->secondValuesBox->setText(QStringLiteral("1e-3,1e-2"));
    QSignalSpy ended(sweep, &SweepWindow::sweepEnded);
    sweep->runButton->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    ASSERT_EQ(sweep->points().size(), 6u);
    EXPECT_EQ(sweep->points()[1].values, (std::vector<double>{0.2, 1e-2}));
    ASSERT_TRUE(sweep->savePng(dir.filePath(QStringLiteral("map.png"))));

    // A long Poisson-Boltzmann sweep stops after the point under way.
    sweep->secondCheck->setChecked(false);
    sweep->methodBox->setCurrentIndex(1);
    sweep->firstValuesBox->setText(QStringLiteral("0.2:10:5000"));
    sweep->runButton->click();
    ASSERT_TRUE(waitFor([&] { return sweep->points().size() >= 2; }));
    sweep->stopButton->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 2; }));
    EXPECT_LT(sweep->points().size(), 5000u);
    EXPECT_TRUE(sweep->statusLabel->text().startsWith(QStringLiteral("Stopped")));
    // A bad VALUES text is refused before anything runs.
    sweep->firstValuesBox->setText(QStringLiteral("1:2"));
    EXPECT_FALSE(sweep->start());
    EXPECT_FALSE(sweep->statusLabel->text().isEmpty());
    // So is a plan whose two parameters are one, by the check every front end uses.
    sweep->firstValuesBox->setText(QStringLiteral("0.3,0.5"));
    sweep->secondCheck->setChecked(true);
    sweep->secondNameBox->setCurrentText(QStringLiteral("ka"));
    sweep->secondValuesBox->setText(QStringLiteral("0.4"));
    EXPECT_FALSE(sweep->start());
    EXPECT_EQ(sweep->statusLabel->text(), QStringLiteral("two swept names set the same parameter (ka, ka)"));
    EXPECT_FALSE(sweep->running());
}
