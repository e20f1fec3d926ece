// Form1: the distribution map, its bars, the result panel and the profile charts.
#include "ui/Form1.h"
#include "ui/ParameterForm.h"
#include "ui/FieldText.h"
#include "physics/Complex.h"

#include "files/NumberFormat.h"
#include "kernel/Fatal.h"
#include "pipeline/AtomicFile.h"
#include "pipeline/ComplexProfile.h"
#include "pipeline/Observables.h"
#include "pipeline/Version.h"
#include "ui/MapFigure.h"
#include "ui/MapRender.h"
#include "ui/Pictures.h"
#include "ui/ProfileChartWindow.h"
#include "ui/UserDialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace marlinq::ui {

namespace {

constexpr int kColourRects = 22;   // width of the colour rectangles of the bar
constexpr int kStartCells = 11;    // the canvas before any run is laid out as 11 x 11
constexpr double kMinMapSide = 120.0;

// A canvas picture cut to exactly size.
QPixmap canvas(const char* name, QSize size) {
    size = size.expandedTo(QSize(1, 1));
    const QPixmap pm = loadRuntimePicture(QString::fromLatin1(name), size);
    return pm.size() == size ? pm : pm.copy(0, 0, size.width(), size.height());
}

Grid<std::int32_t> cut(const Grid<std::int32_t>& all, const CellWindow& w) {
    Grid<std::int32_t> out(w.rows(), w.cols());
    for (std::int32_t r = 0; r < w.rows(); ++r)
        std::copy_n(all.row(w.row0 + r) + w.col0, w.cols(), out.row(r));
    return out;
}

QSettings settingsStore() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Marlinq"),
                     QStringLiteral("Marlinq Solver"));
}

}  // namespace

void Form1::loadSettings() {
    QSettings s = settingsStore();
    ColourScale c;
    c.logarithmic = s.value(QStringLiteral("map/logarithmicColours"), false).toBool();
    c.decades = std::clamp(s.value(QStringLiteral("map/decades"), kDefaultDecades).toInt(), kMinDecades, kMaxDecades);
    c.colours = s.value(QStringLiteral("map/colours")).toString() == QStringLiteral("viridis") ? ColourMap::Viridis
                                                                                               : ColourMap::Classic;
    scale = c;
    if (viridisToolStripMenuItem) {
        const QSignalBlocker b(viridisToolStripMenuItem);
        viridisToolStripMenuItem->setChecked(c.colours == ColourMap::Viridis);
    }
    if (mapCaptionToolStripMenuItem) {
        mapCaptionToolStripMenuItem->setChecked(s.value(QStringLiteral("figure/captionInPicture"), true).toBool());
        const bool column = s.value(QStringLiteral("figure/widthMm"), 170).toInt() == 85;
        (column ? mapColumnWidthToolStripMenuItem : mapPageWidthToolStripMenuItem)->setChecked(true);
    }
    const QSignalBlocker b1(logColoursBox), b2(decadesSpinBox);
    logColoursBox->setChecked(c.logarithmic);
    decadesSpinBox->setValue(c.decades);
    decadesSpinBox->setEnabled(c.logarithmic);
    if (logColoursToolStripMenuItem) {
        const QSignalBlocker b3(logColoursToolStripMenuItem);
        logColoursToolStripMenuItem->setChecked(c.logarithmic);
    }
}

void Form1::saveSettings() const {
    QSettings s = settingsStore();
    s.setValue(QStringLiteral("map/logarithmicColours"), scale.logarithmic);
    s.setValue(QStringLiteral("map/decades"), scale.decades);
    s.setValue(QStringLiteral("map/colours"),
               scale.colours == ColourMap::Viridis ? QStringLiteral("viridis") : QStringLiteral("classic"));
    if (mapCaptionToolStripMenuItem) {
        s.setValue(QStringLiteral("figure/captionInPicture"), mapCaptionToolStripMenuItem->isChecked());
        s.setValue(QStringLiteral("figure/widthMm"), mapColumnWidthToolStripMenuItem->isChecked() ? 85 : 170);
    }
}

void Form1::setColourScale(const ColourScale& s) {
    scale = s;
    scale.decades = std::clamp(scale.decades, kMinDecades, kMaxDecades);
    {
        const QSignalBlocker b1(logColoursBox), b2(decadesSpinBox), b3(logColoursToolStripMenuItem),
            b4(viridisToolStripMenuItem);
        viridisToolStripMenuItem->setChecked(scale.colours == ColourMap::Viridis);
        logColoursBox->setChecked(scale.logarithmic);
        decadesSpinBox->setValue(scale.decades);
        logColoursToolStripMenuItem->setChecked(scale.logarithmic);
    }
    decadesSpinBox->setEnabled(scale.logarithmic);
    saveSettings();
    layoutMapArea();  // the numbers of the colour bar may need another width
}

void Form1::logColoursToolStripMenuItem_Click() {
    ColourScale s = scale;
    s.logarithmic = logColoursToolStripMenuItem->isChecked();
    setColourScale(s);
}

double Form1::maxShare() const {
    if (!drawnRecord || !(drawnRecord->sum > 0.0)) return 0.0;
    double largest = 0.0;
    drawnRecord->absValue.forEach([&](double w) { largest = std::max(largest, w); });
    return largest / drawnRecord->sum;
}

void Form1::paintColorBar() {
    // The colour bar is painted with the map at the size of the map area.
    layoutMapArea();
}

const std::optional<CellWindow>& Form1::populated() const {
    if (regionRecord != drawnRecord) {
        regionRecord = drawnRecord;
        region.reset();
        if (drawnRecord) {
            const auto r = populatedRegion(drawnRecord->absValue);
            if (r && worthFocusing(*r, prange, mrange)) region = r;
        }
    }
    return region;
}

void Form1::drawEmptyMap() {
    drawnRecord.reset();
    drawnColours = Grid<std::int32_t>();
    drawnClasses = Grid<std::int32_t>();
    view = CellWindow{0, prange - 1, 0, mrange - 1};
    viewFocused = false;
    axisMpMin = parameterForm->parameters().mpMin;
    axisMmMin = parameterForm->parameters().mmMin;
    updateMapStatus();
    layoutMapArea();
}

void Form1::layoutMapArea() {
    if (!mapArea) return;
    const bool ranges = prange > 0 && mrange > 0;
    const std::int32_t nx = ranges ? view.rows() : kStartCells;  // M+ along x
    const std::int32_t ny = ranges ? view.cols() : kStartCells;  // M- along y
    const QFont tickFont = font();
    const QFontMetricsF fm(tickFont);
    const int textH = static_cast<int>(std::ceil(fm.height()));
    const int barNumbers = static_cast<int>(std::ceil(colourScaleLabelWidth(scale, maxShare(), tickFont)));
    const int barW = barNumbers + kColourRects + 2;
    const int yTitleW = mminusTitle->width();
    const std::int64_t mmFirst = ranges ? axisMmMin + view.col0 : 0;
    const int yTicksW = static_cast<int>(std::ceil(verticalTicksWidth(mmFirst, ny, tickFont)));
    const int overhang = static_cast<int>(std::ceil(fm.horizontalAdvance(QStringLiteral("00000")) / 2.0));
    const int top = std::max(textH + 4, wholeRangeButton->sizeHint().height() + 2);
    const int xTicksH = textH + 4;
    const int xTitleH = mplusTitle->height() + 2;
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
    const int mapW = side(nx, availW);
    const int mapH = side(ny, availH);

    const int total = fixedW + mapW;
    const int x0 = std::max(0, (mapArea->width() - total) / 2);
    const int barX = x0;
    // The colour bar reaches half a number above and below the map, so that the numbers of
    // its top and bottom boundaries are whole.
    const int half = textH / 2;
    maxLabel->setGeometry(barX + barNumbers, top - half - textH - 1, kColourRects + 20, textH);
    pictureBox2->setGeometry(barX, top - half, barW, mapH + 2 * half);
    minLabel->setGeometry(barX + barNumbers, top + mapH + half + 1, kColourRects + 20, textH);
    const int titleX = barX + barW + 10;
    mminusTitle->move(titleX, top + mapH / 2 - mminusTitle->height() / 2);
    const int mapX = titleX + yTitleW + yTicksW + 2;
    // The m- labels may stand half a label above the top row and below the bottom one.
    pictureBox3->setGeometry(mapX - yTicksW - 2, top - textH / 2, yTicksW, mapH + textH);
    pictureBox1->setGeometry(mapX, top, mapW, mapH);
    pictureBox4->setGeometry(mapX - overhang, top + mapH + 2, mapW + 2 * overhang, xTicksH);
    mplusTitle->move(mapX + mapW / 2 - mplusTitle->width() / 2, top + mapH + 2 + xTicksH);
    const int buttonW = wholeRangeButton->sizeHint().width();
    wholeRangeButton->setGeometry(mapX + mapW - buttonW, 0, buttonW, top - 2);
    const int statusLeft = std::min(mapX, barX + barW);
    mapStatusLabel->setGeometry(statusLeft, 0, std::max(0, mapX + mapW - buttonW - 6 - statusLeft), top - 2);
    fitMapStatus();
    renderMap();
}

void Form1::renderMap() {
    const QSize mapSize = pictureBox1->size();
    const bool ranges = prange > 0 && mrange > 0;
    const std::int32_t nx = ranges ? view.rows() : kStartCells;
    const std::int32_t ny = ranges ? view.cols() : kStartCells;
    const CellGeometry geometry(mapSize.width(), mapSize.height(), nx, ny);

    // The map.
    QImage picture = canvas("symbols/matrix.jpg", mapSize).toImage().convertToFormat(QImage::Format_RGB32);
    list.clear();
    if (drawnRecord && !drawnClasses.empty()) {
        const ResultRecord& rec = *drawnRecord;
        drawnColours = scale.logarithmic ? cut(colourClassesOf(rec.absValue, scale), view) : cut(drawnClasses, view);
        MapPaintRequest request;
        request.colourClasses = &drawnColours;
        request.geometry = geometry;
        request.pendingGrey = !rec.debyeHueckel;
        request.lastRowIndex = rec.index - rec.mpMin - view.row0;
        request.colours = scale.colours;
        const std::int32_t bi = drawnBest.first - rec.mpMin, bj = drawnBest.second - rec.mmMin;
        if (drawnClasses(bi, bj) > 0 && bi >= view.row0 && bi <= view.row1 && bj >= view.col0 && bj <= view.col1)
            request.outline = std::pair{bi - view.row0, bj - view.col0};
        paintMap(picture, request);
        list = CellList(geometry, rec.mpMin + view.row0, rec.mmMin + view.col0, &drawnColours);
    } else if (ranges) {
        paintEmptyGrid(picture, geometry);
    }
    image = std::move(picture);
    pictureBox1->setPixmap(QPixmap::fromImage(image));

    // The axes: labels of the cells shown, once a run has set the ranges.
    const QFont tickFont = font();
    QPixmap xBar = canvas("symbols/coordinateBarX.png", pictureBox4->size());
    QPixmap yBar = canvas("symbols/coordinateBarY.png", pictureBox3->size());
    if (ranges) {
        const int overhang = pictureBox1->x() - pictureBox4->x();
        QPainter px(&xBar);
        px.setRenderHint(QPainter::TextAntialiasing);
        paintHorizontalTicks(px, overhang, 2.0, axisMpMin + view.row0, nx, geometry.cw, tickFont, toQColor(kGrayColor));
        px.end();
        QPainter py(&yBar);
        const double mapBottom = (pictureBox1->y() - pictureBox3->y()) + geometry.Hm;
        paintVerticalTicks(py, pictureBox3->width() - 2.0, mapBottom, axisMmMin + view.col0, ny, geometry.ch, tickFont,
                           toQColor(kGrayColor));
    }
    pictureBox4->setPixmap(xBar);
    pictureBox3->setPixmap(yBar);
    image_bar_x = xBar;
    image_bar_y = yBar;

    // The colour bar with the shares at its class boundaries.
    QPixmap bar = canvas("symbols/colorBar.png", pictureBox2->size());
    {
        QPainter pb(&bar);
        pb.setRenderHint(QPainter::TextAntialiasing);
        const double half = (pictureBox2->height() - pictureBox1->height()) / 2.0;
        const QRectF rects(bar.width() - kColourRects - 1.0, half + 0.5, kColourRects, bar.height() - 2.0 * half - 1.0);
        paintColourScale(pb, rects, scale, maxShare(), tickFont, palette().color(QPalette::WindowText));
    }
    image1 = bar;
    pictureBox2->setPixmap(bar);
}

void Form1::redrawMap() {
    list.clear();
    if (!resultRecord || !resultRecord->hasResults()) return;
    const ResultSnapshot rec = resultRecord;
    const std::int32_t rows = rec->mpMax - rec->mpMin + 1;
    const std::int32_t cols = rec->mmMax - rec->mmMin + 1;
    if (rec->absValue.rows() != rows || rec->absValue.cols() != cols) return;
    Grid<std::int32_t> colours = weightClasses(rec->absValue, rec->maxValue);
    if (const auto error = colorCodeError(colours)) {
        // The map on screen and the result panel stay as they were.
        showMessage(QString::fromStdString(*error));
        return;
    }
    // (mpMin, mmMin) while no cell has a weight.
    const auto [mpStar, mmStar] = mostProbableCell(*rec).value_or(MapCell{rec->mpMin, rec->mmMin});
    const bool newShape = !drawnRecord || drawnRecord->mpMin != rec->mpMin || drawnRecord->mmMin != rec->mmMin ||
                          drawnClasses.rows() != rows || drawnClasses.cols() != cols;
    drawnClasses = std::move(colours);
    drawnBest = {mpStar, mmStar};
    drawnRecord = rec;
    prange = rows;
    mrange = cols;
    axisMpMin = rec->mpMin;
    axisMmMin = rec->mmMin;
    if (newShape || view.row1 >= rows || view.col1 >= cols || view.rows() <= 0) {
        view = CellWindow{0, rows - 1, 0, cols - 1};
        viewFocused = false;
        updateMapStatus();
    }
    layoutMapArea();
    updateResultPanel(mpStar, mmStar);
}

void Form1::focusPopulatedRegion() {
    if (!drawnRecord || drawnClasses.empty()) return;
    const auto& found = populated();
    if (!found) return;
    view = *found;
    viewFocused = true;
    updateMapStatus();
    layoutMapArea();
}

bool Form1::showsWholeRange() const {
    return prange <= 0 || view == CellWindow{0, prange - 1, 0, mrange - 1};
}

void Form1::setMapWindow(const CellWindow& w) {
    if (prange <= 0 || mrange <= 0) return;
    CellWindow v = w;
    v.row0 = std::clamp(v.row0, 0, prange - 1);
    v.row1 = std::clamp(v.row1, v.row0, prange - 1);
    v.col0 = std::clamp(v.col0, 0, mrange - 1);
    v.col1 = std::clamp(v.col1, v.col0, mrange - 1);
    if (v == view) return;
    view = v;
    viewFocused = false;
    updateMapStatus();
    layoutMapArea();
}

void Form1::wholeRangeToolStripMenuItem_Click() {
    if (showsWholeRange()) {
        // Back to the populated region, if the result has one worth showing.
        focusPopulatedRegion();
    } else {
        view = CellWindow{0, prange - 1, 0, mrange - 1};
        viewFocused = false;
        updateMapStatus();
        layoutMapArea();
    }
    updateMapStatus();
}

void Form1::updateMapStatus() {
    const bool whole = showsWholeRange();
    // The populated region of a map that is still filling is not known yet.
    const bool region = !runUnderWay && populated().has_value();
    {
        const QSignalBlocker b(wholeRangeButton);
        wholeRangeButton->setChecked(whole);
    }
    wholeRangeButton->setEnabled(!whole || region);
    // The button says what a click shows; it keeps its right edge when its text changes.
    const QString action = whole && region ? QStringLiteral("Populated region") : QStringLiteral("Whole range");
    if (wholeRangeButton->text() != action) {
        const QRect at = wholeRangeButton->geometry();
        wholeRangeButton->setText(action);
        const int width = wholeRangeButton->sizeHint().width();
        if (at.isValid()) wholeRangeButton->setGeometry(at.right() + 1 - width, at.y(), width, at.height());
    }
    if (wholeRangeToolStripMenuItem) {
        const QSignalBlocker b(wholeRangeToolStripMenuItem);
        wholeRangeToolStripMenuItem->setChecked(whole);
        wholeRangeToolStripMenuItem->setEnabled(!whole || region);
    }
    if (whole) {
        const std::optional<CellWindow> r = region ? populated() : std::optional<CellWindow>();
        statusFull = r ? QStringLiteral("Whole range; populated region M+ %1..%2, M- %3..%4")
                             .arg(axisMpMin + r->row0)
                             .arg(axisMpMin + r->row1)
                             .arg(axisMmMin + r->col0)
                             .arg(axisMmMin + r->col1)
                       : QString();
        statusBrief = r ? QStringLiteral("Whole range") : QString();
        mapStatusLabel->setToolTip(statusFull);
        fitMapStatus();
        return;
    }
    const QString shown = QStringLiteral("M+ %1..%2, M- %3..%4")
                              .arg(axisMpMin + view.row0)
                              .arg(axisMpMin + view.row1)
                              .arg(axisMmMin + view.col0)
                              .arg(axisMmMin + view.col1);
    statusFull = viewFocused ? QStringLiteral("Populated region: ") + shown : QStringLiteral("Showing ") + shown;
    statusBrief = shown;
    mapStatusLabel->setToolTip(
        QStringLiteral("The map shows %1 of M+ %2..%3, M- %4..%5%6. Wheel: zoom, drag: pan.")
            .arg(shown)
            .arg(axisMpMin)
            .arg(axisMpMin + prange - 1)
            .arg(axisMmMin)
            .arg(axisMmMin + mrange - 1)
            .arg(viewFocused ? QStringLiteral(" (the cells holding 99.9 % of the distribution, with a margin)")
                             : QString()));
    fitMapStatus();
}

void Form1::fitMapStatus() {
    const QFontMetrics fm(mapStatusLabel->font());
    mapStatusLabel->setText(fm.horizontalAdvance(statusFull) <= mapStatusLabel->width() ? statusFull : statusBrief);
}

bool Form1::mapMouseEvent(QEvent* event) {
    if (prange <= 0 || mrange <= 0 || list.empty()) return false;
    const CellGeometry& g = list.geometry();
    switch (event->type()) {
    case QEvent::Wheel: {
        auto* we = static_cast<QWheelEvent*>(event);
        const int delta = we->angleDelta().y();
        if (delta == 0) return true;
        const QPointF at = we->position();
        std::int32_t row = (view.row0 + view.row1) / 2, col = (view.col0 + view.col1) / 2;
        if (const auto hit = list.find(at.x(), at.y())) {
            row = hit->first - axisMpMin;
            col = hit->second - axisMmMin;
        }
        const double factor = std::pow(0.8, delta / 120.0);
        const CellWindow next = zoomWindow(view, factor, row, col, prange, mrange);
        setMapWindow(next);
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
        const CellWindow next = panWindow(dragView, dRows, dCols, prange, mrange);
        if (!(next == view)) {
            pictureBox1->setCursor(Qt::ClosedHandCursor);
            setMapWindow(next);
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
        dragging = false;
        pictureBox1->unsetCursor();
        return false;
    default:
        return false;
    }
}

void Form1::updateResultPanel(std::int32_t mp, std::int32_t mm) {
    label21->setText(QString::number(mp));
    label61->setText(QString::number(mm));
    if (mp == 0 && mm == 0) return;
    const ResultRecord& rec = *resultRecord;
    const ComplexSummary s = summarizeComplex(mp, mm, rec.zp, rec.zn, rec.plen, rec.mlen, rec.ka);
    if (s.Rc == 0.0) {
        showMessage(QStringLiteral("Rc_over_l is 0"));
        return;
    }
    // The scale of the sun picture: neutral blocks and the core of the largest complex.
    const double Nmax = rec.Np > rec.Nm ? rec.Np : rec.Nm;
    const double Rmax = complex::coreRadius(rec.mpMax, rec.plen, rec.mmMax, rec.mlen);
    label62->setText(n2(s.Rc));
    label63->setText(n2(s.kRc));
    label64->setText(QString::fromStdString(formatGeneral(s.Z, decimalSeparator())));
    label65->setText(n2(s.ZoverRc));

    QPixmap sun = loadRuntimePicture(QStringLiteral("symbols/sun.jpg"), QSize(265, 265));
    const SunPicture picture = sunPicture(pictureBox5->width(), mp, mm, s.Rc, Nmax, Rmax, rec.Np, rec.Nm, sunRandom);
    QPainter p(&sun);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0x8C, 0x00));  // dark orange
    p.drawEllipse(QRectF(picture.centre - picture.rc, picture.centre - picture.rc, 2 * picture.rc, 2 * picture.rc));
    // '+' chains in the red of their banner, '-' chains in its blue.
    QPen plusPen{QColor(179, 20, 28)}, minusPen{QColor(20, 60, 170)};
    plusPen.setWidthF(1.2);
    minusPen.setWidthF(0.8);
    for (const SunLine& l : picture.lines) {
        p.setPen(l.plus ? plusPen : minusPen);
        p.drawLine(QPointF(l.x0, l.y0), QPointF(l.x1, l.y1));
    }
    p.end();
    pictureBox5->setPixmap(sun);
}

QString Form1::mapToolTip(QPoint position) const {
    if (!drawnRecord || list.empty()) return {};
    const auto hit = list.find(position.x(), position.y());
    if (!hit) return {};
    const ResultRecord& rec = *drawnRecord;
    const std::int32_t i = hit->first - rec.mpMin;
    const std::int32_t j = hit->second - rec.mmMin;
    const bool pending = !rec.debyeHueckel && hit->first > rec.index;
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

void Form1::pictureBox1_MouseDoubleClick(QPoint position) {
    const auto [mp, mm] = list.hitTest(position.x(), position.y());
    if (mp == 0 || mm == 0) return;
    if (!resultRecord || !resultRecord->run) return;
    // Everything from the result record, so the profile belongs to the map shown even
    // when the fields were changed since.
    const ResultRecord& rec = *resultRecord;
    const bool dh = checkBox2->isChecked();
    // The profile follows the accuracy of the result it belongs to.
    ComplexProfile profile;
    try {
        profile = computeComplexProfile(mp, mm, rec.zp, rec.zn, rec.kip, rec.kim, rec.ka, dh, rec.converged);
    } catch (const KernelError& e) {
        UpdateUIText(QString::fromStdString(profileFailureMessage(mp, mm, e.what())));
        return;
    }
    auto* chart = new ProfileChartWindow(profile, this);
    chart->setWindowFlag(Qt::Window, true);
    chart->setAttribute(Qt::WA_DeleteOnClose);
    chart->show();
}

MapFigure Form1::currentFigure(Grid<std::int32_t>& classes) const {
    MapFigure f;
    f.scale = scale;
    f.maxShare = maxShare();
    f.scaleTitle = QStringLiteral("share of the distribution");
    f.provenance = QStringLiteral("Marlinq Solver ") + QString::fromStdString(provenance());
    if (drawnRecord && !drawnClasses.empty()) {
        const ResultRecord& rec = *drawnRecord;
        classes = drawnColours;
        f.classes = &classes;
        f.mpFirst = rec.mpMin + view.row0;
        f.mmFirst = rec.mmMin + view.col0;
        f.pendingGrey = !rec.debyeHueckel;
        f.lastRowIndex = rec.index - rec.mpMin - view.row0;
        const std::int32_t bi = drawnBest.first - rec.mpMin - view.row0, bj = drawnBest.second - rec.mmMin - view.col0;
        if (bi >= 0 && bj >= 0 && bi < view.rows() && bj < view.cols() && drawnClasses(bi + view.row0, bj + view.col0) > 0)
            f.outline = std::pair{bi, bj};
        f.caption = QString::fromStdString(parameterCaption(rec.zp, rec.plen, rec.Np, rec.zn, rec.mlen, rec.Nm, rec.ka,
                                                            rec.vc10, rec.vc01, rec.debyeHueckel));
        if (scale.logarithmic)
            f.caption += QStringLiteral("; colours over %1 decades").arg(scale.decades);
    }
    f.captionInPicture = !mapCaptionToolStripMenuItem || mapCaptionToolStripMenuItem->isChecked();
    f.widthMm = mapColumnWidthToolStripMenuItem && mapColumnWidthToolStripMenuItem->isChecked() ? 85.0 : 170.0;
    return f;
}

QString Form1::captionPathOf(const QString& figurePath) {
    const QFileInfo info(figurePath);
    const QString base = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
    const QString path = info.dir().filePath(base + QStringLiteral(".txt"));
    // A figure named *.txt keeps its caption apart: never written over the figure itself.
    return path == info.filePath() ? path + QStringLiteral(".txt") : path;
}

bool Form1::saveMapFigure(const QString& path, bool svg) {
    Grid<std::int32_t> classes;
    const MapFigure figure = currentFigure(classes);
    if (!(svg ? saveMapFigureSvg(figure, path) : saveMapFigurePng(figure, path))) return false;
    if (figure.captionInPicture || figure.caption.isEmpty()) return true;
    std::string error;
    std::string text = figure.caption.toStdString() + "\n";
    if (!figure.provenance.isEmpty()) text += figure.provenance.toStdString() + "\n";
    return writeTextFileAtomically(QFile::encodeName(captionPathOf(path)).toStdString(), text, error);
}

QString Form1::suggestedMapFileName(const QString& suffix) const {
    if (!drawnRecord || drawnClasses.empty()) return QStringLiteral("map.") + suffix;
    const ResultRecord& rec = *drawnRecord;
    const QString method = !rec.debyeHueckel ? QStringLiteral("pb")
                           : rec.linearDH    ? QStringLiteral("dhlinear")
                                             : QStringLiteral("dh");
    // The number with a point whatever the locale.
    return QStringLiteral("map_%1_ka%2_mp%3-%4_mm%5-%6.%7")
        .arg(method, QString::number(rec.ka, 'g', 6))
        .arg(rec.mpMin + view.row0)
        .arg(rec.mpMin + view.row1)
        .arg(rec.mmMin + view.col0)
        .arg(rec.mmMin + view.col1)
        .arg(suffix);
}

void Form1::saveMapToolStripMenuItem_Click() {
    const QString folder = dialogDirectory();
    const QString name = suggestedMapFileName(QStringLiteral("png"));
    const QString path = dialogs->getSaveFileName(this, QStringLiteral("Save Map"),
                                                  folder.isEmpty() ? name : QDir(folder).filePath(name),
                                                  QStringLiteral("PNG image (*.png)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    if (!saveMapFigure(path, false)) showMessage(QStringLiteral("can not write ") + path);
}

void Form1::saveMapSvgToolStripMenuItem_Click() {
    const QString folder = dialogDirectory();
    const QString name = suggestedMapFileName(QStringLiteral("svg"));
    const QString path = dialogs->getSaveFileName(this, QStringLiteral("Save Map"),
                                                  folder.isEmpty() ? name : QDir(folder).filePath(name),
                                                  QStringLiteral("SVG drawing (*.svg)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    if (!saveMapFigure(path, true)) showMessage(QStringLiteral("can not write ") + path);
}

}  // namespace marlinq::ui
