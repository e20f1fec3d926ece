// How the main window's regions fit the screen and grow with the window, and the colours in
// which the map grid and the axis labels are drawn.
#include "main_window_support.h"

#include "ui/MapRender.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include <cmath>

using namespace marlinq;
using namespace marlinq::ui;
using namespace marlinq::ui::testing;

namespace {

// The colour of a thin neutral-grey line drawn over pure blue: the red channel sees the
// line over black and the blue channel over white, which gives its coverage and then its
// grey level.
int greyOfLineOverBlue(QRgb pixel) {
    const double coverage = 1.0 - (qBlue(pixel) - qRed(pixel)) / 255.0;
    return coverage > 0.0 ? static_cast<int>(std::lround(qRed(pixel) / coverage)) : -1;
}

// Grey levels of the horizontal line pixels in column x between rows y0 and y1.
std::vector<int> lineGreysInColumn(const QImage& image, int x, int y0, int y1) {
    std::vector<int> greys;
    for (int y = y0; y < y1; ++y)
        if (image.pixel(x, y) != qRgb(0, 0, 255)) greys.push_back(greyOfLineOverBlue(image.pixel(x, y)));
    return greys;
}

}  // namespace

// Every widget of the client that is shown lies inside the scroll area's viewport.
static std::vector<std::string> controlsOutside(const MainWindow& form) {
    const auto* area = form.findChild<QScrollArea*>(QStringLiteral("scrollArea"));
    const QRect visible = area->viewport()->rect();
    std::vector<std::string> outside;
    for (const QWidget* w : area->widget()->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->width() == 0) continue;
        const QRect r(w->mapTo(area->viewport(), QPoint(0, 0)), w->size());
        if (!visible.contains(r))
            outside.push_back((w->objectName().isEmpty() ? std::string(w->metaObject()->className())
                                                         : w->objectName().toStdString()));
    }
    return outside;
}

static QPointF centreIn(const MainWindow& form, const QWidget* w) {
    return QRectF(w->mapTo(&form, QPoint(0, 0)), QSizeF(w->size())).center();
}

TEST_F(WindowTest, EveryControlFitsA1366x768ScreenAndTheMapGrowsWithTheWindow) {
    // 1366 x 768 less a title bar and a task bar.
    form->resize(1366, 768 - 70);
    solveAndWait();
    QCoreApplication::processEvents();
    EXPECT_EQ(controlsOutside(*form), std::vector<std::string>{});
    // The three check boxes one under the other, above Solve.
    EXPECT_LT(debyeHueckelBoxOf(*form)->mapTo(form.get(), QPoint(0, 0)).y(),
              childOf<QCheckBox>(*form, "convergedBox")->mapTo(form.get(), QPoint(0, 0)).y());
    EXPECT_LE(childOf<QCheckBox>(*form, "convergedBox")
                  ->mapTo(form.get(), QPoint(0, childOf<QCheckBox>(*form, "convergedBox")->height()))
                  .y(),
              solveButtonOf(*form)->mapTo(form.get(), QPoint(0, 0)).y());
    const auto* area = form->findChild<QScrollArea*>(QStringLiteral("scrollArea"));
    EXPECT_EQ(area->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0);
    const QSize smallMap = mapPart(*form, "mapPicture")->size();
    const QSize inputs = form->findChild<QWidget*>(QStringLiteral("parameterForm"))->size();
    EXPECT_GE(smallMap.height(), 360);
    EXPECT_FLOAT_EQ(mapViewOf(*form).cells().geometry().cw, mapViewOf(*form).cells().geometry().ch);

    // A large screen: the map, its bars and the colour bar grow, the inputs do not.
    form->resize(1600, 1000 - 70);
    QCoreApplication::processEvents();
    EXPECT_EQ(controlsOutside(*form), std::vector<std::string>{});
    EXPECT_GT(mapPart(*form, "mapPicture")->height(), smallMap.height() + 150);
    EXPECT_EQ(mapPart(*form, "mapPicture")->pixmap().size(), mapPart(*form, "mapPicture")->size());
    // The colour bar spans the map (and half a number above and below it).
    EXPECT_LE(mapPart(*form, "colourBar")->y(), mapPart(*form, "mapPicture")->y());
    EXPECT_GE(mapPart(*form, "colourBar")->geometry().bottom(), mapPart(*form, "mapPicture")->geometry().bottom());
    EXPECT_LT(mapPart(*form, "colourBar")->height(), mapPart(*form, "mapPicture")->height() + 40);
    EXPECT_EQ(mapPart(*form, "mPlusAxis")->pixmap().width(), mapPart(*form, "mPlusAxis")->width());
    EXPECT_GT(mapPart(*form, "mPlusAxis")->width(), mapPart(*form, "mapPicture")->width());
    EXPECT_EQ(form->findChild<QWidget*>(QStringLiteral("parameterForm"))->size(), inputs);
    const CellGeometry& g = mapViewOf(*form).cells().geometry();
    EXPECT_FLOAT_EQ(g.cw, g.ch);
    // The axis titles stay centred on their axes.
    EXPECT_NEAR(centreIn(*form, mapPart(*form, "mPlusTitle")).x(), centreIn(*form, mapPart(*form, "mapPicture")).x(),
                2.0);
    EXPECT_NEAR(centreIn(*form, mapPart(*form, "mMinusTitle")).y(), centreIn(*form, mapPart(*form, "mapPicture")).y(),
                2.0);
    EXPECT_LT(
        mapPart(*form, "mMinusTitle")->mapTo(form.get(), QPoint(0, 0)).x() + mapPart(*form, "mMinusTitle")->width(),
        mapPart(*form, "mMinusAxis")->mapTo(form.get(), QPoint(0, 0)).x() + 2);

    // A small screen scrolls.
    form->resize(900, 560);
    QCoreApplication::processEvents();
    EXPECT_GT(area->verticalScrollBar()->maximum() + area->horizontalScrollBar()->maximum(), 0);
}

TEST(MapDrawing, GridLinesAreGrayOnTheMapAndLightGrayOnTheEmptyGrid) {
    const CellGeometry geometry(575, 575, 11, 11);
    Grid<std::int32_t> codes(11, 11);
    for (std::int32_t i = 0; i < 11; ++i)
        for (std::int32_t j = 0; j < 11; ++j) codes(i, j) = 1;  // blue cells
    MapPaintRequest request;
    request.colourClasses = &codes;
    request.geometry = geometry;

    QImage map(575, 575, QImage::Format_RGB32);
    map.fill(qRgb(0, 0, 255));
    paintMap(map, request);
    QImage empty(575, 575, QImage::Format_RGB32);
    empty.fill(qRgb(0, 0, 255));
    paintEmptyGrid(empty, geometry);

    // Column 26 crosses the horizontal lines and no vertical one.
    for (const auto& [image, grey] : {std::pair{&map, 128}, std::pair{&empty, 211}}) {
        const std::vector<int> greys = lineGreysInColumn(*image, 26, 40, 540);
        ASSERT_GE(greys.size(), 9U);
        for (int g : greys) EXPECT_NEAR(g, grey, 3);
    }
}

TEST_F(WindowTest, AxisLabelsAreDrawnInGray) {
    solveAndWait();
    for (QLabel* bar : {mapPart(*form, "mPlusAxis"), mapPart(*form, "mMinusAxis")}) {
        const QImage image = bar->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        int darkest = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                // A neutral grey over the neutral canvas stays neutral wherever it is blended.
                ASSERT_LE(std::abs(qRed(p) - qBlue(p)), 1) << bar->objectName().toStdString() << " " << x << "," << y;
                darkest = std::min(darkest, qRed(p));
            }
        EXPECT_GE(darkest, 127) << bar->objectName().toStdString();
        EXPECT_LE(darkest, 150) << bar->objectName().toStdString();
    }
}

// Maps of thousands of values a side get cells smaller than a pixel: the map, both axes and
// the whole colour bar stay inside the map area for every range a run allows.
TEST_F(WindowTest, MapsOfThousandsOfValuesASideFitTheirArea) {
    form->resize(1366, 768 - 70);
    childOf<QCheckBox>(*form, "linearDebyeHueckelBox")
        ->setChecked(true);  // the closed form: a few million cells in a second
    const auto* mapArea = mapPart(*form, "mapPicture")->parentWidget();
    const struct { int pmax, mmax; } ranges[] = {{999, 999}, {1999, 1999}, {99999, 39}};
    for (const auto& r : ranges) {
        SCOPED_TRACE(::testing::Message() << "0.." << r.pmax << " x 0.." << r.mmax);
        setRanges(0, r.pmax, 0, r.mmax);
        solveAndWait();
        if (!mapViewOf(*form).showsWholeRange()) mapPart<QToolButton>(*form, "wholeRangeButton")->click();
        QCoreApplication::processEvents();
        ASSERT_TRUE(mapViewOf(*form).showsWholeRange());
        const QRect area = mapArea->rect();
        for (const QWidget* w : {static_cast<const QWidget*>(mapPart(*form, "mapPicture")),
                                 static_cast<const QWidget*>(mapPart(*form, "colourBar")),
                                 static_cast<const QWidget*>(mapPart(*form, "mMinusAxis")),
                                 static_cast<const QWidget*>(mapPart(*form, "mPlusAxis")),
                                 static_cast<const QWidget*>(mapPart(*form, "mPlusTitle")),
                                 static_cast<const QWidget*>(mapPart(*form, "minLabel"))})
            EXPECT_TRUE(area.contains(w->geometry())) << w->objectName().toStdString() << " leaves the map area";
        // The picture is as tall as its place and its bottom rows hold cells, not the canvas.
        const QImage& map = mapViewOf(*form).image();
        EXPECT_EQ(map.size(), mapPart(*form, "mapPicture")->size());
        const CellGeometry& g = mapViewOf(*form).cells().geometry();
        if (r.pmax == r.mmax) EXPECT_FLOAT_EQ(g.cw, g.ch);
        // A long thin range keeps a map of some height: its cells stretch.
        EXPECT_GE(std::min(map.width(), map.height()), 120);
        EXPECT_LE(g.ch * static_cast<float>(r.mmax + 1), static_cast<float>(map.height()));
        EXPECT_LE(g.cw * static_cast<float>(r.pmax + 1), static_cast<float>(map.width()));
        EXPECT_EQ(mapViewOf(*form).cells().size(),
                  static_cast<std::size_t>(r.pmax + 1) * static_cast<std::size_t>(r.mmax + 1));
    }
}
