#include "ui/SweepPlot.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>

namespace marlinq::ui {

double niceTickStep(double span, int intervals) {
    if (!(span > 0.0) || !std::isfinite(span)) return 1.0;
    const double raw = span / std::max(intervals, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / power;
    const double factor = m < 1.5 ? 1.0 : m < 3.5 ? 2.0 : m < 7.5 ? 5.0 : 10.0;
    return factor * power;
}

NiceAxis niceAxis(double lo, double hi, int intervals) {
    NiceAxis a;
    if (!std::isfinite(lo) || !std::isfinite(hi)) return a;
    if (hi < lo) std::swap(lo, hi);
    if (hi - lo <= 1e-12 * std::max(1.0, std::abs(hi))) {
        // One value: a band of a tenth of it (or of one) around it.
        const double half = std::max(std::abs(hi) * 0.1, 0.5);
        lo -= half;
        hi += half;
    }
    a.step = niceTickStep(hi - lo, intervals);
    // Whole steps, with a little slack so that rounding cannot add a step.
    a.lo = std::floor(lo / a.step + 1e-9) * a.step;
    a.hi = std::ceil(hi / a.step - 1e-9) * a.step;
    a.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(a.step) + 1e-9)));
    return a;
}

std::pair<double, double> decadeRange(double lo, double hi) {
    if (!(lo > 0.0) || !(hi > 0.0)) return {1.0, 10.0};
    if (hi < lo) std::swap(lo, hi);
    double a = std::pow(10.0, std::floor(std::log10(lo) + 1e-9));
    double b = std::pow(10.0, std::ceil(std::log10(hi) - 1e-9));
    if (b <= a) b = a * 10.0;
    return {a, b};
}

std::vector<double> niceTicks(const NiceAxis& axis) {
    std::vector<double> out;
    const auto n = static_cast<std::int64_t>(std::llround((axis.hi - axis.lo) / axis.step));
    for (std::int64_t k = 0; k <= n && k <= 1000; ++k) {
        double v = axis.lo + static_cast<double>(k) * axis.step;
        if (std::abs(v) < axis.step * 1e-9) v = 0.0;  // no "-0"
        out.push_back(v);
    }
    return out;
}

namespace {

QString valueText(double v) { return QString::number(v, 'g', 3); }

constexpr double kTitleHeight = 26.0;
constexpr double kBarWidth = 16.0;

}  // namespace

SweepMap::SweepMap(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("sweepMap"));
    setMinimumSize(360, 300);
    setMouseTracking(false);
}

void SweepMap::set(std::vector<double> xValues, std::vector<double> yValues, std::vector<double> values, QString xName,
                   QString yName, QString title) {
    xs_ = std::move(xValues);
    ys_ = std::move(yValues);
    values_ = std::move(values);
    xName_ = std::move(xName);
    yName_ = std::move(yName);
    title_ = std::move(title);
    update();
}

std::pair<double, double> SweepMap::valueRange() const {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const double v : values_)
        if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    return {lo, hi};
}

QColor SweepMap::colourOf(double v) const {
    if (!std::isfinite(v)) return QColor(220, 220, 220);
    const auto [lo, hi] = valueRange();
    const double t = hi > lo ? std::clamp((v - lo) / (hi - lo), 0.0, 1.0) : 0.5;
    return QColor::fromHsvF(static_cast<float>((1.0 - t) * 0.66), 0.85F, 0.95F);
}

SweepMap::Layout SweepMap::layout(QSize s) const {
    const QFontMetricsF fm(font());
    double yLabels = 0.0;
    for (const double v : ys_) yLabels = std::max(yLabels, fm.horizontalAdvance(valueText(v)));
    const auto [lo, hi] = valueRange();
    double barLabels = fm.horizontalAdvance(QStringLiteral("0.00"));
    if (std::isfinite(lo)) {
        const NiceAxis a = niceAxis(lo, hi);
        for (const double v : niceTicks(a)) barLabels = std::max(barLabels, fm.horizontalAdvance(QString::number(v, 'f', a.decimals)));
    }
    const double left = 4.0 + fm.height() + 6.0 + yLabels + 6.0;
    const double right = 14.0 + kBarWidth + 6.0 + barLabels + 6.0;
    const double bottom = fm.height() + 6.0 + fm.height() + 6.0;
    const double top = kTitleHeight + fm.height() / 2.0;
    Layout l;
    l.area = QRectF(left, top, std::max(10.0, s.width() - left - right), std::max(10.0, s.height() - top - bottom));
    l.bar = QRectF(l.area.right() + 14.0, l.area.top(), kBarWidth, l.area.height());
    return l;
}

std::int64_t SweepMap::pointAt(QPointF pos) const {
    const QRectF area = layout(size()).area;
    const auto nx = static_cast<std::int64_t>(xs_.size()), ny = static_cast<std::int64_t>(ys_.size());
    if (nx <= 0 || ny <= 0 || !area.contains(pos)) return -1;
    const auto i = static_cast<std::int64_t>((pos.x() - area.left()) / area.width() * static_cast<double>(nx));
    const auto j = static_cast<std::int64_t>((area.bottom() - pos.y()) / area.height() * static_cast<double>(ny));
    if (i < 0 || i >= nx || j < 0 || j >= ny) return -1;
    return i * ny + j;
}

QString SweepMap::toolTipAt(QPointF pos) const {
    const std::int64_t k = pointAt(pos);
    if (k < 0) return {};
    const auto ny = static_cast<std::int64_t>(ys_.size());
    const double x = xs_[static_cast<std::size_t>(k / ny)], y = ys_[static_cast<std::size_t>(k % ny)];
    const QString where = QStringLiteral("%1 = %2, %3 = %4").arg(xName_, valueText(x), yName_, valueText(y));
    if (k >= static_cast<std::int64_t>(values_.size())) return where + QStringLiteral(": not computed yet");
    const double v = values_[static_cast<std::size_t>(k)];
    if (!std::isfinite(v)) return where + QStringLiteral(": no value");
    return where + QStringLiteral("\n%1 = %2").arg(title_, QString::number(v, 'g', 6));
}

std::vector<SweepMap::Label> SweepMap::labels(Part part, QSize size) const {
    const Layout l = layout(size);
    const QFontMetricsF fm(font());
    std::vector<Label> out;
    if (part == Part::ColourBar) {
        const auto [lo, hi] = valueRange();
        if (!std::isfinite(lo)) return out;
        const QRectF& bar = l.bar;
        const auto yOf = [&](double v) { return hi > lo ? bar.bottom() - (v - lo) / (hi - lo) * bar.height() : bar.center().y(); };
        const NiceAxis a = niceAxis(lo, hi);
        double lastY = std::numeric_limits<double>::infinity();
        for (const double v : niceTicks(a)) {
            if (hi > lo && (v < lo - 1e-9 * a.step || v > hi + 1e-9 * a.step)) continue;
            const double y = yOf(v);
            if (lastY - y < fm.height()) continue;  // keep the numbers apart
            lastY = y;
            const QString text = QString::number(v, 'f', a.decimals);
            out.push_back({text, QRectF(bar.right() + 6.0, y - fm.height() / 2.0, fm.horizontalAdvance(text) + 2.0, fm.height())});
            if (!(hi > lo)) break;
        }
        return out;
    }
    const bool across = part == Part::XAxis;
    const std::vector<double>& vs = across ? xs_ : ys_;
    if (vs.empty()) return out;
    const double length = across ? l.area.width() : l.area.height();
    const double cell = length / static_cast<double>(vs.size());
    double extent = fm.height();
    if (across)
        for (const double v : vs) extent = std::max(extent, fm.horizontalAdvance(valueText(v)));
    // Every value, or every 2nd, 5th, 10th ... so that the labels keep apart.
    std::size_t every = 1;
    for (std::size_t base = 1; every * cell < extent + 8.0; base *= 10) {
        for (const std::size_t f : {std::size_t{1}, std::size_t{2}, std::size_t{5}}) {
            every = f * base;
            if (every * cell >= extent + 8.0) break;
        }
    }
    for (std::size_t i = 0; i < vs.size(); i += every) {
        const QString text = valueText(vs[i]);
        const double w = fm.horizontalAdvance(text) + 2.0;
        const double centre = (static_cast<double>(i) + 0.5) * cell;
        if (across)
            out.push_back({text, QRectF(l.area.left() + centre - w / 2.0, l.area.bottom() + 4.0, w, fm.height())});
        else
            out.push_back({text, QRectF(l.area.left() - 6.0 - w, l.area.bottom() - centre - fm.height() / 2.0, w, fm.height())});
    }
    return out;
}

void SweepMap::paintTo(QPainter& p, QSize size) const {
    p.save();
    p.setFont(font());
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const Layout l = layout(size);
    const QRectF& area = l.area;
    const QFontMetricsF fm(font());
    const auto nx = static_cast<std::int64_t>(xs_.size()), ny = static_cast<std::int64_t>(ys_.size());
    for (std::int64_t i = 0; i < nx; ++i) {
        for (std::int64_t j = 0; j < ny; ++j) {
            const auto k = static_cast<std::size_t>(i * ny + j);
            const double v = k < values_.size() ? values_[k] : NAN;
            const QRectF cell(area.left() + area.width() * static_cast<double>(i) / static_cast<double>(nx),
                              area.bottom() - area.height() * static_cast<double>(j + 1) / static_cast<double>(ny),
                              area.width() / static_cast<double>(nx), area.height() / static_cast<double>(ny));
            p.fillRect(cell, colourOf(v));
        }
    }
    const QColor ink(40, 40, 40);
    p.setPen(ink);
    p.drawRect(area);
    p.drawText(QRectF(0, 0, size.width(), kTitleHeight), Qt::AlignCenter, title_);

    // The swept values at the centres of their cells, with short ticks.
    for (const Label& label : labels(Part::XAxis, size)) {
        const double x = label.box.center().x();
        p.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 3.0));
        p.drawText(label.box, Qt::AlignCenter, label.text);
    }
    for (const Label& label : labels(Part::YAxis, size)) {
        const double y = label.box.center().y();
        p.drawLine(QPointF(area.left() - 3.0, y), QPointF(area.left(), y));
        p.drawText(label.box, Qt::AlignRight | Qt::AlignVCenter, label.text);
    }
    p.drawText(QRectF(area.left(), area.bottom() + 6.0 + fm.height(), area.width(), fm.height() + 4.0), Qt::AlignCenter,
               xName_);
    p.save();
    p.translate(4.0 + fm.height() / 2.0, area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-area.height() / 2, -fm.height() / 2.0, area.height(), fm.height()), Qt::AlignCenter, yName_);
    p.restore();

    // The colour bar: the colours from the smallest value (bottom) to the largest, numbered.
    const auto [lo, hi] = valueRange();
    if (std::isfinite(lo)) {
        const QRectF& bar = l.bar;
        constexpr int kSteps = 64;
        for (int s = 0; s < kSteps; ++s) {
            const double t = (s + 0.5) / kSteps;
            const QRectF slice(bar.left(), bar.bottom() - (s + 1) * bar.height() / kSteps, bar.width(),
                               bar.height() / kSteps + 0.5);
            p.fillRect(slice, colourOf(lo + t * (hi - lo)));
        }
        p.setPen(ink);
        p.setBrush(Qt::NoBrush);
        p.drawRect(bar);
        for (const Label& label : labels(Part::ColourBar, size)) {
            const double y = label.box.center().y();
            p.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + 3.0, y));
            p.drawText(label.box, Qt::AlignLeft | Qt::AlignVCenter, label.text);
        }
    }
    p.restore();
}

void SweepMap::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintTo(p, size());
}

void SweepMap::mousePressEvent(QMouseEvent* e) {
    const std::int64_t k = pointAt(e->position());
    if (k >= 0 && clicked) clicked(k);
}

bool SweepMap::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QString tip = toolTipAt(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(e);
}

}  // namespace marlinq::ui
