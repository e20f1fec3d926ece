// The map widget on its own: hostile grids, the cell a double-click names on both kinds of
// axes, zoom and the way back to the whole range.
#include "pipeline/MapClasses.h"
#include "pipeline/RunResult.h"
#include "ui/MapRender.h"
#include "ui/MapView.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using namespace marlinq;
using namespace marlinq::ui;

namespace {

// A finished Debye-Hueckel result over M+ mpMin.., M- mmMin.. with the given weights.
ResultSnapshot record(std::int32_t mpMin, std::int32_t mmMin, const Grid<double>& weights) {
    auto request = std::make_shared<RunRequest>();
    request->params.mpMin = mpMin;
    request->params.mpMax = mpMin + weights.rows() - 1;
    request->params.mmMin = mmMin;
    request->params.mmMax = mmMin + weights.cols() - 1;
    request->params.ka = 0.2;
    auto rec = std::make_shared<RunResult>(request, CellSelection::EveryCell);
    rec->absValue = weights;
    rec->Value = weights;
    double sum = 0.0, largest = 0.0;
    weights.forEach([&](double w) {
        if (std::isfinite(w)) sum += w, largest = std::max(largest, w);
    });
    rec->sum = sum;
    rec->maxValue = largest;
    rec->index = rec->params().mpMax;
    formMapData(*rec);
    return rec;
}

class MapViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(640, 520);
        view.show();
        QCoreApplication::processEvents();
    }
    QLabel* picture() { return view.findChild<QLabel*>(QStringLiteral("mapPicture")); }
    // Centre of the cell drawn at (i, j) cells from the bottom-left corner of the view.
    QPoint centre(std::int32_t i, std::int32_t j) const {
        const CellGeometry& g = view.cells().geometry();
        return QPoint(static_cast<int>(g.cellX(i) + g.cw / 2), static_cast<int>(g.cellY(j) + g.ch / 2));
    }
    QColor colourAt(QPoint p) const { return view.image().pixelColor(p); }

    MapView view;
};

TEST_F(MapViewTest, HostileGridsAreRefusedOrDrawnWithoutHarm) {
    // A NaN or infinite weight gives no colour classes: the map stays as it was and says why.
    Grid<double> good(4, 3);
    good(2, 1) = 1.0;
    good(0, 0) = 0.5;
    ASSERT_TRUE(view.setRecord(record(1, 1, good)));
    const QImage before = view.image();
    for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), -1e300}) {
        Grid<double> w = good;
        w(1, 2) = bad;
        QString error;
        EXPECT_FALSE(view.setRecord(record(1, 1, w), &error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
        EXPECT_EQ(view.image(), before) << bad;
    }
    // A NaN normalisation alike.
    auto nanMax = std::make_shared<RunResult>(*record(1, 1, good));
    nanMax->maxValue = std::numeric_limits<double>::quiet_NaN();
    formMapData(*nanMax);
    QString error;
    EXPECT_FALSE(view.setRecord(nanMax, &error));
    EXPECT_FALSE(error.isEmpty());

    // One cell: the whole picture, outlined as the most probable complex.
    Grid<double> one(1, 1);
    one(0, 0) = 2.0;
    ASSERT_TRUE(view.setRecord(record(3, 4, one)));
    ASSERT_EQ(view.cells().size(), 1u);
    EXPECT_EQ(view.mostProbableCell(), (std::pair<std::int32_t, std::int32_t>{3, 4}));
    EXPECT_EQ(colourAt(centre(0, 0)), QColor(255, 0, 0));
    EXPECT_TRUE(view.toolTipAt(centre(0, 0)).startsWith("M+ = 3, M- = 4\n"))
        << view.toolTipAt(centre(0, 0)).toStdString();

    // A thousand by one: every cell inside the picture, the short side still readable.
    Grid<double> line(1000, 1);
    line(999, 0) = 1.0;
    ASSERT_TRUE(view.setRecord(record(0, 0, line)));
    EXPECT_EQ(view.cells().size(), 1000u);
    EXPECT_GE(picture()->height(), 120);
    const CellGeometry& g = view.cells().geometry();
    EXPECT_LE(g.cellX(999) + g.cw, static_cast<float>(picture()->width()));
    EXPECT_EQ(view.image().size(), picture()->size());

    // A grid of values with NaN and infinite values and a missing point: grey without a
    // value, the colours spread over the finite ones.
    MapAxis x, y;
    x.values = {0.1, 0.2, 0.3};
    x.name = QStringLiteral("ka");
    y.values = {1.0, 2.0};
    y.name = QStringLiteral("vc10");
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    view.setValueGrid(x, y, {nan, 1.0, inf, 3.0, 2.0}, QStringLiteral("Mean M+"));
    ASSERT_EQ(view.cells().size(), 6u);
    const QColor grey = toQColor(kPendingColor);
    const auto& classic = colourTable(ColourMap::Classic);
    EXPECT_EQ(colourAt(centre(0, 0)), grey);
    EXPECT_EQ(colourAt(centre(1, 0)), grey);
    EXPECT_EQ(colourAt(centre(2, 1)), grey);
    EXPECT_EQ(colourAt(centre(0, 1)), QColor(classic[1][0], classic[1][1], classic[1][2]));
    EXPECT_EQ(colourAt(centre(1, 1)), QColor(classic[20][0], classic[20][1], classic[20][2]));
    EXPECT_EQ(view.toolTipAt(centre(0, 0)), QStringLiteral("ka = 0.1, vc10 = 1: no value"));
    EXPECT_EQ(view.toolTipAt(centre(2, 1)), QStringLiteral("ka = 0.3, vc10 = 2: not computed yet"));
    EXPECT_EQ(view.toolTipAt(centre(2, 0)), QStringLiteral("ka = 0.3, vc10 = 1\nMean M+ = 2"));
}

TEST_F(MapViewTest, ADoubleClickNamesItsCellOnIntegerAndOnValueAxes) {
    QSignalSpy activated(&view, &MapView::cellActivated);
    Grid<double> w(5, 4);
    w(2, 2) = 1.0;
    ASSERT_TRUE(view.setRecord(record(3, 7, w)));
    // M+ = 5, M- = 9 is the third column and the third row from the bottom.
    QTest::mouseDClick(picture(), Qt::LeftButton, Qt::NoModifier, centre(2, 2));
    QTest::mouseDClick(picture(), Qt::LeftButton, Qt::NoModifier, centre(4, 0));
    ASSERT_EQ(activated.count(), 2);
    EXPECT_EQ(activated.at(0).at(0).toInt(), 5);
    EXPECT_EQ(activated.at(0).at(1).toInt(), 9);
    EXPECT_EQ(activated.at(1).at(0).toInt(), 7);
    EXPECT_EQ(activated.at(1).at(1).toInt(), 7);
    // Outside the cells nothing is named.
    QTest::mouseDClick(picture(), Qt::LeftButton, Qt::NoModifier, QPoint(picture()->width() + 5, 2));
    EXPECT_EQ(activated.count(), 2);

    // On a grid of values the indices of the values.
    MapAxis x, y;
    x.values = {0.5, 1.0, 2.0, 5.0};
    x.name = QStringLiteral("ka");
    y.values = {1e-4, 1e-3, 1e-2};
    y.name = QStringLiteral("vc10");
    view.setValueGrid(x, y, std::vector<double>(12, 1.0), QStringLiteral("Mean M+"));
    activated.clear();
    QTest::mouseDClick(picture(), Qt::LeftButton, Qt::NoModifier, centre(2, 1));
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.at(0).at(0).toInt(), 2);
    EXPECT_EQ(activated.at(0).at(1).toInt(), 1);
    EXPECT_EQ(view.toolTipAt(centre(2, 1)), QStringLiteral("ka = 2, vc10 = 0.001\nMean M+ = 1"));
}

TEST_F(MapViewTest, ZoomThenWholeRangeRestoresTheWindow) {
    Grid<double> w(60, 50);
    for (std::int32_t i = 0; i < 60; ++i)
        for (std::int32_t j = 0; j < 50; ++j) w(i, j) = 1.0 + i + j;
    ASSERT_TRUE(view.setRecord(record(0, 0, w)));
    const CellWindow whole{0, 59, 0, 49};
    ASSERT_EQ(view.window(), whole);
    ASSERT_TRUE(view.showsWholeRange());
    auto* button = view.findChild<QToolButton*>(QStringLiteral("wholeRangeButton"));
    EXPECT_FALSE(button->isEnabled());  // nothing to go back to

    QSignalSpy changed(&view, &MapView::viewChanged);
    const QPoint at = centre(10, 40);
    QWheelEvent wheel(QPointF(at), picture()->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 360), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(picture(), &wheel);
    const CellWindow zoomed = view.window();
    EXPECT_LT(zoomed.rows(), 60);
    EXPECT_LT(zoomed.cols(), 50);
    // The cell under the pointer stays under it.
    EXPECT_TRUE(view.toolTipAt(at).startsWith("M+ = 10, M- = 40\n")) << view.toolTipAt(at).toStdString();
    EXPECT_GE(changed.count(), 1);
    EXPECT_FALSE(view.showsWholeRange());
    EXPECT_TRUE(view.canToggleWholeRange());
    EXPECT_EQ(view.cells().size(), static_cast<std::size_t>(zoomed.rows()) * static_cast<std::size_t>(zoomed.cols()));

    button->click();
    EXPECT_EQ(view.window(), whole);
    EXPECT_TRUE(view.showsWholeRange());
    EXPECT_TRUE(button->isChecked());
    EXPECT_EQ(view.cells().size(), 3000u);
    // A window beyond the grid is cut to it; whole range on again gives the grid back.
    view.setWindow(CellWindow{50, 80, -4, 9});
    EXPECT_EQ(view.window(), (CellWindow{50, 59, 0, 9}));
    view.setWholeRange(true);
    EXPECT_EQ(view.window(), whole);
}

}  // namespace
