// The main window's files: parameters saved and loaded, the distribution and the map
// exported, and the "Get" buttons and track bars that fill the same fields.
#include "main_window_support.h"
#include "pipeline/Observables.h"
#include "ui/MapModel.h"

#include <QRegularExpression>

#include "files/DistributionExport.h"
#include "pipeline/Version.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

using namespace marlinq;
using namespace marlinq::ui;
using namespace marlinq::ui::testing;

namespace {

QString readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
    return QString::fromUtf8(f.readAll());
}

const QByteArray kAsymmetric =
    "vc01 0.002\nvc10 0.0005\nzp 24\nzn 12\nkiplus 0.5\nkiminus 0.3\nka 0.35\nNp 40\nNm 120\n"
    "mpMin 1\nmpMax 8\nmmMin 2\nmmMax 14\n";

}  // namespace

TEST_F(WindowTest, SaveDistributionAsksFirstThenNeedsResults) {
    const QString path = dir.filePath("matrix.txt");
    dialogs->saveAnswer = path;
    actionOf(*form, "saveDistributionAction")->trigger();
    EXPECT_EQ(dialogs->saveAsked, 1);
    EXPECT_EQ(dialogs->lastTitle, "Save Matrix");
    EXPECT_EQ(dialogs->lastFilter, "Text file (*.txt)");
    EXPECT_EQ(dialogs->messages, QStringList{"No results generated, please check your input parameters."});
    EXPECT_FALSE(QFile::exists(path));

    dialogs->messages.clear();
    solveAndWait();
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));  // the user's decimal comma
    actionOf(*form, "saveDistributionAction")->trigger();
    const QStringList lines = readAll(path).split('\n');
    ASSERT_EQ(lines.size(), 12);  // 11 rows and the empty rest after the last line feed
    EXPECT_TRUE(lines.last().isEmpty());
    for (int r = 0; r < 11; ++r) {
        EXPECT_EQ(lines[r].count('\t'), 11);
        EXPECT_TRUE(lines[r].endsWith('\t'));
    }
    const auto value = [&](int r, int c) { return lines[r].split('\t')[c]; };
    EXPECT_FALSE(value(3, 5).contains('.'));
    const auto result = runControllerOf(*form).result();
    EXPECT_EQ(value(1, 0).replace(',', '.').toDouble(), result->absValue(1, 0));
    EXPECT_EQ(value(0, 1).replace(',', '.').toDouble(), result->absValue(0, 1));
}

TEST_F(WindowTest, SaveParametersWritesTheThirteenLinesOrNamesTheBadField) {
    const QString path = dir.filePath("set.txt");
    dialogs->saveAnswer = path;
    field("plusNeutralField")->setText("x");
    actionOf(*form, "saveParametersAction")->trigger();
    EXPECT_EQ(dialogs->messages, QStringList{"Input error: Neutral block length +"});
    EXPECT_EQ(dialogs->saveAsked, 0);
    EXPECT_EQ(parameterForm().parameters().Np, 0);

    field("plusNeutralField")->setText("1");
    field("mmMaxField")->setText("");
    dialogs->messages.clear();
    actionOf(*form, "saveParametersAction")->trigger();
    EXPECT_EQ(dialogs->messages, QStringList{"error in mmMax"});

    field("mmMaxField")->setText("10");
    dialogs->messages.clear();
    actionOf(*form, "saveParametersAction")->trigger();
    EXPECT_TRUE(dialogs->messages.isEmpty());
    EXPECT_EQ(readAll(path),
              "vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\nNp 1\n"
              "Nm 200\nmpMin 0\nmpMax 10\nmmMin 0\nmmMax 10\n");
    // The next dialog opens in the folder used last.
    dialogs->openAnswer.clear();
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_EQ(QDir(dialogs->lastDirectory), QDir(dir.path()));
}

TEST_F(WindowTest, LoadParametersFillsTheWindowInOrder) {
    dialogs->openAnswer = writeFile("asym.in", kAsymmetric);
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_EQ(dialogs->lastFilter, ".in files (*.in);;All files (*)");
    EXPECT_EQ(dialogs->lastSelectedFilter, "All files (*)");
    EXPECT_TRUE(dialogs->messages.isEmpty());
    EXPECT_EQ(field("plusLengthField")->text(), "48");
    EXPECT_EQ(field("plusChargeField")->text(), "24");
    EXPECT_EQ(field("plusNeutralField")->text(), "40");
    EXPECT_EQ(label("plusDensityOutput")->text(), "0.50");
    EXPECT_EQ(field("minusLengthField")->text(), "40");
    EXPECT_EQ(field("minusChargeField")->text(), "12");
    EXPECT_EQ(field("minusNeutralField")->text(), "120");
    EXPECT_EQ(label("minusDensityOutput")->text(), "0.30");
    EXPECT_EQ(field("saltField")->text(), "0.35");
    EXPECT_EQ(field("plusConcentrationField")->text(), "0.0005");
    EXPECT_EQ(field("minusConcentrationField")->text(), "0.002");
    EXPECT_EQ(field("mpMinField")->text() + field("mpMaxField")->text() + field("mmMinField")->text() +
                  field("mmMaxField")->text(),
              "18214");
    EXPECT_EQ(slider("plusLengthSlider")->value(), 48);
    EXPECT_EQ(slider("plusChargeSlider")->value(), 24);
    EXPECT_EQ(slider("minusLengthSlider")->value(), 40);
    EXPECT_EQ(slider("minusNeutralSlider")->value(), 120);
    // Each schematic on the scale "Get" gives it, the longest of its charged block and the
    // two neutral blocks (120): '+' 48 / 120 x 150 = 60 pixels of signs left of the centre 158.
    EXPECT_EQ(label("plusChargedBlock")->width(), 60);
    EXPECT_EQ(label("plusChargedBlock")->x(), 98);
    // The '-' schematic: 40 / 120 x 150 = 50, line 150.
    EXPECT_EQ(label("minusChargedBlock")->width(), 50);
    EXPECT_EQ(partOf<QWidget>(*form, "minusNeutralBlock")->width(), 150);
    EXPECT_EQ(partOf<QWidget>(*form, "minusNeutralBlock")->y(),
              ParameterForm::kSolutionBannerTop - 30 + 9);  // just above the solution banner
}

TEST_F(WindowTest, LoadParametersRejectsWrongFilesAndLeavesTheFields) {
    const auto fields = [&] {
        return QStringList{field("plusLengthField")->text(), field("plusChargeField")->text(),
                           field("saltField")->text(), field("mmMaxField")->text(),
                           QString::number(slider("plusLengthSlider")->value())};
    };
    const QStringList start = fields();
    const QString wrong = "Some input parameters are wrong, please check it.";

    dialogs->openAnswer = writeFile("last.in", kAsymmetric + "foo 1\n");
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_EQ(dialogs->messages, QStringList{wrong});
    EXPECT_EQ(fields(), start);

    dialogs->messages.clear();
    dialogs->openAnswer = writeFile("zero.in", "zp 18\nkiplus 0\nkiminus 0.25\nzn 18\n");
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_EQ(dialogs->messages, QStringList{wrong});
    EXPECT_EQ(fields(), start);

    dialogs->messages.clear();
    dialogs->openAnswer = dir.filePath("no-such-file.in");
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_EQ(dialogs->messages, QStringList{"can not open file"});
    // The log names the file as well.
    EXPECT_TRUE(
        logViewOf(*form)->toPlainText().endsWith("can not open file: " + dir.filePath("no-such-file.in") + "\n"));
    EXPECT_EQ(fields(), start);

    dialogs->messages.clear();
    dialogs->openAnswer.clear();  // cancelled
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_TRUE(dialogs->messages.isEmpty());
}

TEST_F(WindowTest, LoadParametersEdgeCasesOfLengthsAndTrackBars) {
    // Only mmMax: accepted, everything else from the variables as they stood.
    parameterForm().parameters().zp = 18;
    parameterForm().parameters().kip = 0.25;
    parameterForm().parameters().zn = 18;
    parameterForm().parameters().kim = 0.25;
    dialogs->openAnswer = writeFile("only.in", "mmMax 12\n");
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_TRUE(dialogs->messages.isEmpty());
    EXPECT_EQ(field("mmMaxField")->text(), "12");
    EXPECT_EQ(field("plusLengthField")->text(), "72");

    // A charged length of 72.9 is shown as 72; values beyond a bar move it to its end.
    dialogs->openAnswer = writeFile("frac.in", "zp 145.8\nkiplus 2\nzn 300\nkiminus 0.2\nNm 5000\n");
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_TRUE(dialogs->messages.isEmpty());
    EXPECT_EQ(field("plusLengthField")->text(), "72");
    EXPECT_EQ(slider("plusLengthSlider")->value(), 72);
    EXPECT_EQ(field("plusChargeField")->text(), "145.8");
    EXPECT_EQ(slider("plusChargeSlider")->value(), 100);
    EXPECT_EQ(field("minusLengthField")->text(), "1500");
    EXPECT_EQ(slider("minusLengthSlider")->value(), 1000);
    EXPECT_EQ(slider("minusNeutralSlider")->value(), 1000);
    EXPECT_EQ(field("minusNeutralField")->text(), "5000");  // the bar's move typed nothing
}

TEST_F(WindowTest, GetButtonsAndTrackBars) {
    slider("plusChargeSlider")->setValue(40);
    EXPECT_EQ(field("plusChargeField")->text(), "40");
    EXPECT_EQ(label("plusDensityOutput")->text(), "0.25");  // xi waits for "Get"
    const QRect schematic = label("plusChargedBlock")->geometry();
    slider("minusChargeSlider")->setValue(36);
    EXPECT_EQ(field("minusChargeField")->text(), "36");

    EXPECT_EQ(label("plusChargedBlock")->geometry(), schematic);  // the track bars moved nothing
    button("plusDensityButton")->click();
    EXPECT_EQ(label("plusDensityOutput")->text(), "0.56");
    EXPECT_EQ(parameterForm().parameters().zp, 40.0);
    EXPECT_EQ(parameterForm().parameters().Np, 1);
    // Scale: the longest of N+ = 1, the '-' neutral length stored so far (none) and 72.
    EXPECT_EQ(label("plusChargedBlock")->width(), 150);
    EXPECT_EQ(partOf<QWidget>(*form, "plusNeutralBlock")->width(), 2);

    button("minusDensityButton")->click();
    EXPECT_EQ(label("minusDensityOutput")->text(), "0.50");
    EXPECT_EQ(parameterForm().parameters().Nm, 200);
    EXPECT_EQ(label("minusChargedBlock")->width(), 54);  // 72 / 200 x 150

    // Unparsable fields are reported, read as 0, and a zero scale leaves the schematic.
    for (QLineEdit* b : {field("minusLengthField"), field("minusChargeField"), field("minusNeutralField")})
        b->setText("");
    const QRect minus = label("minusChargedBlock")->geometry();
    parameterForm().parameters().Np = 0;
    button("minusDensityButton")->click();
    EXPECT_EQ(dialogs->messages, (QStringList{"Input error: Length of charged block -", "Input error: Charge -",
                                              "Input error: Neutral length of charged block -"}));
    EXPECT_EQ(label("minusChargedBlock")->geometry(), minus);
}

TEST_F(WindowTest, ChangesDuringARunDoNotReachTheRunningJob) {
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 3, 0, 3);
    solveButtonOf(*form)->click();
    dialogs->openAnswer = writeFile("asym.in", kAsymmetric);
    actionOf(*form, "loadParametersAction")->trigger();
    button("plusDensityButton")->click();
    ASSERT_TRUE(waitFor([&] { return !runControllerOf(*form).jobsRunning(); }));
    QCoreApplication::processEvents();
    const auto result = runControllerOf(*form).result();
    EXPECT_EQ(result->params().ka, 0.2);
    EXPECT_EQ(result->params().zp, 18.0);
    EXPECT_EQ(result->params().mpMax, 3);
    EXPECT_EQ(result->params().Np, 1);
    EXPECT_EQ(parameterForm().parameters().ka, 0.35);
}

TEST_F(WindowTest, MapIsSavedAsAFigureInPngAndSvg) {
    solveAndWait();
    const QString path = dir.filePath("map.png");
    dialogs->saveAnswer = path;
    actionOf(*form, "saveMapPngAction")->trigger();
    ASSERT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(" | ").toStdString();
    const QImage saved(path);
    ASSERT_FALSE(saved.isNull());
    // Twice the figure's size: 170 mm at 120 pixels an inch (803 pixels), at 2x.
    EXPECT_EQ(saved.width(), 2 * 803);
    EXPECT_GT(saved.height(), 1200);
    // It carries the map's colours, the colour bar's red and dark text.
    int coloured = 0, red = 0, dark = 0;
    for (int y = 0; y < saved.height(); y += 3)
        for (int x = 0; x < saved.width(); x += 3) {
            const QColor c = saved.pixelColor(x, y);
            coloured += c.saturation() > 200 ? 1 : 0;
            red += (c.red() > 240 && c.green() < 20 && c.blue() < 20) ? 1 : 0;
            dark += c.value() < 80 ? 1 : 0;
        }
    EXPECT_GT(coloured, 5000);
    EXPECT_GT(red, 30);
    EXPECT_GT(dark, 200);
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).filter("map").size(), 1);
    // The program that made it, as --version names it, in the file's text chunks.
    const QString madeBy = "Marlinq Solver " + QString::fromStdString(marlinq::provenance());
    EXPECT_EQ(saved.text("Software"), madeBy);
    EXPECT_TRUE(saved.text("Description").startsWith("q+ = 18, N+ = 72")) << saved.text("Description").toStdString();

    const QString svg = dir.filePath("map.svg");
    dialogs->saveAnswer = svg;
    actionOf(*form, "saveMapSvgAction")->trigger();
    const QString text = readAll(svg);
    EXPECT_TRUE(text.contains("<svg"));
    EXPECT_TRUE(
        text.contains("q+ = 18, N+ = 72, neutral 1; q- = 18, N- = 72, neutral 200; ka = 0.2; c+ = 0.001, "
                      "c- = 0.001; Debye-Hueckel"))
        << text.left(400).toStdString();
    // Written under the caption and in the description.
    EXPECT_EQ(text.count(madeBy), 2) << text.left(600).toStdString();
    // The drawing renders: the same map colours as the picture.
    QSvgRenderer drawing(svg);
    ASSERT_TRUE(drawing.isValid());
    QImage rendered(drawing.defaultSize(), QImage::Format_RGB32);
    rendered.fill(Qt::white);
    {
        QPainter painter(&rendered);
        drawing.render(&painter);
    }
    if (const QByteArray keep = qgetenv("MARLINQ_KEEP_FIGURE"); !keep.isEmpty())
        rendered.save(QString::fromLocal8Bit(keep));
    int colouredInSvg = 0;
    for (int y = 0; y < rendered.height(); y += 3)
        for (int x = 0; x < rendered.width(); x += 3)
            colouredInSvg += rendered.pixelColor(x, y).saturation() > 200 ? 1 : 0;
    EXPECT_GT(colouredInSvg, 1000);

    dialogs->saveAnswer = dir.filePath("missing/map.png");
    actionOf(*form, "saveMapPngAction")->trigger();
    EXPECT_EQ(dialogs->messages, QStringList{"can not write " + dir.filePath("missing/map.png")});
}

TEST_F(WindowTest, AChosenFileIsCheckedBeforeTheSaveAndTheResultOutlivesAFailure) {
    // Far cells: the wide table would run to some 19 GiB, so a save asks how to write it;
    // a place that cannot take any file is said before that question.
    setRanges(99990, 100000, 99990, 100000);
    solveAndWait();
    const auto result = runControllerOf(*form).result();
    ASSERT_TRUE(result && result->hasResults());
    for (const QString& bad : {dir.path(), dir.filePath("missing/m.txt")}) {
        dialogs->messages.clear();
        dialogs->saveAnswer = bad;
        actionOf(*form, "saveDistributionAction")->trigger();
        ASSERT_EQ(dialogs->messages.size(), 1);
        EXPECT_TRUE(dialogs->messages[0].startsWith("can not write " + bad + " ("))
            << dialogs->messages[0].toStdString();
        EXPECT_TRUE(dialogs->largeAsked.isEmpty());
        EXPECT_TRUE(log().contains(dialogs->messages[0]));
    }
    EXPECT_TRUE(dialogs->messages[0].endsWith("does not exist)")) << dialogs->messages[0].toStdString();
    // The result is still the window's, and a good place then takes it.
    EXPECT_EQ(runControllerOf(*form).result(), result);
    dialogs->messages.clear();
    dialogs->largeAnswer = UserDialogs::LargeFileChoice::ShortForm;
    dialogs->saveAnswer = dir.filePath("far.txt");
    actionOf(*form, "saveDistributionAction")->trigger();
    EXPECT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(" | ").toStdString();
    EXPECT_EQ(readAll(dir.filePath("far.txt")).count('\n'), 122);
    // Save Parameters checks its place the same way.
    dialogs->saveAnswer = dir.path();
    actionOf(*form, "saveParametersAction")->trigger();
    ASSERT_EQ(dialogs->messages.size(), 1);
    EXPECT_TRUE(dialogs->messages[0].endsWith("(is a folder, not a file)")) << dialogs->messages[0].toStdString();
}

TEST_F(WindowTest, SaveDistributionDuringARunWritesTheLastFinishedRow) {
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 10, 0, 10);
    solveButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return log().contains("Row 1 is passed..."); }));
    const QString path = dir.filePath("partial.txt");
    dialogs->saveAnswer = path;
    actionOf(*form, "saveDistributionAction")->trigger();
    const auto result = runControllerOf(*form).result();  // no event ran since: the state written
    const std::vector<double> cells = result->absValue.toVector();
    const DistributionView view{result->params().mpMin,
                                result->params().mpMax,
                                result->params().mmMin,
                                result->params().mmMax,
                                result->concentrations.freePlus,
                                result->concentrations.freeMinus,
                                cells.data()};
    EXPECT_EQ(readAll(path).toStdString(), formatDistribution(view, '.'));
    // Written through a temporary file that is gone once the save is done.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter("partial.txt"), QStringList{"partial.txt"});
    stopButtonOf(*form)->click();
    ASSERT_TRUE(waitFor([&] { return !runControllerOf(*form).jobsRunning(); }));
}

// The figure prints at a journal's width with 7-9 point text; its caption can stand beside
// it in a text file; viridis colours the map; Save Map offers a name.
TEST_F(WindowTest, MapFigureFitsAJournalColumnCanLeaveItsCaptionBesideAndIsOfferedAName) {
    solveAndWait();
    // The name offered says what the map is.
    dialogs->saveAnswer.clear();
    actionOf(*form, "saveMapPngAction")->trigger();
    EXPECT_TRUE(dialogs->lastDirectory.endsWith("map_dh_ka0.2_mp0-10_mm0-10.png"))
        << dialogs->lastDirectory.toStdString();
    actionOf(*form, "saveMapSvgAction")->trigger();
    EXPECT_TRUE(dialogs->lastDirectory.endsWith("map_dh_ka0.2_mp0-10_mm0-10.svg"));

    const auto svgWidthAndText = [&](const QString& path) {
        const QString text = readAll(path);
        const QRegularExpressionMatch width = QRegularExpression(R"re(width="([0-9.]+)mm")re").match(text);
        const QRegularExpressionMatch box = QRegularExpression(R"re(viewBox="0 0 ([0-9.]+) )re").match(text);
        EXPECT_TRUE(width.hasMatch() && box.hasMatch()) << text.left(300).toStdString();
        const double mm = width.captured(1).toDouble(), unitsWide = box.captured(1).toDouble();
        // Every font size of the drawing in points as printed (1 pt = 25.4/72 mm).
        std::vector<double> points;
        auto sizes = QRegularExpression(R"re(<text[^>]*font-size="([0-9.]+)")re").globalMatch(text);
        while (sizes.hasNext()) points.push_back(sizes.next().captured(1).toDouble() * mm / unitsWide / (25.4 / 72.0));
        return std::make_pair(mm, points);
    };
    for (const auto& [item, mm] :
         {std::pair{actionOf(*form, "mapPageWidthAction"), 170.0}, std::pair{actionOf(*form, "mapColumnWidthAction"), 85.0}}) {
        item->trigger();
        const QString path = qEnvironmentVariableIsSet("KEEP_SVG") ? QStringLiteral("/tmp/w%1.svg").arg(mm)
                                                                   : dir.filePath(QStringLiteral("w%1.svg").arg(mm));
        ASSERT_TRUE(saveMapAs(path, true));
        const auto [width, points] = svgWidthAndText(path);
        EXPECT_NEAR(width, mm, 1.0);
        ASSERT_FALSE(points.empty());
        for (const double pt : points) {
            EXPECT_GE(pt, 7.0) << mm << " mm";
            EXPECT_LE(pt, 9.0) << mm << " mm";
        }
    }
    actionOf(*form, "mapPageWidthAction")->trigger();

    // The caption out of the picture: a shorter picture without it, the caption beside it.
    const QString with = dir.filePath("with.png"), without = dir.filePath("without.png");
    ASSERT_TRUE(saveMapAs(with, false));
    EXPECT_FALSE(QFile::exists(dir.filePath("with.txt")));
    actionOf(*form, "mapCaptionAction")->trigger();
    ASSERT_FALSE(actionOf(*form, "mapCaptionAction")->isChecked());
    ASSERT_TRUE(saveMapAs(without, false));
    const QImage a(with), b(without);
    EXPECT_EQ(a.width(), b.width());
    EXPECT_LT(b.height(), a.height() - 20);
    // The rows the caption took in the first picture hold dark text; the second ends above them.
    int dark = 0;
    for (int y = b.height(); y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) dark += a.pixelColor(x, y).value() < 100 ? 1 : 0;
    EXPECT_GT(dark, 200);
    EXPECT_TRUE(readAll(dir.filePath("without.txt")).startsWith("q+ = 18, N+ = 72"));
    EXPECT_EQ(MapView::captionPathOf(dir.filePath("fig.txt")), dir.filePath("fig.txt.txt"));

    // Viridis: the most probable cell in its yellow, the bar from violet to yellow.
    actionOf(*form, "viridisAction")->trigger();
    EXPECT_EQ(mapViewOf(*form).colourScale().colours, ColourMap::Viridis);
    const QPoint best = cellCentre(resultLabelOf(*form, "mPlusOutput")->text().toInt(),
                                   resultLabelOf(*form, "mMinusOutput")->text().toInt());
    EXPECT_EQ(QColor(mapViewOf(*form).image().pixel(best)), QColor(253, 231, 37));
    actionOf(*form, "viridisAction")->trigger();
    EXPECT_EQ(QColor(mapViewOf(*form).image().pixel(best)), QColor(255, 0, 0));
}

TEST_F(WindowTest, TotalModeRowSolvesSavesLoadsAndRefuses) {
    // Bad totals and total mode with a minimum above 0: a message box, and nothing runs.
    comboBox("concentrationModeBox")->setCurrentIndex(1);
    const auto refused = [&](const QString& expected) {
        dialogs->messages.clear();
        solveButtonOf(*form)->click();
        EXPECT_EQ(dialogs->messages, QStringList{expected});
        EXPECT_FALSE(runControllerOf(*form).jobsRunning());
        EXPECT_TRUE(solveButtonOf(*form)->isEnabled());
    };
    field("plusConcentrationField")->setText("0");
    refused("C+ (total '+' chains) should be between 1e-20 and 1");
    field("plusConcentrationField")->setText("0.002");
    field("minusConcentrationField")->setText("2");
    refused("C- (total '-' chains) should be between 1e-20 and 1");
    field("minusConcentrationField")->setText("0.002");
    dialogs->messages.clear();
    comboBox("concentrationUnitBox")->setCurrentIndex(1);  // mM without a segment size: nothing to convert with
    EXPECT_EQ(dialogs->messages, QStringList{"Concentrations in mM need the segment size a (nm), from 0.01 to 100"});
    EXPECT_EQ(comboBox("concentrationUnitBox")->currentIndex(), 0);
    field("mpMinField")->setText("1");
    refused("Total concentrations need the lone chains (1, 0) and (0, 1) in the ranges: set mpMin and mmMin to 0");
    field("mpMinField")->setText("0");

    // Totals of 2e-3: the run solves the free chains.
    dialogs->messages.clear();
    solveAndWait();
    auto result = runControllerOf(*form).result();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->totalMode());
    EXPECT_EQ(result->concentrations.totalPlus, 0.002);
    EXPECT_LT(result->concentrations.freePlus, 1e-4);
    EXPECT_TRUE(log().contains("Mass balance: free c+ = "));

    // The same totals in mM of chains (4.561991400541782 mM is 1e-3 per a^3 at 0.714 nm).
    field("segmentSizeField")->setText("0.714");
    comboBox("concentrationUnitBox")->setCurrentIndex(1);
    field("plusConcentrationField")->setText("9.123982801083564");
    field("minusConcentrationField")->setText("9.123982801083564");
    solveAndWait();
    EXPECT_NEAR(runControllerOf(*form).result()->concentrations.totalPlus, 0.002, 1e-15);
    EXPECT_NEAR(runControllerOf(*form).result()->concentrations.freePlus, result->concentrations.freePlus,
                1e-12 * result->concentrations.freePlus);

    // Saved: the totals before the last line; loaded back: total mode, per a^3.
    const QString path = dir.filePath("totals.txt");
    dialogs->saveAnswer = path;
    actionOf(*form, "saveParametersAction")->trigger();
    EXPECT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(" | ").toStdString();
    EXPECT_TRUE(readAll(path).endsWith("total_plus 0.002\ntotal_minus 0.002\nmmMax 10\n"))
        << readAll(path).toStdString();
    dialogs->openAnswer = writeFile("free.in", kAsymmetric);
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_EQ(comboBox("concentrationModeBox")->currentIndex(), 0);
    dialogs->openAnswer = path;
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_EQ(comboBox("concentrationModeBox")->currentIndex(), 1);
    EXPECT_EQ(comboBox("concentrationUnitBox")->currentIndex(), 0);
    EXPECT_EQ(field("plusConcentrationField")->text(), "0.002");
}

// A total-mode run forms its distribution at the solved free chains after its last row; the
// map, its most probable complex, its tooltips and the result panel show that one, in every
// run of a window (the order of the job's last events is pinned in the run controller's
// tests).
TEST_F(WindowTest, TotalModeDrawsTheDistributionAtTheSolvedChainsInEveryRun) {
    comboBox("concentrationModeBox")->setCurrentIndex(1);
    field("plusConcentrationField")->setText("0.001");
    field("minusConcentrationField")->setText("0.001");
    debyeHueckelBoxOf(*form)->setChecked(false);
    setRanges(0, 12, 0, 12);
    RunController& runs = runControllerOf(*form);
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        solveAndWait();
        const ResultSnapshot result = runs.result();
        ASSERT_TRUE(result && result->totalMode() && result->normalised);
        const auto best = marlinq::mostProbableCell(*result);
        ASSERT_TRUE(best);
        EXPECT_EQ(mapViewOf(*form).mostProbableCell(), std::make_pair(best->first, best->second));
        EXPECT_EQ(resultLabelOf(*form, "mPlusOutput")->text().toInt(), best->first);
        EXPECT_EQ(resultLabelOf(*form, "mMinusOutput")->text().toInt(), best->second);
        const QString tip = mapViewOf(*form).toolTipAt(cellCentre(best->first, best->second));
        const std::int32_t i = best->first - result->params().mpMin, j = best->second - result->params().mmMin;
        EXPECT_TRUE(tip.startsWith(QString::fromStdString(
            cellTooltip(best->first, best->second, result->absValue(i, j), result->share(i, j), false, '.'))))
            << tip.toStdString();
    }
}

// Every file dialog opens where the last one was left, whichever command it belonged to.
TEST_F(WindowTest, FileDialogsShareTheFolderUsedLast) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("sets"));
    dialogs->openAnswer = writeFile("sets/asym.in", kAsymmetric);
    actionOf(*form, "loadParametersAction")->trigger();
    const QDir sets(dir.filePath("sets"));
    dialogs->saveAnswer.clear();
    actionOf(*form, "saveDistributionAction")->trigger();
    EXPECT_EQ(QDir(dialogs->lastDirectory), sets) << dialogs->lastDirectory.toStdString();
    actionOf(*form, "saveMapSvgAction")->trigger();
    EXPECT_EQ(QFileInfo(dialogs->lastDirectory).dir(), sets) << dialogs->lastDirectory.toStdString();
    // A map saved elsewhere moves the folder for loading too.
    dialogs->saveAnswer = dir.filePath("map.png");
    actionOf(*form, "saveMapPngAction")->trigger();
    dialogs->openAnswer.clear();
    actionOf(*form, "loadParametersAction")->trigger();
    EXPECT_EQ(QDir(dialogs->lastDirectory), QDir(dir.path())) << dialogs->lastDirectory.toStdString();
}

// File > Map Figure: the choices are kept with the user's settings for the next window.
TEST_F(WindowTest, MapFigureChoicesOutliveTheWindow) {
    actionOf(*form, "mapColumnWidthAction")->trigger();
    actionOf(*form, "mapCaptionAction")->trigger();
    const auto setting = [](const char* key) {
        return QSettings(QSettings::IniFormat, QSettings::UserScope, "Marlinq", "Marlinq Solver").value(key);
    };
    EXPECT_EQ(setting("figure/widthMm").toInt(), 85);
    EXPECT_FALSE(setting("figure/captionInPicture").toBool());
    MainWindow next;
    EXPECT_TRUE(actionOf(next, "mapColumnWidthAction")->isChecked());
    EXPECT_FALSE(actionOf(next, "mapPageWidthAction")->isChecked());
    EXPECT_FALSE(actionOf(next, "mapCaptionAction")->isChecked());
    actionOf(next, "mapPageWidthAction")->trigger();
    EXPECT_EQ(setting("figure/widthMm").toInt(), 170);
}
