#pragma once
// The distribution map without any toolkit: colour table, cell geometry, the cell list
// used for hit-testing, the most probable complex, the axis labels of the two coordinate
// bars, the result-panel numbers and the chains of the sun picture.

#include "kernel/Grid.h"

#include <array>
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

// The first colour code outside 0..20 in drawing order, as its message; nullopt if none.
std::optional<std::string> colorCodeError(const Grid<std::int32_t>& Mcolor);

// The cell with the strictly largest code, first in drawing order; (mpMin, mmMin) when
// every code is 0.
std::pair<std::int32_t, std::int32_t> mostProbableComplex(const Grid<std::int32_t>& Mcolor, std::int32_t mpMin,
                                                          std::int32_t mmMin);

// Labels of a coordinate bar.
struct AxisLabel {
    std::string text;
    float x, y, width, height;
};
struct AxisLabels {
    double fontPointSize = 10.0;
    bool verticallyCentred = false;  // else aligned to the top of its rectangle
    std::vector<AxisLabel> labels;
};
// m+ labels under the map (bar of mapWidth x barHeight).
AxisLabels horizontalAxisLabels(std::int32_t mpMin, std::int32_t prange, std::int32_t mapWidth = 575,
                                std::int32_t barHeight = 26);
// m- labels left of the map (bar of barWidth x mapHeight), largest M- at the top.
AxisLabels verticalAxisLabels(std::int32_t mmMax, std::int32_t mrange, std::int32_t mapHeight = 575,
                              std::int32_t barWidth = 29);

// Core radius of a complex of mp '+' chains of charged length plen and mm '-' chains of
// charged length mlen, in segment lengths.
double coreRadius(double plen, double mlen, std::int32_t mp, std::int32_t mm);

// Result-panel numbers of the most probable complex.
struct ComplexSummary {
    double Z = 0.0, Rc = 0.0, kRc = 0.0, ZoverRc = 0.0;
};
ComplexSummary summarizeComplex(std::int32_t mp, std::int32_t mm, double zp, double zn, double plen, double mlen,
                                double ka);

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
// drawn. rng draws r = 1..100 per line, r > 50 meaning a '+' chain.
SunPicture sunPicture(std::int32_t width, std::int32_t mp, std::int32_t mm, double Rc, double Nmax, double Rmax,
                      std::int32_t Np, std::int32_t Nm, std::mt19937& rng);

// Tooltip of a map cell: its complex, concentration and share of the distribution.
// pending: the row is not computed yet.
std::string cellTooltip(std::int32_t mp, std::int32_t mm, double absValue, double value, bool pending,
                        char decimalSeparator);

}  // namespace marlinq::ui
