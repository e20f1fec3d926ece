#include "ui/MapView.h"

#include "io/NumberText.h"
#include "io/FileAccess.h"
#include "pipeline/Observables.h"
#include "pipeline/Version.h"
#include "ui/FieldText.h"
#include "ui/MapFigure.h"
#include "ui/MapRender.h"
#include "ui/Pictures.h"
#include "ui/SweepPlot.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace marlinq::ui {

namespace {

constexpr int kColourRects = 22;  // width of the colour rectangles of the bar
constexpr int kStartCells = 11;   // the canvas before any run is laid out as 11 x 11
constexpr double kMinMapSide = 120.0;

// A canvas picture cut to exactly size.
QPixmap canvas(const char* name, QSize size) {
    size = size.expandedTo(QSize(1, 1));
    const QPixmap pm = loadRuntimePicture(QString::fromLatin1(name), size);
    return pm.size() == size ? pm : pm.copy(0, 0, size.width(), size.height());
}

Grid<std::int32_t> cut(const Grid<std::int32_t>& all, const CellWindow& w) {
    Grid<std::int32_t> out(w.rows(), w.cols());
    for (std::int32_t r = 0; r < w.rows(); ++r) std::copy_n(all.row(w.row0 + r) + w.col0, w.cols(), out.row(r));
    return out;
}

QSettings settingsStore() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Marlinq"),
                     QStringLiteral("Marlinq Solver"));
}

// An axis title: a symbol picture centred in a 40 x 24 box.
QLabel* symbolTitle(QWidget* parent, const char* objectName, const char* picture) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(objectName));
    const QSize box(40, 24);
    const QPixmap pm = embeddedPicture(QString::fromLatin1(picture));
    l->setPixmap(pm.size().width() > box.width() || pm.size().height() > box.height()
                     ? pm.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                     : pm);
    l->setGeometry(0, 0, box.width(), box.height());
    l->setAlignment(Qt::AlignCenter);
    return l;
}

// The value of a swept parameter as its axis and tooltip write it.
QString valueText(double v) { return significant(v, 3); }

// The smallest and largest finite value; (inf, -inf) when there is none.
std::pair<double, double> valueRange(const std::vector<double>& values) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const double v : values)
        if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    return {lo, hi};
}

}  // namespace

QString MapAxis::text(std::int64_t index) const {
    if (integers()) return QString::number(first + index);
    if (index < 0 || index >= static_cast<std::int64_t>(values.size())) return {};
    return valueText(values[static_cast<std::size_t>(index)]);
}

MapView::MapView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("mapView"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    xAxis.name = QStringLiteral("M+");
    yAxis.name = QStringLiteral("M-");

    titleLabel = new QLabel(QStringLiteral("Size distribution of complexes"), this);
    titleLabel->setObjectName(QStringLiteral("mapTitle"));
    QFont bold = titleLabel->font();
    bold.setBold(true);
    bold.setPointSizeF(10.8);
    titleLabel->setFont(bold);
    logColoursBox = new QCheckBox(QStringLiteral("Logarithmic colours"), this);
    logColoursBox->setObjectName(QStringLiteral("logColoursBox"));
    logColoursBox->setToolTip(QStringLiteral("Spread the colours over decades below the largest weight"));
    decadesSpinBox = new QSpinBox(this);
    decadesSpinBox->setObjectName(QStringLiteral("decadesSpinBox"));
    decadesSpinBox->setRange(kMinDecades, kMaxDecades);
    decadesSpinBox->setValue(kDefaultDecades);
    decadesSpinBox->setSuffix(QStringLiteral(" decades"));
    decadesSpinBox->setToolTip(QStringLiteral("How many decades below the largest weight get a colour"));

    mapArea = new QWidget(this);
    mapArea->setObjectName(QStringLiteral("mapArea"));
    mapArea->setMinimumSize(420, 260);
    mapArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    mapArea->installEventFilter(this);
    maxLabel = new QLabel(QStringLiteral("max"), mapArea);
    maxLabel->setObjectName(QStringLiteral("maxLabel"));
    minLabel = new QLabel(QStringLiteral("min"), mapArea);
    minLabel->setObjectName(QStringLiteral("minLabel"));
    colourBar = new QLabel(mapArea);
    colourBar->setObjectName(QStringLiteral("colourBar"));
    colourBar->setToolTip(QStringLiteral("Colour classes; the numbers are shares of the distribution"));
    mMinusAxis = new QLabel(mapArea);
    mMinusAxis->setObjectName(QStringLiteral("mMinusAxis"));
    mMinusTitle = symbolTitle(mapArea, "mMinusTitle", "sym_mminus");
    mapPicture = new QLabel(mapArea);
    mapPicture->setObjectName(QStringLiteral("mapPicture"));
    mapPicture->setMouseTracking(true);
    mapPicture->installEventFilter(this);
    mPlusAxis = new QLabel(mapArea);
    mPlusAxis->setObjectName(QStringLiteral("mPlusAxis"));
    mPlusTitle = symbolTitle(mapArea, "mPlusTitle", "sym_mplus");
    statusLabel = new QLabel(mapArea);
    statusLabel->setObjectName(QStringLiteral("mapStatusLabel"));
    statusLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    wholeRangeButton = new QToolButton(mapArea);
    wholeRangeButton->setObjectName(QStringLiteral("wholeRangeButton"));
    wholeRangeButton->setText(QStringLiteral("Whole range"));
    wholeRangeButton->setCheckable(true);
    wholeRangeButton->setChecked(true);
    wholeRangeButton->setEnabled(false);
    wholeRangeButton->setToolTip(QStringLiteral("Show every cell of the ranges, or go back to the populated region"));
    for (QLabel* l : {mapPicture, colourBar, mMinusAxis, mPlusAxis}) l->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The title and the colour-scale controls above the map area.
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto* header = new QHBoxLayout;
    header->addWidget(titleLabel);
    header->addStretch(1);
    header->addWidget(logColoursBox);
    header->addWidget(decadesSpinBox);
    column->addLayout(header);
    column->addWidget(mapArea, 1);

    // The map starts as its canvas, sized when the area is laid out.
    picture = loadRuntimePicture(QStringLiteral("symbols/matrix.jpg"), QSize(575, 575)).toImage();
    mapPicture->setPixmap(QPixmap::fromImage(picture));

    connect(logColoursBox, &QCheckBox::toggled, this, [this](bool on) {
        if (on == scale.logarithmic) return;
        ColourScale s = scale;
        s.logarithmic = on;
        setColourScale(s);
    });
    connect(decadesSpinBox, &QSpinBox::valueChanged, this, [this](int decades) {
        if (decades == scale.decades) return;
        ColourScale s = scale;
        s.decades = decades;
        setColourScale(s);
    });
    connect(wholeRangeButton, &QToolButton::clicked, this, [this] { toggleWholeRange(); });
}

void MapView::rememberColourScale() {
    QSettings s = settingsStore();
    ColourScale c;
    c.logarithmic = s.value(QStringLiteral("map/logarithmicColours"), false).toBool();
    c.decades = std::clamp(s.value(QStringLiteral("map/decades"), kDefaultDecades).toInt(), kMinDecades, kMaxDecades);
    c.colours = s.value(QStringLiteral("map/colours")).toString() == QStringLiteral("viridis") ? ColourMap::Viridis
                                                                                               : ColourMap::Classic;
    remembersScale = false;  // what was just read need not be written back
    setColourScale(c);
    remembersScale = true;
}

void MapView::saveSettings() const {
    QSettings s = settingsStore();
    s.setValue(QStringLiteral("map/logarithmicColours"), scale.logarithmic);
    s.setValue(QStringLiteral("map/decades"), scale.decades);
    s.setValue(QStringLiteral("map/colours"),
               scale.colours == ColourMap::Viridis ? QStringLiteral("viridis") : QStringLiteral("classic"));
}

void MapView::setColourScale(const ColourScale& s) {
    scale = s;
    scale.decades = std::clamp(scale.decades, kMinDecades, kMaxDecades);
    {
        const QSignalBlocker b1(logColoursBox), b2(decadesSpinBox);
        logColoursBox->setChecked(scale.logarithmic);
        decadesSpinBox->setValue(scale.decades);
    }
    decadesSpinBox->setEnabled(scale.logarithmic);
    if (remembersScale) saveSettings();
    emit colourScaleChanged(scale);
    layoutMapArea();  // the numbers of the colour bar may need another width
}

double MapView::maxShare() const {
    if (!drawnRecord || !(drawnRecord->sum > 0.0)) return 0.0;
    double largest = 0.0;
    drawnRecord->absValue.forEach([&](double w) { largest = std::max(largest, w); });
    return largest / drawnRecord->sum;
}

std::vector<std::pair<double, QString>> MapView::barNumbers(double classHeight, double textHeight) const {
    std::vector<std::pair<double, QString>> out;
    // Values: the classes 1..20 split the range from the smallest value to the largest; the
    // numbers at round values, kept a text height apart.
    const auto [lo, hi] = valueRange(values);
    if (!std::isfinite(lo)) return out;
    if (!(hi > lo)) {
        out.emplace_back(10.0, valueText(lo));
        return out;
    }
    const NiceAxis a = niceAxis(lo, hi);
    double last = -std::numeric_limits<double>::infinity();
    for (const double v : niceTicks(a)) {
        if (v < lo - 1e-9 * a.step || v > hi + 1e-9 * a.step) continue;
        const double position = 20.0 * (v - lo) / (hi - lo);
        if ((position - last) * classHeight < textHeight) continue;
        last = position;
        out.emplace_back(position, fixedPlaces(v, a.decimals));
    }
    return out;
}

const std::optional<CellWindow>& MapView::populated() const {
    if (regionRecord != drawnRecord) {
        regionRecord = drawnRecord;
        region.reset();
        if (drawnRecord) {
            const auto r = populatedRegion(drawnRecord->absValue);
            if (r && worthFocusing(*r, rows, cols)) region = r;
        }
    }
    return region;
}

void MapView::showEmptyRanges(std::int32_t mpMin, std::int32_t mpCount, std::int32_t mmMin, std::int32_t mmCount) {
    drawnRecord.reset();
    drawnColours = Grid<std::int32_t>();
    drawnClasses = Grid<std::int32_t>();
    rows = mpCount;
    cols = mmCount;
    view = CellWindow{0, rows - 1, 0, cols - 1};
    viewFocused = false;
    xAxis.first = mpMin;
    yAxis.first = mmMin;
    updateStatus();
    layoutMapArea();
}

bool MapView::setRecord(ResultSnapshot rec, QString* error) {
    list.clear();
    if (!rec || !rec->hasResults()) return false;
    const std::int32_t n = rec->params().mpMax - rec->params().mpMin + 1;
    const std::int32_t m = rec->params().mmMax - rec->params().mmMin + 1;
    if (rec->absValue.rows() != n || rec->absValue.cols() != m) return false;
    // The classes and the most probable cell come with the result, formed on the job's thread.
    const MapData& map = rec->map;
    if (map.colourClasses.rows() != n || map.colourClasses.cols() != m) return false;
    if (map.colourError) {
        // The map on screen stays as it was.
        if (error) *error = QString::fromStdString(*map.colourError);
        return false;
    }
    const bool newShape = !drawnRecord || drawnRecord->params().mpMin != rec->params().mpMin ||
                          drawnRecord->params().mmMin != rec->params().mmMin || drawnClasses.rows() != n ||
                          drawnClasses.cols() != m;
    drawnClasses = map.colourClasses;
    drawnBest = map.mostProbable;
    drawnRecord = std::move(rec);
    rows = n;
    cols = m;
    xAxis.first = drawnRecord->params().mpMin;
    yAxis.first = drawnRecord->params().mmMin;
    if (newShape || view.row1 >= rows || view.col1 >= cols || view.rows() <= 0) {
        view = CellWindow{0, rows - 1, 0, cols - 1};
        viewFocused = false;
        updateStatus();
    }
    layoutMapArea();
    return true;
}

void MapView::setValueGrid(MapAxis x, MapAxis y, std::vector<double> known, const QString& title) {
    const bool newShape = x.values.size() != xAxis.values.size() || y.values.size() != yAxis.values.size() ||
                          x.values != xAxis.values || y.values != yAxis.values;
    xAxis = std::move(x);
    yAxis = std::move(y);
    values = std::move(known);
    valueTitle = title;
    drawnRecord.reset();
    rows = static_cast<std::int32_t>(xAxis.values.size());
    cols = static_cast<std::int32_t>(yAxis.values.size());
    // The classes 1..20 from the smallest value to the largest; -1 for a cell without one.
    const auto [lo, hi] = valueRange(values);
    drawnClasses = Grid<std::int32_t>(rows, cols);
    for (std::int32_t i = 0; i < rows; ++i)
        for (std::int32_t j = 0; j < cols; ++j) {
            const auto k = static_cast<std::size_t>(i) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(j);
            const double v = k < values.size() ? values[k] : std::numeric_limits<double>::quiet_NaN();
            std::int32_t code = -1;
            if (std::isfinite(v)) {
                const double t = hi > lo ? (v - lo) / (hi - lo) : 0.5;
                code = 1 + std::clamp(static_cast<std::int32_t>(std::floor(t * 20.0)), 0, 19);
            }
            drawnClasses(i, j) = code;
        }

    // The titles: what the values are, and the parameters' names along the axes.
    titleLabel->setText(title);
    logColoursBox->hide();
    decadesSpinBox->hide();
    colourBar->setToolTip(title);
    const QFontMetrics fm(font());
    mPlusTitle->setPixmap(QPixmap());
    mPlusTitle->setText(xAxis.name);
    mPlusTitle->resize(std::max(40, fm.horizontalAdvance(xAxis.name) + 8), 24);
    QPixmap turned(fm.height() + 4, fm.horizontalAdvance(yAxis.name) + 8);
    turned.fill(Qt::transparent);
    {
        QPainter p(&turned);
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        p.translate(0, turned.height());
        p.rotate(-90);
        p.drawText(QRect(0, 0, turned.height(), turned.width()), Qt::AlignCenter, yAxis.name);
    }
    mMinusTitle->setPixmap(turned);
    mMinusTitle->setAccessibleName(yAxis.name);
    mMinusTitle->resize(std::max(24, turned.width()), std::max(40, turned.height()));

    if (newShape || view.row1 >= rows || view.col1 >= cols || view.rows() <= 0) {
        view = CellWindow{0, rows - 1, 0, cols - 1};
        viewFocused = false;
    }
    updateStatus();
    layoutMapArea();
}

void MapView::setRunning(bool on) {
    running = on;
    updateStatus();
}

void MapView::layoutMapArea() {
    const bool ranges = rows > 0 && cols > 0;
    const std::int32_t nx = ranges ? view.rows() : kStartCells;  // x along the rows of the grid
    const std::int32_t ny = ranges ? view.cols() : kStartCells;  // y along its columns
    const QFont tickFont = font();
    const QFontMetricsF fm(tickFont);
    const int textH = static_cast<int>(std::ceil(fm.height()));
    double numbersW = 0.0;
    if (valueGrid()) {
        for (const auto& [position, text] : barNumbers(1e6, 1.0))
            numbersW = std::max(numbersW, fm.horizontalAdvance(text));
        numbersW += 8.0;
    } else {
        numbersW = colourScaleLabelWidth(scale, maxShare(), tickFont);
    }
    const int barNumbersW = static_cast<int>(std::ceil(numbersW));
    const int barW = barNumbersW + kColourRects + 2;
    const int yTitleW = mMinusTitle->width();
    int yTicksW = 0;
    if (!valueGrid()) {
        const std::int64_t mmFirst = ranges ? yAxis.first + view.col0 : 0;
        yTicksW = static_cast<int>(std::ceil(verticalTicksWidth(mmFirst, ny, tickFont)));
    } else {
        double widest = 0.0;
        for (std::int32_t j = view.col0; j <= view.col1; ++j)
            widest = std::max(widest, fm.horizontalAdvance(yAxis.text(j)));
        yTicksW = static_cast<int>(std::ceil(widest + 6.0));
    }
    const int overhang = static_cast<int>(std::ceil(fm.horizontalAdvance(QStringLiteral("00000")) / 2.0));
    const int top = std::max(textH + 4, wholeRangeButton->sizeHint().height() + 2);
    const int xTicksH = textH + 4;
    const int xTitleH = mPlusTitle->height() + 2;
    const int bottomText = textH + 2;  // "min" under the colour bar
    const int fixedW = barW + 10 + yTitleW + yTicksW + 2 + overhang;
    const int fixedH = top + xTicksH + xTitleH + 2;
    const double availW = mapArea->width() - fixedW - 2.0;
    const double availH = mapArea->height() - fixedH - 2.0 - std::max(0, bottomText - xTicksH - xTitleH);
    // Square cells as large as the area allows; a map of thousands of values a side gets
    // cells smaller than a pixel (painted through a picture of one pixel per cell), so
    // that every allowed range fits its area.
    const double cell = std::max(0.0, std::min(availW / nx, availH / ny));
    // A range far longer on one axis than on the other (100000 x 40) would leave a line of
    // square cells: the short side keeps at least kMinMapSide pixels and the cells stretch.
    const auto side = [&](std::int32_t n, double avail) {
        const double square = std::floor(cell * n);
        return static_cast<int>(std::max(square, std::floor(std::clamp(avail, 0.0, kMinMapSide)))) + 2;
    };
    // A grid of values over two parameters has no reason for square cells: it fills the area,
    // with cells of whole pixels (cells of a fraction more would leave seams between them).
    const auto fill = [](std::int32_t n, double avail) {
        const double whole = std::floor(std::max(avail, 0.0) / n);
        return static_cast<int>(whole >= 1.0 ? whole * n : std::floor(std::max(avail, 0.0))) + 2;
    };
    const int mapW = valueGrid() ? fill(nx, availW) : side(nx, availW);
    const int mapH = valueGrid() ? fill(ny, availH) : side(ny, availH);

    const int total = fixedW + mapW;
    const int x0 = std::max(0, (mapArea->width() - total) / 2);
    const int barX = x0;
    // The colour bar reaches half a number above and below the map, so that the numbers of
    // its top and bottom boundaries are whole.
    const int half = textH / 2;
    maxLabel->setGeometry(barX + barNumbersW, top - half - textH - 1, kColourRects + 20, textH);
    colourBar->setGeometry(barX, top - half, barW, mapH + 2 * half);
    minLabel->setGeometry(barX + barNumbersW, top + mapH + half + 1, kColourRects + 20, textH);
    const int titleX = barX + barW + 10;
    mMinusTitle->move(titleX, top + mapH / 2 - mMinusTitle->height() / 2);
    const int mapX = titleX + yTitleW + yTicksW + 2;
    // The y labels may stand half a label above the top row and below the bottom one.
    mMinusAxis->setGeometry(mapX - yTicksW - 2, top - textH / 2, yTicksW, mapH + textH);
    mapPicture->setGeometry(mapX, top, mapW, mapH);
    mPlusAxis->setGeometry(mapX - overhang, top + mapH + 2, mapW + 2 * overhang, xTicksH);
    mPlusTitle->move(mapX + mapW / 2 - mPlusTitle->width() / 2, top + mapH + 2 + xTicksH);
    const int buttonW = wholeRangeButton->sizeHint().width();
    wholeRangeButton->setGeometry(mapX + mapW - buttonW, 0, buttonW, top - 2);
    const int statusLeft = std::min(mapX, barX + barW);
    statusLabel->setGeometry(statusLeft, 0, std::max(0, mapX + mapW - buttonW - 6 - statusLeft), top - 2);
    fitStatus();
    renderMap();
}

void MapView::renderMap() {
    const QSize mapSize = mapPicture->size();
    const bool ranges = rows > 0 && cols > 0;
    const std::int32_t nx = ranges ? view.rows() : kStartCells;
    const std::int32_t ny = ranges ? view.cols() : kStartCells;
    const CellGeometry geometry(mapSize.width(), mapSize.height(), nx, ny);

    // The map.
    QImage drawn = canvas("symbols/matrix.jpg", mapSize).toImage().convertToFormat(QImage::Format_RGB32);
    list.clear();
    if (!drawnClasses.empty() && (drawnRecord || valueGrid())) {
        MapPaintRequest request;
        request.geometry = geometry;
        request.colours = scale.colours;
        if (drawnRecord) {
            const RunResult& rec = *drawnRecord;
            drawnColours =
                scale.logarithmic ? cut(colourClassesOf(rec.absValue, scale), view) : cut(drawnClasses, view);
            request.pendingGrey = rec.byRows();
            request.lastRowIndex = rec.index - rec.params().mpMin - view.row0;
            const std::int32_t bi = drawnBest.first - rec.params().mpMin, bj = drawnBest.second - rec.params().mmMin;
            if (drawnClasses(bi, bj) > 0 && bi >= view.row0 && bi <= view.row1 && bj >= view.col0 && bj <= view.col1)
                request.outline = std::pair{bi - view.row0, bj - view.col0};
        } else {
            drawnColours = cut(drawnClasses, view);
        }
        request.colourClasses = &drawnColours;
        paintMap(drawn, request);
        const std::int64_t xFirst = valueGrid() ? 0 : xAxis.first, yFirst = valueGrid() ? 0 : yAxis.first;
        list = CellList(geometry, static_cast<std::int32_t>(xFirst + view.row0),
                        static_cast<std::int32_t>(yFirst + view.col0), &drawnColours);
    } else if (ranges) {
        paintEmptyGrid(drawn, geometry);
    }
    picture = std::move(drawn);
    mapPicture->setPixmap(QPixmap::fromImage(picture));

    // The axes: labels of the cells shown, once the ranges are known.
    const QFont tickFont = font();
    QPixmap xBar = canvas("symbols/coordinateBarX.png", mPlusAxis->size());
    QPixmap yBar = canvas("symbols/coordinateBarY.png", mMinusAxis->size());
    if (ranges) {
        const int overhang = mapPicture->x() - mPlusAxis->x();
        const double mapBottom = (mapPicture->y() - mMinusAxis->y()) + geometry.Hm;
        QPainter px(&xBar);
        px.setRenderHint(QPainter::TextAntialiasing);
        QPainter py(&yBar);
        if (valueGrid()) {
            const auto xText = [this](std::int64_t i) { return xAxis.text(i); };
            const auto yText = [this](std::int64_t j) { return yAxis.text(j); };
            paintHorizontalTicks(px, overhang, 2.0, view.row0, nx, geometry.cw, tickFont, toQColor(kGrayColor), xText);
            paintVerticalTicks(py, mMinusAxis->width() - 2.0, mapBottom, view.col0, ny, geometry.ch, tickFont,
                               toQColor(kGrayColor), yText);
        } else {
            paintHorizontalTicks(px, overhang, 2.0, xAxis.first + view.row0, nx, geometry.cw, tickFont,
                                 toQColor(kGrayColor));
            paintVerticalTicks(py, mMinusAxis->width() - 2.0, mapBottom, yAxis.first + view.col0, ny, geometry.ch,
                               tickFont, toQColor(kGrayColor));
        }
    }
    mPlusAxis->setPixmap(xBar);
    mMinusAxis->setPixmap(yBar);

    // The colour bar with the shares (or values) at its class boundaries.
    QPixmap bar = canvas("symbols/colorBar.png", colourBar->size());
    {
        QPainter pb(&bar);
        pb.setRenderHint(QPainter::TextAntialiasing);
        const double half = (colourBar->height() - mapPicture->height()) / 2.0;
        const QRectF rects(bar.width() - kColourRects - 1.0, half + 0.5, kColourRects, bar.height() - 2.0 * half - 1.0);
        const QColor ink = palette().color(QPalette::WindowText);
        if (valueGrid()) {
            std::vector<BarNumber> numbers;
            for (auto& [position, text] : barNumbers(rects.height() / 20.0, QFontMetricsF(tickFont).height()))
                numbers.push_back({position, text});
            paintColourBar(pb, rects, scale.colours, 1, numbers, tickFont, ink);
        } else {
            paintColourScale(pb, rects, scale, maxShare(), tickFont, ink);
        }
    }
    colourBar->setPixmap(bar);
}

void MapView::focusPopulatedRegion() {
    if (!drawnRecord || drawnClasses.empty()) return;
    const auto& found = populated();
    if (!found) return;
    view = *found;
    viewFocused = true;
    updateStatus();
    layoutMapArea();
}

bool MapView::showsWholeRange() const { return rows <= 0 || view == CellWindow{0, rows - 1, 0, cols - 1}; }

void MapView::setWindow(const CellWindow& w) {
    if (rows <= 0 || cols <= 0) return;
    CellWindow v = w;
    v.row0 = std::clamp(v.row0, 0, rows - 1);
    v.row1 = std::clamp(v.row1, v.row0, rows - 1);
    v.col0 = std::clamp(v.col0, 0, cols - 1);
    v.col1 = std::clamp(v.col1, v.col0, cols - 1);
    if (v == view) return;
    view = v;
    viewFocused = false;
    updateStatus();
    layoutMapArea();
}

void MapView::setWholeRange(bool whole) {
    if (whole == showsWholeRange()) return;
    toggleWholeRange();
}

void MapView::toggleWholeRange() {
    if (showsWholeRange()) {
        // Back to the populated region, if the result has one worth showing.
        focusPopulatedRegion();
    } else {
        view = CellWindow{0, rows - 1, 0, cols - 1};
        viewFocused = false;
        updateStatus();
        layoutMapArea();
    }
    updateStatus();
}

bool MapView::canToggleWholeRange() const { return wholeRangeButton->isEnabled(); }

QString MapView::axisRange(const MapAxis& axis, std::int32_t from, std::int32_t to, const char* symbol) const {
    if (axis.integers())
        return QStringLiteral("%1 %2..%3").arg(QLatin1String(symbol)).arg(axis.first + from).arg(axis.first + to);
    return QStringLiteral("%1 %2..%3").arg(axis.name, axis.text(from), axis.text(to));
}

void MapView::updateStatus() {
    const bool whole = showsWholeRange();
    // The populated region of a map that is still filling is not known yet.
    const bool regionKnown = !running && populated().has_value();
    {
        const QSignalBlocker b(wholeRangeButton);
        wholeRangeButton->setChecked(whole);
    }
    wholeRangeButton->setEnabled(!whole || regionKnown);
    // The button says what a click shows; it keeps its right edge when its text changes.
    const QString action = whole && regionKnown ? QStringLiteral("Populated region") : QStringLiteral("Whole range");
    if (wholeRangeButton->text() != action) {
        const QRect at = wholeRangeButton->geometry();
        wholeRangeButton->setText(action);
        const int width = wholeRangeButton->sizeHint().width();
        if (at.isValid()) wholeRangeButton->setGeometry(at.right() + 1 - width, at.y(), width, at.height());
    }
    if (whole) {
        const std::optional<CellWindow> r = regionKnown ? populated() : std::optional<CellWindow>();
        statusFull = r ? QStringLiteral("Whole range; populated region %1, %2")
                             .arg(axisRange(xAxis, r->row0, r->row1, "M+"), axisRange(yAxis, r->col0, r->col1, "M-"))
                       : QString();
        statusBrief = r ? QStringLiteral("Whole range") : QString();
        statusLabel->setToolTip(statusFull);
        fitStatus();
        emit viewChanged();
        return;
    }
    const QString shown = axisRange(xAxis, view.row0, view.row1, "M+") + QStringLiteral(", ") +
                          axisRange(yAxis, view.col0, view.col1, "M-");
    statusFull = viewFocused ? QStringLiteral("Populated region: ") + shown : QStringLiteral("Showing ") + shown;
    statusBrief = shown;
    statusLabel->setToolTip(
        QStringLiteral("The map shows %1 of %2, %3%4. Wheel: zoom, drag: pan.")
            .arg(shown, axisRange(xAxis, 0, rows - 1, "M+"), axisRange(yAxis, 0, cols - 1, "M-"),
                 viewFocused ? QStringLiteral(" (the cells holding 99.9 % of the distribution, with a margin)")
                             : QString()));
    fitStatus();
    emit viewChanged();
}

void MapView::fitStatus() {
    const QFontMetrics fm(statusLabel->font());
    statusLabel->setText(fm.horizontalAdvance(statusFull) <= statusLabel->width() ? statusFull : statusBrief);
}

bool MapView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mapArea && event->type() == QEvent::Resize) {
        layoutMapArea();
        return false;
    }
    if (watched == mapPicture) {
        if (mouseEvent(event)) return true;
        if (event->type() == QEvent::MouseButtonDblClick) {
            auto* me = static_cast<QMouseEvent*>(event);
            const QPoint at = me->position().toPoint();
            if (const auto hit = list.find(at.x(), at.y())) emit cellActivated(hit->first, hit->second);
            return true;
        }
        if (event->type() == QEvent::ToolTip) {
            auto* he = static_cast<QHelpEvent*>(event);
            const QString tip = toolTipAt(he->pos());
            if (tip.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(he->globalPos(), tip, mapPicture);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool MapView::mouseEvent(QEvent* event) {
    if (rows <= 0 || cols <= 0 || list.empty()) return false;
    const CellGeometry& g = list.geometry();
    switch (event->type()) {
        case QEvent::Wheel: {
            auto* we = static_cast<QWheelEvent*>(event);
            const int delta = we->angleDelta().y();
            if (delta == 0) return true;
            const QPointF at = we->position();
            std::int32_t row = (view.row0 + view.row1) / 2, col = (view.col0 + view.col1) / 2;
            if (const auto hit = list.find(at.x(), at.y())) {
                row = static_cast<std::int32_t>(hit->first - (valueGrid() ? 0 : xAxis.first));
                col = static_cast<std::int32_t>(hit->second - (valueGrid() ? 0 : yAxis.first));
            }
            const double factor = std::pow(0.8, delta / 120.0);
            setWindow(zoomWindow(view, factor, row, col, rows, cols));
            return true;
        }
        case QEvent::MouseButtonPress: {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() != Qt::LeftButton) return false;
            dragStart = me->position().toPoint();
            dragView = view;
            dragging = true;
            return false;
        }
        case QEvent::MouseMove: {
            auto* me = static_cast<QMouseEvent*>(event);
            if (!dragging || !(me->buttons() & Qt::LeftButton)) return false;
            const QPoint d = me->position().toPoint() - dragStart;
            const auto dRows = static_cast<std::int32_t>(std::lround(-d.x() / static_cast<double>(g.cw)));
            const auto dCols = static_cast<std::int32_t>(std::lround(d.y() / static_cast<double>(g.ch)));
            const CellWindow next = panWindow(dragView, dRows, dCols, rows, cols);
            if (!(next == view)) {
                mapPicture->setCursor(Qt::ClosedHandCursor);
                setWindow(next);
            }
            return true;
        }
        case QEvent::MouseButtonRelease:
            dragging = false;
            mapPicture->unsetCursor();
            return false;
        default:
            return false;
    }
}

QString MapView::toolTipAt(QPoint position) const {
    if (list.empty()) return {};
    const auto hit = list.find(position.x(), position.y());
    if (!hit) return {};
    if (valueGrid()) {
        const auto [i, j] = *hit;
        const auto k = static_cast<std::size_t>(i) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(j);
        const QString where =
            QStringLiteral("%1 = %2, %3 = %4").arg(xAxis.name, xAxis.text(i), yAxis.name, yAxis.text(j));
        if (k >= values.size()) return where + QStringLiteral(": not computed yet");
        const double v = values[k];
        if (!std::isfinite(v)) return where + QStringLiteral(": no value");
        return where + QStringLiteral("\n%1 = %2").arg(valueTitle, significant(v, 6));
    }
    if (!drawnRecord) return {};
    const RunResult& rec = *drawnRecord;
    const std::int32_t i = hit->first - rec.params().mpMin;
    const std::int32_t j = hit->second - rec.params().mmMin;
    const bool pending = rec.byRows() && hit->first > rec.index;
    // The share is the cell's weight over the sum of the weights, for the free chains too.
    QString tip = QString::fromStdString(
        cellTooltip(hit->first, hit->second, rec.absValue(i, j), rec.share(i, j), pending, decimalSeparator()));
    if (!pending && i - view.row0 < drawnColours.rows() && j - view.col0 < drawnColours.cols()) {
        const std::int32_t code = drawnColours(i - view.row0, j - view.col0);
        const auto [lo, hi] = classRange(code, scale);
        const double top = maxShare();
        const char sep = decimalSeparator();
        tip += QStringLiteral("\ncolour class %1 of 20 (%2 scale): share %3 to %4")
                   .arg(code)
                   .arg(scale.logarithmic ? QStringLiteral("logarithmic") : QStringLiteral("linear"))
                   .arg(QString::fromStdString(shortShare(lo * top, sep)))
                   .arg(QString::fromStdString(shortShare(hi * top, sep)));
    }
    return tip;
}

QString MapView::captionPathOf(const QString& figurePath) {
    const QFileInfo info(figurePath);
    const QString base = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
    const QString path = info.dir().filePath(base + QStringLiteral(".txt"));
    // A figure named *.txt keeps its caption apart: never written over the figure itself.
    return path == info.filePath() ? path + QStringLiteral(".txt") : path;
}

QImage MapView::pictureWithoutControls() {
    QImage image;
    withoutControls([&] { image = grab().toImage(); });
    return image;
}

void MapView::renderWithoutControls(QPainter* painter) {
    withoutControls([&] { render(painter); });
}

void MapView::withoutControls(const std::function<void()>& draw) {
    // The button acts on the screen only; a picture of the map has no use for it.
    const bool buttonShown = wholeRangeButton->isVisible();
    wholeRangeButton->hide();
    draw();
    if (buttonShown) wholeRangeButton->show();
}

bool MapView::saveFigure(const QString& path, bool svg, const FigureOptions& options) {
    MapFigure f;
    f.scale = scale;
    f.maxShare = maxShare();
    f.scaleTitle = QStringLiteral("share of the distribution");
    f.provenance = QStringLiteral("Marlinq Solver ") + QString::fromStdString(provenance());
    Grid<std::int32_t> classes;
    if (drawnRecord && !drawnClasses.empty()) {
        const RunResult& rec = *drawnRecord;
        const Parameters& p = rec.params();
        classes = drawnColours;
        f.classes = &classes;
        f.mpFirst = p.mpMin + view.row0;
        f.mmFirst = p.mmMin + view.col0;
        f.pendingGrey = rec.byRows();
        f.lastRowIndex = rec.index - p.mpMin - view.row0;
        const std::int32_t bi = drawnBest.first - p.mpMin - view.row0, bj = drawnBest.second - p.mmMin - view.col0;
        if (bi >= 0 && bj >= 0 && bi < view.rows() && bj < view.cols() &&
            drawnClasses(bi + view.row0, bj + view.col0) > 0)
            f.outline = std::pair{bi, bj};
        f.caption = QString::fromStdString(
            parameterCaption(p.zp, rec.request().plusLength, p.Np, p.zn, rec.request().minusLength, p.Nm, p.ka,
                             rec.concentrations.freePlus, rec.concentrations.freeMinus, rec.request().method));
        if (scale.logarithmic) f.caption += QStringLiteral("; colours over %1 decades").arg(scale.decades);
    }
    f.captionInPicture = options.captionInPicture;
    f.widthMm = options.widthMm;
    if (!(svg ? saveMapFigureSvg(f, path) : saveMapFigurePng(f, path))) return false;
    if (f.captionInPicture || f.caption.isEmpty()) return true;
    std::string error;
    std::string text = f.caption.toStdString() + "\n";
    if (!f.provenance.isEmpty()) text += f.provenance.toStdString() + "\n";
    return writeTextFileAtomically(QFile::encodeName(captionPathOf(path)).toStdString(), text, error);
}

QString MapView::suggestedFileName(const QString& suffix) const {
    if (!drawnRecord || drawnClasses.empty()) return QStringLiteral("map.") + suffix;
    const RunResult& rec = *drawnRecord;
    const Parameters& p = rec.params();
    // The method's name without its hyphen ("dh-linear" is "dhlinear" in a file name).
    const QString method = QString::fromStdString(std::string(nameOf(rec.request().method))).remove(QLatin1Char('-'));
    // The number with a point whatever the locale.
    return QStringLiteral("map_%1_ka%2_mp%3-%4_mm%5-%6.%7")
        .arg(method, QString::fromStdString(significantText(p.ka, 6)))
        .arg(p.mpMin + view.row0)
        .arg(p.mpMin + view.row1)
        .arg(p.mmMin + view.col0)
        .arg(p.mmMin + view.col1)
        .arg(suffix);
}

}  // namespace marlinq::ui
