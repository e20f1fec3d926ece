#include "ui/MapModel.h"

#include "physics/Complex.h"
#include "physics/Constants.h"

#include <algorithm>
#include "io/NumberText.h"

#include <charconv>
#include <limits>
#include <tuple>
#include <cmath>

namespace marlinq::ui {

const std::array<std::array<std::int32_t, 3>, 21> colorArray{{
    {255, 255, 255}, {0, 0, 255},   {0, 102, 255}, {0, 153, 255}, {0, 204, 255}, {0, 255, 255}, {0, 255, 204},
    {0, 255, 153},   {0, 255, 102}, {0, 255, 51},  {0, 255, 0},   {51, 255, 0},  {102, 255, 0}, {153, 255, 0},
    {204, 255, 0},   {255, 255, 0}, {255, 204, 0}, {255, 153, 0}, {255, 102, 0}, {255, 51, 0},  {255, 0, 0},
}};

namespace {
// Viridis at 20 even steps from its dark end to its light one; white below.
const std::array<std::array<std::int32_t, 3>, 21> viridisArray{{
    {255, 255, 255}, {68, 1, 84},    {70, 19, 101},   {72, 38, 118},   {68, 55, 127},  {64, 71, 136},  {57, 85, 139},
    {51, 99, 141},   {45, 112, 142}, {40, 125, 142},  {35, 138, 141},  {33, 151, 138}, {34, 163, 134}, {45, 175, 126},
    {63, 187, 115},  {88, 198, 101}, {116, 207, 84},  {150, 215, 63},  {185, 222, 40}, {219, 227, 38}, {253, 231, 37},
}};
}  // namespace

const std::array<std::array<std::int32_t, 3>, 21>& colourTable(ColourMap map) {
    return map == ColourMap::Viridis ? viridisArray : colorArray;
}

CellGeometry::CellGeometry(std::int32_t width, std::int32_t height, std::int32_t prange_, std::int32_t mrange_)
    : Wm(width - 1), Hm(height - 1), prange(prange_), mrange(mrange_) {
    // One pixel is kept free on the right and at the top for the closing grid lines.
    cw = static_cast<float>(static_cast<double>(Wm - 1) / static_cast<double>(prange));
    ch = static_cast<float>(static_cast<double>(Hm - 1) / static_cast<double>(mrange));
}

CellList::CellList(CellGeometry geometry, std::int32_t mpMin_, std::int32_t mmMin_, const Grid<std::int32_t>* colors_)
    : g(geometry), mpMin(mpMin_), mmMin(mmMin_), colors(colors_) {}

std::size_t CellList::size() const {
    if (g.prange <= 0 || g.mrange <= 0) return 0;
    return static_cast<std::size_t>(g.prange) * static_cast<std::size_t>(g.mrange);
}

Rec CellList::at(std::size_t k) const {
    const auto i = static_cast<std::int32_t>(k / static_cast<std::size_t>(g.mrange));
    const auto j = static_cast<std::int32_t>(k % static_cast<std::size_t>(g.mrange));
    std::int32_t code = 0;
    if (colors != nullptr && i < colors->rows() && j < colors->cols()) code = (*colors)(i, j);
    return Rec{mpMin + i, mmMin + j, g.cellX(i), g.cellY(j), g.ch, g.cw, code};
}

std::pair<std::int32_t, std::int32_t> CellList::hitTest(double X, double Y) const {
    return find(X, Y).value_or(std::pair<std::int32_t, std::int32_t>{0, 0});
}

std::optional<std::pair<std::int32_t, std::int32_t>> CellList::find(double X, double Y) const {
    if (empty()) return std::nullopt;
    const auto fx = static_cast<float>(X);
    const auto fy = static_cast<float>(Y);
    // Containment is separable: the first cell in drawing order is the smallest column
    // that contains X and, in it, the smallest row that contains Y. Rounding can move a
    // boundary by one cell, so the neighbours of the estimate are tried in order.
    std::optional<std::int32_t> column, row;
    const auto i0 = static_cast<std::int64_t>(std::floor(X / static_cast<double>(g.cw)));
    for (std::int64_t i = i0 - 1; i <= i0 + 1 && !column; ++i) {
        if (i < 0 || i >= g.prange) continue;
        const float x = g.cellX(static_cast<std::int32_t>(i));
        if (x <= fx && fx <= x + g.cw) column = static_cast<std::int32_t>(i);
    }
    const auto j0 = static_cast<std::int64_t>(std::floor((static_cast<double>(g.Hm) - Y) / static_cast<double>(g.ch)));
    for (std::int64_t j = j0 - 2; j <= j0 + 1 && !row; ++j) {
        if (j < 0 || j >= g.mrange) continue;
        const float y = g.cellY(static_cast<std::int32_t>(j));
        if (y <= fy && fy <= y + g.ch) row = static_cast<std::int32_t>(j);
    }
    if (!column || !row) return std::nullopt;
    return std::pair<std::int32_t, std::int32_t>{mpMin + *column, mmMin + *row};
}

std::int32_t colourClassOf(double ratio, const ColourScale& scale) {
    if (!(ratio > 0.0)) return 0;
    if (ratio >= 1.0) return 20;
    if (!scale.logarithmic) return std::clamp(static_cast<std::int32_t>(ratio * 20.0), 0, 20);
    const double x = -std::log10(ratio) * 20.0 / std::max(scale.decades, kMinDecades);
    if (x >= 20.0) return 0;
    return std::clamp(20 - static_cast<std::int32_t>(std::floor(x)), 0, 20);
}

namespace {
double lowerEdge(std::int32_t code, const ColourScale& scale);
}  // namespace

Grid<std::int32_t> colourClassesOf(const Grid<double>& weights, const ColourScale& scale) {
    double largest = 0.0;
    weights.forEach([&](double w) { largest = std::max(largest, w); });
    Grid<std::int32_t> out(weights.rows(), weights.cols());
    if (!(largest > 0.0)) return out;
    // The class of a weight is the number of class edges at or below it (classes are
    // closed at the top on the logarithmic scale, at the bottom on the linear one);
    // comparing with the 20 edges spares a logarithm per cell.
    std::array<double, 20> edges{};
    for (std::int32_t c = 1; c <= 20; ++c) edges[static_cast<std::size_t>(c - 1)] = largest * lowerEdge(c, scale);
    for (std::int32_t r = 0; r < out.rows(); ++r) {
        const double* in = weights.row(r);
        std::int32_t* row = out.row(r);
        for (std::int32_t c = 0; c < out.cols(); ++c) {
            const double w = in[c];
            if (!(w > 0.0)) {
                row[c] = 0;
            } else if (w >= largest) {
                row[c] = 20;
            } else {
                const auto* at = scale.logarithmic ? std::lower_bound(edges.begin(), edges.end(), w)
                                                   : std::upper_bound(edges.begin(), edges.end(), w);
                std::int32_t code = static_cast<std::int32_t>(at - edges.begin());
                // Rounding at an edge: the exact rule decides.
                if (code > 0 && code < 20 && (w == edges[static_cast<std::size_t>(code - 1)] ||
                                              w == edges[static_cast<std::size_t>(code)]))
                    code = colourClassOf(w / largest, scale);
                row[c] = code;
            }
        }
    }
    return out;
}

namespace {
double lowerEdge(std::int32_t code, const ColourScale& scale) {
    if (code <= 0) return 0.0;
    if (!scale.logarithmic) return code / 20.0;
    return std::pow(10.0, -static_cast<double>(std::max(scale.decades, kMinDecades)) * (21 - code) / 20.0);
}
}  // namespace

std::vector<ScaleBoundary> scaleBoundaries(const ColourScale& scale) {
    std::vector<ScaleBoundary> out;
    for (std::int32_t c = 1; c <= 20; ++c) out.push_back({c, lowerEdge(c, scale)});
    // On the linear scale class 20 is the largest weight alone: its lower edge is the top.
    if (scale.logarithmic) out.push_back({21, 1.0});
    return out;
}

std::vector<ScaleTick> colourScaleTicks(const ColourScale& scale, double top, double classHeight, double textHeight) {
    std::vector<ScaleTick> out;
    if (!(top > 0.0)) top = 1.0;
    if (!scale.logarithmic) {
        const std::vector<ScaleBoundary> all = scaleBoundaries(scale);
        std::int32_t every = 1;
        for (const std::int32_t e : {1, 2, 4, 5, 10, 20}) {
            every = e;
            if (classHeight * e >= textHeight * 1.05) break;
        }
        const std::int32_t last = all.back().position;
        for (const ScaleBoundary& b : all)
            if (b.position == 1 || b.position == last || (b.position - 1) % every == 0) {
                if (b.position != last && b.position != 1 && (last - b.position) * classHeight < textHeight * 1.05)
                    continue;  // too close to the top number
                out.push_back({static_cast<double>(b.position), b.ratio * top});
            }
        return out;
    }
    // Class 20 ends at the top (position 21) with the largest share; class 1 starts
    // `decades` decades below it (position 1).
    const double decades = std::max(scale.decades, kMinDecades);
    const double logTop = std::log10(top);
    const double perDecade = 20.0 / decades * classHeight;  // height of a decade
    std::int32_t every = 1;
    for (const std::int32_t e : {1, 2, 5, 10}) {
        every = e;
        if (perDecade * e >= textHeight * 1.05) break;
    }
    const auto highest = static_cast<std::int32_t>(std::floor(logTop + 1e-9));
    const auto lowest = static_cast<std::int32_t>(std::ceil(logTop - decades - 1e-9));
    for (std::int32_t k = lowest; k <= highest; ++k) {
        if (k % every != 0) continue;
        const double position = 21.0 - 20.0 * (logTop - k) / decades;
        out.push_back({std::clamp(position, 1.0, 21.0), std::pow(10.0, k)});
    }
    return out;
}

std::string decadeText(std::int32_t exponent) {
    static const char* const digits[] = {"\u2070", "\u00b9", "\u00b2", "\u00b3", "\u2074",
                                         "\u2075", "\u2076", "\u2077", "\u2078", "\u2079"};
    std::string out = "10";
    if (exponent < 0) out += "\u207b";
    const std::string number = std::to_string(exponent < 0 ? -static_cast<std::int64_t>(exponent) : exponent);
    for (const char d : number) out += digits[d - '0'];
    return out;
}

std::pair<double, double> classRange(std::int32_t code, const ColourScale& scale) {
    code = std::clamp(code, 0, 20);
    return {lowerEdge(code, scale), code == 20 ? 1.0 : lowerEdge(code + 1, scale)};
}

std::string shortShare(double v, char decimalSeparator) {
    if (v == 0.0) return "0";
    std::string s = significantText(v, 2);
    // "1.2e-05" -> "1.2e-5"
    if (const auto e = s.find('e'); e != std::string::npos) {
        std::string mantissa = s.substr(0, e);
        std::string exponent = s.substr(e + 1);
        const bool negative = !exponent.empty() && exponent[0] == '-';
        if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) exponent.erase(0, 1);
        while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
        s = mantissa + "e" + (negative ? "-" : "") + exponent;
    }
    for (char& ch : s)
        if (ch == '.') ch = decimalSeparator;
    return s;
}

double digitsExtent(std::int64_t value, double charWidth) {
    return static_cast<double>(std::to_string(value).size()) * charWidth;
}

std::vector<Tick> axisTicks(std::int64_t first, std::int64_t count, double cellSize,
                            const std::function<double(std::int64_t)>& extent, double gap) {
    std::vector<Tick> out;
    if (count <= 0) return out;
    const std::int64_t last = first + count - 1;
    const auto centre = [&](std::int64_t v) { return (static_cast<double>(v - first) + 0.5) * cellSize; };
    const auto apart = [&](std::int64_t a, std::int64_t b) {
        return std::abs(centre(b) - centre(a)) >= (extent(a) + extent(b)) / 2.0 + gap;
    };
    out.push_back({first, centre(first)});
    if (last == first) return out;
    for (std::int64_t power = 1;; power *= 10) {
        for (const std::int64_t factor : {1, 2, 5}) {
            const std::int64_t step = factor * power;
            if (step >= count) {
                // No inner label fits: the two ends alone.
                out.push_back({last, centre(last)});
                return out;
            }
            // The multiples of step inside the range must keep apart from each other...
            std::int64_t v = (first / step + 1) * step;
            if (first < 0 && first % step != 0) v = (first / step) * step;
            std::vector<std::int64_t> inner;
            for (; v < last; v += step) inner.push_back(v);
            bool fits = true;
            for (std::size_t k = 1; k < inner.size() && fits; ++k) fits = apart(inner[k - 1], inner[k]);
            if (!fits) continue;
            // ... and those too close to an end give way to it.
            while (!inner.empty() && !apart(first, inner.front())) inner.erase(inner.begin());
            while (!inner.empty() && !apart(inner.back(), last)) inner.pop_back();
            for (const std::int64_t w : inner) out.push_back({w, centre(w)});
            out.push_back({last, centre(last)});
            return out;
        }
        if (power > std::numeric_limits<std::int64_t>::max() / 100) break;
    }
    out.push_back({last, centre(last)});
    return out;
}

std::int64_t tickStep(const std::vector<Tick>& ticks) {
    // The difference of two inner labels, or of an end and an inner label that is a multiple.
    if (ticks.size() < 3) return 0;
    if (ticks.size() >= 4) return ticks[2].value - ticks[1].value;
    return 0;
}

std::optional<CellWindow> populatedRegion(const Grid<double>& weights, double fraction) {
    if (weights.empty()) return std::nullopt;
    double sum = 0.0, largest = 0.0;
    weights.forEach([&](double w) {
        if (w > 0.0 && std::isfinite(w)) {
            sum += w;
            largest = std::max(largest, w);
        }
    });
    if (!(sum > 0.0)) return std::nullopt;
    // The weight held by cells in bins of an eighth of a binary order below the largest;
    // the threshold is the lower edge of the bin where `fraction` is reached, so the cells
    // kept hold at least that fraction (and a little more).
    constexpr int kSub = 8, kOrders = 1100;
    std::vector<double> bins(static_cast<std::size_t>(kSub * kOrders + 1), 0.0);
    int topExponent = 0;
    std::frexp(largest, &topExponent);
    const auto binOf = [&](double w) {
        int e = 0;
        const double m = std::frexp(w, &e);  // w = m 2^e, m in [0.5, 1)
        const int sub = std::min(kSub - 1, static_cast<int>((m - 0.5) * 2.0 * kSub));
        const int k = (topExponent - e) * kSub + (kSub - 1 - sub);
        return static_cast<std::size_t>(std::clamp(k, 0, kSub * kOrders));
    };
    weights.forEach([&](double w) {
        if (w > 0.0 && std::isfinite(w)) bins[binOf(w)] += w;
    });
    double held = 0.0;
    std::size_t last = bins.size() - 1;
    for (std::size_t k = 0; k < bins.size(); ++k) {
        held += bins[k];
        if (held >= fraction * sum) {
            last = k;
            break;
        }
    }
    CellWindow box{weights.rows(), -1, weights.cols(), -1};
    for (std::int32_t r = 0; r < weights.rows(); ++r) {
        const double* row = weights.row(r);
        for (std::int32_t c = 0; c < weights.cols(); ++c) {
            const double w = row[c];
            if (w > 0.0 && std::isfinite(w) && binOf(w) <= last) {
                box.row0 = std::min(box.row0, r);
                box.row1 = std::max(box.row1, r);
                box.col0 = std::min(box.col0, c);
                box.col1 = std::max(box.col1, c);
            }
        }
    }
    const std::int32_t mr = std::max(2, box.rows() / 10);
    const std::int32_t mc = std::max(2, box.cols() / 10);
    box.row0 = std::max(0, box.row0 - mr);
    box.row1 = std::min(weights.rows() - 1, box.row1 + mr);
    box.col0 = std::max(0, box.col0 - mc);
    box.col1 = std::min(weights.cols() - 1, box.col1 + mc);
    return box;
}

bool worthFocusing(const CellWindow& region, std::int32_t rows, std::int32_t cols) {
    if (std::max(rows, cols) < 40) return false;
    return static_cast<double>(region.rows()) * region.cols() * 4.0 <= static_cast<double>(rows) * cols;
}

namespace {
// A span of length n (at least lo) placed so that `keep` stays at its relative place `at`.
std::pair<std::int32_t, std::int32_t> span(std::int32_t first, std::int32_t length, double factor, std::int32_t keep,
                                           std::int32_t whole) {
    const std::int32_t minimum = std::min(3, whole);
    auto n = static_cast<std::int32_t>(std::lround(length * factor));
    if (factor < 1.0 && n >= length) n = length - 1;
    if (factor > 1.0 && n <= length) n = length + 1;
    n = std::clamp(n, minimum, whole);
    const double at = length > 0 ? static_cast<double>(keep - first) / length : 0.0;
    auto start = static_cast<std::int32_t>(std::lround(keep - at * n));
    start = std::clamp(start, 0, whole - n);
    return {start, start + n - 1};
}
}  // namespace

CellWindow zoomWindow(const CellWindow& w, double factor, std::int32_t row, std::int32_t col, std::int32_t rows,
                      std::int32_t cols) {
    CellWindow out;
    std::tie(out.row0, out.row1) = span(w.row0, w.rows(), factor, std::clamp(row, w.row0, w.row1), rows);
    std::tie(out.col0, out.col1) = span(w.col0, w.cols(), factor, std::clamp(col, w.col0, w.col1), cols);
    return out;
}

CellWindow panWindow(const CellWindow& w, std::int32_t dRows, std::int32_t dCols, std::int32_t rows,
                     std::int32_t cols) {
    CellWindow out = w;
    const std::int32_t r = std::clamp(dRows, -w.row0, (rows - 1) - w.row1);
    const std::int32_t c = std::clamp(dCols, -w.col0, (cols - 1) - w.col1);
    out.row0 += r;
    out.row1 += r;
    out.col0 += c;
    out.col1 += c;
    return out;
}

std::string parameterCaption(double zp, double plen, std::int32_t Np, double zn, double mlen, std::int32_t Nm,
                             double ka, double vc10, double vc01, Method method) {
    const auto g = [](double v) { return significantText(v, 6); };
    return "q+ = " + g(zp) + ", N+ = " + g(plen) + ", neutral " + std::to_string(Np) + "; q- = " + g(zn) +
           ", N- = " + g(mlen) + ", neutral " + std::to_string(Nm) + "; ka = " + g(ka) + "; c+ = " + g(vc10) +
           ", c- = " + g(vc01) + "; " + (method == Method::PoissonBoltzmann ? "Poisson-Boltzmann" : "Debye-Hueckel");
}

SunPicture sunPicture(std::int32_t width, std::int32_t mp, std::int32_t mm, double Rc, double Nmax, double Rmax,
                      std::int32_t Np, std::int32_t Nm, std::mt19937& rng) {
    SunPicture sun;
    const double f = width / ((Nmax + Rmax) * 2.0);  // pixels per segment length
    const double c = static_cast<double>(width / 2);
    sun.centre = c;
    sun.rc = f * Rc;
    if (mp + mm <= 0) return sun;
    const double delta = constants::kTwoPi / (mp + mm);
    // The kinds are spread evenly around the core (from a random phase), so neither kind
    // ends up bunched on one side when the other runs out; a chain is at least a few
    // pixels long so that a short neutral block still shows.
    const std::int64_t n = static_cast<std::int64_t>(mp) + mm;
    const auto phase = static_cast<std::int64_t>(rng() % static_cast<std::uint32_t>(n));
    for (std::int64_t k = 0; k < n; ++k) {
        const double theta = static_cast<double>(k) * delta;
        const bool plus = ((k + phase + 1) * mp) / n > ((k + phase) * mp) / n;
        const double L = std::max((plus ? Np : Nm) * f, kMinChainPixels);
        const double cs = std::cos(theta), sn = std::sin(theta);
        sun.lines.push_back({c + sun.rc * cs, c + sun.rc * sn, c + (sun.rc + L) * cs, c + (sun.rc + L) * sn, plus});
    }
    return sun;
}

namespace {
std::string shortNumber(double v, char decimalSeparator) { return significantText(v, 6, decimalSeparator); }
}  // namespace

std::string cellTooltip(std::int32_t mp, std::int32_t mm, double absValue, double value, bool pending,
                        char decimalSeparator) {
    std::string text = "M+ = " + std::to_string(mp) + ", M- = " + std::to_string(mm);
    if (pending) return text + "\nnot computed yet";
    text += "\nconcentration (absValue): " + shortNumber(absValue, decimalSeparator);
    text += "\nshare of the distribution (Value): " + shortNumber(value, decimalSeparator);
    return text;
}

}  // namespace marlinq::ui
