#include "ui/MapRender.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <array>

namespace marlinq::ui {

namespace {

// Below this size a cell grid would turn the whole map grey: the lines are left out.
constexpr float kMinGridCell = 4.0F;
// Up to this many cells, each cell is filled as its own rectangle.
constexpr std::int64_t kMaxRectCells = 20000;

void paintGrid(QPainter& p, const CellGeometry& g, const QColor& colour, double width) {
    if (g.cw < kMinGridCell || g.ch < kMinGridCell) return;
    QPen pen(colour);
    pen.setWidthF(width);
    p.setPen(pen);
    for (std::int32_t r = 0; r <= g.mrange; ++r) {
        const double y = static_cast<double>(static_cast<float>(r) * g.ch);
        p.drawLine(QPointF(0.0, y), QPointF(g.Wm, y));
    }
    for (std::int32_t c = 0; c <= g.prange; ++c) {
        const double x = static_cast<double>(static_cast<float>(c) * g.cw);
        p.drawLine(QPointF(x, 0.0), QPointF(x, g.Hm));
    }
}

}  // namespace

void paintEmptyGrid(QImage& picture, const CellGeometry& geometry) {
    QPainter p(&picture);
    paintGrid(p, geometry, toQColor(kLightGrayColor), 0.3);
}

void paintMap(QImage& picture, const MapPaintRequest& request) {
    QPainter p(&picture);
    paintMap(p, request);
}

void paintMap(QPainter& p, const MapPaintRequest& request) {
    p.save();
    const CellGeometry& g = request.geometry;
    const Grid<std::int32_t>& codes = *request.colourClasses;
    std::array<QRgb, 21> rgb{};
    const auto& table = colourTable(request.colours);
    for (std::size_t c = 0; c < rgb.size(); ++c) rgb[c] = qRgb(table[c][0], table[c][1], table[c][2]);
    const QRgb pending = qRgb(kPendingColor[0], kPendingColor[1], kPendingColor[2]);
    const auto colourOf = [&](std::int32_t i, std::int32_t j) {
        if (request.pendingGrey && i > request.lastRowIndex) return pending;
        const std::int32_t code = codes(i, j);
        if (code < 0) return pending;  // a cell without a value
        return rgb[static_cast<std::size_t>(std::min(code, 20))];
    };

    const std::int64_t cells = static_cast<std::int64_t>(g.prange) * g.mrange;
    if (cells <= kMaxRectCells && g.cw >= 1.0F && g.ch >= 1.0F) {
        for (std::int32_t i = 0; i < g.prange; ++i)
            for (std::int32_t j = 0; j < g.mrange; ++j)
                p.fillRect(QRectF(g.cellX(i), g.cellY(j), g.cw, g.ch), QColor::fromRgb(colourOf(i, j)));
    } else {
        // One pixel per cell, M- growing upwards, then scaled onto the cell area.
        QImage small(g.prange, g.mrange, QImage::Format_RGB32);
        for (std::int32_t j = 0; j < g.mrange; ++j) {
            auto* line = reinterpret_cast<QRgb*>(small.scanLine(g.mrange - 1 - j));
            for (std::int32_t i = 0; i < g.prange; ++i) line[i] = colourOf(i, j);
        }
        const double top = static_cast<double>(g.cellY(g.mrange - 1));
        const QRectF area(0.0, top, static_cast<double>(g.prange) * g.cw, static_cast<double>(g.mrange) * g.ch);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(area, small);
    }
    paintGrid(p, g, toQColor(kGrayColor), 0.5);

    if (request.outline) {
        const auto [i, j] = *request.outline;
        QRectF cell(g.cellX(i), g.cellY(j), g.cw, g.ch);
        // Tiny cells get a marker of readable size around them.
        const double side = 10.0;
        if (cell.width() < side || cell.height() < side)
            cell = QRectF(cell.center().x() - side / 2, cell.center().y() - side / 2, side, side);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::white, 1.0));
        p.drawRect(cell.adjusted(1.5, 1.5, -1.5, -1.5));
        p.setPen(QPen(Qt::black, 2.0));
        p.drawRect(cell.adjusted(0.5, 0.5, -0.5, -0.5));
    }
    p.restore();
}

}  // namespace marlinq::ui
