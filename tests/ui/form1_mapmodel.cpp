// The toolkit-free map pieces: geometry, hit test, colour codes, axis labels, sun, tooltip.
#include "ui/MapModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <thread>

using namespace marlinq;
using namespace marlinq::ui;

TEST(MapModel, DefaultRangesGiveSquareCellsFromBottomLeftToTopRight) {
    const CellGeometry g(575, 575, 11, 11);
    EXPECT_NEAR(g.cw, 52.09, 0.005);
    EXPECT_FLOAT_EQ(g.cw, g.ch);
    Grid<std::int32_t> codes(11, 11);
    const CellList list(g, 0, 0, &codes);
    ASSERT_EQ(list.size(), 121U);
    const Rec first = list.at(0);
    EXPECT_EQ(first.mp, 0);
    EXPECT_EQ(first.mm, 0);
    EXPECT_FLOAT_EQ(first.x, 0.0F);
    EXPECT_FLOAT_EQ(first.y, 574.0F - g.ch);  // bottom row
    const Rec last = list.at(120);
    EXPECT_EQ(last.mp, 10);
    EXPECT_EQ(last.mm, 10);
    EXPECT_NEAR(last.y, 1.0, 1e-3);  // top row
    EXPECT_NEAR(last.x + last.width, 573.0, 1e-3);
    EXPECT_EQ(list.at(12).mp, 1);  // M- runs fastest
    EXPECT_EQ(list.at(12).mm, 1);
}

TEST(MapModel, HitTestAgreesWithWalkingTheListInOrder) {
    struct Case {
        std::int32_t prange, mrange, mpMin, mmMin;
    };
    for (const Case c : {Case{11, 11, 0, 0}, Case{3, 7, 2, 5}, Case{60, 37, 1, 0}, Case{1000, 13, 0, 4}}) {
        const CellGeometry g(575, 575, c.prange, c.mrange);
        const CellList list(g, c.mpMin, c.mmMin, nullptr);
        const auto walk = [&](double X, double Y) {
            const auto fx = static_cast<float>(X), fy = static_cast<float>(Y);
            for (std::size_t k = 0; k < list.size(); ++k) {
                const Rec r = list.at(k);
                if (r.x <= fx && fx <= r.x + r.width && r.y <= fy && fy <= r.y + r.height)
                    return std::pair{r.mp, r.mm};
            }
            return std::pair<std::int32_t, std::int32_t>{0, 0};
        };
        // Every pixel of a coarse lattice, plus the exact cell corners (shared edges).
        std::vector<std::pair<double, double>> points;
        for (int X = -2; X <= 577; X += 7)
            for (int Y = -2; Y <= 577; Y += 5) points.emplace_back(X, Y);
        for (int i = 0; i <= std::min(c.prange, 20); ++i)
            for (int j = 0; j <= std::min(c.mrange, 20); ++j) points.emplace_back(g.cellX(i), g.cellY(j));
        for (const auto& [X, Y] : points)
            ASSERT_EQ(list.hitTest(X, Y), walk(X, Y)) << c.prange << "x" << c.mrange << " at " << X << "," << Y;
    }
    EXPECT_EQ(CellList().hitTest(10, 10), (std::pair<std::int32_t, std::int32_t>{0, 0}));
}

TEST(MapModel, MostProbableComplexIsTheFirstStrictMaximum) {
    Grid<std::int32_t> codes(4, 5);
    EXPECT_EQ(mostProbableComplex(codes, 2, 3), (std::pair<std::int32_t, std::int32_t>{2, 3}));
    codes(1, 4) = 17;
    codes(3, 0) = 17;  // same code, later row: not taken
    codes(1, 2) = 9;
    EXPECT_EQ(mostProbableComplex(codes, 2, 3), (std::pair<std::int32_t, std::int32_t>{3, 7}));
    codes(0, 1) = 20;
    EXPECT_EQ(mostProbableComplex(codes, 0, 0), (std::pair<std::int32_t, std::int32_t>{0, 1}));
}

TEST(MapModel, ColourCodesOutsideTheTableAreNamedByTheFirstOffender) {
    Grid<std::int32_t> codes(3, 3);
    EXPECT_FALSE(colorCodeError(codes));
    codes(2, 2) = 21;
    EXPECT_EQ(colorCodeError(codes), std::optional<std::string>("a->color is greater than 20"));
    codes(1, 0) = -1;
    EXPECT_EQ(colorCodeError(codes), std::optional<std::string>("a->color is less than 0"));
}

static std::vector<std::string> texts(const AxisLabels& a) {
    std::vector<std::string> out;
    for (const auto& l : a.labels) out.push_back(l.text);
    return out;
}

TEST(MapModel, HorizontalAxisLabelsFollowTheRangeRules) {
    const AxisLabels eleven = horizontalAxisLabels(0, 11);
    EXPECT_EQ(eleven.fontPointSize, 8.0);
    ASSERT_EQ(eleven.labels.size(), 11U);
    EXPECT_EQ(eleven.labels[10].text, "10");
    EXPECT_FLOAT_EQ(eleven.labels[3].x, static_cast<float>(3 * 52 * 1.05));  // spread 5 % wider
    EXPECT_FLOAT_EQ(eleven.labels[3].width, 52.0F);
    EXPECT_FALSE(eleven.verticallyCentred);

    const AxisLabels thirty = horizontalAxisLabels(0, 30);
    EXPECT_EQ(thirty.fontPointSize, 5.0);
    EXPECT_EQ(thirty.labels.size(), 30U);

    const AxisLabels thirtyOne = horizontalAxisLabels(0, 31);
    EXPECT_EQ(thirtyOne.fontPointSize, 10.0);
    EXPECT_EQ(texts(thirtyOne), (std::vector<std::string>{"0", "3", "6", "9", "12", "15", "18", "21", "24", "27"}));
    EXPECT_FLOAT_EQ(thirtyOne.labels[2].x, 114.0F);

    EXPECT_EQ(texts(horizontalAxisLabels(1, 100)),
              (std::vector<std::string>{"1", "10", "20", "30", "40", "50", "60", "70", "80", "90"}));
    EXPECT_EQ(horizontalAxisLabels(0, 9).fontPointSize, 10.0);
}

TEST(MapModel, VerticalAxisLabelsPutTheLargestAtTheTop) {
    const AxisLabels eleven = verticalAxisLabels(10, 11);
    EXPECT_EQ(eleven.fontPointSize, 7.0);
    EXPECT_TRUE(eleven.verticallyCentred);
    ASSERT_EQ(eleven.labels.size(), 11U);
    EXPECT_EQ(eleven.labels.front().text, "10");
    EXPECT_EQ(eleven.labels.back().text, "0");
    EXPECT_FLOAT_EQ(eleven.labels[1].y, 52.0F);

    const AxisLabels thirty = verticalAxisLabels(29, 30);  // 30 rows: every label, at 8 pt
    EXPECT_EQ(thirty.fontPointSize, 8.0);
    EXPECT_EQ(thirty.labels.size(), 30U);
    EXPECT_EQ(verticalAxisLabels(24, 25).fontPointSize, 5.0);

    const AxisLabels hundred = verticalAxisLabels(99, 100);
    EXPECT_FALSE(hundred.verticallyCentred);
    EXPECT_EQ(texts(hundred), (std::vector<std::string>{"99", "89", "79", "69", "59", "49", "39", "29", "19", "9"}));
}

TEST(MapModel, ResultPanelNumbersOfAComplex) {
    const ComplexSummary s = summarizeComplex(3, 5, 18.0, 18.0, 72.0, 72.0, 0.2);
    EXPECT_DOUBLE_EQ(s.Z, -36.0);
    EXPECT_DOUBLE_EQ(s.Rc, std::pow(576.0 * 3.0 / 12.566369548, 0.3333333333333333));
    EXPECT_DOUBLE_EQ(s.kRc, s.Rc * 0.2);
    EXPECT_DOUBLE_EQ(s.ZoverRc, -36.0 / s.Rc);
    EXPECT_EQ(coreRadius(72.0, 72.0, 0, 0), 0.0);
}

TEST(MapModel, SunDrawsOneLinePerChainEvenlySpacedAndReproducibly) {
    std::mt19937 a(7), b(7);
    const SunPicture one = sunPicture(265, 3, 5, 6.0, 200.0, 9.0, 1, 200, a);
    const SunPicture two = sunPicture(265, 3, 5, 6.0, 200.0, 9.0, 1, 200, b);
    ASSERT_EQ(one.lines.size(), 8U);
    int plus = 0;
    for (std::size_t k = 0; k < one.lines.size(); ++k) {
        const SunLine& l = one.lines[k];
        plus += l.plus ? 1 : 0;
        const double theta = static_cast<double>(k) * 6.283184774 / 8.0;
        const double length = (l.plus ? 1.0 : 200.0) * 265.0 / (209.0 * 2.0);
        EXPECT_NEAR(l.x0, one.centre + one.rc * std::cos(theta), 1e-9);
        EXPECT_NEAR(l.y1, one.centre + (one.rc + length) * std::sin(theta), 1e-9);
        EXPECT_EQ(l.x1, two.lines[k].x1);
    }
    EXPECT_EQ(plus, 3);
    EXPECT_EQ(one.centre, 132.0);
}

TEST(MapModel, TooltipNamesTheComplexItsConcentrationAndShare) {
    EXPECT_EQ(cellTooltip(3, 5, 1.25e-5, 0.5, false, ','),
              "M+ = 3, M- = 5\nconcentration (absValue): 1,25e-05\nshare of the distribution (Value): 0,5");
    EXPECT_EQ(cellTooltip(7, 0, 0.0, 0.0, true, '.'), "M+ = 7, M- = 0\nnot computed yet");
}

