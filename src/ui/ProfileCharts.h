#pragma once
// Building blocks of the profile chart windows: one chart of curves over r/Rc with
// automatic axis ranges, the "0.00" value text, and saving a chart as PNG or SVG.

#include <QColor>
#include <QString>

class QChart;
class QChartView;
class QLineSeries;
class QWidget;

namespace marlinq::ui {

// An empty chart in a view of the given size: pane title and axis titles, antialiased.
QChartView* makeProfileChartView(QWidget* parent, const QString& objectName, const QString& title,
                                 const QString& xTitle, const QString& yTitle, int side);

// Symbols of a curve: circles of this diameter on every kSymbolStep-th point.
inline constexpr double kProfileMarkerSize = 7.0;
inline constexpr int kSymbolStep = 10;

// Appends a line through (x[i], y[i]), i < count, with small circles (hollow ones when
// hollow is set) on every kSymbolStep-th point. An empty name keeps the curve out of the
// legend.
QLineSeries* addProfileCurve(QChart* chart, const QString& name, const QColor& color, const double* x,
                             const double* y, int count, bool hollow = false);

// Fits both axes to the data of all curves (nice numbers; a flat curve gets a unit band).
void fitProfileAxes(QChart* chart);

// Two decimals in the user's number format, no group separators, no "-0.00".
QString formatTwoDecimals(double value);

// The view as drawn on screen (PNG at twice its widget size), with title in place of the
// chart's own when given; written through a temporary file in the same folder. False when
// the file cannot be written. Both name the program that made them (the PNG's "Software"
// text, a line of the SVG's description).
bool saveChartPng(QChartView* view, const QString& path, const QString& title = QString());
bool saveChartSvg(QChartView* view, const QString& path, const QString& description,
                  const QString& title = QString());

}  // namespace marlinq::ui
