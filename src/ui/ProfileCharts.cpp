#include "ui/ProfileCharts.h"

#include "pipeline/Version.h"
#include "ui/FieldText.h"

#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QBuffer>
#include <QGraphicsLayout>
#include <QSvgGenerator>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace marlinq::ui {

QChartView* makeProfileChartView(QWidget* parent, const QString& objectName, const QString& title,
                                 const QString& xTitle, const QString& yTitle, int side) {
    auto* chart = new QChart();
    chart->setTitle(title);
    QFont titleFont = chart->titleFont();
    titleFont.setPointSizeF(13.0);
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 8, 4));

    auto* xAxis = new QValueAxis(chart);
    xAxis->setTitleText(xTitle);
    xAxis->setLabelFormat(QStringLiteral("%g"));
    auto* yAxis = new QValueAxis(chart);
    yAxis->setTitleText(yTitle);
    yAxis->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    chart->legend()->setVisible(false);
    chart->legend()->setAlignment(Qt::AlignBottom);

    auto* view = new QChartView(chart, parent);
    view->setObjectName(objectName);
    view->setRenderHint(QPainter::Antialiasing);
    view->resize(side, side);
    return view;
}

QImage profileMarker(const QColor& color, bool hollow, double size) {
    const int side = static_cast<int>(std::ceil(size)) + 2;
    QImage marker(side, side, QImage::Format_ARGB32_Premultiplied);
    marker.fill(Qt::transparent);
    QPainter p(&marker);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(1.0, 1.0, size, size);
    if (hollow) {
        p.setBrush(Qt::white);
        p.setPen(QPen(color, 1.4));
        p.drawEllipse(circle.adjusted(0.7, 0.7, -0.7, -0.7));
    } else {
        p.setBrush(color);
        p.setPen(Qt::NoPen);
        p.drawEllipse(circle);
    }
    return marker;
}

QLineSeries* addProfileCurve(QChart* chart, const QString& name, const QColor& color, const double* x,
                             const double* y, int count, bool hollow) {
    auto* series = new QLineSeries(chart);
    series->setName(name);
    QList<QPointF> points;
    points.reserve(count);
    for (int i = 0; i < count; ++i) points.append(QPointF(x[i], y[i]));
    series->replace(points);
    QPen pen(color);
    pen.setWidthF(1.6);
    series->setPen(pen);
    series->setColor(color);
    // A symbol every kSymbolStep points: the curve reads as a line through its points.
    series->setPointsVisible(true);
    series->setMarkerSize(kProfileMarkerSize);
    series->setLightMarker(profileMarker(color, hollow, kProfileMarkerSize));
    QHash<int, QHash<QXYSeries::PointConfiguration, QVariant>> hidden;
    for (int i = 0; i < count; ++i)
        if (i % kSymbolStep != 0) hidden[i][QXYSeries::PointConfiguration::Visibility] = false;
    series->setPointsConfiguration(hidden);
    chart->addSeries(series);
    for (QAbstractAxis* axis : chart->axes()) series->attachAxis(axis);
    if (name.isEmpty()) {
        for (auto* marker : chart->legend()->markers(series)) marker->setVisible(false);
    } else {
        chart->legend()->setVisible(true);
        chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    }
    return series;
}

void fitProfileAxes(QChart* chart) {
    double xMin = std::numeric_limits<double>::infinity(), xMax = -xMin;
    double yMin = xMin, yMax = -xMin;
    for (QAbstractSeries* abstract : chart->series()) {
        auto* series = qobject_cast<QXYSeries*>(abstract);
        if (!series) continue;
        for (const QPointF& p : series->points()) {
            // A diverging Newton iterate may leave non-finite values; they cannot set a range.
            if (std::isfinite(p.x())) {
                xMin = std::min(xMin, p.x());
                xMax = std::max(xMax, p.x());
            }
            if (std::isfinite(p.y())) {
                yMin = std::min(yMin, p.y());
                yMax = std::max(yMax, p.y());
            }
        }
    }
    auto fit = [](QValueAxis* axis, double lo, double hi) {
        if (!axis) return;
        if (!(lo <= hi)) {
            lo = 0.0;
            hi = 1.0;
        }
        if (hi - lo <= 1e-12 * std::max(1.0, std::abs(hi))) {
            lo -= 1.0;
            hi += 1.0;
        }
        axis->setRange(lo, hi);
        axis->applyNiceNumbers();
    };
    const auto horizontal = chart->axes(Qt::Horizontal);
    const auto vertical = chart->axes(Qt::Vertical);
    fit(horizontal.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(horizontal.first()), xMin, xMax);
    fit(vertical.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(vertical.first()), yMin, yMax);
}

QString formatTwoDecimals(double value) {
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    // Values that round to zero are shown as a plain zero, without a sign.
    if (std::abs(value) < 0.005) value = 0.0;
    return locale.toString(value, 'f', 2);
}

namespace {
// A chart lays itself out lazily (on resize and posted layout events); a view that was never
// shown has neither, so both are done here before drawing it off screen.
void settleLayout(QChartView* view) {
    if (QChart* chart = view->chart(); chart && !view->isVisible()) {
        view->setSceneRect(QRectF(QPointF(0, 0), QSizeF(view->size())));
        chart->resize(QSizeF(view->size()));
    }
    QCoreApplication::sendPostedEvents();
}

// The chart scene drawn into the painter's device over the view's area; works whether or
// not the view is on screen.
void drawChart(QChartView* view, QPainter& painter) {
    const QRectF area(QPointF(0, 0), QSizeF(view->size()));
    view->scene()->render(&painter, area, view->mapToScene(view->rect()).boundingRect());
}
}  // namespace

namespace {
// The chart's title for the time of a drawing.
class TitleFor {
public:
    TitleFor(QChartView* view, const QString& title) : chart_(view->chart()) {
        if (!chart_ || title.isEmpty()) return;
        saved_ = chart_->title();
        set(title);
        active_ = true;
    }
    ~TitleFor() {
        if (active_) set(saved_);
    }
    TitleFor(const TitleFor&) = delete;
    TitleFor& operator=(const TitleFor&) = delete;

private:
    // The title's text is fitted to its place when the chart lays itself out: do it now.
    void set(const QString& text) {
        chart_->setTitle(text);
        if (QGraphicsLayout* layout = chart_->layout()) {
            layout->invalidate();
            layout->activate();
        }
        QCoreApplication::sendPostedEvents();
    }

    QChart* chart_;
    QString saved_;
    bool active_ = false;
};
}  // namespace

bool saveChartPng(QChartView* view, const QString& path, const QString& title) {
    settleLayout(view);
    const TitleFor named(view, title);
    QImage image(view->size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2.0);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        drawChart(view, painter);
    }
    image.setText(QStringLiteral("Software"), QStringLiteral("Marlinq Solver ") + QString::fromStdString(provenance()));
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    if (!image.save(&file, "PNG")) return false;
    return saveFileBytes(path, file.data());
}

bool saveChartSvg(QChartView* view, const QString& path, const QString& description, const QString& title) {
    settleLayout(view);
    const TitleFor named(view, title);
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&file);
    generator.setSize(view->size());
    generator.setViewBox(QRect(QPoint(0, 0), view->size()));
    generator.setTitle(view->chart() ? view->chart()->title() : QString());
    const QString madeBy = QStringLiteral("Marlinq Solver ") + QString::fromStdString(provenance());
    generator.setDescription(description.isEmpty() ? madeBy : description + QLatin1Char('\n') + madeBy);
    QPainter painter;
    if (!painter.begin(&generator)) return false;
    painter.setRenderHint(QPainter::Antialiasing);
    drawChart(view, painter);
    if (!painter.end()) return false;
    return saveFileBytes(path, file.data());
}

}  // namespace marlinq::ui
