// What the window does with inputs and results that could lose data or hide a doubt:
// saving under a comma locale, tables of gigabytes, stopped runs, notes on loaded files,
// the share of a free chain and the sliders at start-up.
#include "main_window_support.h"

#include "CommaLocale.h"

#include "ui/MapModel.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSlider>

#include <cmath>

namespace marlinq::ui::testing {
namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST_F(WindowTest, SaveParametersUnderACommaLocaleTakesWhatSolveTakes) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    // The start-up fields say "0.2" and "1e-3", as Solve reads them in any locale.
    dialogs->saveAnswer = dir.filePath("comma.txt");
    actionOf(*form, "saveParametersAction")->trigger();
    EXPECT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(" | ").toStdString();
    const QByteArray text = readAll(dialogs->saveAnswer);
    EXPECT_TRUE(text.contains("\nka 0.2\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("vc10 0.001\n")) << text.toStdString();
    // A field without any number is still refused, with the message of "Solve".
    field("saltField")->setText("abc");
    actionOf(*form, "saveParametersAction")->trigger();
    EXPECT_EQ(dialogs->messages, QStringList{"Stable solution is only for ka between 0.2 and 10"});
}

// A window opened on a German desktop: every number field, the start-up concentrations
// included, shows a decimal comma, and the files it saves keep the point.
TEST_F(WindowTest, ACommaDesktopShowsCommasInEveryFieldAndSavesPoints) {
    MARLINQ_REQUIRE_COMMA_LOCALE(cLocale);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    form = std::make_unique<MainWindow>();
    form->setDataSearch(marlinq::DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
    form->show();
    EXPECT_EQ(field("plusConcentrationField")->text(), "0,001");
    EXPECT_EQ(field("minusConcentrationField")->text(), "0,001");
    QStringList decimals;
    for (const QLineEdit* f : form->findChildren<QLineEdit*>()) {
        if (!f->isVisible() || f->text().isEmpty() || !f->text().front().isDigit()) continue;
        EXPECT_FALSE(f->text().contains(QLatin1Char('.'))) << f->objectName().toStdString() << ": " << f->text().toStdString();
        if (f->text().contains(QLatin1Char(','))) decimals.append(f->objectName());
    }
    decimals.sort();
    EXPECT_EQ(decimals.join(QLatin1Char(' ')), "minusConcentrationField plusConcentrationField saltField");
    solveAndWait();
    for (const QLineEdit* f : form->findChildren<QLineEdit*>()) {
        if (!f->isVisible() || !f->isReadOnly() || f->text().isEmpty() || !f->text().front().isDigit()) continue;
        EXPECT_FALSE(f->text().contains(QLatin1Char('.'))) << f->objectName().toStdString() << ": " << f->text().toStdString();
    }

    dialogs->saveAnswer = dir.filePath("comma.in");
    actionOf(*form, "saveParametersAction")->trigger();
    EXPECT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(" | ").toStdString();
    const QByteArray text = readAll(dialogs->saveAnswer);
    EXPECT_TRUE(text.contains("vc10 0.001\nvc01 0.001\n") || (text.contains("vc10 0.001\n") && text.contains("vc01 0.001\n")))
        << text.toStdString();
    EXPECT_TRUE(text.contains("\nka 0.2\n")) << text.toStdString();
    EXPECT_FALSE(text.contains(',')) << text.toStdString();
}

TEST_F(WindowTest, AGigabyteTableIsNeverWrittenBySurprise) {
    setRanges(99990, 100000, 99990, 100000);  // 121 cells, a table from M = 0 of ~19 GB
    solveAndWait();
    const QString path = dir.filePath("far.txt");
    dialogs->saveAnswer = path;
    dialogs->largeAnswer = UserDialogs::LargeFileChoice::Cancel;
    actionOf(*form, "saveDistributionAction")->trigger();
    ASSERT_EQ(dialogs->largeAsked.size(), 1);
    EXPECT_TRUE(dialogs->largeAsked.front().contains("MiB"));
    EXPECT_FALSE(QFile::exists(path));

    dialogs->largeAnswer = UserDialogs::LargeFileChoice::ShortForm;
    actionOf(*form, "saveDistributionAction")->trigger();
    const QList<QByteArray> lines = readAll(path).split('\n');
    ASSERT_GE(lines.size(), 122);
    EXPECT_EQ(lines.front(), "M+\tM-\tabsValue\tValue");
    EXPECT_TRUE(lines[1].startsWith("99990\t99990\t"));

    // The start-up map is small: no question.
    setRanges(0, 10, 0, 10);
    solveAndWait();
    actionOf(*form, "saveDistributionAction")->trigger();
    EXPECT_EQ(dialogs->largeAsked.size(), 2);
}

TEST_F(WindowTest, AStoppedRunSaysItIsPartialInThePanelAndTheFileName) {
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 400, 0, 400);
    solveButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return log().contains("Row 2 is passed..."); }));
    stopButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return !runControllerOf(*form).jobsRunning(); }));
    QCoreApplication::processEvents();
    ASSERT_TRUE(resultLabelOf(*form, "partialLabel")->isVisible());
    const QRegularExpression said("^Partial result: (\\d+) of 401 rows$");
    const auto match = said.match(resultLabelOf(*form, "partialLabel")->text());
    ASSERT_TRUE(match.hasMatch()) << resultLabelOf(*form, "partialLabel")->text().toStdString();
    dialogs->saveAnswer.clear();  // cancel: only the name offered matters
    actionOf(*form, "saveDistributionAction")->trigger();
    EXPECT_TRUE(dialogs->lastDirectory.endsWith("distribution-partial-" + match.captured(1) + "-of-401-rows.txt"))
        << dialogs->lastDirectory.toStdString();
    // A finished run is whole again.
    setRanges(0, 10, 0, 10);
    solveAndWait();
    EXPECT_FALSE(resultLabelOf(*form, "partialLabel")->isVisible());
}

TEST_F(WindowTest, LoadListsTheLinesItCouldNotFullyUse) {
    dialogs->openAnswer =
        writeFile("notes.in", "vc01 0.001\nkA 1.5\nzp 3O\nkiplus 0.25\nzn 18\nkiminus 0.25\nka 0.2\n");
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_TRUE(log().contains("notes.in:2: kA 1.5 — unknown key \"kA\"")) << log().toStdString();
    EXPECT_TRUE(log().contains("notes.in:3: zp 3O — value \"3O\" read only in part, as 3")) << log().toStdString();
    EXPECT_EQ(field("plusChargeField")->text(), "3");
}

TEST_F(WindowTest, FreeChainTooltipGivesItsShareAndTheSlidersMatchTheBoxes) {
    // The sliders stand where the boxes say at start-up.
    EXPECT_EQ(slider("plusLengthSlider")->value(), field("plusLengthField")->text().toInt());
    EXPECT_EQ(slider("plusChargeSlider")->value(), field("plusChargeField")->text().toInt());
    EXPECT_EQ(slider("plusNeutralSlider")->value(), field("plusNeutralField")->text().toInt());
    EXPECT_EQ(slider("minusLengthSlider")->value(), field("minusLengthField")->text().toInt());
    EXPECT_EQ(slider("minusChargeSlider")->value(), field("minusChargeField")->text().toInt());
    EXPECT_EQ(slider("minusNeutralSlider")->value(), field("minusNeutralField")->text().toInt());

    solveAndWait();
    const auto rec = runControllerOf(*form).result();
    double sum = 0.0;
    rec->absValue.forEach([&](double v) { sum += v; });
    // The lone '+' chain (1, 0): its concentration 1e-3 and its share of all weights.
    const QString tip = mapViewOf(*form).toolTipAt(cellCentre(1, 0));
    const std::string expected = cellTooltip(1, 0, 1e-3, 1e-3 / sum, false, '.');
    EXPECT_EQ(tip.toStdString().substr(0, expected.size()), expected) << tip.toStdString();
    EXPECT_LT(1e-3 / sum, 1e-3);  // not the concentration again
}

}  // namespace
}  // namespace marlinq::ui::testing
