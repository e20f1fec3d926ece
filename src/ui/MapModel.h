#pragma once
// The distribution map without any toolkit: colour table, cell geometry, the cell list
// used for hit-testing, the axis labels of the two coordinate bars, the result-panel
// numbers and the chains of the sun picture.

#include "physics/SphericalComplex.h"
#include "kernel/Grid.h"
#include "pipeline/MapClasses.h"

#include <array>
#include <functional>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace marlinq::ui {

// RGB of colour code 0 (white) .. 20 (red).
extern const std::array<std::array<std::int32_t, 3>, 21> colorArray;
// Colour of a cell whose row M+ has not been computed yet (the window background).
inline constexpr std::array<std::int32_t, 3> kPendingColor{224, 224, 224};
// The named greys of the drawings (the usual web colours, not Qt's lighter Qt::gray and
// Qt::lightGray): Gray for the axis labels, the map grid and the chains of the sun
// picture, LightGray for the empty grid of a new run.
inline constexpr std::array<std::int32_t, 3> kGrayColor{128, 128, 128};
inline constexpr std::array<std::int32_t, 3> kLightGrayColor{211, 211, 211};
// The brushes are kept from red to white: code c is entry 20 - c.
constexpr int brushIndexOfCode(int code) { return 20 - code; }

// One drawn cell of the map.
struct Rec {
    std::int32_t mp, mm;
    float x, y, height, width;
    std::int32_t color;
};

// Cell size of a map picture of width x height pixels showing prange x mrange cells.
struct CellGeometry {
    float cw = 0.0F, ch = 0.0F;  // cell width and height
    std::int32_t Wm = 0, Hm = 0;  // last pixel column and row
    std::int32_t prange = 0, mrange = 0;

    CellGeometry() = default;
    CellGeometry(std::int32_t width, std::int32_t height, std::int32_t prange_, std::int32_t mrange_);

    // Top-left corner of the cell of column i (M+ = mpMin + i) and row j (M- = mmMin + j);
    // row 0 is at the bottom.
    float cellX(std::int32_t i) const { return static_cast<float>(i) * cw; }
    float cellY(std::int32_t j) const { return (static_cast<float>(Hm) - ch) - static_cast<float>(j) * ch; }
};

// The cells of the current map in drawing order (M+ ascending, within it M- ascending).
// The entries are generated on demand from the geometry, so a map of millions of cells
// costs no memory; hitTest gives the same answer as walking all entries in order.
class CellList {
public:
    CellList() = default;
    CellList(CellGeometry geometry, std::int32_t mpMin, std::int32_t mmMin, const Grid<std::int32_t>* colors);

    void clear() { *this = CellList(); }
    std::size_t size() const;
    bool empty() const { return size() == 0; }
    Rec at(std::size_t k) const;

    // (M+, M-) of the first cell whose rectangle, edges included, contains (X, Y); (0, 0)
    // when there is none.
    std::pair<std::int32_t, std::int32_t> hitTest(double X, double Y) const;
    // The same, but nullopt when no cell contains the point.
    std::optional<std::pair<std::int32_t, std::int32_t>> find(double X, double Y) const;
    const CellGeometry& geometry() const { return g; }

private:
    CellGeometry g;
    std::int32_t mpMin = 0, mmMin = 0;
    const Grid<std::int32_t>* colors = nullptr;
};

// The classes of a run's weights on the linear scale come with the result
// (pipeline/MapClasses.h: weightClasses, colorCodeError).

// --- colour scale ---
// The 21 colours either split the weights linearly (class c holds c/20 .. (c+1)/20 of the
// largest weight, as the run stores them) or spread the classes 1..20 evenly over `decades`
// decades below the largest weight (class 0 below that).
enum class ColourMap {
    Classic,  // white, then blue through green and yellow to red
    Viridis,  // white, then dark violet through teal to yellow: lightness grows with the class
};
struct ColourScale {
    bool logarithmic = false;
    std::int32_t decades = 6;
    ColourMap colours = ColourMap::Classic;
};
// RGB of the codes 0..20 of a colour map (code 0, no weight or below the scale, is white).
const std::array<std::array<std::int32_t, 3>, 21>& colourTable(ColourMap map);
inline constexpr std::int32_t kDefaultDecades = 6;
inline constexpr std::int32_t kMinDecades = 1;
inline constexpr std::int32_t kMaxDecades = 30;
// Class 0..20 of a cell holding `ratio` (0..1) of the largest weight.
std::int32_t colourClassOf(double ratio, const ColourScale& scale);
// The classes of every cell of weights (largest weight = class 20).
Grid<std::int32_t> colourClassesOf(const Grid<double>& weights, const ColourScale& scale);
// One boundary of the colour bar: at `position` class heights above its bottom, the share
// `ratio` of the largest weight.
struct ScaleBoundary {
    std::int32_t position;  // 1..21; the bottom edge of class `position`
    double ratio;
};
std::vector<ScaleBoundary> scaleBoundaries(const ColourScale& scale);
// A number of the colour bar: at `position` class heights above its bottom (0..21), the
// share `value`.
struct ScaleTick {
    double position;
    double value;
};
// The numbers of the colour bar, top = the share of the largest weight (1 when not known):
// on the linear scale at class boundaries, every first, second, fourth ... so that numbers
// of textHeight on classes of classHeight keep apart; on the logarithmic scale at the
// decades (every first, second, fifth ... decade likewise), bottom to top.
std::vector<ScaleTick> colourScaleTicks(const ColourScale& scale, double top, double classHeight, double textHeight);
// A decade as "10⁻³" (superscript digits), for the numbers of a logarithmic colour bar.
std::string decadeText(std::int32_t exponent);
// Lower and upper ratio of a class (class 0: 0 .. lower edge of class 1).
std::pair<double, double> classRange(std::int32_t code, const ColourScale& scale);
// A share in two significant digits: "0.05", "1.2e-5", "0".
std::string shortShare(double v, char decimalSeparator = '.');

// --- axis ticks ---
// One label of an axis: the value and the centre of its cell, counted from the start of
// the axis in the direction of growing values.
struct Tick {
    std::int64_t value;
    double centre;
};
// Labels of an axis of `count` cells from `first`, each cellSize pixels long; extent(v) is
// the size of v's label along the axis. The step is 1, 2 or 5 times a power of ten, the
// smallest at which no two labels come closer than gap; both ends are always labelled
// (a step value too close to an end gives way to it).
std::vector<Tick> axisTicks(std::int64_t first, std::int64_t count, double cellSize,
                            const std::function<double(std::int64_t)>& extent, double gap = 6.0);
// Extent of a label of digits of charWidth pixels each (a minus sign counts as a digit).
double digitsExtent(std::int64_t value, double charWidth);
// The step axisTicks chose (0 when only the ends are labelled).
std::int64_t tickStep(const std::vector<Tick>& ticks);

// --- the part of the map shown ---
// Rows (M+ index) row0..row1 and columns (M- index) col0..col1, inclusive.
struct CellWindow {
    std::int32_t row0 = 0, row1 = -1, col0 = 0, col1 = -1;
    std::int32_t rows() const { return row1 - row0 + 1; }
    std::int32_t cols() const { return col1 - col0 + 1; }
    bool operator==(const CellWindow&) const = default;
};
// The smallest box around the largest cells that hold `fraction` of the weight, grown by
// a margin of a tenth of its size (at least 2 cells) and kept inside the grid; nullopt
// when there is no weight.
std::optional<CellWindow> populatedRegion(const Grid<double>& weights, double fraction = 0.999);
// True when region is much smaller than the whole grid (a quarter of its area or less, on
// a grid with at least 40 cells along one side): worth showing on its own.
bool worthFocusing(const CellWindow& region, std::int32_t rows, std::int32_t cols);
// The window after zooming by factor (< 1 in, > 1 out) about cell (row, col), which keeps
// its place on the screen; at least 3 cells a side, at most the whole grid.
CellWindow zoomWindow(const CellWindow& w, double factor, std::int32_t row, std::int32_t col, std::int32_t rows,
                      std::int32_t cols);
// The window moved by (dRows, dCols) cells and kept inside the grid.
CellWindow panWindow(const CellWindow& w, std::int32_t dRows, std::int32_t dCols, std::int32_t rows,
                     std::int32_t cols);

// One-line caption of a parameter set for a saved figure.
std::string parameterCaption(double zp, double plen, std::int32_t Np, double zn, double mlen, std::int32_t Nm,
                             double ka, double vc10, double vc01, Method method);

// The sun picture: a core disc and one radial line per chain, evenly spaced, in random order.
struct SunLine {
    double x0, y0, x1, y1;
    bool plus;
};
struct SunPicture {
    double centre = 0.0;  // both coordinates
    double rc = 0.0;      // core radius in pixels
    std::vector<SunLine> lines;
};
// width: the picture width in pixels; Nmax, Rmax set the scale; Np, Nm the neutral lengths
// drawn, each at least kMinChainPixels long. The two kinds alternate as evenly as their
// numbers allow, starting from a phase that rng draws.
inline constexpr double kMinChainPixels = 8.0;
SunPicture sunPicture(std::int32_t width, std::int32_t mp, std::int32_t mm, double Rc, double Nmax, double Rmax,
                      std::int32_t Np, std::int32_t Nm, std::mt19937& rng);

// Tooltip of a map cell: its complex, concentration and share of the distribution.
// pending: the row is not computed yet.
std::string cellTooltip(std::int32_t mp, std::int32_t mm, double absValue, double value, bool pending,
                        char decimalSeparator);

}  // namespace marlinq::ui
