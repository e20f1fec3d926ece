#pragma once
// Numbers and paths as the window's fields and files show them: the desktop's number format
// for what the user reads, the general format of the files, paths in the file system's
// encoding.

#include "io/FileAccess.h"
#include "io/NumberText.h"

#include <QByteArray>

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
// digits significant digits (printf's %g), or decimals after the separator, in the
// desktop's format: the program's number text (io/NumberText.h), never a group separator.
inline QString significant(double v, int digits) {
    return QString::fromStdString(significantText(v, digits, decimalSeparator()));
}
inline QString fixedPlaces(double v, int decimals) {
    std::string s = fixedText(v, decimals);
    std::replace(s.begin(), s.end(), '.', decimalSeparator());
    return QString::fromStdString(s);
}

// Moves a track bar to value, or to the nearest end of its range, without counting as a
// user's move (which would type the value into its text box).
inline void setBar(QSlider* bar, double value) {
    const QSignalBlocker block(bar);
    if (std::isnan(value)) value = 0.0;
    value = std::clamp(value, static_cast<double>(bar->minimum()), static_cast<double>(bar->maximum()));
    bar->setValue(static_cast<int>(value));
}

inline std::string narrowPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Saves bytes (a picture, a table) through the program's one atomic save: the file is
// replaced only once complete; error (if given) receives why it was not.
inline bool saveFileBytes(const QString& path, const QByteArray& bytes, std::string* error = nullptr) {
    std::string why;
    const bool ok = !path.isEmpty() &&
                    writeTextFileAtomically(narrowPath(path), std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), why);
    if (error) *error = why;
    return ok;
}
inline bool saveFileBytes(const QString& path, const std::string& bytes, std::string* error = nullptr) {
    std::string why;
    const bool ok = !path.isEmpty() && writeTextFileAtomically(narrowPath(path), bytes, why);
    if (error) *error = why;
    return ok;
}

}  // namespace marlinq::ui
