#pragma once
// The parts of the distribution map drawn around the cells: axis labels, the numbered
// colour bar and the whole figure that "Save Map" writes. The window's bars and the saved
// figure use the same painting, so what is saved is what is shown.

#include "kernel/Grid.h"
#include "ui/MapModel.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QPainter;

namespace marlinq::ui {

// m+ labels centred under their columns: the map's left edge is at x = mapLeft, the labels'
// tops at y = top; first..first+count-1 over cells of cellSize pixels.
void paintHorizontalTicks(QPainter& p, double mapLeft, double top, std::int64_t first, std::int64_t count,
                          double cellSize, const QFont& font, const QColor& colour);
// m- labels right-aligned at x = right, centred beside their rows; the bottom of the
// first row is at y = mapBottom.
void paintVerticalTicks(QPainter& p, double right, double mapBottom, std::int64_t first, std::int64_t count,
                        double cellSize, const QFont& font, const QColor& colour);
// Width a vertical axis needs for its widest label.
double verticalTicksWidth(std::int64_t first, std::int64_t count, const QFont& font);
// The same two with labels other than the numbers themselves: text(value) is the label of
// the cell first + k (a swept parameter's value at an index).
using TickText = std::function<QString(std::int64_t)>;
void paintHorizontalTicks(QPainter& p, double mapLeft, double top, std::int64_t first, std::int64_t count,
                          double cellSize, const QFont& font, const QColor& colour, const TickText& text);
void paintVerticalTicks(QPainter& p, double right, double mapBottom, std::int64_t first, std::int64_t count,
                        double cellSize, const QFont& font, const QColor& colour, const TickText& text);

// The 21 colour rectangles in `bar` (red at the top) with numbers at the class boundaries
// written left of it, ending at bar.left() - 4: maxShare times each boundary's ratio (the
// share of the distribution), or the ratio itself when maxShare is not known (<= 0).
void paintColourScale(QPainter& p, const QRectF& bar, const ColourScale& scale, double maxShare, const QFont& font,
                      const QColor& textColour);
// Width the numbers of the colour bar need.
double colourScaleLabelWidth(const ColourScale& scale, double maxShare, const QFont& font);
// A number of a colour bar: `position` class heights above the bar's bottom, its text.
struct BarNumber {
    double position;
    QString text;
};
// The colour rectangles of the classes firstClass..20 in `bar` (red at the top), with the
// numbers written left of it as paintColourScale writes them.
void paintColourBar(QPainter& p, const QRectF& bar, ColourMap colours, std::int32_t firstClass,
                    const std::vector<BarNumber>& numbers, const QFont& font, const QColor& textColour);

// What a saved figure of the map shows.
struct MapFigure {
    const Grid<std::int32_t>* classes = nullptr;  // display classes of the cells shown
    std::int32_t mpFirst = 0, mmFirst = 0;         // M+ and M- of the first row and column
    bool pendingGrey = false;
    std::int32_t lastRowIndex = 0;
    std::optional<std::pair<std::int32_t, std::int32_t>> outline;
    ColourScale scale;
    double maxShare = 0.0;
    QString caption;
    QString provenance;  // the program that made it ("Marlinq Solver 1.0 (commit ...)"), a line below the caption
    QString scaleTitle;  // above the colour bar
    // Printed width: 85 mm is a journal's column, 170 mm its page; the numbers print at 8
    // points, the caption at 7.2, whatever the width.
    double widthMm = 170.0;
    // The caption under the map; when left out the window writes it into a text file
    // beside the picture.
    bool captionInPicture = true;
};
// Logical pixels of a figure per printed inch.
inline constexpr int kFigureDpi = 120;
// Size in logical pixels of the figure of a map of cols x rows cells (its width is
// widthMm at kFigureDpi).
QSizeF mapFigureSize(const MapFigure& figure);
// Paints the figure at the painter's origin (white background, black text).
void paintMapFigure(QPainter& p, const MapFigure& figure);
// Writes the figure as PNG (twice the logical size) or SVG, through a temporary file in the
// same folder; false when it cannot be written. The caption and the provenance are also the
// file's description (PNG text chunks "Description" and "Software", the SVG's <desc>).
bool saveMapFigurePng(const MapFigure& figure, const QString& path);
bool saveMapFigureSvg(const MapFigure& figure, const QString& path);

}  // namespace marlinq::ui
