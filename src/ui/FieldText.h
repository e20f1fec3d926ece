#pragma once
// Numbers and paths as the window's fields and files show them: the desktop's number format
// for what the user reads, the general format of the files, paths in the file system's
// encoding.

#include "files/NumberFormat.h"

#include <QFile>
#include <QLocale>
#include <QSignalBlocker>
#include <QSlider>
#include <QString>

#include <algorithm>
#include <cmath>
#include <string>

namespace marlinq::ui {

// Two decimals in the desktop's format, as the result panel shows a number.
inline QString n2(double v) { return QLocale().toString(v, 'f', 2); }

// The desktop's decimal separator, when it is one ASCII character; else a point.
inline char decimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return (!point.isEmpty() && point.at(0).unicode() < 128) ? static_cast<char>(point.at(0).unicode()) : '.';
}

// The general format of the files (15 significant digits) with the desktop's separator.
inline QString general(double v) { return QString::fromStdString(formatGeneral(v, decimalSeparator())); }

// Moves a track bar to value, or to the nearest end of its range, without counting as a
// user's move (which would type the value into its text box).
inline void setBar(QSlider* bar, double value) {
    const QSignalBlocker block(bar);
    if (std::isnan(value)) value = 0.0;
    value = std::clamp(value, static_cast<double>(bar->minimum()), static_cast<double>(bar->maximum()));
    bar->setValue(static_cast<int>(value));
}

inline std::string narrowPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace marlinq::ui
