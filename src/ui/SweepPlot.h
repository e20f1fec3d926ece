#pragma once
// The pictures of a sweep: tick steps of its chart axes, and the map of a two-parameter
// sweep (values on both axes, a numbered colour bar, a tooltip per cell).

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class QPainter;

namespace marlinq::ui {

// 1, 2 or 5 times a power of ten: the step that cuts span into about `intervals` parts.
double niceTickStep(double span, int intervals = 5);
// An axis of ticks at whole multiples of a nice step, from lo to hi widened to whole steps.
struct NiceAxis {
    double lo = 0.0, hi = 1.0, step = 0.2;
    int decimals = 1;  // enough to tell the ticks apart, no more
};
NiceAxis niceAxis(double lo, double hi, int intervals = 5);
// The whole decades around lo..hi (both > 0): 0.2..10 gives 0.1..10.
std::pair<double, double> decadeRange(double lo, double hi);
// The tick values of an axis, lo to hi.
std::vector<double> niceTicks(const NiceAxis& axis);

// A two-parameter sweep as a map: the first parameter across, the second up, each cell
// coloured by the chosen observable (blue low, red high, grey without a value), with the
// swept values on both axes and a numbered colour bar on the right.
class SweepMap : public QWidget {
public:
    explicit SweepMap(QWidget* parent);

    // values: x-major (point i * ny + j), as many as are finished.
    void set(std::vector<double> xValues, std::vector<double> yValues, std::vector<double> values, QString xName,
             QString yName, QString title);
    // Index of the point under a position, or -1.
    std::int64_t pointAt(QPointF pos) const;
    // "ka = 0.35, vc10 = 0.001: Mean M+ = 3.68" for the cell under pos; empty outside.
    QString toolTipAt(QPointF pos) const;
    void paintTo(QPainter& p, QSize size) const;

    // A text of the picture and the box it is drawn in.
    struct Label {
        QString text;
        QRectF box;
    };
    enum class Part { XAxis, YAxis, ColourBar };
    // The numbers drawn along one part at a given size.
    std::vector<Label> labels(Part part, QSize size) const;

    std::function<void(std::int64_t)> clicked;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    bool event(QEvent* e) override;

private:
    struct Layout {
        QRectF area, bar;
    };
    Layout layout(QSize s) const;
    QColor colourOf(double v) const;
    std::pair<double, double> valueRange() const;

    std::vector<double> xs_, ys_, values_;
    QString xName_, yName_, title_;
};

}  // namespace marlinq::ui
