#include "ui/MapModel.h"

#include "physics/Complex.h"
#include "physics/Constants.h"

#include <charconv>
#include <cmath>

namespace marlinq::ui {

const std::array<std::array<std::int32_t, 3>, 21> colorArray{{
    {255, 255, 255}, {0, 0, 255},   {0, 102, 255}, {0, 153, 255}, {0, 204, 255}, {0, 255, 255}, {0, 255, 204},
    {0, 255, 153},   {0, 255, 102}, {0, 255, 51},  {0, 255, 0},   {51, 255, 0},  {102, 255, 0}, {153, 255, 0},
    {204, 255, 0},   {255, 255, 0}, {255, 204, 0}, {255, 153, 0}, {255, 102, 0}, {255, 51, 0},  {255, 0, 0},
}};

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

std::optional<std::string> colorCodeError(const Grid<std::int32_t>& Mcolor) {
    std::optional<std::string> error;
    Mcolor.forEach([&](std::int32_t code) {
        if (error) return;
        if (code > 20) error = std::string("a->color is greater than 20");
        else if (code < 0) error = std::string("a->color is less than 0");
    });
    return error;
}

std::pair<std::int32_t, std::int32_t> mostProbableComplex(const Grid<std::int32_t>& Mcolor, std::int32_t mpMin,
                                                          std::int32_t mmMin) {
    std::int32_t best = 0;
    std::pair<std::int32_t, std::int32_t> at{mpMin, mmMin};
    for (std::int32_t i = 0; i < Mcolor.rows(); ++i) {
        for (std::int32_t j = 0; j < Mcolor.cols(); ++j) {
            if (Mcolor(i, j) > best) {
                best = Mcolor(i, j);
                at = {mpMin + i, mmMin + j};
            }
        }
    }
    return at;
}

AxisLabels horizontalAxisLabels(std::int32_t mpMin, std::int32_t prange, std::int32_t mapWidth, std::int32_t barHeight) {
    AxisLabels out;
    out.verticallyCentred = false;
    if (prange >= 21 && prange <= 30)
        out.fontPointSize = 5.0;
    else if (prange >= 10 && prange <= 20)
        out.fontPointSize = 8.0;
    else
        out.fontPointSize = 10.0;
    const auto B = static_cast<float>(barHeight);
    if (prange <= 0) return out;
    if (prange <= 30) {
        const std::int32_t s = mapWidth / prange;
        for (std::int32_t i = 0; i < prange; ++i) {
            // The labels are spread 5 % wider than the cells.
            const auto left = static_cast<float>(static_cast<double>(i * s) * 1.05);
            out.labels.push_back({std::to_string(static_cast<std::int64_t>(mpMin) + i), left, 0.0F,
                                  static_cast<float>(s), B});
        }
    } else {
        const std::int32_t s = mapWidth / 10;
        const std::int32_t k = prange / 10;
        std::int64_t v = mpMin;
        for (std::int32_t i = 0; i < 10; ++i) {
            out.labels.push_back({std::to_string(v), static_cast<float>(i * s), 0.0F, static_cast<float>(s), B});
            // A range starting at 1 reads 1, k, 2k, ...
            if (v == 1) v = 0;
            v += k;
        }
    }
    return out;
}

AxisLabels verticalAxisLabels(std::int32_t mmMax, std::int32_t mrange, std::int32_t mapHeight, std::int32_t barWidth) {
    AxisLabels out;
    if (mrange >= 21 && mrange <= 29)
        out.fontPointSize = 5.0;
    else if (mrange <= 20)
        out.fontPointSize = 7.0;
    else
        out.fontPointSize = 8.0;
    const auto C = static_cast<float>(barWidth);
    if (mrange <= 0) return out;
    if (mrange <= 30) {
        out.verticallyCentred = true;
        const std::int32_t s = mapHeight / mrange;
        for (std::int32_t j = 0; j < mrange; ++j)
            out.labels.push_back({std::to_string(static_cast<std::int64_t>(mmMax) - j), 0.0F,
                                  static_cast<float>(j * s), C, static_cast<float>(s)});
    } else {
        out.verticallyCentred = false;
        const std::int32_t s = mapHeight / 10;
        std::int64_t v = mmMax;
        for (std::int32_t j = 0; j < 10; ++j) {
            out.labels.push_back({std::to_string(v), 0.0F, static_cast<float>(j * s), C, static_cast<float>(s)});
            v -= mrange / 10;
        }
    }
    return out;
}

double coreRadius(double plen, double mlen, std::int32_t mp, std::int32_t mm) {
    // Volume of the core = total charged length.
    return complex::coreRadius(mlen * mm + plen * mp);
}

ComplexSummary summarizeComplex(std::int32_t mp, std::int32_t mm, double zp, double zn, double plen, double mlen,
                                double ka) {
    ComplexSummary s;
    s.Z = complex::netCharge(mp, zp, mm, zn);
    s.Rc = coreRadius(plen, mlen, mp, mm);
    s.kRc = s.Rc * ka;
    s.ZoverRc = s.Z / s.Rc;
    return s;
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
    std::int32_t a = mp, b = mm, k = 0;
    while (a > 0 || b > 0) {
        const double theta = k * delta;
        const auto r = static_cast<std::int32_t>(rng() % 100U) + 1;
        const bool plus = r > 50;
        if ((plus && a == 0) || (!plus && b == 0)) continue;  // none of this kind left: draw again
        const double L = (plus ? Np : Nm) * f;
        const double cs = std::cos(theta), sn = std::sin(theta);
        sun.lines.push_back({c + sun.rc * cs, c + sun.rc * sn, c + (sun.rc + L) * cs, c + (sun.rc + L) * sn, plus});
        ++k;
        if (plus)
            --a;
        else
            --b;
    }
    return sun;
}

namespace {
std::string shortNumber(double v, char decimalSeparator) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    std::string s(buf, res.ptr);
    for (char& ch : s)
        if (ch == '.') ch = decimalSeparator;
    return s;
}
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
