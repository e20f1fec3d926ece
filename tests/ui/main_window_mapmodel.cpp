// The toolkit-free map pieces: geometry, hit test, colour codes and scales, axis ticks, the
// populated region with zoom and pan, sun, tooltip.
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
                if (r.x <= fx && fx <= r.x + r.width && r.y <= fy && fy <= r.y + r.height) return std::pair{r.mp, r.mm};
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

TEST(MapModel, ColourCodesOutsideTheTableAreNamedByTheFirstOffender) {
    Grid<std::int32_t> codes(3, 3);
    EXPECT_FALSE(colorCodeError(codes));
    codes(2, 2) = 21;
    EXPECT_EQ(colorCodeError(codes), std::optional<std::string>("a->color is greater than 20"));
    codes(1, 0) = -1;
    EXPECT_EQ(colorCodeError(codes), std::optional<std::string>("a->color is less than 0"));
}

namespace {

// Checks one axis: ends labelled, values in range and increasing, inner labels on a step
// of 1, 2 or 5 times a power of ten, no two labels closer than their half extents.
void expectReadableTicks(std::int64_t first, std::int64_t count, double length, double charWidth) {
    SCOPED_TRACE("first " + std::to_string(first) + ", " + std::to_string(count) + " cells on " +
                 std::to_string(length) + " px");
    const double cell = length / static_cast<double>(count);
    const auto extent = [&](std::int64_t v) { return digitsExtent(v, charWidth); };
    const std::vector<Tick> ticks = axisTicks(first, count, cell, extent, charWidth);
    ASSERT_GE(ticks.size(), 2U);
    EXPECT_EQ(ticks.front().value, first);
    EXPECT_EQ(ticks.back().value, first + count - 1);
    for (std::size_t k = 1; k < ticks.size(); ++k) {
        EXPECT_LT(ticks[k - 1].value, ticks[k].value);
        const double room = ticks[k].centre - ticks[k - 1].centre;
        EXPECT_GE(room, (extent(ticks[k - 1].value) + extent(ticks[k].value)) / 2.0)
            << ticks[k - 1].value << " and " << ticks[k].value << " overlap";
        // Centred on its cell.
        EXPECT_DOUBLE_EQ(ticks[k].centre, (static_cast<double>(ticks[k].value - first) + 0.5) * cell);
    }
    if (ticks.size() >= 4) {
        const std::int64_t step = ticks[2].value - ticks[1].value;
        std::int64_t power = 1;
        while (step / power >= 10) power *= 10;
        EXPECT_TRUE(step == power || step == 2 * power || step == 5 * power) << step;
        for (std::size_t k = 1; k + 1 < ticks.size(); ++k) EXPECT_EQ(ticks[k].value % step, 0) << ticks[k].value;
        // The step is the smallest that fits: the next smaller one would crowd the labels.
        EXPECT_LT(static_cast<double>(step), count);
    }
}

}  // namespace

TEST(MapModel, TickLabelsNeverOverlapAndAlwaysIncludeBothEnds) {
    for (const std::int64_t count : {11, 31, 101, 1001, 2001})
        for (const double length : {380.0, 575.0, 900.0})
            for (const std::int64_t first : {std::int64_t{0}, std::int64_t{1}, std::int64_t{37}}) {
                expectReadableTicks(first, count, length, 7.0);
                // The m- axis: labels one text height apart.
                expectReadableTicks(first, count, length, 15.0);
            }
    // Every value where there is room; a few where there is not.
    EXPECT_EQ(axisTicks(0, 11, 52.0, [](std::int64_t v) { return digitsExtent(v, 7.0); }).size(), 11U);
    const auto big = axisTicks(
        0, 2001, 575.0 / 2001, [](std::int64_t v) { return digitsExtent(v, 7.0); }, 7.0);
    EXPECT_LE(big.size(), 12U);
    EXPECT_GE(big.size(), 5U);
}

TEST(MapModel, RunClassesSplitTheLargestWeightIntoTwentieths) {
    // maxValue 2: a class is 0.1 wide; a weight above maxValue (a lone chain while the rows
    // of a Poisson-Boltzmann run are summed without it) lands above 20 and is refused.
    Grid<double> w(1, 7);
    const double weights[] = {0.0, 0.099, 0.1, 1.05, 2.0, 2.05, 1e300};
    for (std::int32_t c = 0; c < 7; ++c) w(0, c) = weights[c];
    const Grid<std::int32_t> classes = weightClasses(w, 2.0);
    const std::int32_t expected[] = {0, 0, 1, 10, 20, 20, 21};
    for (std::int32_t c = 0; c < 7; ++c) EXPECT_EQ(classes(0, c), expected[c]) << weights[c];
    EXPECT_EQ(colorCodeError(classes), std::optional<std::string>("a->color is greater than 20"));
    // No weight yet: every class 0.
    EXPECT_EQ(weightClasses(w, 0.0), Grid<std::int32_t>(1, 7));
}

TEST(MapModel, LogarithmicScaleColoursAThousandthOfTheLargestWeight) {
    const ColourScale linear{false, 6}, log6{true, 6}, log2{true, 2};
    EXPECT_EQ(colourClassOf(1e-3, linear), 0);  // white on the linear scale
    EXPECT_EQ(colourClassOf(1e-3, log6), 10);   // green, halfway down six decades
    EXPECT_EQ(colourClassOf(1e-3, log2), 0);    // below two decades
    EXPECT_EQ(colourClassOf(1.0, log6), 20);
    EXPECT_EQ(colourClassOf(0.0, log6), 0);
    EXPECT_EQ(colourClassOf(0.5, linear), 10);
    EXPECT_EQ(colourClassOf(0.999, linear), 19);
    EXPECT_EQ(colourClassOf(1.2e-6, log6), 1);
    EXPECT_EQ(colourClassOf(9e-7, log6), 0);

    Grid<double> w(2, 3);
    w(0, 0) = 4.0;
    w(1, 2) = 4e-3;
    w(0, 1) = 4e-9;
    const Grid<std::int32_t> c = colourClassesOf(w, log6);
    EXPECT_EQ(c(0, 0), 20);
    EXPECT_EQ(c(1, 2), 10);
    EXPECT_EQ(c(0, 1), 0);

    // The whole-grid classes follow the rule of one cell, the class edges included.
    for (const ColourScale& s : {linear, log6, log2}) {
        std::vector<double> values{3.0};
        for (double e = -9.0; e <= 0.0; e += 0.0137) values.push_back(3.0 * std::pow(10.0, e));
        const std::size_t sweepEnd = values.size();
        for (const ScaleBoundary& b : scaleBoundaries(s)) values.push_back(3.0 * b.ratio);
        Grid<double> g(1, static_cast<std::int32_t>(values.size()));
        for (std::size_t k = 0; k < values.size(); ++k) g(0, static_cast<std::int32_t>(k)) = values[k];
        const Grid<std::int32_t> classes = colourClassesOf(g, s);
        for (std::size_t k = 0; k < values.size(); ++k)
            // At an edge itself the rounding of w / largest may tip a class either way.
            EXPECT_NEAR(classes(0, static_cast<std::int32_t>(k)), colourClassOf(values[k] / 3.0, s),
                        k < sweepEnd ? 0 : 1)
                << values[k];
    }

    // The bar's boundaries rise from the bottom; each class holds the ratios between them.
    for (const ColourScale& s : {linear, log6}) {
        const auto b = scaleBoundaries(s);
        ASSERT_EQ(b.size(), s.logarithmic ? 21U : 20U);
        for (std::size_t k = 1; k < b.size(); ++k) {
            EXPECT_EQ(b[k].position, b[k - 1].position + 1);
            EXPECT_GT(b[k].ratio, b[k - 1].ratio);
        }
        for (std::int32_t code = 1; code < 20; ++code) {
            const auto [lo, hi] = classRange(code, s);
            EXPECT_EQ(colourClassOf(std::sqrt(lo * hi), s), code) << code;
        }
    }
    EXPECT_DOUBLE_EQ(scaleBoundaries(log6).front().ratio, 1e-6);
    EXPECT_EQ(shortShare(0.05), "0.05");
    EXPECT_EQ(shortShare(1.24e-5, ','), "1,2e-5");
    EXPECT_EQ(shortShare(0.0), "0");
}

TEST(MapModel, PopulatedRegionHoldsTheWeightAndZoomKeepsTheCellUnderTheMouse) {
    Grid<double> w(301, 301);
    for (std::int32_t r = 0; r < 301; ++r)
        for (std::int32_t c = 0; c < 301; ++c) w(r, c) = std::exp(-((r - 20) * (r - 20) + (c - 30) * (c - 30)) / 18.0);
    const auto region = populatedRegion(w);
    ASSERT_TRUE(region.has_value());
    EXPECT_LE(region->row0, 20 - 9);
    EXPECT_GE(region->row1, 20 + 9);
    EXPECT_LE(region->col0, 30 - 9);
    EXPECT_LT(region->rows(), 60);
    EXPECT_TRUE(worthFocusing(*region, 301, 301));
    EXPECT_FALSE(worthFocusing(CellWindow{0, 10, 0, 10}, 11, 11));  // small maps stay whole
    Grid<double> flat(50, 50);
    for (std::size_t k = 0; k < flat.cellCount(); ++k) flat.at(k) = 1.0;
    EXPECT_FALSE(worthFocusing(*populatedRegion(flat), 50, 50));
    EXPECT_FALSE(populatedRegion(Grid<double>(5, 5)).has_value());

    const CellWindow whole{0, 300, 0, 300};
    const CellWindow in = zoomWindow(whole, 0.5, 150, 30, 301, 301);
    EXPECT_NEAR(in.rows(), 150, 1);
    EXPECT_TRUE(in.row0 <= 150 && 150 <= in.row1 && in.col0 <= 30 && 30 <= in.col1);
    EXPECT_EQ(in.col0, 15);  // 30 stays a tenth of the way across
    EXPECT_EQ(zoomWindow(in, 100.0, 150, 30, 301, 301), whole);
    const CellWindow tiny = zoomWindow(CellWindow{10, 13, 10, 13}, 0.1, 11, 11, 301, 301);
    EXPECT_EQ(tiny.rows(), 3);
    const CellWindow moved = panWindow(in, -1000, 5, 301, 301);
    EXPECT_EQ(moved.row0, 0);
    EXPECT_EQ(moved.rows(), in.rows());
    EXPECT_EQ(moved.col0, in.col0 + 5);
}

TEST(MapModel, ResultPanelNumbersOfAComplex) {
    const SphericalComplex s = SphericalComplex::of(3, 5, ChainBlocks{18.0, 18.0, 72.0, 72.0}, {0.2});
    EXPECT_DOUBLE_EQ(s.charge, -36.0);
    EXPECT_DOUBLE_EQ(s.radius, std::pow(576.0 * 3.0 / 12.566369548, 0.3333333333333333));
    EXPECT_DOUBLE_EQ(s.kappaR, s.radius * 0.2);
    EXPECT_EQ(SphericalComplex::of(0, 0, ChainBlocks{18.0, 18.0, 72.0, 72.0}, {0.2}).radius, 0.0);
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
        // A neutral block of length 1 is still drawn a few pixels long.
        const double length = std::max((l.plus ? 1.0 : 200.0) * 265.0 / (209.0 * 2.0), kMinChainPixels);
        EXPECT_NEAR(l.x0, one.centre + one.rc * std::cos(theta), 1e-9);
        EXPECT_NEAR(l.y1, one.centre + (one.rc + length) * std::sin(theta), 1e-9);
        EXPECT_EQ(l.x1, two.lines[k].x1);
    }
    EXPECT_EQ(plus, 3);
    EXPECT_EQ(one.centre, 132.0);
}

TEST(MapModel, SunKeepsBothKindsAroundTheCoreWhenOneIsScarce) {
    for (std::uint32_t seed = 0; seed < 20; ++seed) {
        std::mt19937 rng(seed);
        const SunPicture sun = sunPicture(265, 3, 40, 6.0, 200.0, 9.0, 1, 200, rng);
        ASSERT_EQ(sun.lines.size(), 43U);
        // The three '+' chains are spread around: no two of them in the same third.
        std::vector<std::size_t> plus;
        for (std::size_t k = 0; k < sun.lines.size(); ++k)
            if (sun.lines[k].plus) plus.push_back(k);
        ASSERT_EQ(plus.size(), 3U);
        EXPECT_GE(plus[1] - plus[0], 13U);
        EXPECT_GE(plus[2] - plus[1], 13U);
        // Their neutral blocks of length 1 are drawn at the shortest visible length.
        const double plusLength =
            std::hypot(sun.lines[plus[0]].x1 - sun.lines[plus[0]].x0, sun.lines[plus[0]].y1 - sun.lines[plus[0]].y0);
        EXPECT_NEAR(plusLength, kMinChainPixels, 1e-9);
    }
}

TEST(MapModel, TooltipNamesTheComplexItsConcentrationAndShare) {
    EXPECT_EQ(cellTooltip(3, 5, 1.25e-5, 0.5, false, ','),
              "M+ = 3, M- = 5\nconcentration (absValue): 1,25e-05\nshare of the distribution (Value): 0,5");
    EXPECT_EQ(cellTooltip(7, 0, 0.0, 0.0, true, '.'), "M+ = 7, M- = 0\nnot computed yet");
}

// On the logarithmic scale the colour bar is numbered at the decades of the share: each
// number stands inside the class that colours a cell of exactly that share.
TEST(MapModel, LogarithmicColourBarNumbersFallOnDecadesInsideTheirClasses) {
    for (const ColourScale& s : {ColourScale{true, 6}, ColourScale{true, 3}, ColourScale{true, 11}}) {
        for (const double top : {0.35, 1.0, 0.0123}) {
            SCOPED_TRACE(::testing::Message() << s.decades << " decades, top " << top);
            const auto ticks = colourScaleTicks(s, top, 30.0, 12.0);
            // Every decade from the top down to `decades` below it.
            ASSERT_EQ(static_cast<int>(ticks.size()), static_cast<int>(std::floor(std::log10(top) + 1e-9) -
                                                                       std::ceil(std::log10(top) - s.decades - 1e-9)) +
                                                          1);
            for (std::size_t k = 0; k < ticks.size(); ++k) {
                const double exponent = std::log10(ticks[k].value);
                EXPECT_NEAR(exponent, std::round(exponent), 1e-12);
                if (k > 0) EXPECT_GT(ticks[k].position, ticks[k - 1].position);
                // Class c fills positions c .. c+1 of the bar.
                const double inside = ticks[k].position;
                if (std::abs(inside - std::round(inside)) > 1e-6 && inside < 21.0)
                    EXPECT_EQ(colourClassOf(ticks[k].value / top, s), static_cast<int>(std::floor(inside)));
            }
        }
    }
    // Thirty decades on a short bar: every fifth decade, still powers of ten.
    const auto sparse = colourScaleTicks(ColourScale{true, 30}, 1.0, 5.0, 12.0);
    ASSERT_GE(sparse.size(), 2U);
    for (const ScaleTick& t : sparse) EXPECT_EQ(std::lround(std::log10(t.value)) % 5, 0);
    EXPECT_EQ(decadeText(-3), "10\u207b\u00b3");
    EXPECT_EQ(decadeText(0), "10\u2070");
    EXPECT_EQ(decadeText(12), "10\u00b9\u00b2");
    // The linear scale keeps its numbers at class boundaries.
    const auto linear = colourScaleTicks(ColourScale{false, 6}, 0.4, 30.0, 12.0);
    EXPECT_DOUBLE_EQ(linear.front().value, 0.02);
    EXPECT_DOUBLE_EQ(linear.back().value, 0.4);
}

// Viridis: from its dark violet to its yellow, each class lighter than the one below it, so
// that the order of the shares survives grey print; white for no weight as in the default.
TEST(MapModel, ViridisClassesGrowLighterFromVioletToYellow) {
    const auto& v = colourTable(ColourMap::Viridis);
    EXPECT_EQ(v[0], (std::array<std::int32_t, 3>{255, 255, 255}));
    EXPECT_EQ(v[1], (std::array<std::int32_t, 3>{68, 1, 84}));      // #440154
    EXPECT_EQ(v[20], (std::array<std::int32_t, 3>{253, 231, 37}));  // #fde725
    const auto luminance = [](const std::array<std::int32_t, 3>& c) {
        return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2];
    };
    for (std::size_t k = 2; k <= 20; ++k) EXPECT_GT(luminance(v[k]), luminance(v[k - 1]) + 2.0) << k;
    EXPECT_EQ(&colourTable(ColourMap::Classic), &colorArray);
    EXPECT_EQ(ColourScale{}.colours, ColourMap::Classic);  // the default stays
}
