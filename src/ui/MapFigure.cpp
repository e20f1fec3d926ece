#include "ui/MapFigure.h"

#include "ui/MapRender.h"
#include "ui/Pictures.h"

#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QBuffer>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>

#include "ui/FieldText.h"

namespace marlinq::ui {

namespace {

QString numberText(std::int64_t v) { return QString::number(v); }

// Figure geometry, in logical pixels. A figure is printed at kFigureDpi logical pixels per
// inch: its width in millimetres fixes its width in pixels, and the 10-point (13.3-pixel)
// numbers print at 8 points, the 9-point caption at 7.2.
constexpr double kFigureMargin = 12.0;
constexpr double kFigureBarWidth = 22.0;   // colour rectangles
constexpr double kFigureGap = 8.0;

// Fonts of a figure are sized in pixels, so that a PNG and an SVG (whose devices differ in
// resolution) lay out alike; `points` as on a 96-dpi screen.
QFont figureFont(double points) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(static_cast<int>(std::lround(points * 96.0 / 72.0)));
    return f;
}

struct FigureLayout {
    double cell = 0.0;
    QRectF map, bar, xTicks, yTicks;
    QPointF xTitle, yTitle;
    QRectF caption, provenance, scaleTitle;
    QSizeF size;
};

constexpr int kCaptionFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

FigureLayout layoutFigure(const MapFigure& figure) {
    FigureLayout l;
    const std::int32_t cols = figure.classes ? figure.classes->cols() : 1;
    const std::int32_t rows = figure.classes ? figure.classes->rows() : 1;
    const double width = std::round(std::max(figure.widthMm, 40.0) / 25.4 * kFigureDpi);
    const QFont tickFont = figureFont(10.0);
    const QFontMetricsF fm(tickFont);
    const double labelW = colourScaleLabelWidth(figure.scale, figure.maxShare, tickFont);
    const double yTicksW = verticalTicksWidth(figure.mmFirst, cols, tickFont);
    const double titleW = 26.0;
    double x = kFigureMargin + labelW + 4.0;
    const double top = kFigureMargin + fm.height() + 6.0;
    l.scaleTitle = QRectF(kFigureMargin, kFigureMargin, width - 2.0 * kFigureMargin, fm.height());
    const double barX = x;
    x += kFigureBarWidth + 2.0 * kFigureGap;
    const double yTitleX = x + titleW / 2.0;
    x += titleW;
    const double yTicksX = x;
    x += yTicksW + 6.0;
    // The map takes the width left (less half an x label that may stand out at its right);
    // M+ runs along the rows of the grid, drawn as columns of the map.
    const double room = std::max(40.0, width - x - kFigureMargin - fm.horizontalAdvance(QStringLiteral("000")));
    l.cell = (room - 2.0) / std::max(rows, cols);
    const double mapW = rows * l.cell + 2.0, mapH = cols * l.cell + 2.0;
    l.bar = QRectF(barX, top, kFigureBarWidth, mapH);
    l.yTitle = QPointF(yTitleX, top + mapH / 2.0);
    l.yTicks = QRectF(yTicksX, top, yTicksW, mapH);
    l.map = QRectF(x, top, mapW, mapH);
    l.xTicks = QRectF(x, top + mapH + 4.0, mapW, fm.height());
    l.xTitle = QPointF(x + mapW / 2.0, l.xTicks.bottom() + 4.0);
    double bottom = l.xTitle.y() + 24.0;
    if (figure.captionInPicture && !figure.caption.isEmpty()) {
        // The caption wraps to the figure's width; the provenance is a line below it.
        const QFontMetricsF captionMetrics(figureFont(9.0));
        const QRectF room(kFigureMargin, bottom + 6.0, width - 2.0 * kFigureMargin, 1e6);
        l.caption = captionMetrics.boundingRect(room, kCaptionFlags, figure.caption);
        l.caption.setWidth(room.width());
        l.provenance = QRectF(kFigureMargin, l.caption.bottom(), room.width(),
                              figure.provenance.isEmpty() ? 0.0 : captionMetrics.height() + 2.0);
        bottom = l.provenance.bottom();
    }
    l.size = QSizeF(width, std::ceil(bottom + kFigureMargin));
    return l;
}

void paintAxisTitle(QPainter& p, const char* name, QPointF centre, double height) {
    const QPixmap symbol = embeddedPicture(QString::fromLatin1(name));
    if (symbol.isNull()) return;
    const QSizeF size(symbol.width() * height / std::max(1, symbol.height()), height);
    p.drawPixmap(QRectF(centre - QPointF(size.width() / 2.0, size.height() / 2.0), size), symbol, symbol.rect());
}

}  // namespace

void paintHorizontalTicks(QPainter& p, double mapLeft, double top, std::int64_t first, std::int64_t count,
                          double cellSize, const QFont& font, const QColor& colour) {
    paintHorizontalTicks(p, mapLeft, top, first, count, cellSize, font, colour, numberText);
}

void paintHorizontalTicks(QPainter& p, double mapLeft, double top, std::int64_t first, std::int64_t count,
                          double cellSize, const QFont& font, const QColor& colour, const TickText& text) {
    const QFontMetricsF fm(font);
    const auto extent = [&](std::int64_t v) { return fm.horizontalAdvance(text(v)); };
    p.save();
    p.setFont(font);
    p.setPen(colour);
    for (const Tick& t : axisTicks(first, count, cellSize, extent, fm.averageCharWidth())) {
        const double w = extent(t.value) + 2.0;
        p.drawText(QRectF(mapLeft + t.centre - w / 2.0, top, w, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                   text(t.value));
    }
    p.restore();
}

void paintVerticalTicks(QPainter& p, double right, double mapBottom, std::int64_t first, std::int64_t count,
                        double cellSize, const QFont& font, const QColor& colour) {
    paintVerticalTicks(p, right, mapBottom, first, count, cellSize, font, colour, numberText);
}

void paintVerticalTicks(QPainter& p, double right, double mapBottom, std::int64_t first, std::int64_t count,
                        double cellSize, const QFont& font, const QColor& colour, const TickText& label) {
    const QFontMetricsF fm(font);
    const double h = fm.height();
    p.save();
    p.setFont(font);
    p.setPen(colour);
    for (const Tick& t : axisTicks(first, count, cellSize, [&](std::int64_t) { return h; }, h * 0.3)) {
        const QString text = label(t.value);
        const double w = fm.horizontalAdvance(text) + 2.0;
        p.drawText(QRectF(right - w, mapBottom - t.centre - h / 2.0, w, h), Qt::AlignRight | Qt::AlignVCenter, text);
    }
    p.restore();
}

double verticalTicksWidth(std::int64_t first, std::int64_t count, const QFont& font) {
    const QFontMetricsF fm(font);
    return std::max(fm.horizontalAdvance(numberText(first)), fm.horizontalAdvance(numberText(first + count - 1))) +
           6.0;
}

namespace {
// A number of the colour bar: a decade as a power of ten on the logarithmic scale, the
// share in two digits on the linear one.
QString tickText(const ColourScale& scale, const ScaleTick& tick) {
    if (scale.logarithmic)
        return QString::fromStdString(decadeText(static_cast<std::int32_t>(std::lround(std::log10(tick.value)))));
    return QString::fromStdString(shortShare(tick.value, decimalSeparator()));
}
}  // namespace

void paintColourScale(QPainter& p, const QRectF& bar, const ColourScale& scale, double maxShare, const QFont& font,
                      const QColor& textColour) {
    const QFontMetricsF fm(font);
    std::vector<BarNumber> numbers;
    for (const ScaleTick& t : colourScaleTicks(scale, maxShare, bar.height() / 21.0, fm.height()))
        numbers.push_back({t.position, tickText(scale, t)});
    paintColourBar(p, bar, scale.colours, 0, numbers, font, textColour);
}

void paintColourBar(QPainter& p, const QRectF& bar, ColourMap colours, std::int32_t firstClass,
                    const std::vector<BarNumber>& numbers, const QFont& font, const QColor& textColour) {
    firstClass = std::clamp(firstClass, 0, 20);
    const double hb = bar.height() / (21.0 - firstClass);
    p.save();
    const auto& table = colourTable(colours);
    for (std::int32_t c = firstClass; c <= 20; ++c) {
        const auto& rgb = table[static_cast<std::size_t>(c)];
        p.fillRect(QRectF(bar.left(), bar.top() + (20 - c) * hb, bar.width(), hb + 0.5), QColor(rgb[0], rgb[1], rgb[2]));
    }
    p.setPen(QPen(QColor(160, 160, 160), 0.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(bar);
    const QFontMetricsF fm(font);
    p.setFont(font);
    for (const BarNumber& n : numbers) {
        const double y = bar.bottom() - n.position * hb;
        p.setPen(QPen(textColour, 0.0));
        p.drawLine(QPointF(bar.left() - 3.0, y), QPointF(bar.left(), y));
        const double w = fm.horizontalAdvance(n.text) + 2.0;
        p.drawText(QRectF(bar.left() - 5.0 - w, y - fm.height() / 2.0, w, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, n.text);
    }
    p.restore();
}

double colourScaleLabelWidth(const ColourScale& scale, double maxShare, const QFont& font) {
    const QFontMetricsF fm(font);
    double w = 0.0;
    for (const ScaleTick& t : colourScaleTicks(scale, maxShare, 1e6, 1.0)) w = std::max(w, fm.horizontalAdvance(tickText(scale, t)));
    return w + 8.0;
}

QSizeF mapFigureSize(const MapFigure& figure) { return layoutFigure(figure).size; }

void paintMapFigure(QPainter& p, const MapFigure& figure) {
    const FigureLayout l = layoutFigure(figure);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(QRectF(QPointF(0, 0), l.size), Qt::white);
    const QFont tickFont = figureFont(10.0);
    const QColor ink(40, 40, 40);

    if (figure.classes != nullptr && !figure.classes->empty()) {
        MapPaintRequest request;
        request.colourClasses = figure.classes;
        request.geometry = CellGeometry(static_cast<std::int32_t>(std::lround(l.map.width())),
                                        static_cast<std::int32_t>(std::lround(l.map.height())),
                                        figure.classes->rows(), figure.classes->cols());
        request.pendingGrey = figure.pendingGrey;
        request.lastRowIndex = figure.lastRowIndex;
        request.outline = figure.outline;
        request.colours = figure.scale.colours;
        p.save();
        p.translate(l.map.topLeft());
        p.fillRect(QRectF(0, 0, l.map.width(), l.map.height()), Qt::white);
        paintMap(p, request);
        p.restore();
        const CellGeometry& g = request.geometry;
        paintHorizontalTicks(p, l.map.left(), l.xTicks.top(), figure.mpFirst, figure.classes->rows(), g.cw, tickFont,
                             ink);
        paintVerticalTicks(p, l.yTicks.right() - 2.0, l.map.top() + g.Hm, figure.mmFirst, figure.classes->cols(), g.ch,
                           tickFont, ink);
    }
    paintAxisTitle(p, "sym_mplus", l.xTitle + QPointF(0.0, 12.0), 24.0);
    paintAxisTitle(p, "sym_mminus", l.yTitle, 24.0);
    paintColourScale(p, l.bar, figure.scale, figure.maxShare, tickFont, ink);
    p.setFont(tickFont);
    p.setPen(ink);
    p.drawText(l.scaleTitle, Qt::AlignLeft | Qt::AlignVCenter, figure.scaleTitle);
    if (figure.captionInPicture) {
        p.setFont(figureFont(9.0));
        p.drawText(l.caption, kCaptionFlags, figure.caption);
        if (!figure.provenance.isEmpty()) p.drawText(l.provenance, Qt::AlignLeft | Qt::AlignVCenter, figure.provenance);
    }
    p.restore();
}

bool saveMapFigurePng(const MapFigure& figure, const QString& path) {
    const QSizeF size = mapFigureSize(figure);
    QImage image(QSize(static_cast<int>(size.width() * 2.0), static_cast<int>(size.height() * 2.0)),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(2.0);
    // Twice the figure's resolution, so that the picture imports at its width in millimetres.
    const int dotsPerMetre = static_cast<int>(std::lround(2.0 * kFigureDpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        paintMapFigure(p, figure);
    }
    image.setText(QStringLiteral("Description"), figure.caption);
    if (!figure.provenance.isEmpty()) image.setText(QStringLiteral("Software"), figure.provenance);
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    if (!image.save(&file, "PNG")) return false;
    return saveFileBytes(path, file.data());
}

bool saveMapFigureSvg(const MapFigure& figure, const QString& path) {
    const QSizeF size = mapFigureSize(figure);
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&file);
    // Width and height in millimetres: the figure's pixels at kFigureDpi.
    generator.setSize(size.toSize());
    generator.setResolution(kFigureDpi);
    generator.setViewBox(QRectF(QPointF(0, 0), size));
    generator.setTitle(QStringLiteral("Size distribution of complexes"));
    generator.setDescription(figure.provenance.isEmpty() ? figure.caption
                                                         : figure.caption + QLatin1Char('\n') + figure.provenance);
    QPainter p;
    if (!p.begin(&generator)) return false;
    paintMapFigure(p, figure);
    if (!p.end()) return false;
    return saveFileBytes(path, file.data());
}

}  // namespace marlinq::ui
