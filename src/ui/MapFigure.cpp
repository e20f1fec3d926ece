#include "ui/MapFigure.h"

#include "ui/MapRender.h"
#include "ui/Pictures.h"

#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>

#include "ui/FieldText.h"

namespace marlinq::ui {

namespace {

QString numberText(std::int64_t v) { return QString::number(v); }

// Figure geometry, in logical pixels.
constexpr double kFigureMargin = 16.0;
constexpr double kFigureMapSide = 600.0;   // the longer side of the map
constexpr double kFigureBarWidth = 26.0;   // colour rectangles
constexpr double kFigureGap = 10.0;

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

FigureLayout layoutFigure(const MapFigure& figure) {
    FigureLayout l;
    const std::int32_t cols = figure.classes ? figure.classes->cols() : 1;
    const std::int32_t rows = figure.classes ? figure.classes->rows() : 1;
    // M+ runs along the rows of the grid, drawn as columns of the map.
    l.cell = kFigureMapSide / std::max(rows, cols);
    const double mapW = rows * l.cell + 2.0, mapH = cols * l.cell + 2.0;
    const QFont tickFont = figureFont(10.0);
    const QFontMetricsF fm(tickFont);
    const double labelW = colourScaleLabelWidth(figure.scale, figure.maxShare, tickFont);
    const double yTicksW = verticalTicksWidth(figure.mmFirst, cols, tickFont);
    const double titleW = 30.0;
    double x = kFigureMargin + labelW + 4.0;
    const double top = kFigureMargin + fm.height() + 6.0;
    l.scaleTitle = QRectF(kFigureMargin, kFigureMargin,
                          fm.horizontalAdvance(figure.scaleTitle) + 4.0, fm.height());
    l.bar = QRectF(x, top, kFigureBarWidth, mapH);
    x += kFigureBarWidth + 2.0 * kFigureGap;
    l.yTitle = QPointF(x + titleW / 2.0, top + mapH / 2.0);
    x += titleW;
    l.yTicks = QRectF(x, top, yTicksW, mapH);
    x += yTicksW + 6.0;
    l.map = QRectF(x, top, mapW, mapH);
    l.xTicks = QRectF(x, top + mapH + 4.0, mapW, fm.height());
    l.xTitle = QPointF(x + mapW / 2.0, l.xTicks.bottom() + 4.0);
    const double captionTop = l.xTitle.y() + 30.0;
    const QFontMetricsF captionMetrics(figureFont(9.0));
    const double width = std::max({l.map.right() + 2.0 * kFigureMargin + fm.horizontalAdvance(QStringLiteral("0000")),
                                   2.0 * kFigureMargin + captionMetrics.horizontalAdvance(figure.caption),
                                   2.0 * kFigureMargin + captionMetrics.horizontalAdvance(figure.provenance)});
    l.caption = QRectF(kFigureMargin, captionTop, width - 2.0 * kFigureMargin, fm.height() + 4.0);
    l.provenance = QRectF(kFigureMargin, l.caption.bottom(), l.caption.width(),
                          figure.provenance.isEmpty() ? 0.0 : captionMetrics.height() + 2.0);
    l.size = QSizeF(std::ceil(width), std::ceil(l.provenance.bottom() + kFigureMargin));
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
    const QFontMetricsF fm(font);
    const auto extent = [&](std::int64_t v) { return fm.horizontalAdvance(numberText(v)); };
    p.save();
    p.setFont(font);
    p.setPen(colour);
    for (const Tick& t : axisTicks(first, count, cellSize, extent, fm.averageCharWidth())) {
        const double w = extent(t.value) + 2.0;
        p.drawText(QRectF(mapLeft + t.centre - w / 2.0, top, w, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                   numberText(t.value));
    }
    p.restore();
}

void paintVerticalTicks(QPainter& p, double right, double mapBottom, std::int64_t first, std::int64_t count,
                        double cellSize, const QFont& font, const QColor& colour) {
    const QFontMetricsF fm(font);
    const double h = fm.height();
    p.save();
    p.setFont(font);
    p.setPen(colour);
    for (const Tick& t : axisTicks(first, count, cellSize, [&](std::int64_t) { return h; }, h * 0.3)) {
        const QString text = numberText(t.value);
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
QString boundaryText(double ratio, double maxShare) {
    return QString::fromStdString(shortShare(maxShare > 0.0 ? ratio * maxShare : ratio, decimalSeparator()));
}

// Which boundaries carry a number: every one, every second or every fifth, so that the
// numbers keep apart; the top and bottom ones always.
std::vector<ScaleBoundary> labelledBoundaries(const ColourScale& scale, double classHeight, double textHeight) {
    const std::vector<ScaleBoundary> all = scaleBoundaries(scale);
    std::int32_t every = 1;
    for (const std::int32_t e : {1, 2, 4, 5, 10, 20}) {
        every = e;
        if (classHeight * e >= textHeight * 1.05) break;
    }
    std::vector<ScaleBoundary> out;
    const std::int32_t top = all.back().position;
    for (const ScaleBoundary& b : all)
        if (b.position == 1 || b.position == top || (b.position - 1) % every == 0) {
            if (b.position != top && b.position != 1 && (top - b.position) * classHeight < textHeight * 1.05)
                continue;  // too close to the top number
            out.push_back(b);
        }
    return out;
}
}  // namespace

void paintColourScale(QPainter& p, const QRectF& bar, const ColourScale& scale, double maxShare, const QFont& font,
                      const QColor& textColour) {
    const double hb = bar.height() / 21.0;
    p.save();
    for (std::int32_t c = 0; c <= 20; ++c) {
        const auto& rgb = colorArray[static_cast<std::size_t>(c)];
        p.fillRect(QRectF(bar.left(), bar.top() + (20 - c) * hb, bar.width(), hb + 0.5), QColor(rgb[0], rgb[1], rgb[2]));
    }
    p.setPen(QPen(QColor(160, 160, 160), 0.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(bar);
    const QFontMetricsF fm(font);
    p.setFont(font);
    for (const ScaleBoundary& b : labelledBoundaries(scale, hb, fm.height())) {
        const double y = bar.bottom() - b.position * hb;
        p.setPen(QPen(textColour, 0.0));
        p.drawLine(QPointF(bar.left() - 3.0, y), QPointF(bar.left(), y));
        const QString text = boundaryText(b.ratio, maxShare);
        const double w = fm.horizontalAdvance(text) + 2.0;
        p.drawText(QRectF(bar.left() - 5.0 - w, y - fm.height() / 2.0, w, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, text);
    }
    p.restore();
}

double colourScaleLabelWidth(const ColourScale& scale, double maxShare, const QFont& font) {
    const QFontMetricsF fm(font);
    double w = 0.0;
    for (const ScaleBoundary& b : scaleBoundaries(scale))
        w = std::max(w, fm.horizontalAdvance(boundaryText(b.ratio, maxShare)));
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
        request.Mcolor = figure.classes;
        request.geometry = CellGeometry(static_cast<std::int32_t>(std::lround(l.map.width())),
                                        static_cast<std::int32_t>(std::lround(l.map.height())),
                                        figure.classes->rows(), figure.classes->cols());
        request.pendingGrey = figure.pendingGrey;
        request.lastRowIndex = figure.lastRowIndex;
        request.outline = figure.outline;
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
    p.setFont(figureFont(9.0));
    p.drawText(l.caption, Qt::AlignLeft | Qt::AlignVCenter, figure.caption);
    if (!figure.provenance.isEmpty()) p.drawText(l.provenance, Qt::AlignLeft | Qt::AlignVCenter, figure.provenance);
    p.restore();
}

bool saveMapFigurePng(const MapFigure& figure, const QString& path) {
    const QSizeF size = mapFigureSize(figure);
    QImage image(QSize(static_cast<int>(size.width() * 2.0), static_cast<int>(size.height() * 2.0)),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(2.0);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        paintMapFigure(p, figure);
    }
    image.setText(QStringLiteral("Description"), figure.caption);
    if (!figure.provenance.isEmpty()) image.setText(QStringLiteral("Software"), figure.provenance);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool saveMapFigureSvg(const MapFigure& figure, const QString& path) {
    const QSizeF size = mapFigureSize(figure);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QSvgGenerator generator;
    generator.setOutputDevice(&file);
    generator.setSize(size.toSize());
    generator.setViewBox(QRectF(QPointF(0, 0), size));
    generator.setTitle(QStringLiteral("Size distribution of complexes"));
    generator.setDescription(figure.provenance.isEmpty() ? figure.caption
                                                         : figure.caption + QLatin1Char('\n') + figure.provenance);
    QPainter p;
    if (!p.begin(&generator)) {
        file.cancelWriting();
        return false;
    }
    paintMapFigure(p, figure);
    if (!p.end()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace marlinq::ui
