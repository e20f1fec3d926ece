#pragma once
// Painting of the distribution map into a picture, apart from the window so that its
// cost can be measured on its own.

#include "kernel/Grid.h"
#include "ui/MapModel.h"

#include <QColor>
#include <QImage>

class QPainter;

#include <cstdint>
#include <optional>
#include <utility>

namespace marlinq::ui {

inline QColor toQColor(const std::array<std::int32_t, 3>& rgb) { return QColor(rgb[0], rgb[1], rgb[2]); }

struct MapPaintRequest {
    // Codes 0..20, rows M+, columns M-; a negative code is a cell without a value (grey).
    const Grid<std::int32_t>* colourClasses = nullptr;
    CellGeometry geometry;
    bool pendingGrey = false;           // columns beyond lastRow are not computed yet
    std::int32_t lastRowIndex = 0;      // last computed row (0-based); with pendingGrey only
    std::optional<std::pair<std::int32_t, std::int32_t>> outline;  // (row, column) to mark
    ColourMap colours = ColourMap::Classic;
};

// Paints cells, grid and the outline onto picture (the background already in it).
// Large maps are painted at one pixel per cell and scaled, so the cost stays near that of
// the picture itself.
void paintMap(QImage& picture, const MapPaintRequest& request);
// The same onto any painter (a figure, an SVG drawing), the cells at the painter's origin.
void paintMap(QPainter& painter, const MapPaintRequest& request);

// The empty grid of a new run: light-grey lines at the cell boundaries.
void paintEmptyGrid(QImage& picture, const CellGeometry& geometry);

}  // namespace marlinq::ui
